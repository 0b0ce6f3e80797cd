#include "tests/reliability/TransferTree.h"

#include <algorithm>
#include <fstream>

#include "printer/Printout.h"
#include "tests/rig/Images.h"
#include "zx81/Charset.h"

namespace brindle::rig {

namespace fs = std::filesystem;
using Bytes = std::vector<std::uint8_t>;

namespace {

void Write(const fs::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

Bytes Read(const fs::path& path) {
    std::ifstream in(path, std::ios::binary);
    return Bytes(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

Bytes NamedImage(const std::string& name, std::size_t programBytes) {
    Bytes file = TextToZX81(name);
    file.back() |= 0x80;
    const Bytes image = Zx81Image(programBytes);
    file.insert(file.end(), image.begin(), image.end());
    return file;
}

Bytes Printout(std::uint32_t bands) {
    const auto header = PrintoutHeader(bands * kBandRows);
    Bytes file(header.begin(), header.end());
    for (std::size_t i = 0; i < bands * kBandBytes; ++i)
        file.push_back(static_cast<std::uint8_t>(i * 13));
    return file;
}

// The files each of the two folders starts with.
void Populate(const fs::path& dir, bool withPrintout) {
    fs::create_directories(dir / "sub");
    Write(dir / "HELLO.P81", NamedImage("HELLO", 40));
    Write(dir / "GAME.P", Zx81Image(20));
    Write(dir / "PROG.O", Zx80Image(30));
    Write(dir / "notes.txt", {'n', 'o', 't', 'e', 's', '\n'});
    Write(dir / "sub" / "DEEP.P81", NamedImage("DEEP", 8));
    if (withPrintout) Write(dir / "PrintOut.bmp", Printout(2));
}

bool IsStaging(const std::string& name) {
    return name.size() > 4 && name[0] == '.' && name.ends_with(".tmp");
}

std::string Upper(const std::string& relative) {
    return UpperAscii(relative);
}

}  // namespace

bool CompletedSave(const Bytes& bytes) {
    const auto complete = [&](std::size_t from, std::size_t eLineAt, std::int32_t start) {
        if (bytes.size() < from + eLineAt + 2) return false;
        const std::int32_t eLine = bytes[from + eLineAt] | bytes[from + eLineAt + 1] << 8;
        return static_cast<std::int64_t>(bytes.size() - from) >= std::int64_t{eLine} - start;
    };
    const auto nameEnd =
        std::find_if(bytes.begin(), bytes.end(), [](std::uint8_t b) { return b >= 128; });
    const bool named = nameEnd != bytes.end() &&
                       complete(static_cast<std::size_t>(nameEnd - bytes.begin()) + 1, 11, 16393);
    return named || complete(0, 11, 16393) || complete(0, 10, 16384);
}

bool WellFormedPrintout(const Bytes& bytes) {
    if (bytes.size() < kPrintoutHeaderBytes) return false;
    const std::uint32_t height = PrintoutHeight(bytes);
    const auto header = PrintoutHeader(height);
    return bytes.size() == kPrintoutHeaderBytes + std::uint64_t{height} * kPrintoutRowBytes &&
           std::equal(header.begin(), header.end(), bytes.begin());
}

TransferTree::TransferTree(fs::path root, bool withPrintout) : root_(std::move(root)) {
    Renew(withPrintout);
}

void TransferTree::Renew(bool withPrintout) {
    std::error_code ec;
    for (const auto& entry : fs::directory_iterator(root_, ec)) fs::remove_all(entry.path(), ec);
    Populate(root_ / "transfer", withPrintout);
    Populate(root_ / "outside", true);
}

const TransferTree::Snapshot& TransferTree::Start(bool withPrintout) {
    Snapshot& pristine = pristine_[withPrintout ? 1 : 0];
    if (pristine.empty()) {
        Renew(withPrintout);
        pristine = Take();
    } else if (last_ != pristine) {
        Renew(withPrintout);
    }
    last_.clear();
    return pristine;
}

TransferTree::Snapshot TransferTree::Take() const {
    Snapshot snapshot;
    for (const auto& entry : fs::recursive_directory_iterator(root_)) {
        const std::string relative = entry.path().lexically_relative(root_).string();
        if (entry.is_directory()) {
            snapshot[relative] = std::nullopt;
        } else {
            snapshot[relative] = Read(entry.path());
        }
    }
    return snapshot;
}

std::vector<std::string> TransferTree::Problems(const Snapshot& before) const {
    last_ = Take();
    const Snapshot& after = last_;
    std::vector<std::string> problems;
    const auto inTransfer = [](const std::string& relative) {
        return relative.starts_with("transfer/");
    };
    const auto isPrintout = [](const std::string& relative) {
        return fs::path(relative).filename() == "PrintOut.bmp";
    };
    for (const auto& [relative, bytes] : after) {
        const std::string name = fs::path(relative).filename().string();
        const auto old = before.find(relative);
        if (IsStaging(name)) problems.push_back(relative + ": staging file left behind");
        if (bytes && isPrintout(relative) && inTransfer(relative) && !WellFormedPrintout(*bytes))
            problems.push_back(relative + ": printout is not a well-formed bitmap");
        if (!inTransfer(relative) && relative != "transfer" &&
            (old == before.end() || old->second != bytes))
            problems.push_back(relative + ": created or changed outside the transfer directory");
    }
    for (const auto& entry : before) {
        const std::string& relative = entry.first;
        const auto& bytes = entry.second;
        const auto now = after.find(relative);
        if (!inTransfer(relative)) {
            if (now == after.end())
                problems.push_back(relative + ": removed outside the transfer directory");
            continue;
        }
        if (now == after.end()) {
            // Replaced by a completed SAVE under another letter case, or lost.
            const bool replaced =
                bytes && std::any_of(after.begin(), after.end(), [&](const auto& e) {
                    return e.second && Upper(e.first) == Upper(relative) &&
                           CompletedSave(*e.second);
                });
            if (!replaced) problems.push_back(relative + ": removed");
            continue;
        }
        if (!bytes || now->second == bytes) continue;
        const Bytes& changed = *now->second;
        if (isPrintout(relative)) {
            const bool grown =
                changed.size() >= bytes->size() &&
                (changed.size() - bytes->size()) % kBandBytes == 0 &&
                std::equal(bytes->begin() + kPrintoutHeaderBytes, bytes->end(),
                           changed.end() -
                               static_cast<std::ptrdiff_t>(bytes->size() - kPrintoutHeaderBytes));
            if (!grown) problems.push_back(relative + ": printout lost rows");
        } else if (!CompletedSave(changed)) {
            problems.push_back(relative + ": changed, and not by a completed SAVE");
        }
    }
    return problems;
}

}  // namespace brindle::rig

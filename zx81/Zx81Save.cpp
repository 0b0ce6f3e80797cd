#include "zx81/Zx81Save.h"

#include <algorithm>
#include <cstdio>
#include <system_error>

#include "platform/FileIo.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

constexpr std::int32_t kELineLowAddress = kZx81Start + static_cast<std::int32_t>(kELineOffset);
constexpr std::int32_t kELineHighAddress = kELineLowAddress + 1;

// Whether the file system takes the target's name: a file has it already, or one can be made
// under it. Staging writes elsewhere, so a refused name would otherwise show only at the end.
bool NameAccepted(const std::filesystem::path& target) {
    std::error_code ec;
    if (std::filesystem::exists(std::filesystem::symlink_status(target, ec))) return true;
    std::FILE* probe = std::fopen(target.c_str(), "wbx");
    if (probe == nullptr) return false;
    std::fclose(probe);
    std::filesystem::remove(target, ec);
    return true;
}

// Ends a reception that did not complete: what was received takes the target's name only when
// no file has it, so an older program is never lost to a partial one.
void KeepPartial(StagedFile& staged) {
    std::error_code ec;
    // A name that cannot be looked up counts as taken.
    if (std::filesystem::symlink_status(staged.target(), ec).type() !=
        std::filesystem::file_type::not_found) {
        staged.Discard();
    } else {
        staged.Commit();
    }
}

void ReportFailure(Link& link) {
    link.services.messages.show({"Invalid Filename", "Error", MessageIcon::None, {}});
}

// Takes one image byte at CurrentAddress and shows what it tells: the system-variable line, and
// the program's extent once E_LINE is complete.
void TakeImageByte(Link& link, std::uint8_t b, bool& endKnown) {
    LinkState& state = link.state;
    TransferDisplay& display = link.display;
    if (state.CurrentAddress < kZx81ProgramStart)
        display.programInfo += AddressInfoLine(state.CurrentAddress, b);
    if (state.CurrentAddress == kELineLowAddress) state.EndAddress = b;
    if (state.CurrentAddress == kELineHighAddress) {
        state.EndAddress += 256 * b;
        display.startAddr = std::to_string(kZx81Start);
        display.fileLength.assign(1, '-');  // not = "-": GCC 12 warns falsely (-Wrestrict)
        display.programLength = std::to_string(state.EndAddress - kZx81Start);
        display.endAddr = std::to_string(state.EndAddress - 1);
        display.progressMax = state.EndAddress - (kZx81Start - 1);
        endKnown = true;
    }
    ++state.CurrentAddress;
    display.progressValue = state.CurrentAddress - kZx81Start;
}

enum class Outcome { Complete, Aborted, Failed };

// Polls for image bytes and stores them until the image is complete. The end is tested only
// between cycles, so every byte of the last cycle is stored. Once the file fails (or when there
// is none), the failure is reported at once and the rest of the image is still taken off the
// link, so that program bytes are never read as new requests.
Outcome ReceiveImage(Link& link, RequestBuffer& buffer, StagedFile* staged) {
    bool endKnown = false;
    bool failed = false;
    auto fail = [&] {
        failed = true;
        ReportFailure(link);
        if (staged != nullptr) KeepPartial(*staged);
    };
    if (staged == nullptr) fail();
    for (;;) {
        link.PollLink(buffer);
        for (std::uint8_t b : buffer) {
            if (!failed && !staged->write(&b, 1)) fail();
            TakeImageByte(link, b, endKnown);
            link.ProcessEvents();
            if (link.state.AbortFlag) return failed ? Outcome::Failed : Outcome::Aborted;
        }
        buffer.clear();
        link.ProcessEvents();
        if (link.state.AbortFlag) return failed ? Outcome::Failed : Outcome::Aborted;
        if (endKnown && link.state.CurrentAddress >= link.state.EndAddress)
            return failed ? Outcome::Failed : Outcome::Complete;
    }
}

}  // namespace

std::optional<std::vector<std::uint8_t>> ReceiveZX81Name(Link& link, RequestBuffer& buffer) {
    std::size_t scanned = 0;
    for (;;) {
        link.PollLink(buffer);
        const auto end = std::find_if(buffer.begin() + static_cast<std::ptrdiff_t>(scanned),
                                      buffer.end(), [](std::uint8_t b) { return b >= 128; });
        scanned = buffer.size();
        std::vector<std::uint8_t> name;
        if (end != buffer.end()) {
            name.assign(buffer.begin(), end + 1);
            buffer.erase(buffer.begin(), end + 1);
            link.state.NameReceived = true;
        }
        link.ProcessEvents();
        if (link.state.AbortFlag) return std::nullopt;
        if (!name.empty()) return name;
    }
}

void ReceiveZX81Program(Link& link, RequestBuffer& buffer) {
    const auto name = ReceiveZX81Name(link, buffer);
    if (!name) {
        buffer.clear();
        return;
    }

    const ProgramFileName file = SaveFileName(ZX81ToText(*name), link.state.FilePath, link.options);
    TransferDisplay& display = link.display;
    display.programInfo = NameInfoLine(*name);
    display.filename = file.baseName;
    display.filepath = file.directory;

    // Received beside the target; it replaces an older file only once complete.
    StagedFile staged(file.path());
    std::error_code ec;
    const bool setUp = !std::filesystem::is_directory(staged.target(), ec) &&
                       NameAccepted(staged.target()) && staged.open() &&
                       (!HasNameField(file.extension) || staged.write(*name));
    const Outcome outcome = ReceiveImage(link, buffer, setUp ? &staged : nullptr);
    buffer.clear();
    switch (outcome) {
        case Outcome::Complete:
            if (!staged.Commit()) ReportFailure(link);
            break;
        case Outcome::Aborted:
            KeepPartial(staged);
            break;
        case Outcome::Failed:  // reported and settled when it happened
            break;
    }
}

}  // namespace brindle

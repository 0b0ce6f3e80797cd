#include "printer/PrintoutFile.h"

#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <optional>

#include "link/ProgramInfo.h"
#include "platform/FileIo.h"

namespace brindle {

namespace fs = std::filesystem;

namespace {

// Why an existing file may not be replaced. Replacing works by renaming over the old file, which
// the file's own permissions do not stop, so a file the user marked read-only (no write
// permission for anyone, which even the superuser's access rights ignore) is refused here.
std::optional<FileError> WriteRefusal(const fs::path& path) {
    std::error_code ec;
    const fs::file_status status = fs::status(path, ec);
    if (ec || !fs::exists(status)) return std::nullopt;
    int error = 0;
    if (::access(path.c_str(), W_OK) != 0) {
        error = errno;
    } else if ((status.permissions() & (fs::perms::owner_write | fs::perms::group_write |
                                        fs::perms::others_write)) == fs::perms::none) {
        error = EACCES;
    }
    if (error == 0) return std::nullopt;
    return FileError{path.string() + ": " + std::strerror(error)};
}

}  // namespace

fs::path PrintoutPath(const std::string& transferDirectory) {
    return fs::path(transferDirectory + "PrintOut.bmp");
}

bool AddToBitmap(Link& link, PrinterLine line, const std::function<void()>& loadPrintout) {
    const fs::path path = PrintoutPath(link.options.TransferDirectory);
    const auto fail = [&](const FileError& error) {
        link.services.messages.show({error.description, kProgramTitle, MessageIcon::None, {}});
        return false;
    };

    FileSystem& files = link.services.files;
    std::vector<std::uint8_t> old;
    std::error_code ec;
    if (fs::exists(path, ec)) {
        FileError error;
        auto read = files.read(path, kMaxPrintoutBytes, &error);
        if (!read) return fail(error);
        old = std::move(*read);
    }
    if (auto refusal = WriteRefusal(path)) return fail(*refusal);

    const std::size_t oldRows = PrintoutRowsKept(old);
    const auto header = PrintoutHeader(static_cast<std::uint32_t>(oldRows + kBandRows));
    const auto band = PrintoutBand(line);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(header.size() + band.size() + oldRows * kPrintoutRowBytes);
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), band.begin(), band.end());
    if (oldRows > 0) {
        const auto rows = old.begin() + static_cast<std::ptrdiff_t>(kPrintoutHeaderBytes);
        bytes.insert(bytes.end(), rows,
                     rows + static_cast<std::ptrdiff_t>(oldRows * kPrintoutRowBytes));
    }

    FileError error;
    if (!ReplaceFile(files, path, bytes, &error)) return fail(error);
    loadPrintout();
    return true;
}

bool SavePrintoutCopy(FileSystem& files, const std::string& transferDirectory,
                      const fs::path& target) {
    const auto bytes = files.read(PrintoutPath(transferDirectory), kMaxPrintoutBytes, nullptr);
    return bytes && !WriteRefusal(target) && ReplaceFile(files, target, *bytes);
}

void ClearPrintout(FileSystem& files, const std::string& transferDirectory,
                   const std::function<bool(const fs::path&)>& moveToTrash) {
    const fs::path path = PrintoutPath(transferDirectory);
    if (WriteRefusal(path) || moveToTrash(path)) return;
    files.rename(path, path.parent_path() / "PrintOut.bak");
}

}  // namespace brindle

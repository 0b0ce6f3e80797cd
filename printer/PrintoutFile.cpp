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

    std::vector<std::uint8_t> old;
    std::error_code ec;
    if (fs::exists(path, ec)) {
        FileError error;
        auto read = ReadWholeFile(path, &error);
        if (!read) return fail(error);
        old = std::move(*read);
    }
    const std::uint32_t oldHeight = PrintoutHeight(old);
    if (oldHeight >= kPrintoutHeightLimit)
        return fail({path.string() + ": the printout is too long to take another line"});
    if (auto refusal = WriteRefusal(path)) return fail(*refusal);

    const auto header = PrintoutHeader(oldHeight + kBandRows);
    const auto band = PrintoutBand(line);
    std::vector<std::uint8_t> bytes;
    bytes.reserve(header.size() + band.size() + old.size());
    bytes.insert(bytes.end(), header.begin(), header.end());
    bytes.insert(bytes.end(), band.begin(), band.end());
    if (old.size() > kPrintoutHeaderBytes)
        bytes.insert(bytes.end(), old.begin() + kPrintoutHeaderBytes, old.end());

    FileError error;
    if (!ReplaceFile(path, bytes, &error)) return fail(error);
    loadPrintout();
    return true;
}

bool SavePrintoutCopy(const std::string& transferDirectory, const fs::path& target) {
    const auto bytes = ReadWholeFile(PrintoutPath(transferDirectory));
    return bytes && !WriteRefusal(target) && ReplaceFile(target, *bytes);
}

void ClearPrintout(const std::string& transferDirectory,
                   const std::function<bool(const fs::path&)>& moveToTrash) {
    const fs::path path = PrintoutPath(transferDirectory);
    if (WriteRefusal(path) || moveToTrash(path)) return;
    std::error_code ec;
    fs::rename(path, transferDirectory + "PrintOut.bak", ec);
}

}  // namespace brindle

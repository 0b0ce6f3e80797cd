#include "zx81/Zx81Load.h"

#include <filesystem>
#include <memory>
#include <optional>

#include "basic/BasicText.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"
#include "zx81/ProgramTransfer.h"
#include "zx81/Zx81Save.h"

namespace brindle {

namespace {

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);

void ShowFile(TransferDisplay& display, const ProgramFileName& file) {
    display.filename = file.baseName + file.extension;
    display.filepath = file.directory;
}

// Whether a normal-mode name stays inside the directory it is looked up in: "../X" or a path
// that climbs out would let the peer read any file of the PC.
bool StaysInside(const ProgramFileName& file) {
    const std::filesystem::path directory = PathFromUtf8(file.directory).lexically_normal();
    const std::filesystem::path relative =
        file.path().lexically_normal().lexically_relative(directory);
    return !relative.empty() && *relative.begin() != ".." && relative != ".";
}

// The detail tells where BASIC text stops making sense.
void ReportInvalidFile(Link& link, const std::string& detail = {}) {
    link.services.messages.show({"Invalid File", "Error", MessageIcon::None, detail});
}

// Where file systems have drive letters, a bare drive such as "A:" names no file but a drive,
// whose listing is wanted. Elsewhere it is an ordinary name.
bool NamesADrive(const std::string& baseName) {
    const std::filesystem::path path = PathFromUtf8(baseName);
    return !baseName.empty() && baseName.back() == ':' && path.has_root_name() &&
           !path.has_relative_path();
}

// Asks the user for the program to send. A choice moves the request and the transfer directory
// to the chosen file's directory and sets the request's format; a cancel or an unusable choice
// changes nothing.
std::optional<ChosenFile> AskForProgram(Link& link) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Send ZX81 Program";
    request.filter =
        "ZX81 Programs (*.P81;*.P;*.81)|*.P81;*.P;*.81|BASIC text (*.BAS;*.TXT)|*.BAS;*.TXT";
    request.initialDirectory = link.options.TransferDirectory;
    request.defaultExtension = link.state.FileFormat;
    request.fileMustExist = true;
    request.pathMustExist = true;
    std::optional<ChosenFile> chosen = ChooseProgramFile(link, request);
    if (chosen) link.state.FileFormat = chosen->name.extension.substr(1);
    return chosen;
}

// Settles which file answers the request: the requested one under the default format, then
// under each format of the list, and failing those the one the user picks. A name without a
// file part in PC-file-path mode is answered by the listing of its directory, built into
// listing. Nothing when the user cancels.
std::optional<FoundProgramFile> FindRequestedFile(Link& link, const RequestBuffer& name,
                                                  const std::string& givenName,
                                                  const std::string& givenFormat,
                                                  const ListingMaker& makeListing,
                                                  std::unique_ptr<TransientProgramFile>& listing) {
    LinkState& state = link.state;
    const TransferOptions& options = link.options;
    ProgramFileName file;
    std::optional<FoundProgramFile> found;
    bool listingAsked = false;
    if (!givenName.empty()) {
        // A file chosen in the dialog: a name in its own directory, not a path to resolve, and
        // read under exactly the path the dialog gave.
        file = {state.FilePath, givenName, "." + givenFormat};
        if (!state.ChosenFile.empty())
            found = FoundProgramFile{PathFromUtf8(state.ChosenFile), file.extension};
    } else {
        file = LoadFileName(ZX81ToText(name), state.FilePath, options);
        if (options.PcFilePathMode != 0 && NamesADrive(file.baseName)) {
            file.directory = file.baseName + kSeparator;
            file.baseName.clear();
        }
        state.FilePath = file.directory;
        if (options.PcFilePathMode != 0 && file.baseName.empty()) {
            // Exactly the file just built is sent: neither a listing that could not be built nor
            // the extension the name gave may let an older one stand in.
            listingAsked = true;
            link.observed.listing = true;
            link.observed.file = state.FilePath;
            file.baseName = kListingFileName;
            file.extension = "." + options.Zx81Format;
            listing = makeListing(state.FilePath);
            if (listing) found = FoundProgramFile{listing->path(), file.extension};
        }
        if (file.extension.empty()) file.extension = "." + options.Zx81Format;
    }
    link.display.programInfo = NameInfoLine(name);
    ShowFile(link.display, file);
    if (givenName.empty() && options.PcFilePathMode == 0 && !StaysInside(file)) {
        ReportInvalidFile(link);
        return std::nullopt;
    }

    if (!listingAsked && !found) found = FindProgramFile(file);
    if (!found) {
        const std::optional<ChosenFile> chosen = AskForProgram(link);
        if (!chosen) return std::nullopt;
        file = chosen->name;
        found = FoundProgramFile{chosen->path, file.extension};
    }
    file.extension = found->extension;
    if (!listingAsked) {
        // The file as it is spelt on disk, which a letter-case fallback or the dialog gave.
        const std::string onDisk = Utf8FromPath(found->path.filename());
        const std::size_t stem = onDisk.size() - std::min(onDisk.size(), file.extension.size());
        file.baseName = onDisk.substr(0, stem);
        file.extension = onDisk.substr(stem);
    }
    ShowFile(link.display, file);
    return found;
}

// Reads and checks the program file, shows its details, and sends the name bytes followed by
// the program image. A file that cannot be used is reported before anything is sent.
void SendProgramFile(Link& link, const RequestBuffer& name, const FoundProgramFile& file) {
    if (!link.observed.listing) link.observed.file = Utf8FromPath(file.path);
    const ProgramFileContent content =
        ReadProgramFile(link.services.files, file.path, file.extension, Machine::Zx81);
    if (content.error != ProgramFileError::None) {
        ReportInvalidFile(link, content.detail);
        return;
    }
    RequestBuffer reply = name;
    reply.insert(reply.end(), content.image.begin(), content.image.end());

    link.state.EndAddress = content.eLine;
    TransferDisplay& display = link.display;
    display.programInfo += SystemVariableLines(content.systemVariables);
    display.fileLength = std::to_string(content.fileLength);
    display.programLength = std::to_string(content.eLine - kZx81Start);
    display.startAddr = std::to_string(kZx81Start);
    display.endAddr = std::to_string(content.eLine - 1);
    display.progressMax = static_cast<int>(reply.size());
    display.status = "Sending...";
    SendProgramBytes(link, reply, Pace::Tape);
}

}  // namespace

void SendZX81Program(Link& link, RequestBuffer& buffer, const std::string& givenName,
                     const std::string& givenFormat, const ListingMaker& makeListing) {
    // Whatever came after the name is no part of the request.
    if (std::optional<std::vector<std::uint8_t>> name = ReceiveZX81Name(link, buffer)) {
        buffer = std::move(*name);
        std::unique_ptr<TransientProgramFile> listing;  // removed again on every way out
        const std::optional<FoundProgramFile> file =
            FindRequestedFile(link, buffer, givenName, givenFormat, makeListing, listing);
        if (file) SendProgramFile(link, buffer, *file);
    }
    buffer.clear();
}

std::string ChooseZX81Program(Link& link, std::vector<std::uint8_t>& nameBytes) {
    nameBytes.clear();
    const std::optional<ChosenFile> chosen = AskForProgram(link);
    if (!chosen) return {};
    nameBytes = TextToZX81(UpperAscii(chosen->name.baseName));
    return chosen->name.baseName;
}

}  // namespace brindle

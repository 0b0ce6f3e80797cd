#include "zx81/Zx81Load.h"

#include <algorithm>
#include <filesystem>
#include <optional>
#include <system_error>

#include "listing/DirectoryListing.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

// The wait after every byte sent, which paces the peer as a tape would.
constexpr int kByteGapMs = 10;

constexpr char kSeparator = static_cast<char>(std::filesystem::path::preferred_separator);
// The separators a dialog's answer may use: "/" everywhere, and the platform's own.
constexpr char kSeparators[] = {'/', kSeparator, '\0'};

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

void ShowFile(TransferDisplay& display, const ProgramFileName& file) {
    display.filename = file.baseName + file.extension;
    display.filepath = file.directory;
}

// Where file systems have drive letters, a bare drive such as "A:" names no file but a drive,
// whose listing is wanted. Elsewhere it is an ordinary name.
bool NamesADrive(const std::string& baseName) {
    const std::filesystem::path path = PathFromUtf8(baseName);
    return !baseName.empty() && baseName.back() == ':' && path.has_root_name() &&
           !path.has_relative_path();
}

// Polls the peer, at least once, until the requested name is complete, and keeps the name alone
// in the buffer, its end marker (the first byte with bit 7 set) included: whatever followed it
// is no part of the request. False when Reset was pressed first.
bool ReceiveName(Link& link, RequestBuffer& buffer) {
    std::size_t scanned = 0;
    do {
        link.PollLink(buffer);
        const auto end = std::find_if(buffer.begin() + static_cast<std::ptrdiff_t>(scanned),
                                      buffer.end(), [](std::uint8_t b) { return b >= 128; });
        scanned = buffer.size();
        if (end != buffer.end()) {
            buffer.erase(end + 1, buffer.end());
            link.state.NameReceived = true;
        }
        link.ProcessEvents();
        if (link.state.AbortFlag) return false;
    } while (!link.state.NameReceived);
    return true;
}

// A file the user picked in the dialog: read under its own name, while its extension, upper
// cased, decides its format.
struct ChosenFile {
    ProgramFileName name;
    std::filesystem::path path;
};

// Asks the user for the program to send. A choice moves the request and the transfer directory
// to the chosen file's directory; a cancel or an unusable choice changes nothing.
std::optional<ChosenFile> AskForProgram(Link& link) {
    FileDialogRequest request;
    request.kind = FileDialogRequest::Kind::Open;
    request.title = "Send ZX81 Program";
    request.filter = "ZX81 Programs (*.P81;*.P;*.81)|*.P81;*.P;*.81";
    request.initialDirectory = link.options.TransferDirectory;
    request.defaultExtension = link.state.FileFormat;
    request.fileMustExist = true;
    request.pathMustExist = true;
    const std::optional<std::string> answer = link.services.dialogs.run(request);
    if (!answer) return std::nullopt;

    const std::size_t separator = answer->find_last_of(kSeparators);
    if (separator == std::string::npos) return std::nullopt;
    const std::string fileName = answer->substr(separator + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    ChosenFile chosen{{answer->substr(0, separator + 1), fileName.substr(0, dot),
                       UpperAscii(fileName.substr(dot))},
                      PathFromUtf8(*answer)};

    LinkState& state = link.state;
    state.FilePath = chosen.name.directory;
    state.FileFormat = chosen.name.extension.substr(1);
    link.options.TransferDirectory = state.FilePath;
    if (link.transferDirectoryMoved) link.transferDirectoryMoved(state.FilePath);
    return chosen;
}

// The listing program built for one request, deleted again on every way out of it.
class ListingFile {
public:
    ListingFile() = default;
    ListingFile(const ListingFile&) = delete;
    ListingFile& operator=(const ListingFile&) = delete;
    ~ListingFile() {
        std::error_code ec;
        if (!path_.empty()) std::filesystem::remove(path_, ec);
    }

    // False when it could not be built; the user has been told why.
    bool Build(Link& link, const std::string& directory) {
        const TransferOptions& options = link.options;
        if (!BuildDirectoryListing(directory, options, link.routineDirectories,
                                   link.services.messages))
            return false;
        path_ = ProgramFileName{directory, kListingFileName, "." + options.Zx81Format}.path();
        return true;
    }

private:
    std::filesystem::path path_;
};

// Settles which file answers the request: the requested one under the default format, then
// under each format of the list, and failing those the one the user picks. Nothing when the
// user cancels.
std::optional<FoundProgramFile> FindRequestedFile(Link& link, const RequestBuffer& name,
                                                  const std::string& givenName,
                                                  const std::string& givenFormat,
                                                  ListingFile& listing) {
    LinkState& state = link.state;
    const TransferOptions& options = link.options;
    ProgramFileName file;
    bool present = true;
    if (!givenName.empty()) {
        // A file chosen in the dialog: a name in its own directory, not a path to resolve.
        file = {state.FilePath, givenName, "." + givenFormat};
    } else {
        file = LoadFileName(ZX81ToText(name), state.FilePath, options);
        if (options.PcFilePathMode != 0 && NamesADrive(file.baseName)) {
            file.directory = file.baseName + kSeparator;
            file.baseName.clear();
        }
        state.FilePath = file.directory;
        if (options.PcFilePathMode != 0 && file.baseName.empty()) {
            // A listing that could not be built is not there; an older one must not stand in.
            present = listing.Build(link, state.FilePath);
            file.baseName = kListingFileName;
        }
        if (file.extension.empty()) file.extension = "." + options.Zx81Format;
    }
    link.display.programInfo = NameInfoLine(name);
    ShowFile(link.display, file);

    std::optional<FoundProgramFile> found;
    if (present) found = FindProgramFile(file);
    if (found) {
        file.extension = found->extension;
    } else {
        const std::optional<ChosenFile> chosen = AskForProgram(link);
        if (!chosen) return std::nullopt;
        file = chosen->name;
        found = FoundProgramFile{chosen->path, file.extension};
    }
    ShowFile(link.display, file);
    return found;
}

// One byte per write with a pause after each, DTR kept low. Reset stops it after the current
// byte; a port that fails (an adapter pulled out) ends it at once.
void SendReply(Link& link, const RequestBuffer& reply) {
    for (std::size_t i = 0; i < reply.size(); ++i) {
        if (!link.services.port.write({reply[i]})) return;
        link.display.progressValue = static_cast<int>(i + 1);
        link.ProcessEvents();
        link.services.clock.sleepMs(kByteGapMs);
        if (link.state.AbortFlag) return;
    }
}

// Reads and checks the program file, shows its details, and sends the name bytes followed by
// the program image. A file that cannot be used is reported before anything is sent.
void SendProgramFile(Link& link, const RequestBuffer& name, const FoundProgramFile& file) {
    const ProgramFileContent content = ReadProgramFile(file.path, file.extension);
    if (content.error != ProgramFileError::None) {
        link.services.messages.show({"Invalid File", "Error", MessageIcon::None, {}});
        return;
    }
    RequestBuffer reply = name;
    reply.insert(reply.end(), content.image.begin(), content.image.end());

    link.state.EndAddress = content.eLine;
    TransferDisplay& display = link.display;
    display.programInfo += SystemVariableLines(content.image);
    display.fileLength = std::to_string(content.fileLength);
    display.programLength = std::to_string(content.eLine - kZx81Start);
    display.startAddr = std::to_string(kZx81Start);
    display.endAddr = std::to_string(content.eLine - 1);
    display.progressMax = static_cast<int>(reply.size());
    display.status = "Sending...";
    SendReply(link, reply);
}

}  // namespace

void SendZX81Program(Link& link, RequestBuffer& buffer, const std::string& givenName,
                     const std::string& givenFormat) {
    if (ReceiveName(link, buffer)) {
        ListingFile listing;
        const std::optional<FoundProgramFile> file =
            FindRequestedFile(link, buffer, givenName, givenFormat, listing);
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

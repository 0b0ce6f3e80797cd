#include "zx80/Zx80Transfer.h"

#include "basic/BasicText.h"
#include "platform/FileIo.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

std::optional<ChosenFile> ChooseZX80Program(Link& link, bool sending) {
    FileDialogRequest request;
    request.kind = sending ? FileDialogRequest::Kind::Open : FileDialogRequest::Kind::Save;
    request.title = sending ? "Send ZX80 Program" : "Receive ZX80 Program";
    request.filter = sending ? "ZX80 Programs (*.O)|*.O|BASIC text (*.BAS;*.TXT)|*.BAS;*.TXT"
                             : "ZX80 Programs (*.O)|*.O";
    request.initialDirectory = link.options.TransferDirectory;
    request.defaultExtension = link.state.FileFormat80;
    request.fileMustExist = sending;
    request.pathMustExist = true;
    std::optional<ChosenFile> chosen = ChooseProgramFile(link, request);
    if (!chosen) return std::nullopt;
    // The directory keeps its letter case, which a file system that tells case apart needs.
    chosen->name.baseName = UpperAscii(chosen->name.baseName);
    link.state.FileFormat80 = chosen->name.extension.substr(1);
    return chosen;
}

void ReceiveZX80Program(Link& link, const std::string& name, RequestBuffer& buffer,
                        const std::filesystem::path& chosen) {
    if (name.empty()) {
        ReceiveProgramImage(link, buffer, kZx80Layout, {}, {});
        return;
    }
    const LinkState& state = link.state;
    const std::string fileName =
        name.find('.') == std::string::npos ? name + "." + state.FileFormat80 : name;
    TransferDisplay& display = link.display;
    display.programInfo.clear();
    display.filename = fileName;
    display.filepath = state.FilePath;
    const bool sameButForCase = UpperAscii(Utf8FromPath(chosen.filename())) == fileName;
    ReceiveProgramImage(link, buffer, kZx80Layout, PathFromUtf8(state.FilePath + fileName), {},
                        sameButForCase ? chosen : std::filesystem::path{});
}

void SendZX80Program(Link& link, const std::string& name, const std::filesystem::path& chosen) {
    LinkState& state = link.state;
    TransferDisplay& display = link.display;
    display.programInfo.clear();
    display.filename = name + "." + state.FileFormat80;
    display.filepath = state.FilePath;
    link.observed.file = Utf8FromPath(chosen);

    const ProgramFileContent content =
        ReadProgramFile(link.services.files, chosen, "." + state.FileFormat80, Machine::Zx80);
    const auto invalid = [&link, &content] {
        link.services.messages.show({"Invalid File", "Error", MessageIcon::None, content.detail});
    };
    if (content.error != ProgramFileError::None) return invalid();
    state.EndAddress = content.eLine;
    // The details come from the file, even where the program ends before them.
    display.programInfo = SystemVariableLines(content.systemVariables, kZx80Layout);
    display.fileLength = std::to_string(content.fileLength);
    display.programLength = std::to_string(content.eLine - kZx80Start);
    display.startAddr = std::to_string(kZx80Start);
    display.endAddr = std::to_string(content.eLine - 1);
    display.progressMax = static_cast<int>(content.image.size());
    display.status = "Sending...";
    // A port that fails part way (an adapter pulled out) is a failure like any other.
    if (!SendProgramBytes(link, content.image, Pace::Wire)) invalid();
}

}  // namespace brindle

#include "zx81/ProgramTransfer.h"

#include <system_error>

#include "platform/FileIo.h"
#include "zx81/Charset.h"

namespace brindle {

namespace fs = std::filesystem;

namespace {

// The wait after every byte of a LOAD at tape pace.
constexpr int kTapeGapMs = 10;

constexpr char kSeparator = static_cast<char>(fs::path::preferred_separator);
// The separators a dialog's answer may use: "/" everywhere, and the platform's own.
constexpr char kSeparators[] = {'/', kSeparator, '\0'};

bool Exists(const fs::path& path) {
    std::error_code ec;
    // A name that cannot be looked up counts as taken.
    return fs::symlink_status(path, ec).type() != fs::file_type::not_found;
}

// Ends a reception that did not complete: what was received takes the target's name only when
// no file has it or the name it replaces, so an older program is never lost to a partial one.
void KeepPartial(StagedFile& staged, const fs::path& replaced) {
    if (Exists(staged.target()) || (!replaced.empty() && Exists(replaced))) {
        staged.Discard();
    } else {
        staged.Commit();
    }
}

// A complete image has taken the target's name; the file it replaces under another spelling
// goes, unless the file system spells both alike.
void RemoveReplaced(FileSystem& files, const fs::path& target, const fs::path& replaced) {
    std::error_code ec;
    if (replaced.empty() || replaced == target || fs::equivalent(target, replaced, ec)) return;
    files.remove(replaced);
}

void ReportFailure(Link& link) {
    link.services.messages.show({"Invalid Filename", "Error", MessageIcon::None, {}});
}

// Takes one image byte at CurrentAddress and shows what it tells: the detail line, and the
// program's extent once E_LINE is complete.
void TakeImageByte(Link& link, const ImageLayout& layout, std::uint8_t b, bool& endKnown) {
    LinkState& state = link.state;
    TransferDisplay& display = link.display;
    const std::int32_t eLineLow = layout.start + static_cast<std::int32_t>(layout.eLineOffset);
    if (state.CurrentAddress < layout.start + static_cast<std::int32_t>(layout.detailBytes))
        display.programInfo += AddressInfoLine(state.CurrentAddress, b);
    if (state.CurrentAddress == eLineLow) state.EndAddress = b;
    if (state.CurrentAddress == eLineLow + 1) {
        state.EndAddress += 256 * b;
        display.startAddr = std::to_string(layout.start);
        display.fileLength.assign(1, '-');  // not = "-": GCC 12 warns falsely (-Wrestrict)
        display.programLength = std::to_string(state.EndAddress - layout.start);
        display.endAddr = std::to_string(state.EndAddress - 1);
        display.progressMax = state.EndAddress - (layout.start - 1);
        endKnown = true;
    }
    ++state.CurrentAddress;
    display.progressValue = state.CurrentAddress - layout.start;
}

// Polls for image bytes and stores them in `staged`, when there is a file, until the image is
// complete (true) or Reset is pressed (false). The end is tested only between cycles, so every
// byte of the last cycle is stored. A file that fails is reported at once, what it holds is
// settled, and `staged` is dropped: the rest of the image is still taken off the link, so that
// program bytes are never read as new requests.
bool ReceiveImage(Link& link, RequestBuffer& buffer, const ImageLayout& layout, StagedFile*& staged,
                  const fs::path& replaced) {
    bool endKnown = false;
    for (;;) {
        link.PollLink(buffer);
        for (std::uint8_t b : buffer) {
            if (staged != nullptr && !staged->write(&b, 1)) {
                ReportFailure(link);
                KeepPartial(*staged, replaced);
                staged = nullptr;
            }
            TakeImageByte(link, layout, b, endKnown);
            link.ProcessEvents();
            if (link.state.AbortFlag) return false;
        }
        buffer.clear();
        link.ProcessEvents();
        if (link.state.AbortFlag) return false;
        if (endKnown && link.state.CurrentAddress >= link.state.EndAddress) return true;
    }
}

}  // namespace

std::optional<ChosenFile> SplitChosenPath(const std::string& answer) {
    const std::size_t separator = answer.find_last_of(kSeparators);
    if (separator == std::string::npos) return std::nullopt;
    const std::string fileName = answer.substr(separator + 1);
    const std::size_t dot = fileName.rfind('.');
    if (dot == std::string::npos || dot == 0) return std::nullopt;
    return ChosenFile{{answer.substr(0, separator + 1), fileName.substr(0, dot),
                       UpperAscii(fileName.substr(dot))},
                      PathFromUtf8(answer)};
}

std::optional<ChosenFile> ChooseProgramFile(Link& link, const FileDialogRequest& request) {
    const std::optional<std::string> answer = link.services.dialogs.run(request);
    if (!answer) return std::nullopt;
    std::optional<ChosenFile> chosen = SplitChosenPath(*answer);
    if (!chosen) return std::nullopt;
    link.state.FilePath = chosen->name.directory;
    link.state.ChosenFile = Utf8FromPath(chosen->path);
    link.MoveTransferDirectory(chosen->name.directory);
    return chosen;
}

void ReceiveProgramImage(Link& link, RequestBuffer& buffer, const ImageLayout& layout,
                         const fs::path& target, const std::vector<std::uint8_t>& leading,
                         const fs::path& replaced) {
    // Received beside the target; it replaces an older file only once complete.
    FileSystem& files = link.services.files;
    StagedFile staged(files, target);
    StagedFile* file = nullptr;
    if (!target.empty()) {
        std::error_code ec;
        // Staging writes elsewhere, so a name the file system refuses would show only at the end.
        if (!fs::is_directory(target, ec) && NameAccepted(files, target) && staged.open() &&
            staged.write(leading)) {
            file = &staged;
        } else {
            ReportFailure(link);
        }
    }
    const bool complete = ReceiveImage(link, buffer, layout, file, replaced);
    buffer.clear();
    RunObservations& observed = link.observed;
    observed.file = Utf8FromPath(target);
    observed.bytes = link.state.CurrentAddress - layout.start;
    // Without a file there is nothing to store, or it failed and was settled already.
    if (file != nullptr) {
        if (complete) {
            observed.replacedOlder = Exists(target) || (!replaced.empty() && Exists(replaced));
            if (staged.Commit()) {
                observed.complete = true;
                RemoveReplaced(files, target, replaced);
            } else {
                ReportFailure(link);
            }
        } else if (link.state.PortLost) {
            // As a failed read: the rest never comes, and a re-plugged adapter starts afresh.
            staged.Discard();
        } else {
            KeepPartial(staged, replaced);
        }
    }
    if (!complete) link.SettleAfterReset();
}

bool SendProgramBytes(Link& link, const std::vector<std::uint8_t>& bytes, Pace pace) {
    SerialPort& port = link.services.port;
    for (std::size_t i = 0; i < bytes.size(); ++i) {
        if (!port.write({bytes[i]})) return false;
        if (pace == Pace::Wire && !port.drain()) return false;
        link.display.progressValue = static_cast<int>(i + 1);
        link.observed.bytes = static_cast<std::int64_t>(i + 1);
        link.ProcessEvents();
        if (pace == Pace::Tape) link.services.clock.sleepMs(kTapeGapMs);
        if (link.state.AbortFlag) return true;
    }
    link.observed.complete = true;
    return true;
}

}  // namespace brindle

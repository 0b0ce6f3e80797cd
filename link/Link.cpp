#include "link/Link.h"

#include <cassert>

#include "link/ProgramInfo.h"
#include "link/Settings.h"

namespace brindle {

namespace {
constexpr int kSettleMs = 10;
// Poll cycles of at least 10 ms each without a byte: about half a second of quiet line.
constexpr int kQuietCycles = 50;
}  // namespace

Link::Link(LinkServices given, TransferOptions& options, DisplaySink& sink)
    : presentingMessages_(*this, given.messages),
      presentingDialogs_(*this, given.dialogs),
      services{.port = given.port,
               .clock = given.clock,
               .pump = given.pump,
               .messages = presentingMessages_,
               .dialogs = presentingDialogs_,
               .files = given.files},
      options(options),
      sink_(sink) {}

void Link::PresentingMessages::show(const Message& message) {
    if (link_.observed.failure.empty()) link_.observed.failure = message.text;
    link_.sink_.present(link_.display);
    inner_.show(message);
}

std::optional<std::string> Link::PresentingDialogs::run(const FileDialogRequest& request) {
    link_.sink_.present(link_.display);
    std::optional<std::string> answer = inner_.run(request);
    if (!answer) link_.observed.dialogCancelled = true;
    return answer;
}

void Link::StartIdle() {
    state.LinkBusy = 0;
    state.PrintingFlag = false;
    state.AbortFlag = false;
    services.port.setDtr(true);
}

void Link::Abort() {
    if (state.AbortFlag) return;
    if (runs_ == 0) {
        // Nothing is running that would clear the flag and raise DTR again, and a peer that
        // honours DTR could never start the request that would: stay idle instead.
        services.port.setDtr(true);
        return;
    }
    state.AbortFlag = true;
    observed.reset = true;
    services.port.setDtr(false);
}

void Link::PortLost() {
    if (runs_ == 0) return;
    state.PortLost = true;
    state.AbortFlag = true;
    observed.portLost = true;
}

void Link::SettleAfterReset() {
    if (!state.AbortFlag || state.PortLost) return;
    // Cleared so that a second Reset shows as a new one.
    state.AbortFlag = false;
    display.status = kSettlingStatus;
    RequestBuffer dropped;
    for (int quiet = 0; quiet < kQuietCycles && !state.AbortFlag;) {
        PollLink(dropped);
        quiet = dropped.empty() ? quiet + 1 : 0;
        dropped.clear();
        ProcessEvents();
    }
}

void Link::MoveTransferDirectory(const std::string& directory) {
    if (!KeepableDirectory(directory)) {
        services.messages.show(
            {kUnkeepableDirectoryText, kProgramTitle, MessageIcon::Exclamation, {}});
        return;
    }
    options.TransferDirectory = directory;
    if (transferDirectoryMoved) transferDirectoryMoved(directory);
}

void Link::PollLink(RequestBuffer& buffer) {
    SerialPort& port = services.port;
    port.setDtr(true);
    services.clock.sleepMs(kSettleMs);
    port.setDtr(false);
    Bytes arrived = port.readAll();
    buffer.insert(buffer.end(), arrived.begin(), arrived.end());
}

void Link::ProcessEvents() {
    sink_.present(display);
    services.pump.processEvents();
}

void Link::resetRequestState() {
    state.NameReceived = false;
    state.EndAddress = 0;
    state.CurrentAddress = kZx81Start;
    // The file path and the status line are not part of a request's details.
    TransferDisplay fresh;
    fresh.filepath = std::move(display.filepath);
    fresh.status = std::move(display.status);
    display = std::move(fresh);
    state.FilePath = options.TransferDirectory;
    state.FileFormat = options.Zx81Format;
    state.FileFormat80 = options.Zx80Format;
    state.ChosenFile.clear();
}

void Link::LinkDispatcher(SerialEventKind kind) {
    if (state.LinkBusy != 0) return;
    SerialPort& port = services.port;
    if (kind == SerialEventKind::FramingError) {
        // One box at a time: while it is open, events still come, and a peer at the wrong speed
        // would otherwise stack up a box per burst of errors, each inside the one before.
        if (framingMessageOpen_) return;
        framingMessageOpen_ = true;
        services.messages.show({"Framing Error", kProgramTitle, MessageIcon::None, {}});
        framingMessageOpen_ = false;
        return;
    }
    if (kind != SerialEventKind::BytesReceived && port.bytesWaiting() == 0) return;

    port.setDtr(false);
    services.clock.sleepMs(kSettleMs);
    RequestBuffer buffer = port.readAll();
    if (buffer.empty() || state.PrintingFlag) {
        port.setDtr(true);
        return;
    }
    port.setReceiveThreshold(0);
    ++runs_;

    while (!buffer.empty()) {
        const std::uint8_t code = buffer.front();
        if (code != kCodePrinter) resetRequestState();
        // Every request starts with its one code byte; a byte that is no code is dropped alone.
        buffer.erase(buffer.begin());
        const auto found = requests.find(code);
        if (found == requests.end()) continue;
        const Request& request = found->second;
        assert(request.run);
        if (request.busy != 0) state.LinkBusy = request.busy;
        if (request.startAddress != 0) state.CurrentAddress = request.startAddress;
        display.status = request.status;
        observed = {};
        if (code == kCodePrinter) {
            // The printer handler lets no events run, so the status is shown now.
            sink_.present(display);
            state.PrintingFlag = true;
            request.run(buffer);
            state.PrintingFlag = false;
        } else {
            request.run(buffer);
        }
        recordRun(code);
    }
    endRun();
}

void Link::recordRun(std::uint8_t code) {
    if (!runEnded) return;
    using Kind = TransferRecord::Kind;
    TransferRecord record;
    record.atSeconds = services.clock.nowSeconds();
    const bool zx80 = code == kCodeZx80Load || code == kCodeZx80Save;
    record.machine = code == kCodePrinter ? "Printer" : zx80 ? "ZX80" : "ZX81";
    if (code == kCodePrinter) {
        record.kind = Kind::Printout;
        record.lines = 1;
    } else if (code == kCodeZx81Save || code == kCodeZx80Save) {
        record.kind = Kind::Save;
    } else {
        record.kind = observed.listing ? Kind::Listing : Kind::Load;
    }
    record.file = observed.file;
    record.bytes = observed.bytes;
    record.outcome = DecideOutcome(record.kind, observed);
    record.message = observed.portLost ? "the adapter was pulled out" : observed.failure;
    runEnded(record);
}

void Link::endRun() {
    SerialPort& port = services.port;
    display.status.clear();
    display.progressValue = 0;
    state.LinkBusy = 0;
    state.AbortFlag = false;
    state.PortLost = false;
    services.clock.sleepMs(kSettleMs);
    port.readAll();
    --runs_;
    sink_.present(display);
    port.setReceiveThreshold(1);
    port.setDtr(true);
}

}  // namespace brindle

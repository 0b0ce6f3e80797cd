#include "app/Link.h"

#include <cassert>

#include "app/Settings.h"
#include "options/OptionsRules.h"

namespace brindle {

namespace {
constexpr std::uint8_t kCodeZx81Save = 32;
constexpr std::uint8_t kCodeZx81Load = 10;
constexpr std::uint8_t kCodeZx81Choose = 2;
constexpr std::uint8_t kCodeZx80Load = 130;
constexpr std::uint8_t kCodeZx80Save = 160;
constexpr std::uint8_t kCodePrinter = 27;
constexpr int kSettleMs = 10;
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
    link_.sink_.present(link_.display);
    inner_.show(message);
}

std::optional<std::string> Link::PresentingDialogs::run(const FileDialogRequest& request) {
    link_.sink_.present(link_.display);
    return inner_.run(request);
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
    services.port.setDtr(false);
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
    assert(handlers_ != nullptr);
    ++runs_;

    const auto startTransfer = [this](std::int32_t busy, const char* status) {
        state.LinkBusy = busy;
        display.status = status;
    };
    while (!buffer.empty()) {
        const std::uint8_t code = buffer.front();
        if (code != kCodePrinter) resetRequestState();
        // Every request starts with its one code byte; a byte that is no code is dropped alone.
        buffer.erase(buffer.begin());
        switch (code) {
            case kCodeZx81Save:
                startTransfer(2, "Receiving...");
                handlers_->ReceiveZX81Program(buffer);
                handlers_->RefreshOptionsWindow();
                break;
            case kCodeZx81Load:
                startTransfer(1, "Load Req...");
                handlers_->SendZX81Program(buffer, {}, state.FileFormat);
                break;
            case kCodeZx81Choose: {
                startTransfer(1, "Load Req...");
                std::string name = handlers_->ChooseZX81Program(buffer);
                if (!buffer.empty()) handlers_->SendZX81Program(buffer, name, state.FileFormat);
                break;
            }
            case kCodeZx80Load: {
                state.CurrentAddress = kZx80Start;
                startTransfer(1, "Load Req...");
                std::string name = handlers_->ChooseZX80Program(true);
                if (!name.empty()) handlers_->SendZX80Program(name);
                break;
            }
            case kCodeZx80Save: {
                state.CurrentAddress = kZx80Start;
                startTransfer(2, "Receiving...");
                std::string name = handlers_->ChooseZX80Program(false);
                // Cancelled, the SAVE still takes its image off the link and stores nothing:
                // the peer sends it regardless, and none of its bytes may start a request.
                handlers_->ReceiveZX80Program(name, buffer);
                if (!name.empty()) handlers_->RefreshOptionsWindow();
                break;
            }
            case kCodePrinter:
                display.status = "Printing...";
                // The printer handler lets no events run, so the status is shown now.
                sink_.present(display);
                state.PrintingFlag = true;
                handlers_->Printing(buffer);
                state.PrintingFlag = false;
                break;
            default:
                break;
        }
    }
    endRun();
}

void Link::endRun() {
    SerialPort& port = services.port;
    display.status.clear();
    display.progressValue = 0;
    state.LinkBusy = 0;
    state.AbortFlag = false;
    services.clock.sleepMs(kSettleMs);
    port.readAll();
    --runs_;
    sink_.present(display);
    port.setReceiveThreshold(1);
    port.setDtr(true);
}

}  // namespace brindle

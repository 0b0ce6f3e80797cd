#pragma once

#include <functional>
#include <string>

#include "link/LinkTypes.h"
#include "link/TransferHistory.h"
#include "platform/FileIo.h"
#include "platform/SerialPort.h"
#include "platform/System.h"

namespace brindle {

// The services a link and its handlers reach the world through.
struct LinkServices {
    SerialPort& port;
    Clock& clock;
    EventPump& pump;
    MessageBoxes& messages;
    FileDialogs& dialogs;
    FileSystem& files;
};

// The link dispatcher: takes every event of the serial port, reads the request, hands it to
// its handler, and puts the link back into its idle state (DTR high, receive events on).
class Link {
    // Modal boxes and dialogs that first show the display as it stands, so that the user reads
    // what the transfer has reached behind them. Every handler reaches them through services.
    class PresentingMessages : public MessageBoxes {
    public:
        PresentingMessages(Link& link, MessageBoxes& inner) : link_(link), inner_(inner) {}
        void show(const Message& message) override;

    private:
        Link& link_;
        MessageBoxes& inner_;
    };
    class PresentingDialogs : public FileDialogs {
    public:
        PresentingDialogs(Link& link, FileDialogs& inner) : link_(link), inner_(inner) {}
        std::optional<std::string> run(const FileDialogRequest& request) override;

    private:
        Link& link_;
        FileDialogs& inner_;
    };
    PresentingMessages presentingMessages_;
    PresentingDialogs presentingDialogs_;

public:
    Link(LinkServices services, TransferOptions& options, DisplaySink& sink);
    Link(const Link&) = delete;
    Link& operator=(const Link&) = delete;

    // One dispatcher run for one port event.
    void LinkDispatcher(SerialEventKind kind);

    // Reset: ask the running transfer to stop, and stop the peer.
    void Abort();

    // The port went away: a running transfer ends at its next check as a failed read would.
    void PortLost();

    // After Reset has ended a receive, the peer still sends the rest of its program: takes and
    // drops it until the line has been quiet for about half a second, so that none of it starts
    // a request. A second Reset ends the wait at once. Does nothing for any other end.
    void SettleAfterReset();

    // The idle state the program starts in: DTR high, nothing busy.
    void StartIdle();

    // Moves the transfer directory to where a file dialog went, and the options window with it.
    // A directory the settings file could not keep is refused with a message; the old one stays.
    void MoveTransferDirectory(const std::string& directory);

    // One poll cycle of a handler: DTR high for 10 ms, then low, then take what waits.
    void PollLink(RequestBuffer& buffer);

    // Shows the display as it stands and lets pending user-interface events run.
    void ProcessEvents();

    // The world as the handlers see it; its message boxes and dialogs present the display first.
    LinkServices services;
    TransferOptions& options;
    // What answers each request code.
    RequestTable requests;
    // Called when a file dialog has moved the transfer directory, so the options window follows.
    std::function<void(const std::string&)> transferDirectoryMoved;
    LinkState state;
    TransferDisplay display;
    // What the running request was seen to do; handlers note the file they stored or sent.
    RunObservations observed;
    // Called when a request's run has ended, with what it did.
    std::function<void(const TransferRecord&)> runEnded;

private:
    void resetRequestState();
    void recordRun(std::uint8_t code);
    void endRun();

    DisplaySink& sink_;
    int runs_ = 0;  // dispatcher runs past their read and not yet ended
    bool framingMessageOpen_ = false;
};

}  // namespace brindle

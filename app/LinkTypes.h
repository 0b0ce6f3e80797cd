#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

// Bytes received from the peer and not yet consumed by a request handler.
using RequestBuffer = std::vector<std::uint8_t>;

// The first address of a ZX81 program image and of a ZX80 one.
constexpr std::int32_t kZx81Start = 16393;
constexpr std::int32_t kZx80Start = 16384;

// Program-wide transfer settings, edited in the options window and kept in the settings file.
struct TransferOptions {
    std::string TransferDirectory;  // absolute, always ends in the separator
    int PcFilePathMode = 0;         // 1: a ZX81 name is a PC path
    std::string Zx81Format = "P81";
    std::string Zx80Format = "O";
};

// The link flags and the per-request state of the main window.
struct LinkState {
    std::int32_t LinkBusy = 0;  // 0 idle, 1 answering a LOAD, 2 receiving a SAVE
    bool PrintingFlag = false;
    bool AbortFlag = false;

    bool NameReceived = false;
    std::int32_t CurrentAddress = kZx81Start;
    std::int32_t EndAddress = 0;
    std::string FilePath;
    std::string FileFormat;
    std::string FileFormat80;
    // The file picked in the dialog for this request, read under exactly that path.
    std::string ChosenFile;
};

// What the main window shows of a transfer: the details panel, progress bar and status line.
struct TransferDisplay {
    std::string filename;
    std::string filepath;
    std::string fileLength;
    std::string programLength;
    std::string startAddr;
    std::string endAddr;
    std::string programInfo;
    std::string status;
    int progressMax = 13;
    int progressValue = 0;

    bool operator==(const TransferDisplay&) const = default;
};

// Where the transfer display is shown; the main window in the program, a recorder in tests.
class DisplaySink {
public:
    virtual ~DisplaySink() = default;
    virtual void present(const TransferDisplay& display) = 0;
};

// The request handlers the dispatcher calls, with the arguments it gives them.
class RequestHandlers {
public:
    virtual ~RequestHandlers() = default;
    virtual void ReceiveZX81Program(RequestBuffer& buffer) = 0;
    virtual void SendZX81Program(RequestBuffer& buffer, const std::string& givenName,
                                 const std::string& givenFormat) = 0;
    // Returns the chosen base name; empties the buffer when the user cancels.
    virtual std::string ChooseZX81Program(RequestBuffer& buffer) = 0;
    // Returns the chosen file, or empty when the user cancels.
    virtual std::string ChooseZX80Program(bool sending) = 0;
    virtual void SendZX80Program(const std::string& pcFileName) = 0;
    // An empty name (the dialog was cancelled) takes the image off the link without storing it.
    virtual void ReceiveZX80Program(const std::string& pcFileName, RequestBuffer& buffer) = 0;
    virtual void Printing(RequestBuffer& buffer) = 0;
    // Re-lists the options window's files after a SAVE, when that window is visible.
    virtual void RefreshOptionsWindow() = 0;
};

}  // namespace brindle

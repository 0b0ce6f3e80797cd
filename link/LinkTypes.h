#pragma once

#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// Bytes received from the peer and not yet consumed by a request handler.
using RequestBuffer = std::vector<std::uint8_t>;

// The first address of a ZX81 program image and of a ZX80 one.
constexpr std::int32_t kZx81Start = 16393;
constexpr std::int32_t kZx80Start = 16384;

// The ZX81 formats this system writes, in the order of the format list, the default first; a
// LOAD tries them in this order when the file it asked for is missing.
inline constexpr std::array<std::string_view, 2> kZx81FormatList{"P81", "P"};

// Program-wide transfer settings, edited in the options window and kept in the settings file.
struct TransferOptions {
    std::string TransferDirectory;  // absolute, always ends in the separator
    int PcFilePathMode = 0;         // 1: a ZX81 name is a PC path
    std::string Zx81Format{kZx81FormatList[0]};
    std::string Zx80Format = "O";

    bool operator==(const TransferOptions&) const = default;
};

// The status line while the rest of a program ended by Reset is taken off the link.
inline constexpr const char* kSettlingStatus = "Reset: dropping the rest...";

// The link flags and the per-request state of the main window.
struct LinkState {
    std::int32_t LinkBusy = 0;  // 0 idle, 1 answering a LOAD, 2 receiving a SAVE
    bool PrintingFlag = false;
    bool AbortFlag = false;
    // The port went away during this run (an adapter pulled out); AbortFlag is set with it.
    bool PortLost = false;

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

// The request codes that start the peer's requests.
constexpr std::uint8_t kCodeZx81Save = 32;
constexpr std::uint8_t kCodeZx81Load = 10;
constexpr std::uint8_t kCodeZx81Choose = 2;
constexpr std::uint8_t kCodeZx80Load = 130;
constexpr std::uint8_t kCodeZx80Save = 160;
constexpr std::uint8_t kCodePrinter = 27;

// What the dispatcher does for one request code once the code byte is taken off the buffer.
struct Request {
    std::int32_t busy = 0;          // LinkBusy while it runs; 0 leaves it as it is
    const char* status = "";        // the status line while it runs
    std::int32_t startAddress = 0;  // CurrentAddress for it; 0 leaves it as it is
    std::function<void(RequestBuffer&)> run;
};

// Every request code the peer may send, with what answers it; any other byte is dropped.
using RequestTable = std::map<std::uint8_t, Request>;

}  // namespace brindle

#pragma once

#include <cstdint>
#include <functional>
#include <vector>

namespace brindle {

using Bytes = std::vector<std::uint8_t>;

// What a port event reports; everything that is neither data nor a framing error is Other
// (line-state changes and the like).
enum class SerialEventKind { BytesReceived, FramingError, Other };

// Why the last open() failed, so that the port list can tell a user who lacks access how to
// get it.
enum class OpenFailure { None, NoSuchPort, InUse, PermissionDenied, Other };

enum class Parity { None, Even, Odd, Mark, Space };
enum class StopBits { One, OneAndHalf, Two };

// How bytes are framed on the line.
struct LineSettings {
    int baud = 9600;
    int dataBits = 8;
    Parity parity = Parity::None;
    StopBits stopBits = StopBits::Two;

    bool operator==(const LineSettings&) const = default;
};

// The serial port as the link sees it: the byte stream of one of the numbered ports 1 to 20, DTR
// as the only signal to the peer, and events delivered on the user-interface thread. What the
// numbers stand for is the PortCatalogue's.
class SerialPort {
public:
    virtual ~SerialPort() = default;

    virtual void setPortNumber(int number) = 0;
    virtual int portNumber() const = 0;
    virtual bool open() = 0;
    virtual OpenFailure lastOpenFailure() const = 0;
    virtual void close() = 0;
    virtual bool isOpen() const = 0;
    // False when the device cannot frame bytes so; the settings in force stay then.
    virtual bool setSettings(const LineSettings& settings) = 0;

    virtual int bytesWaiting() = 0;
    // Everything waiting at this moment; empty when nothing waits or the port is closed.
    virtual Bytes readAll() = 0;
    // Puts the bytes on their way at once; false when the port is closed or the device failed.
    virtual bool write(const Bytes& bytes) = 0;
    // Waits until every byte written has left the port (a device that takes none for a while
    // ends the wait early); false when the port is closed or the device failed.
    virtual bool drain() = 0;
    virtual void setDtr(bool high) = 0;
    virtual bool dtr() const = 0;
    // 1: an event as soon as one byte waits; 0: no receive events.
    virtual void setReceiveThreshold(int threshold) = 0;
    virtual int receiveThreshold() const = 0;

    // Set by the owner; called for every event of the port.
    std::function<void(SerialEventKind)> onEvent;
    // Set by the owner; called from the event loop once the device has gone away (an adapter
    // pulled out) and the port is closed.
    std::function<void()> onLost;
};

}  // namespace brindle

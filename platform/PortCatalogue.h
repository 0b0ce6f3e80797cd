#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/LatencyTimer.h"
#include "platform/PortHolders.h"
#include "platform/SerialPort.h"

namespace brindle {

// The machine's serial ports by number (1 to 20): which exist, what is behind each and whether
// each is free, all found without opening a device. Opening raises DTR and RTS and closing drops
// them, which resets many a board plugged into another port.
class PortCatalogue {
public:
    virtual ~PortCatalogue() = default;

    // The device behind a port number; empty when there is none.
    virtual std::string deviceName(int number) const = 0;
    // The name that stays the device's whatever the port it is plugged into and the order of
    // plugging (the serial/by-id name of a USB adapter); empty when it has none.
    virtual std::string deviceId(int /*number*/) const { return {}; }
    // None when the port could be opened now, else why opening it would fail.
    virtual OpenFailure availability(int number) const = 0;
    // The processes that hold the port's device open.
    virtual std::vector<PortHolder> holders(int /*number*/) const { return {}; }
    // The latency timer of the adapter behind the port; nothing when it has none.
    virtual std::optional<LatencyTimer> latencyTimer(int /*number*/) const { return std::nullopt; }
};

}  // namespace brindle

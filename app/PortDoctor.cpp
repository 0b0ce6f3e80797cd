#include "app/PortDoctor.h"

#include <algorithm>

namespace brindle {

namespace {

constexpr const char* kModemManager = "ModemManager";

// USB and ACM adapters are the ones a modem manager probes when they are plugged in.
bool IsUsbAdapter(const std::string& device) {
    for (const char* mark : {"ttyUSB", "ttyACM", "/by-id/usb-"}) {
        if (device.find(mark) != std::string::npos) return true;
    }
    return false;
}

std::string HolderList(const std::vector<PortHolder>& holders) {
    std::string list;
    for (std::size_t i = 0; i < holders.size(); ++i) {
        if (i != 0) list += i + 1 == holders.size() ? " and " : ", ";
        list += holders[i].name + " (process " + std::to_string(holders[i].pid) + ")";
    }
    return list;
}

}  // namespace

std::string PortAdvice(OpenFailure failure, const std::string& device,
                       const std::vector<PortHolder>& holders) {
    switch (failure) {
        case OpenFailure::PermissionDenied:
            return "This user may not open " + device +
                   ". Ask for membership of the \"dialout\" group (sudo usermod -aG dialout "
                   "$USER), then log out and in again: the membership counts from the next "
                   "log-in.";
        case OpenFailure::InUse: {
            std::string advice =
                holders.empty()
                    ? "Another program holds " + device + ". Close it, then choose the port again."
                    : device + " is held by " + HolderList(holders) +
                          (holders.size() == 1 ? ". Close that program"
                                               : ". Close those programs") +
                          ", then choose the port again.";
            const bool modemManager =
                std::any_of(holders.begin(), holders.end(),
                            [](const PortHolder& h) { return h.name == kModemManager; });
            if (modemManager || (holders.empty() && IsUsbAdapter(device))) {
                advice +=
                    " ModemManager probes a newly plugged USB adapter for a few seconds; to keep "
                    "it "
                    "away from this one, give the adapter the udev property ID_MM_DEVICE_IGNORE=1 "
                    "in a rule under /etc/udev/rules.d, or, with no modem to manage, stop it "
                    "(sudo systemctl disable --now ModemManager).";
            }
            return advice;
        }
        case OpenFailure::NoSuchPort:
            if (device.empty()) return "No device has this port number any more.";
            return device +
                   " is gone: the adapter was unplugged. Plug it in again; the port is taken again "
                   "by itself when it is back.";
        case OpenFailure::Other:
            return "The system would not open " + device + ".";
        case OpenFailure::None:
            break;
    }
    return {};
}

std::string PortTip(const PortCatalogue& catalogue, const SerialPort& port, int number) {
    const std::string device = catalogue.deviceName(number);
    std::string tip = device;
    const std::string id = catalogue.deviceId(number);
    if (!id.empty() && device.find(id) == std::string::npos) tip += " (" + id + ")";
    const std::optional<LatencyTimer> timer = catalogue.latencyTimer(number);
    if (!port.isOpen() || port.portNumber() != number || !timer || timer->ms <= 1) return tip;
    const std::string driver = timer->driver.empty() ? "" : "DRIVER==\"" + timer->driver + "\", ";
    return tip + "\n" + device + " passes on what it receives only every " +
           std::to_string(timer->ms) +
           " ms, and this user may not shorten that. A udev rule does it for every user: put "
           "the line\nACTION==\"add\", SUBSYSTEM==\"usb-serial\", " +
           driver +
           "ATTR{latency_timer}=\"1\"\ninto /etc/udev/rules.d/50-usb-serial-latency.rules, "
           "then plug the adapter in again.";
}

}  // namespace brindle

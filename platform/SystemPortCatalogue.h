#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "platform/PortCatalogue.h"
#include "platform/PortMap.h"

namespace brindle {

// Where the system shows its devices, processes and port locks; tests pass made-up trees.
struct SystemTrees {
    std::filesystem::path dev = "/dev";
    std::filesystem::path sys = "/sys";
    std::filesystem::path proc = "/proc";
    // Where programs leave UUCP lock files: LCK..ttyUSB0, holding the locker's process number.
    std::vector<std::filesystem::path> locks = {"/var/lock", "/run/lock"};
    // Whether this user may read and write a device node; access(2) when not set.
    std::function<bool(const std::filesystem::path&)> mayOpen;
};

// The ports as PortMap numbers them. A port is free when its node is a serial port the kernel
// knows hardware behind (or a pseudo-terminal), this user may open it, and no live process holds
// it or its lock.
class SystemPortCatalogue : public PortCatalogue {
public:
    explicit SystemPortCatalogue(std::filesystem::path programDir, SystemTrees trees = {});

    // Looks for the devices again: one came or went, or a link in the ports folder changed.
    void refresh();

    std::string deviceName(int number) const override;
    std::string deviceId(int number) const override;
    OpenFailure availability(int number) const override;
    std::vector<PortHolder> holders(int number) const override;
    std::optional<LatencyTimer> latencyTimer(int number) const override;

private:
    bool locked(const std::filesystem::path& node) const;

    std::filesystem::path programDir_;
    SystemTrees trees_;
    PortMap ports_;
};

}  // namespace brindle

#include "platform/SystemPortCatalogue.h"

#include <unistd.h>

#include <algorithm>
#include <fstream>

namespace brindle {

namespace fs = std::filesystem;

SystemPortCatalogue::SystemPortCatalogue(fs::path programDir, SystemTrees trees)
    : programDir_(std::move(programDir)), trees_(std::move(trees)) {
    refresh();
}

void SystemPortCatalogue::refresh() {
    ports_ = DiscoverPorts(programDir_, trees_.dev, trees_.sys);
}

std::string SystemPortCatalogue::deviceName(int number) const {
    auto device = ports_.find(number);
    return device == ports_.end() ? std::string() : device->second;
}

std::string SystemPortCatalogue::deviceId(int number) const {
    const std::string device = deviceName(number);
    return device.empty() ? device : SerialIdName(device, trees_.dev);
}

std::vector<PortHolder> SystemPortCatalogue::holders(int number) const {
    const std::string device = deviceName(number);
    return device.empty() ? std::vector<PortHolder>{} : FindPortHolders(device, trees_.proc);
}

std::optional<LatencyTimer> SystemPortCatalogue::latencyTimer(int number) const {
    const std::string device = deviceName(number);
    return device.empty() ? std::nullopt : ReadLatencyTimer(device, trees_.sys);
}

OpenFailure SystemPortCatalogue::availability(int number) const {
    const std::string device = deviceName(number);
    if (device.empty()) return OpenFailure::NoSuchPort;
    std::error_code ec;
    const fs::path node = fs::canonical(device, ec);
    if (ec) return OpenFailure::NoSuchPort;
    const bool pseudo = node.parent_path() == fs::weakly_canonical(trees_.dev / "pts", ec);
    if (!pseudo && !HasSerialHardware(node.filename().string(), trees_.sys))
        return OpenFailure::NoSuchPort;
    const bool mayOpen =
        trees_.mayOpen ? trees_.mayOpen(node) : ::access(node.c_str(), R_OK | W_OK) == 0;
    if (!mayOpen) return OpenFailure::PermissionDenied;
    // A pseudo-terminal stays open in the program that made it, the peer's own end: only a
    // lock says that another program took it.
    if (locked(node) || (!pseudo && !FindPortHolders(node, trees_.proc).empty()))
        return OpenFailure::InUse;
    return OpenFailure::None;
}

bool SystemPortCatalogue::locked(const fs::path& node) const {
    // Named after the node's path under /dev, with '/' as '_': LCK..ttyUSB0, LCK..pts_3.
    std::error_code ec;
    std::string name = node.lexically_relative(fs::weakly_canonical(trees_.dev, ec)).string();
    if (name.empty() || name.starts_with("..")) name = node.filename().string();
    std::replace(name.begin(), name.end(), '/', '_');
    for (const fs::path& dir : trees_.locks) {
        std::ifstream lock(dir / ("LCK.." + name));
        long pid = 0;
        // A lock left by a process that has ended binds no one.
        if (lock >> pid && pid > 0 && fs::exists(trees_.proc / std::to_string(pid), ec))
            return true;
    }
    return false;
}

}  // namespace brindle

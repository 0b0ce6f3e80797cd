#include "platform/PortMap.h"

#include <algorithm>
#include <fstream>
#include <optional>
#include <string_view>
#include <tuple>
#include <vector>

namespace brindle {

namespace fs = std::filesystem;

namespace {

// The decimal number that follows prefix in name, written without leading zeros; nothing when
// name is anything else.
std::optional<int> NumberAfter(std::string_view name, std::string_view prefix) {
    if (!name.starts_with(prefix)) return std::nullopt;
    const std::string_view digits = name.substr(prefix.size());
    if (digits.empty() || digits.size() > 4) return std::nullopt;
    if (digits.size() > 1 && digits.front() == '0') return std::nullopt;
    int number = 0;
    for (char c : digits) {
        if (c < '0' || c > '9') return std::nullopt;
        number = number * 10 + (c - '0');
    }
    return number;
}

bool IsPortNumber(int number) {
    return number >= kFirstPortNumber && number <= kLastPortNumber;
}

// The entries of a directory; none when it cannot be read.
std::vector<fs::directory_entry> Entries(const fs::path& dir) {
    std::vector<fs::directory_entry> entries;
    std::error_code ec;
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        entries.push_back(*it);
    }
    return entries;
}

// Where a symbolic link points, relative targets taken from the link's own folder.
std::optional<fs::path> LinkTarget(const fs::directory_entry& entry) {
    std::error_code ec;
    if (!entry.is_symlink(ec)) return std::nullopt;
    fs::path target = fs::read_symlink(entry.path(), ec);
    if (ec) return std::nullopt;
    if (target.is_relative()) target = entry.path().parent_path() / target;
    return target.lexically_normal();
}

PortMap PortsFromLinks(const fs::path& portsDir) {
    PortMap ports;
    for (const fs::directory_entry& entry : Entries(portsDir)) {
        const std::optional<int> number = NumberAfter(entry.path().filename().string(), "COM");
        if (!number || !IsPortNumber(*number)) continue;
        if (std::optional<fs::path> target = LinkTarget(entry)) ports[*number] = target->string();
    }
    return ports;
}

// The UART type the kernel gives an on-board node; 0 means no hardware is behind it.
std::optional<int> UartType(const fs::path& sysRoot, const std::string& name) {
    std::ifstream type(sysRoot / "class" / "tty" / name / "type");
    int uart = 0;
    if (!(type >> uart)) return std::nullopt;
    return uart;
}

// Without the kernel's word an on-board node keeps its number.
bool HasUart(const fs::path& sysRoot, const std::string& name) {
    return UartType(sysRoot, name).value_or(1) != 0;
}

struct Adapter {
    bool withoutId;      // adapters that have a serial/by-id name come first
    std::string id;      // that name, which stays the same whatever the plug-in order
    std::string prefix;  // else the device name in natural order: ttyACM2 before ttyACM10
    int number;
    std::string path;

    auto key() const { return std::tie(withoutId, id, prefix, number); }
};

// The by-id name of every device that has one, keyed by the device's file name.
std::map<std::string, std::string> IdNames(const fs::path& devRoot) {
    std::map<std::string, std::string> ids;
    for (const fs::directory_entry& entry : Entries(devRoot / "serial" / "by-id")) {
        std::optional<fs::path> target = LinkTarget(entry);
        if (!target) continue;
        const std::string id = entry.path().filename().string();
        auto [it, added] = ids.emplace(target->filename().string(), id);
        if (!added) it->second = std::min(it->second, id);
    }
    return ids;
}

PortMap PortsFromDevices(const fs::path& devRoot, const fs::path& sysRoot) {
    PortMap ports;
    std::vector<Adapter> adapters;
    const std::map<std::string, std::string> ids = IdNames(devRoot);
    for (const fs::directory_entry& entry : Entries(devRoot)) {
        const std::string name = entry.path().filename().string();
        const std::string path = (devRoot / name).string();
        if (std::optional<int> onBoard = NumberAfter(name, "ttyS")) {
            if (IsPortNumber(*onBoard + 1) && HasUart(sysRoot, name)) ports[*onBoard + 1] = path;
            continue;
        }
        for (std::string_view prefix : {"ttyUSB", "ttyACM"}) {
            if (std::optional<int> number = NumberAfter(name, prefix)) {
                auto id = ids.find(name);
                adapters.push_back({id == ids.end(), id == ids.end() ? std::string() : id->second,
                                    std::string(prefix), *number, path});
            }
        }
    }
    std::sort(adapters.begin(), adapters.end(),
              [](const Adapter& a, const Adapter& b) { return a.key() < b.key(); });
    int next = kFirstPortNumber;
    for (const Adapter& adapter : adapters) {
        while (ports.contains(next)) ++next;
        if (!IsPortNumber(next)) break;
        ports[next] = adapter.path;
    }
    return ports;
}

}  // namespace

std::string SerialIdName(const fs::path& device, const fs::path& devRoot) {
    const fs::path byId = devRoot / "serial" / "by-id";
    if (device.parent_path() == byId) return device.filename().string();
    std::error_code ec;
    const fs::path node = fs::is_symlink(device, ec) ? fs::canonical(device, ec) : device;
    if (ec) return {};
    const std::map<std::string, std::string> ids = IdNames(devRoot);
    auto id = ids.find(node.filename().string());
    return id == ids.end() ? std::string() : id->second;
}

bool HasSerialHardware(const std::string& name, const fs::path& sysRoot) {
    std::error_code ec;
    if (!fs::exists(sysRoot / "class" / "tty" / name / "device", ec)) return false;
    return !NumberAfter(name, "ttyS") || UartType(sysRoot, name).value_or(0) != 0;
}

PortMap DiscoverPorts(const fs::path& programDir, const fs::path& devRoot,
                      const fs::path& sysRoot) {
    const fs::path portsDir = programDir / "ports";
    std::error_code ec;
    if (fs::is_directory(portsDir, ec)) return PortsFromLinks(portsDir);
    return PortsFromDevices(devRoot, sysRoot);
}

}  // namespace brindle

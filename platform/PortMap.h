#pragma once

#include <filesystem>
#include <map>
#include <string>

namespace brindle {

// Serial port numbers (1 to 20) and the device behind each.
using PortMap = std::map<int, std::string>;

constexpr int kFirstPortNumber = 1;
constexpr int kLastPortNumber = 20;

// Finds the serial devices of this machine and numbers them.
//
// A folder "ports" in the program's directory, when present, alone defines the numbers: each
// symbolic link COM1 to COM20 in it names the device of that number.
//
// Otherwise on-board ports keep their traditional numbers (ttyS0 is 1, ttyS1 is 2, ...), and
// USB and ACM adapters take the numbers left free, in an order that does not depend on the
// order they were plugged in. On-board nodes that the kernel reports without a UART behind them
// are left out, so that they do not use up the numbers.
//
// devRoot and sysRoot stand for /dev and /sys, so that the rules can be tried on a made-up tree.
// The serial/by-id name of a device, given by its node or by a link to it; empty when it has none.
std::string SerialIdName(const std::filesystem::path& device,
                         const std::filesystem::path& devRoot = "/dev");

// Whether the kernel knows serial hardware behind a tty node, given by its file name (ttyUSB0):
// the node has a device in sysfs and, for an on-board port, a UART of a known type.
bool HasSerialHardware(const std::string& name, const std::filesystem::path& sysRoot = "/sys");

PortMap DiscoverPorts(const std::filesystem::path& programDir,
                      const std::filesystem::path& devRoot = "/dev",
                      const std::filesystem::path& sysRoot = "/sys");

}  // namespace brindle

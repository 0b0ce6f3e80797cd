#pragma once

#include <filesystem>
#include <optional>
#include <string>

namespace brindle {

// How long a USB serial adapter holds what it receives before passing it on (16 ms unless told
// otherwise), as its driver shows it in sysfs.
struct LatencyTimer {
    int ms = 0;
    std::string driver;  // the adapter's driver, for example ftdi_sio; empty when unknown

    bool operator==(const LatencyTimer&) const = default;
};

// The timer of the adapter behind a device node (or a link to it); nothing when it has none.
// sysRoot stands for /sys.
std::optional<LatencyTimer> ReadLatencyTimer(const std::filesystem::path& device,
                                             const std::filesystem::path& sysRoot = "/sys");

// Sets the timer to 1 ms where it is longer and this user may write it.
void ShortenLatencyTimer(const std::filesystem::path& device,
                         const std::filesystem::path& sysRoot = "/sys");

}  // namespace brindle

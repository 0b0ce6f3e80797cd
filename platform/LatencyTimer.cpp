#include "platform/LatencyTimer.h"

#include <fstream>

namespace brindle {

namespace fs = std::filesystem;

namespace {

fs::path AdapterDir(const fs::path& device, const fs::path& sysRoot) {
    std::error_code ec;
    const fs::path node = fs::canonical(device, ec);
    return sysRoot / "bus" / "usb-serial" / "devices" / (ec ? device : node).filename();
}

}  // namespace

std::optional<LatencyTimer> ReadLatencyTimer(const fs::path& device, const fs::path& sysRoot) {
    const fs::path dir = AdapterDir(device, sysRoot);
    std::ifstream file(dir / "latency_timer");
    LatencyTimer timer;
    if (!(file >> timer.ms)) return std::nullopt;
    std::error_code ec;
    timer.driver = fs::read_symlink(dir / "driver", ec).filename().string();
    return timer;
}

void ShortenLatencyTimer(const fs::path& device, const fs::path& sysRoot) {
    const std::optional<LatencyTimer> timer = ReadLatencyTimer(device, sysRoot);
    if (!timer || timer->ms <= 1) return;
    std::ofstream(AdapterDir(device, sysRoot) / "latency_timer") << "1\n";
}

}  // namespace brindle

#include "tests/rig/Rig.h"

#include <cstdint>
#include <fstream>
#include <random>

namespace brindle::rig {

Rig::Rig() : link({peer, clock, pump, messages, dialogs, files}, options, display) {
    options.TransferDirectory = "/nonexistent/";
    peer.onEvent = [this](SerialEventKind kind) { link.LinkDispatcher(kind); };
    peer.onLost = [this] { link.PortLost(); };
    peer.setPortNumber(1);
    peer.open();
    link.StartIdle();
    // Within a transfer the event loop still raises the port's events.
    pump.everyPass([this] { peer.deliverPendingEvent(); });
}

void Rig::run(std::int64_t limitNs) {
    const std::int64_t end = clock.nowNs() + limitNs;
    while (clock.nowNs() < end) {
        if (peer.deliverPendingEvent()) continue;
        if (peer.pendingBytes() == 0 && link.state.LinkBusy == 0 && peer.bytesWaiting() == 0 &&
            peer.dtr())
            return;
        clock.advanceNs(100'000);
    }
}

std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path) {
    return DiskFiles().read(path, UINTMAX_MAX, nullptr).value_or(std::vector<std::uint8_t>{});
}

void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

TempDir::TempDir() {
    static std::mt19937_64 random{std::random_device{}()};
    path_ = std::filesystem::temp_directory_path() / ("brindle-test-" + std::to_string(random()));
    std::filesystem::create_directories(path_);
}

TempDir::~TempDir() {
    std::error_code ec;
    std::filesystem::remove_all(path_, ec);
}

}  // namespace brindle::rig

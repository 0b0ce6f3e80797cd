#pragma once

#include <cstdint>
#include <filesystem>
#include <vector>

#include "link/Link.h"
#include "tests/rig/Fakes.h"
#include "tests/rig/SimPeer.h"
#include "tests/rig/VirtualClock.h"

namespace brindle::rig {

// A link wired to the simulated peer, a virtual clock, a scripted event pump, and recording
// message boxes, dialogs and display. The port starts open and idle (DTR high).
struct Rig {
    Rig();

    // Lets the peer's queued bytes flow and raises port events like the event loop would, until
    // the peer has nothing left to send and the link is idle, or the time limit passes.
    void run(std::int64_t limitNs = 60'000'000'000LL);

    VirtualClock clock;
    SimPeer peer{clock};
    ScriptedPump pump;
    FakeMessages messages;
    FakeDialogs dialogs;
    RecordingDisplay display;
    DiskFiles disk;
    FaultyFiles files{disk};
    TransferOptions options;
    Link link;
};

// A file's bytes; none when it cannot be read.
std::vector<std::uint8_t> FileBytes(const std::filesystem::path& path);
// Writes a file, and the directories it lies in.
void WriteFile(const std::filesystem::path& path, const std::vector<std::uint8_t>& bytes);

// A fresh, empty directory under the system's temporary directory, removed again on destruction.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const { return path_; }
    // The path as a directory text ending in the separator.
    std::string text() const { return path_.string() + "/"; }

private:
    std::filesystem::path path_;
};

}  // namespace brindle::rig

#pragma once

#include <gtest/gtest.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <functional>
#include <map>
#include <string>
#include <thread>
#include <vector>

#include "app/Requests.h"
#include "platform/FileIo.h"
#include "tests/rig/Rig.h"

namespace brindle::rig {

// The two messages a transfer gives when a file cannot be read or stored.
inline const Message kInvalidFile{"Invalid File", "Error", MessageIcon::None, {}};
inline const Message kInvalidFilename{"Invalid Filename", "Error", MessageIcon::None, {}};

// Polls real time until done() holds or 20 s have passed, for tests of a started program.
inline bool WaitFor(const std::function<bool()>& done) {
    using namespace std::chrono_literals;
    const auto deadline = std::chrono::steady_clock::now() + 20s;
    while (!done() && std::chrono::steady_clock::now() < deadline) {
        std::this_thread::sleep_for(20ms);
    }
    return done();
}

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::int64_t kMs = 1'000'000;

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

template <typename T>
std::vector<T> Prefix(const std::vector<T>& items, std::size_t n) {
    return std::vector<T>(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(n));
}

// The names in a directory, hidden ones included, sorted; staging files would show up here too.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// An image of the given length whose E_LINE (at the ZX81's offset 11) says eLine.
inline Bytes ImageWithELine(std::size_t length, int eLine) {
    Bytes image(length, 0x11);
    image[11] = static_cast<std::uint8_t>(eLine & 0xFF);
    image[12] = static_cast<std::uint8_t>(eLine >> 8);
    return image;
}

// Where a machine's image starts, where it keeps E_LINE and how many of its bytes the details
// show.
struct Machine {
    int start;
    std::size_t eLineAt;
    std::size_t detailBytes;
};
inline constexpr Machine kZx81{16393, 11, 116};
inline constexpr Machine kZx80{16384, 10, 39};

// The detail lines of the first `count` image bytes, written out independently of the code
// under test.
inline std::string DetailLines(const Machine& m, const Bytes& image, std::size_t count) {
    std::string text;
    for (std::size_t i = 0; i < std::min({count, m.detailBytes, image.size()}); ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%d=%02X\r\n", m.start + static_cast<int>(i), image[i]);
        text += line;
    }
    return text;
}

// The ZX81 details text: the name line, then the lines of the first `count` image bytes.
inline std::string ProgramInfo(const std::string& nameHex, const Bytes& image, std::size_t count) {
    return "Filename: " + nameHex + "\r\n" + DetailLines(kZx81, image, count);
}

// What the panel shows once a transfer of image has ended; info is the details text.
inline TransferDisplay Details(const Machine& m, const std::string& filename,
                               const std::string& filepath, const std::string& info,
                               const Bytes& image, const std::string& fileLength, int progressMax) {
    const int eLine = image[m.eLineAt] + 256 * image[m.eLineAt + 1];
    TransferDisplay d;
    d.filename = filename;
    d.filepath = filepath;
    d.fileLength = fileLength;
    d.programLength = std::to_string(eLine - m.start);
    d.startAddr = std::to_string(m.start);
    d.endAddr = std::to_string(eLine - 1);
    d.programInfo = info;
    d.progressMax = progressMax;
    return d;
}

// The printout file's header for a given height, laid out by hand: only the size field (bytes
// 2 to 5) and the height field (bytes 22 to 25) depend on the height.
inline Bytes BmpHeader(std::uint32_t height) {
    Bytes h{0x42, 0x4D, 0,    0,    0, 0, 0,    0,    0,    0,    0x3E, 0, 0, 0, 0x28, 0,
            0,    0,    0x00, 0x01, 0, 0, 0,    0,    0,    0,    1,    0, 1, 0, 0,    0,
            0,    0,    0,    0,    0, 0, 0,    0,    0,    0,    0,    0, 0, 0, 0,    0,
            0,    0,    0,    0,    0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0, 0, 0};
    const std::uint32_t size = 62 + 32 * height;
    for (int i = 0; i < 4; ++i) {
        h[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        h[22 + i] = static_cast<std::uint8_t>(height >> (8 * i));
    }
    return h;
}

// 256 column bytes, zero but for the ones named.
inline Bytes Columns(const std::map<int, std::uint8_t>& set = {}) {
    Bytes line(256, 0);
    for (const auto& [x, value] : set) line[x] = value;
    return line;
}

// A band of 8 stored rows (bottom row first), zero but for the bytes named by their offset.
inline Bytes Band(const std::map<int, std::uint8_t>& set = {}) {
    Bytes band(256, 0);
    for (const auto& [at, value] : set) band[at] = value;
    return band;
}

// A printout of the given bands, the newest first as they are stored.
inline Bytes Printout(const std::vector<Bytes>& newestFirst) {
    Bytes file = BmpHeader(static_cast<std::uint32_t>(8 * newestFirst.size()));
    for (const Bytes& band : newestFirst) file = Concat(file, band);
    return file;
}

// The program's own requests wired into a rig, every call recorded by the name of what it does,
// so that a test can tell that no stray byte was taken for a request. Each call also records the
// buffer it was handed, what it left in it, and its poll cycles (DTR raises).
class TestHandlers {
public:
    explicit TestHandlers(Rig& rig, std::vector<std::filesystem::path> routineDirectories = {})
        : rig_(rig) {
        RequestHooks hooks{[this] { ++refreshes; }, [this] { ++printoutReloads; },
                           std::move(routineDirectories)};
        rig.link.requests = TransferRequests(rig.link, std::move(hooks));
        for (auto& [code, request] : rig.link.requests) {
            request.run = [this, name = Name(code), inner = request.run](RequestBuffer& buffer) {
                calls.push_back(name);
                entryBuffers.push_back(buffer);
                const int raisesBefore = rig_.peer.dtrRaises();
                inner(buffer);
                polls.push_back(rig_.peer.dtrRaises() - raisesBefore);
                leftBuffers.push_back(buffer);
            };
        }
    }

    std::vector<std::string> calls;  // every request handled, in order
    std::vector<RequestBuffer> entryBuffers;
    std::vector<RequestBuffer> leftBuffers;
    std::vector<int> polls;
    int refreshes = 0;
    int printoutReloads = 0;

private:
    static std::string Name(std::uint8_t code) {
        switch (code) {
            case kCodeZx81Save:
                return "ReceiveZX81";
            case kCodeZx81Load:
                return "SendZX81";
            case kCodeZx81Choose:
                return "ChooseZX81";
            case kCodeZx80Load:
                return "SendZX80";
            case kCodeZx80Save:
                return "ReceiveZX80";
            default:
                return "Printing";
        }
    }

    Rig& rig_;
};

// A rig whose transfer directory is a fresh one of its own.
struct DirSession {
    DirSession() { rig.options.TransferDirectory = dir.text(); }
    void Put(const std::string& relative, const Bytes& bytes) {
        WriteFile(dir.path() / relative, bytes);
    }
    Bytes File(const std::string& relative) { return FileBytes(dir.path() / relative); }
    std::filesystem::path printout() const { return dir.path() / "PrintOut.bmp"; }

    TempDir dir;
    Rig rig;
};

// One link with the real handlers and its own transfer directory. `served` names the handler
// calls that the test's requests should make; any other call is a stray request.
struct TransferSession : DirSession {
    explicit TransferSession(std::vector<std::string> served) : served(std::move(served)) {
        // A handler that never ends would hang the suite, since the rig's time limit is checked
        // only between events: Reset after a long virtual time.
        rig.pump.when([this] { return rig.clock.nowNs() > 1'000'000 * kMs; },
                      [this] {
                          ADD_FAILURE() << "the transfer did not end";
                          rig.link.Abort();
                      });
    }

    // The link is idle again, every request was one the test made, and each left its buffer
    // empty.
    void ExpectIdle() {
        EXPECT_TRUE(rig.peer.dtr());
        EXPECT_EQ(rig.peer.receiveThreshold(), 1);
        EXPECT_EQ(rig.link.state.LinkBusy, 0);
        EXPECT_FALSE(rig.link.state.AbortFlag);
        EXPECT_EQ(rig.peer.pendingBytes(), 0u);
        for (const std::string& call : handlers.calls)
            EXPECT_NE(std::find(served.begin(), served.end(), call), served.end()) << call;
        for (const Bytes& left : handlers.leftBuffers) EXPECT_EQ(left, Bytes{});
    }
    // Presses Reset once the virtual clock has passed the given time, noting what the link was
    // busy with then; `before` looks at the state just before.
    void ResetAt(
        std::int64_t ns, std::function<void()> before = [] {}) {
        rig.pump.when([this, ns] { return rig.clock.nowNs() >= ns; },
                      [this, before] {
                          before();
                          busyAtReset = rig.link.state.LinkBusy;
                          rig.link.Abort();
                      });
    }

    std::vector<std::string> served;
    std::int32_t busyAtReset = 0;
    TestHandlers handlers{rig};
};

}  // namespace brindle::rig

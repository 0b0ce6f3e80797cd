#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <functional>
#include <string>
#include <vector>

#include "app/TransferHandlers.h"
#include "platform/FileIo.h"
#include "tests/rig/Rig.h"

namespace brindle::rig {

using Bytes = std::vector<std::uint8_t>;

inline constexpr std::int64_t kMs = 1'000'000;

inline Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

inline Bytes Prefix(const Bytes& bytes, std::size_t n) {
    return Bytes(bytes.begin(), bytes.begin() + static_cast<std::ptrdiff_t>(n));
}

inline Bytes FileBytes(const std::filesystem::path& path) {
    return ReadWholeFile(path).value_or(Bytes{});
}

inline void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::filesystem::create_directories(path.parent_path());
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// An image of the given length whose E_LINE says eLine.
inline Bytes ImageWithELine(std::size_t length, int eLine) {
    Bytes image(length, 0x11);
    image[11] = static_cast<std::uint8_t>(eLine & 0xFF);
    image[12] = static_cast<std::uint8_t>(eLine >> 8);
    return image;
}

// Runs action with files limited to `bytes` bytes, which stands in for a full disk.
inline void WithFileSizeLimit(rlim_t bytes, const std::function<void()>& action) {
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{bytes, before.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    action();
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);
}

// The program details text, written out independently of the code under test: the name line,
// then a line for each of the first `count` image bytes that are system variables.
inline std::string ProgramInfo(const std::string& nameHex, const Bytes& image, std::size_t count) {
    std::string text = "Filename: " + nameHex + "\r\n";
    for (std::size_t i = 0; i < std::min<std::size_t>(count, 116); ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%d=%02X\r\n", 16393 + static_cast<int>(i), image[i]);
        text += line;
    }
    return text;
}

// The program details a transfer of image leaves shown, written out independently of the code
// under test.
inline TransferDisplay Details(const std::string& filename, const std::string& filepath,
                               const std::string& nameHex, const Bytes& image,
                               const std::string& fileLength, int progressMax) {
    const int eLine = image[11] + 256 * image[12];
    TransferDisplay d;
    d.filename = filename;
    d.filepath = filepath;
    d.fileLength = fileLength;
    d.programLength = std::to_string(eLine - 16393);
    d.startAddr = "16393";
    d.endAddr = std::to_string(eLine - 1);
    d.programInfo = ProgramInfo(nameHex, image, 116);
    d.progressMax = progressMax;
    return d;
}

// The names in a directory, hidden ones included, sorted; staging files would show up here too.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The program's own handlers wired into a rig, every call recorded by name, so that a test can
// tell that no stray byte was taken for a request. The SAVE and LOAD also record the buffer they
// were handed, what they left in it, and their poll cycles (DTR raises).
class Zx81TestHandlers : public TransferHandlers {
public:
    explicit Zx81TestHandlers(Rig& rig)
        : TransferHandlers(rig.link, [this] { ++refreshes; }), rig_(rig) {
        rig.link.setHandlers(this);
    }

    void ReceiveZX81Program(RequestBuffer& buffer) override {
        measured("ReceiveZX81", buffer, [&] { TransferHandlers::ReceiveZX81Program(buffer); });
    }
    void SendZX81Program(RequestBuffer& buffer, const std::string& name,
                         const std::string& format) override {
        measured("SendZX81", buffer,
                 [&] { TransferHandlers::SendZX81Program(buffer, name, format); });
    }
    std::string ChooseZX81Program(RequestBuffer& buffer) override {
        calls.push_back("ChooseZX81");
        return TransferHandlers::ChooseZX81Program(buffer);
    }
    std::string ChooseZX80Program(bool) override {
        calls.push_back("ChooseZX80");
        return {};  // as if cancelled, so no ZX80 transfer follows
    }
    void Printing(RequestBuffer& buffer) override {
        calls.push_back("Printing");
        TransferHandlers::Printing(buffer);
    }

    std::vector<std::string> calls;  // every handler call but the refresh, in order
    std::vector<RequestBuffer> entryBuffers;
    std::vector<RequestBuffer> leftBuffers;
    std::vector<int> polls;
    int refreshes = 0;

private:
    template <typename Call>
    void measured(const char* name, RequestBuffer& buffer, Call call) {
        calls.push_back(name);
        entryBuffers.push_back(buffer);
        const int raisesBefore = rig_.peer.dtrRaises();
        call();
        polls.push_back(rig_.peer.dtrRaises() - raisesBefore);
        leftBuffers.push_back(buffer);
    }

    Rig& rig_;
};

// One link with the real handlers and its own transfer directory. `served` names the handler
// calls that the test's requests should make; any other call is a stray request.
struct Zx81Session {
    explicit Zx81Session(std::vector<std::string> served) : served(std::move(served)) {
        rig.options.TransferDirectory = dir.text();
        // A handler that never ends would hang the suite, since the rig's time limit is checked
        // only between events: Reset after a long virtual time.
        rig.pump.when([this] { return rig.clock.nowNs() > 1'000'000 * kMs; },
                      [this] {
                          ADD_FAILURE() << "the transfer did not end";
                          rig.link.Abort();
                      });
    }

    void Put(const std::string& relative, const Bytes& bytes) {
        WriteFile(dir.path() / relative, bytes);
    }
    Bytes File(const std::string& relative) { return FileBytes(dir.path() / relative); }

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
    TempDir dir;
    Rig rig;
    Zx81TestHandlers handlers{rig};
};

}  // namespace brindle::rig

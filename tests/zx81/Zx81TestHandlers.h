#pragma once

#include <gtest/gtest.h>

#include <algorithm>
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

// The names in a directory, sorted; staging files would show up here too.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The program's own handlers wired into a rig, every call recorded by name. The ZX81 requests
// go to the real handlers; the others are taken off the link whole, so that a test can tell
// that no stray byte was taken for a request.
class Zx81TestHandlers : public RequestHandlers {
public:
    explicit Zx81TestHandlers(Rig& rig) : rig_(rig), real_(rig.link, {}) {
        rig.link.setHandlers(this);
    }

    void ReceiveZX81Program(RequestBuffer& buffer) override {
        measured("ReceiveZX81", buffer, [&] { real_.ReceiveZX81Program(buffer); });
    }
    void SendZX81Program(RequestBuffer& buffer, const std::string& name,
                         const std::string& format) override {
        measured("SendZX81", buffer, [&] { real_.SendZX81Program(buffer, name, format); });
    }
    std::string ChooseZX81Program(RequestBuffer& buffer) override {
        calls.push_back("ChooseZX81");
        return real_.ChooseZX81Program(buffer);
    }
    std::string ChooseZX80Program(bool) override {
        calls.push_back("ChooseZX80");
        return {};
    }
    void SendZX80Program(const std::string&) override { calls.push_back("SendZX80"); }
    void ReceiveZX80Program(const std::string&, RequestBuffer& buffer) override {
        dropped("ReceiveZX80", buffer);
    }
    void Printing(RequestBuffer& buffer) override { dropped("Printing", buffer); }
    void RefreshOptionsWindow() override { ++refreshes; }

    std::vector<std::string> calls;           // every handler call but the refresh, in order
    std::vector<RequestBuffer> entryBuffers;  // the buffer each SAVE or LOAD was handed
    std::vector<RequestBuffer> leftBuffers;   // what each SAVE or LOAD left in it
    std::vector<int> polls;                   // poll cycles (DTR raises) of each SAVE or LOAD
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
    void dropped(const char* name, RequestBuffer& buffer) {
        calls.push_back(name);
        buffer.clear();
    }

    Rig& rig_;
    TransferHandlers real_;
};

// One link with the real ZX81 handlers and its own transfer directory. `served` names the
// handler calls that the test's requests should make; any other call is a stray request.
struct Zx81Session {
    explicit Zx81Session(std::vector<std::string> served) : served(std::move(served)) {
        rig.options.TransferDirectory = dir.text();
        // A transfer that never ends would hang the suite: give up after a long virtual time.
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
        for (const std::string& call : handlers.calls) {
            EXPECT_NE(std::find(served.begin(), served.end(), call), served.end()) << call;
        }
        for (const Bytes& left : handlers.leftBuffers) EXPECT_EQ(left, Bytes{});
    }
    // Presses Reset once the virtual clock has passed the given time, noting what the link was
    // busy with then.
    void ResetAt(std::int64_t ns) {
        rig.pump.when([this, ns] { return rig.clock.nowNs() >= ns; },
                      [this] {
                          busyAtReset = rig.link.state.LinkBusy;
                          onReset();
                          rig.link.Abort();
                      });
    }

    std::vector<std::string> served;
    std::int32_t busyAtReset = 0;
    std::function<void()> onReset = [] {};
    TempDir dir;
    Rig rig;
    Zx81TestHandlers handlers{rig};
};

}  // namespace brindle::rig

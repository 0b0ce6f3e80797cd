#pragma once

#include <gtest/gtest.h>
#include <sys/resource.h>

#include <algorithm>
#include <csignal>
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

template <typename T>
std::vector<T> Prefix(const std::vector<T>& items, std::size_t n) {
    return std::vector<T>(items.begin(), items.begin() + static_cast<std::ptrdiff_t>(n));
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

// The names in a directory, hidden ones included, sorted; staging files would show up here too.
inline std::vector<std::string> Listing(const std::filesystem::path& dir) {
    std::vector<std::string> names;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        names.push_back(entry.path().filename().string());
    std::sort(names.begin(), names.end());
    return names;
}

// The program's own handlers wired into a rig, every call recorded by name, so that a test can
// tell that no stray byte was taken for a request. The SAVEs and the ZX81 LOAD also record the
// buffer they were handed, what they left in it, and their poll cycles (DTR raises).
class TestHandlers : public TransferHandlers {
public:
    explicit TestHandlers(Rig& rig)
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
    std::string ChooseZX80Program(bool sending) override {
        calls.push_back("ChooseZX80");
        return TransferHandlers::ChooseZX80Program(sending);
    }
    void SendZX80Program(const std::string& name) override {
        calls.push_back("SendZX80");
        TransferHandlers::SendZX80Program(name);
    }
    void ReceiveZX80Program(const std::string& name, RequestBuffer& buffer) override {
        measured("ReceiveZX80", buffer,
                 [&] { TransferHandlers::ReceiveZX80Program(name, buffer); });
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
template <typename Handlers>
struct TransferSession {
    explicit TransferSession(std::vector<std::string> served) : served(std::move(served)) {
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
    Handlers handlers{rig};
};

}  // namespace brindle::rig

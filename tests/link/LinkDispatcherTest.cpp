#include <gtest/gtest.h>

#include "app/Requests.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

using rig::RecordingRequests;
using Call = RecordingRequests::Call;
constexpr auto kFraming = SerialEventKind::FramingError;

class LinkDispatcherTest : public ::testing::Test {
protected:
    LinkDispatcherTest() {
        r.options.TransferDirectory = "/transfer/";
        r.options.Zx81Format = "P";
        r.link.requests = TransferRequests(r.link, {});
        handlers.wrap(r.link.requests);
    }

    // Lets the peer put `bytes` on the line before the port's event is seen, so they all arrive
    // in the dispatcher's first read.
    void sendTogether(const Bytes& bytes) {
        r.peer.send(bytes);
        r.clock.advanceNs(static_cast<std::int64_t>(bytes.size() + 1) * rig::SimPeer::kByteNs);
    }

    // Runs `action` inside every call for the given request code.
    void inside(std::uint8_t request, std::function<void()> action) {
        handlers.during = [=](std::uint8_t code) {
            if (code == request) action();
        };
    }

    void expectIdle() {
        EXPECT_EQ(r.link.state.LinkBusy, 0);
        EXPECT_FALSE(r.link.state.AbortFlag);
        EXPECT_FALSE(r.link.state.PrintingFlag);
        EXPECT_TRUE(r.peer.dtr());
        EXPECT_EQ(r.peer.receiveThreshold(), 1);
        EXPECT_EQ(r.peer.bytesWaiting(), 0);
        EXPECT_EQ(r.display.last.status, "");
        EXPECT_EQ(r.display.last.progressValue, 0);
    }

    rig::Rig r;
    RecordingRequests handlers;
};

TEST_F(LinkDispatcherTest, RequestsInOneReadAreHandledInOrderWithWhatIsLeft) {
    // Each case: what one read brings, and the requests handled with the buffer each is given.
    using Case = std::pair<Bytes, std::vector<Call>>;
    const Case cases[] = {
        {{32, 0xA6, 10, 0xA7, 27, 5},
         {{32, {0xA6, 10, 0xA7, 27, 5}}, {10, {0xA7, 27, 5}}, {27, {5}}}},
        {{2, 0xA6, 130, 99, 160, 1, 5},
         {{2, {0xA6, 130, 99, 160, 1, 5}}, {130, {99, 160, 1, 5}}, {160, {1, 5}}}},
        // Any other byte is dropped alone.
        {{0, 1, 3, 9, 11, 26, 28, 31, 33, 129, 131, 159, 161, 255}, {}},
    };
    handlers.consume = 1;
    for (const auto& [read, calls] : cases) {
        handlers.calls.clear();
        sendTogether(read);
        r.run();
        EXPECT_EQ(handlers.calls, calls) << int(read[0]);
        expectIdle();
    }
}

TEST_F(LinkDispatcherTest, EachRequestButAPrinterLineStartsFromTheOptionsAndAFreshState) {
    handlers.consume = 1;
    handlers.during = [&](std::uint8_t code) {
        LinkState& s = r.link.state;
        TransferDisplay& d = r.link.display;
        if (code == 32) {
            EXPECT_EQ(s.LinkBusy, 2);
            EXPECT_EQ(d.status, "Receiving...");
            s.NameReceived = true;
            s.EndAddress = 17000;
            s.CurrentAddress = 16500;
            d = {"GAME", "/zx/", "-", "300", "16393", "16692", "x", d.status, 300, 77};
            r.options.TransferDirectory = "/elsewhere/";
            r.options.Zx81Format = "P81";
        } else if (code == 130) {
            EXPECT_EQ(s.LinkBusy, 1);
            // The details are cleared but for the file path.
            EXPECT_EQ(d, (TransferDisplay{"", "/zx/", "", "", "", "", "", "Load Req..."}));
            EXPECT_FALSE(s.NameReceived);
            EXPECT_EQ(s.EndAddress, 0);
            EXPECT_EQ(s.CurrentAddress, 16384);
            EXPECT_EQ(s.FilePath, "/elsewhere/");
            EXPECT_EQ(s.FileFormat, "P81");
            EXPECT_EQ(s.FileFormat80, "O");
            s.NameReceived = true;
            d.filename = "PROG";
            d.progressValue = 120;
        } else if (code == 27) {
            // Shown at once, since a printer line lets no events run.
            EXPECT_EQ(r.display.last.status, "Printing...");
            EXPECT_EQ(r.display.last.filename, "PROG");
            EXPECT_EQ(r.display.last.progressValue, 120);
            EXPECT_TRUE(s.PrintingFlag);
            EXPECT_TRUE(s.NameReceived);
        }
    };
    sendTogether({32, 0xA6, 130, 0, 27, 0});
    r.run();
    ASSERT_EQ(handlers.calls.size(), 3u);        // SAVE, ZX80 LOAD, printer line
    EXPECT_EQ(r.display.last.filename, "PROG");  // the details stay for the user to read
    expectIdle();
}

TEST_F(LinkDispatcherTest, FramingErrorIsShownOneAtATimeAndNeverDuringATransfer) {
    int depth = 0;
    r.messages.onShow = [&](const Message&) {
        if (++depth <= 5) r.peer.raise(kFraming);  // without the guard, stop after a few boxes
    };
    r.peer.arrive({32});
    r.peer.raise(kFraming);
    const std::vector<Message> box{{"Framing Error", "Brindle", MessageIcon::None, {}}};
    EXPECT_EQ(r.messages.shown, box);
    EXPECT_EQ(r.peer.bytesWaiting(), 1);  // the port is not read
    r.peer.raise(kFraming);               // shown again once the first is closed
    EXPECT_EQ(r.messages.shown.size(), 2u);

    r.messages.shown.clear();
    handlers.during = [&](std::uint8_t) { r.peer.raise(kFraming); };
    r.run();
    EXPECT_TRUE(r.messages.shown.empty());
    sendTogether({27, 0, 0});  // a printer line alone is no transfer
    r.run();
    EXPECT_EQ(r.messages.shown, box);
}

TEST_F(LinkDispatcherTest, LineStateEventActsOnlyWhenBytesWait) {
    const int sleeps = r.clock.sleeps();
    r.peer.raise(SerialEventKind::Other);
    EXPECT_EQ(r.clock.sleeps(), sleeps);
    EXPECT_TRUE(r.peer.dtr());
    EXPECT_TRUE(handlers.calls.empty());

    // A receive event that finds nothing (its bytes taken by a run before it) leaves the peer
    // free to send again.
    r.peer.raise(SerialEventKind::BytesReceived);
    EXPECT_TRUE(r.peer.dtr());
    EXPECT_TRUE(handlers.calls.empty());

    r.peer.arrive({10, 0xA6});
    r.peer.setReceiveThreshold(0);  // so only the line-state event can start the run
    r.peer.raise(SerialEventKind::Other);
    EXPECT_EQ(handlers.calls, (std::vector<Call>{{10, {0xA6}}}));
    expectIdle();
}

TEST_F(LinkDispatcherTest, ReadIsTenMillisecondsAfterDtrDropsAndLateBytesAreDiscarded) {
    std::int64_t handlerAt = 0;
    handlers.during = [&](std::uint8_t) {
        handlerAt = r.clock.nowNs();
        r.peer.arrive({32, 0xA6});  // bytes that land while the run ends
    };
    r.peer.send({10, 0xA6});
    r.run();
    // The event comes when the first byte is in; the second was already on the line.
    EXPECT_EQ(handlers.calls, (std::vector<Call>{{10, {0xA6}}}));
    // The rig looks for events every 0.1 ms: the first byte is seen at 1.2 ms.
    EXPECT_EQ(handlerAt, 1'200'000 + 10'000'000);
    expectIdle();
}

// A byte the peer starts in the handler's last poll cycle is still on the line when the handler
// returns: the run waits for it and discards it before DTR goes high, so it starts no request.
TEST_F(LinkDispatcherTest, ByteStartedInTheLastCycleIsDiscarded) {
    bool first = true;
    handlers.during = [&](std::uint8_t) {
        if (!first) return;
        first = false;
        r.peer.sendAt(r.clock.nowNs() + 9'900'000, {10});  // 0.1 ms before DTR drops
        RequestBuffer polled;
        r.link.PollLink(polled);
        EXPECT_TRUE(polled.empty());
    };
    r.peer.send({10, 0xA6});
    r.run();
    EXPECT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(r.peer.pendingBytes(), 0u);
    expectIdle();
}

TEST_F(LinkDispatcherTest, EventsInsideARunStartNoRequest) {
    // Inside a transfer an event returns at once; inside a printer line it reads and drops.
    for (const auto& [request, waiting] : {std::pair{Bytes{32, 0xA6}, 2}, {Bytes{27}, 0}}) {
        handlers.calls.clear();
        inside(request[0], [&] {
            r.peer.arrive({10, 0xA6});
            r.peer.raise(SerialEventKind::BytesReceived);
            EXPECT_EQ(r.peer.bytesWaiting(), waiting) << int(request[0]);
        });
        sendTogether(request);
        r.run();
        EXPECT_EQ(handlers.calls.size(), 1u) << int(request[0]);
        expectIdle();
    }
}

TEST_F(LinkDispatcherTest, ResetTwiceIsResetOnceAndResetWhileIdleKeepsTheLinkOpen) {
    r.link.Abort();
    r.link.Abort();
    EXPECT_FALSE(r.link.state.AbortFlag);
    EXPECT_TRUE(r.peer.dtr());

    inside(32, [&] {
        r.link.Abort();
        EXPECT_TRUE(r.link.state.AbortFlag);
        EXPECT_FALSE(r.peer.dtr());
        // The handler's next poll cycle raises DTR; a second Reset then changes nothing.
        r.peer.setDtr(true);
        r.link.Abort();
        EXPECT_TRUE(r.peer.dtr());
    });
    sendTogether({32, 0xA6});
    r.run();
    EXPECT_EQ(handlers.calls.size(), 1u);
    expectIdle();
}

}  // namespace
}  // namespace brindle

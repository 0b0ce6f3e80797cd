#include <gtest/gtest.h>

#include "app/TransferHandlers.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

using rig::RecordingHandlers;
using Call = RecordingHandlers::Call;

class LinkDispatcherTest : public ::testing::Test {
protected:
    LinkDispatcherTest() {
        r.options.TransferDirectory = "/transfer/";
        r.options.Zx81Format = "P";
        r.link.setHandlers(&handlers);
    }

    // Lets the peer put `bytes` on the line before the port's event is seen, so they all arrive
    // in the dispatcher's first read.
    void sendTogether(const Bytes& bytes) {
        r.peer.send(bytes);
        r.clock.advanceNs(static_cast<std::int64_t>(bytes.size() + 1) * rig::SimPeer::kByteNs);
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
    RecordingHandlers handlers;
};

TEST_F(LinkDispatcherTest, RequestsInOneReadAreHandledInOrderWithWhatIsLeft) {
    handlers.consume = 1;
    sendTogether({32, 0xA6, 10, 0xA7, 27, 5});
    r.run();
    const std::vector<Call> expected{
        {"ReceiveZX81", {0xA6, 10, 0xA7, 27, 5}, "", ""},
        {"Refresh", {}, "", ""},
        {"SendZX81", {0xA7, 27, 5}, "", "P"},
        {"Printing", {5}, "", ""},
    };
    EXPECT_EQ(handlers.calls, expected);
    expectIdle();
}

TEST_F(LinkDispatcherTest, EachRequestStartsFromTheCurrentOptionsAndAFreshState) {
    handlers.consume = 1;
    handlers.during = [&](const std::string& name) {
        if (name == "ReceiveZX81") {
            EXPECT_EQ(r.link.state.LinkBusy, 2);
            EXPECT_EQ(r.display.last.status, "");  // shown at the handler's first event pass
            EXPECT_EQ(r.link.display.status, "Receiving...");
            r.link.state.NameReceived = true;
            r.link.state.EndAddress = 17000;
            r.link.state.CurrentAddress = 16500;
            r.options.TransferDirectory = "/elsewhere/";
            r.options.Zx81Format = "P81";
        }
        if (name == "ChooseZX80") {
            EXPECT_EQ(r.link.state.LinkBusy, 1);
            EXPECT_EQ(r.link.display.status, "Load Req...");
            EXPECT_FALSE(r.link.state.NameReceived);
            EXPECT_EQ(r.link.state.EndAddress, 0);
            EXPECT_EQ(r.link.state.CurrentAddress, 16384);
            EXPECT_EQ(r.link.state.FilePath, "/elsewhere/");
            EXPECT_EQ(r.link.state.FileFormat, "P81");
            EXPECT_EQ(r.link.state.FileFormat80, "O");
        }
    };
    sendTogether({32, 0xA6, 130});
    r.run();
    ASSERT_EQ(handlers.calls.size(), 3u);
    expectIdle();
}

TEST_F(LinkDispatcherTest, PrinterLineLeavesDetailsProgressAndBusyAlone) {
    handlers.consume = 1;
    TransferDisplay shown;
    handlers.during = [&](const std::string& name) {
        if (name == "ReceiveZX81") {
            r.link.display.filename = "GAME";
            r.link.display.filepath = "/transfer/";
            r.link.display.programInfo = "Filename: A6 \r\n";
            r.link.display.progressMax = 300;
            r.link.display.progressValue = 120;
        }
        if (name == "Printing") {
            EXPECT_TRUE(r.link.state.PrintingFlag);
            EXPECT_EQ(r.link.state.LinkBusy, 2);
            shown = r.display.last;
        }
    };
    sendTogether({32, 0xA6, 27, 1});
    r.run();
    EXPECT_EQ(shown.filename, "GAME");
    EXPECT_EQ(shown.programInfo, "Filename: A6 \r\n");
    EXPECT_EQ(shown.progressMax, 300);
    EXPECT_EQ(shown.progressValue, 120);
    EXPECT_EQ(shown.status, "Printing...");
    expectIdle();
    EXPECT_EQ(r.display.last.filename, "GAME");
}

TEST_F(LinkDispatcherTest, AnyOtherFirstByteClearsThePanelButTheFilePath) {
    r.link.display.filename = "OLD";
    r.link.display.filepath = "/old/";
    r.link.display.fileLength = "-";
    r.link.display.programLength = "300";
    r.link.display.startAddr = "16393";
    r.link.display.endAddr = "16692";
    r.link.display.programInfo = "x";
    r.link.display.progressMax = 300;
    r.link.display.progressValue = 77;
    sendTogether({99});
    r.run();
    TransferDisplay expected;
    expected.filepath = "/old/";
    EXPECT_EQ(r.display.last, expected);
    EXPECT_TRUE(handlers.calls.empty());
    expectIdle();
}

TEST_F(LinkDispatcherTest, GarbageIsDroppedAndTheLinkReturnsToIdle) {
    Bytes garbage;
    for (int i = 0; i < 200; ++i) {
        const auto b = static_cast<std::uint8_t>((i * 37 + 11) % 256);
        if (b != 32 && b != 10 && b != 2 && b != 130 && b != 160 && b != 27) garbage.push_back(b);
    }
    r.peer.send(garbage);
    r.run();
    EXPECT_TRUE(handlers.calls.empty());
    EXPECT_EQ(r.peer.pendingBytes(), 0u);
    expectIdle();
}

TEST_F(LinkDispatcherTest, FramingErrorIsShownOnlyBetweenTransfers) {
    r.peer.arrive({32});
    r.peer.raise(SerialEventKind::FramingError);
    const std::vector<Message> expected{{"Framing Error", "Brindle", MessageIcon::None, {}}};
    EXPECT_EQ(r.messages.shown, expected);
    EXPECT_EQ(r.peer.bytesWaiting(), 1);  // the port is not read
    EXPECT_TRUE(handlers.calls.empty());

    r.messages.shown.clear();
    handlers.during = [&](const std::string& name) {
        if (name == "ReceiveZX81") r.peer.raise(SerialEventKind::FramingError);
    };
    r.run();
    EXPECT_TRUE(r.messages.shown.empty());
    ASSERT_EQ(handlers.calls.size(), 2u);
}

TEST_F(LinkDispatcherTest, FramingErrorsWhileTheirMessageIsOpenAddNoSecondOne) {
    int depth = 0;
    r.messages.onShow = [&](const Message&) {
        if (++depth > 5) return;  // without the guard, stop after a few boxes
        r.peer.raise(SerialEventKind::FramingError);
        r.peer.raise(SerialEventKind::FramingError);
    };
    r.peer.raise(SerialEventKind::FramingError);
    EXPECT_EQ(r.messages.shown.size(), 1u);
    r.peer.raise(SerialEventKind::FramingError);  // shown again once the first is closed
    EXPECT_EQ(r.messages.shown.size(), 2u);
}

TEST_F(LinkDispatcherTest, FramingErrorDuringAPrinterLineIsShown) {
    handlers.during = [&](const std::string& name) {
        if (name == "Printing") r.peer.raise(SerialEventKind::FramingError);
    };
    sendTogether({27, 0, 0});
    r.run();
    EXPECT_EQ(r.messages.shown.size(), 1u);
}

TEST_F(LinkDispatcherTest, LineStateEventActsOnlyWhenBytesWait) {
    const int sleeps = r.clock.sleeps();
    r.peer.raise(SerialEventKind::Other);
    EXPECT_EQ(r.clock.sleeps(), sleeps);
    EXPECT_TRUE(r.peer.dtr());
    EXPECT_TRUE(handlers.calls.empty());

    r.peer.arrive({10, 0xA6});
    r.peer.setReceiveThreshold(0);  // so only the line-state event can start the run
    r.peer.raise(SerialEventKind::Other);
    ASSERT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(handlers.calls[0], (Call{"SendZX81", {0xA6}, "", "P"}));
    expectIdle();
}

TEST_F(LinkDispatcherTest, ReadIsTenMillisecondsAfterDtrDropsAndLateBytesAreDiscarded) {
    std::int64_t handlerAt = 0;
    handlers.during = [&](const std::string&) {
        handlerAt = r.clock.nowNs();
        r.peer.arrive({32, 0xA6});  // bytes that land while the run ends
    };
    r.peer.send({10, 0xA6});
    r.run();
    // The event comes when the first byte is in; the second was already on the line.
    ASSERT_EQ(handlers.calls.size(), 1u);
    EXPECT_EQ(handlers.calls[0].buffer, (Bytes{0xA6}));
    // The rig looks for events every 0.1 ms: the first byte is seen at 1.2 ms.
    EXPECT_EQ(handlerAt, 1'200'000 + 10'000'000);
    expectIdle();
}

TEST_F(LinkDispatcherTest, CancelledChoiceSendsNothing) {
    sendTogether({2, 0xA6, 0xA7});
    r.run();
    const std::vector<Call> expected{{"ChooseZX81", {0xA6, 0xA7}, "", ""}};
    EXPECT_EQ(handlers.calls, expected);
    expectIdle();
}

TEST_F(LinkDispatcherTest, ChosenZx81ProgramIsSentUnderItsName) {
    handlers.chosenZx81 = "GAME";
    handlers.chosenZx81Bytes = {44, 38, 50, 170};
    handlers.during = [&](const std::string& name) {
        if (name == "ChooseZX81") r.link.state.FileFormat = "81";
    };
    sendTogether({2});
    r.run();
    const std::vector<Call> expected{{"ChooseZX81", {}, "", ""},
                                     {"SendZX81", {44, 38, 50, 170}, "GAME", "81"}};
    EXPECT_EQ(handlers.calls, expected);
}

TEST_F(LinkDispatcherTest, Zx80RequestsGoThroughTheDialogAndLeaveFollowingBytes) {
    handlers.chosenZx80 = "/transfer/PROG.O";
    sendTogether({130, 99, 160, 1, 2});
    r.run();
    const std::vector<Call> expected{
        {"ChooseZX80", {}, "send", ""},    {"SendZX80", {}, "/transfer/PROG.O", ""},
        {"ChooseZX80", {}, "receive", ""}, {"ReceiveZX80", {1, 2}, "/transfer/PROG.O", ""},
        {"Refresh", {}, "", ""},
    };
    EXPECT_EQ(handlers.calls, expected);

    handlers.calls.clear();
    handlers.chosenZx80.clear();
    sendTogether({160, 1});
    r.run();
    const std::vector<Call> cancelled{{"ChooseZX80", {}, "receive", ""}};
    EXPECT_EQ(handlers.calls, cancelled);
    expectIdle();
}

TEST_F(LinkDispatcherTest, NestedRunDuringAPrinterLineDropsWhatItReads) {
    handlers.during = [&](const std::string& name) {
        if (name != "Printing") return;
        r.peer.arrive({32, 0xA6});
        r.peer.raise(SerialEventKind::BytesReceived);
        EXPECT_EQ(r.peer.bytesWaiting(), 0);
        EXPECT_TRUE(r.peer.dtr());
    };
    sendTogether({27});
    r.run();
    ASSERT_EQ(handlers.calls.size(), 1u);
    expectIdle();
}

TEST_F(LinkDispatcherTest, EventsDuringATransferAreIgnored) {
    handlers.during = [&](const std::string& name) {
        if (name != "ReceiveZX81") return;
        r.peer.arrive({10, 0xA6});
        r.peer.raise(SerialEventKind::BytesReceived);
        EXPECT_EQ(r.peer.bytesWaiting(), 2);
    };
    sendTogether({32, 0xA6});
    r.run();
    ASSERT_EQ(handlers.calls.size(), 2u);  // the SAVE and its refresh only
    expectIdle();
}

TEST_F(LinkDispatcherTest, ResetTwiceIsResetOnceAndTheRunEndsIdle) {
    handlers.during = [&](const std::string& name) {
        if (name != "ReceiveZX81") return;
        r.link.Abort();
        EXPECT_TRUE(r.link.state.AbortFlag);
        EXPECT_FALSE(r.peer.dtr());
        // The handler's next poll cycle raises DTR; a second Reset then changes nothing.
        r.peer.setDtr(true);
        r.link.Abort();
        EXPECT_TRUE(r.link.state.AbortFlag);
        EXPECT_TRUE(r.peer.dtr());
    };
    sendTogether({32, 0xA6});
    r.run();
    expectIdle();
}

TEST_F(LinkDispatcherTest, ResetWhileIdleKeepsTheLinkOpenForThePeer) {
    r.link.Abort();
    r.link.Abort();
    EXPECT_FALSE(r.link.state.AbortFlag);
    EXPECT_TRUE(r.peer.dtr());
    sendTogether({10, 0xA6});
    r.run();
    EXPECT_EQ(handlers.calls.size(), 1u);
}

// Requests whose handlers are not built yet still leave the link as they found it: none of
// their bytes is read as a request of its own, and nothing is stored, sent or asked.
class UnbuiltRequestsTest : public ::testing::Test {
protected:
    UnbuiltRequestsTest() {
        r.options.TransferDirectory = transfer.text();
        r.link.setHandlers(&handlers);
    }

    // A request read from the wrong bytes may wait for the peer for ever: Reset ends it.
    void resetWhenStalled() {
        r.pump.when([&] { return r.clock.nowMs() > 30'000; }, [&] { r.link.Abort(); });
    }

    void expectNothingDone() {
        EXPECT_TRUE(std::filesystem::is_empty(transfer.path()));
        EXPECT_TRUE(r.messages.shown.empty());
        EXPECT_TRUE(r.dialogs.requests.empty());
        EXPECT_TRUE(r.peer.written().empty());
        EXPECT_EQ(r.peer.pendingBytes(), 0u);
        EXPECT_EQ(r.link.state.LinkBusy, 0);
        EXPECT_TRUE(r.peer.dtr());
        EXPECT_EQ(r.peer.receiveThreshold(), 1);
    }

    rig::Rig r;
    rig::TempDir transfer;
    TransferHandlers handlers{r.link, nullptr};
};

TEST_F(UnbuiltRequestsTest, PrinterLinesAreTakenOffTheLink) {
    // Two lines whose columns hold request codes: a ZX81 SAVE and LOAD among them.
    Bytes line{27, 0x31, 0x1B, 0x4C, 0x00, 0x01};
    for (int x = 0; x < 256; ++x) line.push_back(static_cast<std::uint8_t>(x % 2 ? 32 : 10 + x));
    r.peer.send(line);
    r.peer.send(line);
    resetWhenStalled();
    const int pumps = r.pump.calls();
    r.run();
    expectNothingDone();
    EXPECT_EQ(r.pump.calls(), pumps);  // a printer line lets no events run

    // A line takes its own bytes only: a request right after it is answered.
    line.push_back(2);
    r.peer.send(line);
    r.run();
    ASSERT_EQ(r.dialogs.requests.size(), 1u);
    EXPECT_EQ(r.dialogs.requests[0].title, "Send ZX81 Program");
}

TEST_F(UnbuiltRequestsTest, Zx80SaveIsTakenOffTheLinkAndZx80LoadGetsNothing) {
    Bytes save{160};
    const Bytes image = rig::Zx80Image(300);
    save.insert(save.end(), image.begin(), image.end());
    save.push_back(32);  // the first byte after the image starts no SAVE of its own either
    r.peer.send(save);
    resetWhenStalled();
    r.run();
    expectNothingDone();

    r.peer.send({130});
    r.run();
    expectNothingDone();
}

TEST_F(UnbuiltRequestsTest, ResetEndsTheZx80Save) {
    r.pump.when([&] { return r.clock.nowMs() > 50; }, [&] { r.link.Abort(); });
    Bytes save(1000, 0x55);  // longer than the time given below
    save.front() = 160;
    r.peer.send(save);
    r.run(500'000'000LL);
    EXPECT_TRUE(r.pump.allDone());
    EXPECT_GT(r.peer.pendingBytes(), 0u);
    EXPECT_EQ(r.link.state.LinkBusy, 0);
    EXPECT_TRUE(r.peer.dtr());
}

}  // namespace
}  // namespace brindle

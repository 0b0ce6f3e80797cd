#include "printer/PrinterStream.h"

#include <gtest/gtest.h>

#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

const Bytes kHeader{0x31, 0x1B, 0x4C, 0x00, 0x01};

// The program's requests, noting for each printer line what it left in the buffer, how many
// poll cycles it made and when it returned.
class PrinterHandlers : public TestHandlers {
public:
    explicit PrinterHandlers(Rig& rig) : TestHandlers(rig) {
        Request& printer = rig.link.requests.at(kCodePrinter);
        printer.run = [this, &rig, inner = printer.run](RequestBuffer& buffer) {
            inner(buffer);
            returnedNs = rig.clock.nowNs();
        };
    }
    const std::vector<Bytes>& left = leftBuffers;
    std::int64_t returnedNs = 0;
    const int& reloads = printoutReloads;
};

struct PrintingSession : DirSession {
    PrinterHandlers handlers{rig};
};

TEST(PrintingTest, TakesTheLineAndLeavesWhatFollows) {
    const Bytes columns = Columns({{0, 0x80}, {255, 0x01}});
    const Bytes line = Concat(Concat({27}, kHeader), columns);
    const Bytes band = Band({{7 * 32, 0x80}, {31, 0x01}});
    // The bytes in the port's input when its event comes, then the peer's later bytes with the
    // time they may start; the file after, what each line left, and the first line's polls.
    struct Case {
        const char* what;
        Bytes first;
        std::vector<std::pair<std::int64_t, Bytes>> later;
        std::optional<Bytes> file;
        std::vector<Bytes> left;
        std::optional<int> polls;
    };
    const Case cases[] = {
        {"whole line read at once, the next request behind it: no poll",
         Concat(line, Concat(Concat({27}, kHeader), Columns())),
         {},
         Printout({Band(), band}),
         {Concat(Concat({27}, kHeader), Columns()), {}},
         0},
        {"header split 2 then 3, columns later still",
         {27, 0x31, 0x1B},
         {{300 * kMs, {0x4C, 0x00, 0x01}}, {900 * kMs, columns}},
         Printout({band}),
         {{}},
         std::nullopt},
        {"ESC @ and more: exactly 5 bytes dropped",
         {27, 0x40, 0x31, 0x1B, 0x4C, 0x00, 0x01, 0x99},
         {},
         std::nullopt,
         {{0x01, 0x99}},
         0},
        {"header wrong in its last byte only",
         Concat(Concat({27}, Prefix(kHeader, 4)), {0x02, 0x98}),
         {},
         std::nullopt,
         {{0x98}},
         0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        PrintingSession s;
        for (const auto& [at, bytes] : c.later) s.rig.peer.sendAt(at, bytes);
        s.rig.peer.arrive(c.first);
        s.rig.peer.raise(SerialEventKind::BytesReceived);
        s.rig.run();
        EXPECT_EQ(s.handlers.left, c.left);
        if (c.polls) {
            EXPECT_EQ(s.handlers.polls.at(0), *c.polls);
        }
        EXPECT_EQ(FileBytes(s.printout()), c.file.value_or(Bytes{}));
        EXPECT_EQ(fs::exists(s.printout()), c.file.has_value());
        EXPECT_EQ(s.handlers.reloads, c.file ? static_cast<int>(c.left.size()) : 0);
        EXPECT_EQ(s.rig.pump.calls(), 0);  // no user-interface events while a line is read
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        EXPECT_TRUE(s.rig.peer.dtr());
        EXPECT_FALSE(s.rig.link.state.PrintingFlag);
    }
}

TEST(PrintingTest, SilenceOfMoreThanOneAndAtMostTwoSecondsGivesTheLineUp) {
    // Wherever the last byte falls within a second, the wait after it is longer than 1 s and no
    // longer than 2 s and one poll cycle.
    for (const std::int64_t startMs : {0, 150, 400, 650, 870, 990}) {
        for (const std::size_t columns : {0, 100}) {
            SCOPED_TRACE(std::to_string(startMs) + " ms, columns " + std::to_string(columns));
            PrintingSession s;
            WriteFile(s.printout(), Printout({Band({{5, 5}})}));
            s.rig.clock.advanceNs(startMs * kMs);
            std::int64_t lastByteNs = -1;
            s.rig.clock.addListener([&](std::int64_t now) {
                if (lastByteNs < 0 && s.rig.peer.pendingBytes() == 0) lastByteNs = now;
            });
            // The header alone, or with 100 columns; the peer then falls silent.
            s.rig.peer.send(Prefix(Concat(Concat({27}, kHeader), Columns()), 6 + columns));
            s.rig.run();
            ASSERT_EQ(s.handlers.left.size(), 1u);
            EXPECT_EQ(s.handlers.left[0], Bytes{});
            const std::int64_t silentNs = s.handlers.returnedNs - lastByteNs;
            EXPECT_GT(silentNs, 1000 * kMs);
            EXPECT_LE(silentNs, 2020 * kMs);
            EXPECT_EQ(FileBytes(s.printout()), Printout({Band({{5, 5}})}));
            EXPECT_EQ(s.handlers.reloads, 0);
            EXPECT_EQ(s.rig.pump.calls(), 0);
        }
    }
}

}  // namespace
}  // namespace brindle

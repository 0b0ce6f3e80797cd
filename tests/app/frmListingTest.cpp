#include "app/frmListing.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QLabel>

#include "app/frmMain.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr Quarter P = Quarter::Paper, I = Quarter::Ink, S = Quarter::Shade;

ListingCell Block(Quarter a, Quarter b, Quarter c, Quarter d) {
    return {U' ', false, std::array<Quarter, 4>{a, b, c, d}};
}

// Brackets only mark inverse text; each graphic of either machine is drawn as its quarters.
TEST(ListingCells, InverseTextAndBlockGraphics) {
    EXPECT_EQ(ListingCells("1[A ]\"▌🮏█🮑▚"),
              (std::vector<ListingCell>{{U'1', false, {}},
                                        {U'A', true, {}},
                                        {U' ', true, {}},
                                        {U'"', false, {}},
                                        Block(I, P, I, P),
                                        Block(P, P, S, S),
                                        Block(I, I, I, I),
                                        Block(I, I, S, S),
                                        Block(I, P, P, I)}));
}

struct ListingWindow : ::testing::Test {
    rig::VirtualClock clock;
    rig::SimPeer peer{clock};
    rig::ScriptedPump pump;
    rig::FakeMessages messages;
    rig::FakeDialogs dialogs;
    DiskFiles files;
    rig::TempDir dir;
    frmMain w{
        AppPlatform{peer, peer, clock, pump, messages, dialogs, files, dir.path(), nullptr, [] {}}};
};

// A damaged program lists its sound lines, 32 cells to a row, then where it fails; the export
// holds the lines alone.
TEST_F(ListingWindow, OpenedProgramListsWhatIsSoundAndExportsIt) {
    const std::string first = "  10 PRINT \"" + std::string(28, 'A') + "\"";
    Bytes image = MakeProgram(Machine::Zx81, first + "\n20 STOP\n").image;
    const std::size_t second = 116 + 4 + image[118] + 256 * image[119];
    image[second + 2] = image[second + 3] = 0;  // its length field
    Bytes file = Zx81Name("GAME");
    file.insert(file.end(), image.begin(), image.end());
    rig::WriteFile(dir.path() / "GAME.P81", file);

    dialogs.answers = {(dir.path() / "GAME.P81").string(), (dir.path() / "out.txt").string()};
    w.FileMenu_Open->trigger();
    ASSERT_TRUE(w.listingWindow->isVisible());
    EXPECT_EQ(w.listingWindow->listing().lines, std::vector<std::string>{first});
    EXPECT_EQ(w.listingWindow->View1->rows().size(), 2u);
    EXPECT_EQ(w.listingWindow->View1->rows()[1].size(), first.size() - 32);
    EXPECT_TRUE(w.listingWindow->lblError->text().startsWith("GAME.P81: at byte "));
    w.FileMenu_Export->trigger();
    const Bytes exported = rig::FileBytes(dir.path() / "out.txt");
    EXPECT_EQ(std::string(exported.begin(), exported.end()), first + "\n");
}

// The program of a run that stored or sent one is listed; a failed one leaves the listing.
TEST_F(ListingWindow, FollowsTheRunsThatStoreOrSendAProgram) {
    const std::string line = "  10 PRINT ▌";
    rig::WriteFile(dir.path() / "A.BAS", Bytes(line.begin(), line.end()));
    rig::WriteFile(dir.path() / "B.O", MakeProgram(Machine::Zx80, "10 STOP").image);
    using R = TransferRecord;
    w.link.runEnded(
        {0, "ZX80", R::Kind::Load, (dir.path() / "A.BAS").string(), 0, R::Outcome::Sent, "", 0});
    EXPECT_EQ(w.listingWindow->listing().lines, std::vector<std::string>{line});
    w.link.runEnded(
        {0, "ZX80", R::Kind::Save, (dir.path() / "B.O").string(), 0, R::Outcome::Failed, "", 0});
    EXPECT_EQ(w.listingWindow->listing().lines, std::vector<std::string>{line});
    EXPECT_FALSE(w.listingWindow->isVisible());
}

}  // namespace
}  // namespace brindle

// The listing routine (Brindle.bin, assembled from listing/routine) run in a Z80 emulator inside
// the listing programs that MakeListingProgram builds.
#include <gtest/gtest.h>

#include <fstream>
#include <iterator>

#include "listing/DirectoryListing.h"
#include "tests/listing/Z80Harness.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using rig::Z80Harness;
using Keys = Z80Harness::Keys;
using End = Z80Harness::Run::End;

// One pass of line 10 that waits for a key costs at most this (46 ms at 3.25 MHz).
constexpr std::uint64_t kCallBudget = 150'000;

const std::vector<std::uint8_t>& Routine() {
    static const std::vector<std::uint8_t> bytes = [] {
        std::ifstream in(BRINDLE_ROUTINE_PATH, std::ios::binary);
        return std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {});
    }();
    return bytes;
}

std::vector<std::uint8_t> Listing(const std::string& path, const std::vector<std::string>& names,
                                  std::vector<std::uint8_t> routine = Routine()) {
    const ListingResult listing = MakeListingProgram(path, names, routine, "P");
    EXPECT_EQ(listing.error, "");
    return listing.bytes;
}

// Names GAME01.P to GAMEnn.P, and the rows they take on the screen.
std::vector<std::string> Games(int count) {
    std::vector<std::string> names;
    for (int i = 1; i <= count; ++i)
        names.push_back((i < 10 ? "GAME0" : "GAME") + std::to_string(i) + ".P");
    return names;
}
std::string Rows(const std::vector<std::string>& names, int first, int last) {
    std::string text;
    for (int i = first; i <= last; ++i) text += names[i - 1] + "\n";
    return text;
}

// Text as the screen shows it: 32 characters a row.
std::string Wrapped(const std::string& text) {
    std::string rows;
    for (std::size_t i = 0; i < text.size(); i += 32) rows += text.substr(i, 32) + "\n";
    return rows;
}

void ExpectReturned(const Z80Harness::Run& run, unsigned result) {
    EXPECT_EQ(run.end, End::Returned) << run.fault;
    EXPECT_EQ(run.result, result);
}

TEST(ListingRoutine, IsAssembled) {
    ASSERT_GT(Routine().size(), 100u);
    ASSERT_LT(Routine().size(), 512u);  // small enough to leave a 1K machine room for names
}

struct ScreenCase {
    const char* label;
    std::string path;
    std::vector<std::string> names;
    std::string screen;
};

const std::string kLongName =  // a 255-character name, the longest a file system gives
    std::string(100, 'A') + std::string(100, 'B') + std::string(51, 'C') + ".P81";

// The first pass shows the first page at once.
TEST(ListingRoutine, FirstPageShowsPathAndNames) {
    const std::vector<std::string> full = Games(17);
    std::vector<std::string> fullRows;  // 17 names of 32 characters, one row each
    for (char c = 'A'; c < 'A' + 17; ++c) fullRows.push_back(std::string(30, c) + ".P");
    const std::string path32 = "/HOME/ZX/COLLECTIONS/ARCADE1982/";
    const std::string path33 = "...E/ZX/COLLECTIONS/ARCADE19823/";
    const ScreenCase cases[] = {
        {"empty directory", "/ZX/", {}, "/ZX/\n\n\nFILES: 0"},
        {"one name", "/zx/", {"game.p"}, "/ZX/\n\nGAME.P\n\nFILES: 1"},
        {"exactly one screenful", "/ZX/", full, "/ZX/\n\n" + Rows(full, 1, 17) + "\nFILES: 17"},
        {"names of one full row fill a screen", "/ZX/", fullRows,
         "/ZX/\n\n" + Rows(fullRows, 1, 17) + "\nFILES: 17"},
        {"a count of names left out is shown, not counted",
         "/ZX/",
         {"A.P", "+2,000 MORE"},
         "/ZX/\n\nA.P\n+2,000 MORE\n\nFILES: 1"},
        {"names the ZX81 cannot show are left out",
         "/ZX/",
         {"A.P", "My_Game.P", "B.P"},
         "/ZX/\n\nA.P\nB.P\n\nFILES: 2"},
        {"a path of one full row", path32, {"A.P"}, path32 + "\n\nA.P\n\nFILES: 1"},
        {"a longer path shows its end",
         path33,
         {"A.P"},
         "...E/ZX/COLLECTIONS/ARCADE19823/\n\nA.P\n\nFILES: 1"},
        {"a path as long as a file system allows",
         "/" + std::string(4000, 'D') + "/ZX81/GAMES/ARCADE/1982/",
         {"A.P"},
         "...DDDDD/ZX81/GAMES/ARCADE/1982/\n\nA.P\n\nFILES: 1"},
        {"a name of exactly one row",
         "/",
         {std::string(30, 'N') + ".P"},
         "/\n\n" + std::string(30, 'N') + ".P\n\nFILES: 1"},
        {"the longest names fill the page",
         "/",
         {kLongName, "Z.P", kLongName},
         "/\n\n" + Wrapped(kLongName) + "Z.P\n" + Wrapped(kLongName) + "\nFILES: 3"},
        {"a name that does not fit waits for the next page",
         "/",
         {kLongName, kLongName, "Y.P", "Z.P"},
         "/\n\n" + Wrapped(kLongName) + Wrapped(kLongName) + "Y.P\n\nANY KEY: NEXT PAGE. FILES: 4"},
        {"a longer name is cut at 255 characters",
         "/",
         {kLongName + "XYZ.P"},
         "/\n\n" + Wrapped(kLongName) + "\nFILES: 1"},
    };
    for (const ScreenCase& c : cases) {
        SCOPED_TRACE(c.label);
        Z80Harness zx81(Listing(c.path, c.names));
        const Z80Harness::Run run = zx81.Call();
        EXPECT_EQ(run.end, End::Returned) << run.fault;
        EXPECT_EQ(zx81.Screen(), c.screen);
        EXPECT_EQ(zx81.strayAccesses(), std::vector<std::string>{});
    }
}

// One name more than a screenful: a key shows the second page, the next the first again. The
// routine at another length (more bytes in line 1) finds lines 20 and 30 all the same.
TEST(ListingRoutine, PagesTurnOnAKeyAndWrapAround) {
    const std::vector<std::string> names = Games(18);
    const std::string page1 = "/ZX/\n\n" + Rows(names, 1, 17) + "\nANY KEY: NEXT PAGE. FILES: 18";
    const std::string page2 = "/ZX/\n\n" + Rows(names, 18, 18) + "\nANY KEY: NEXT PAGE. FILES: 18";
    std::vector<std::uint8_t> longer = Routine();
    longer.insert(longer.end(), 300, 0x76);
    for (const auto& routine : {Routine(), longer}) {
        SCOPED_TRACE(routine.size());
        Z80Harness zx81(Listing("/ZX/", names, routine));
        ExpectReturned(zx81.Call(), 18);
        EXPECT_EQ(zx81.Screen(), page1);
        for (const std::string& expected : {page2, page1, page2}) {
            // The key of the last page is still down, goes up, and another is pressed.
            const Z80Harness::Run run = zx81.Call({Keys::Key, Keys::None, Keys::None, Keys::Key});
            ExpectReturned(run, 18);
            EXPECT_LE(run.tStates, kCallBudget);
            EXPECT_EQ(zx81.Screen(), expected);
        }
        EXPECT_EQ(zx81.strayAccesses(), std::vector<std::string>{});
    }
}

// A key that stays down, or no key at all, keeps the page where it is.
TEST(ListingRoutine, WaitsForANewKey) {
    Z80Harness zx81(Listing("/ZX/", Games(18)));
    ExpectReturned(zx81.Call(), 18);
    const std::string page1 = zx81.Screen();
    for (const auto& keys : {std::vector<Keys>{}, std::vector<Keys>(50, Keys::Key)}) {
        EXPECT_EQ(zx81.Call(keys, kCallBudget).end, End::OutOfTime);
        EXPECT_EQ(zx81.Screen(), page1);
    }
}

// BREAK, whether a key is still down or not, stops the program with report D and leaves the
// page on the screen; running line 10 again shows the first page at once.
TEST(ListingRoutine, BreakGivesReportD) {
    const std::vector<std::vector<Keys>> scripts = {
        {Keys::Break}, {Keys::Key, Keys::Break}, {Keys::None, Keys::None, Keys::Break}};
    for (const auto& keys : scripts) {
        SCOPED_TRACE(keys.size());
        Z80Harness zx81(Listing("/ZX/", Games(20)));
        ExpectReturned(zx81.Call(), 20);
        ExpectReturned(zx81.Call({Keys::None, Keys::Key}), 20);
        const std::string page2 = zx81.Screen();
        const Z80Harness::Run stopped = zx81.Call(keys);
        EXPECT_EQ(stopped.end, End::Report) << stopped.fault;
        EXPECT_EQ(stopped.report, Z80Harness::kReportBreak);
        EXPECT_EQ(zx81.Screen(), page2);
        ExpectReturned(zx81.Call(), 20);
        EXPECT_EQ(zx81.Screen(),
                  "/ZX/\n\n" + Rows(Games(20), 1, 17) + "\nANY KEY: NEXT PAGE. FILES: 20");
        EXPECT_EQ(zx81.strayAccesses(), std::vector<std::string>{});
    }
}

// A 1K machine: RAM ends at 17408 and the stack sits just below it.
TEST(ListingRoutine, RunsOnA1KMachine) {
    const std::vector<std::uint8_t> image = Listing("/ZX/", Games(3));
    ASSERT_LT(Z80Harness::kProgramStart + image.size() + 128, 17408u);
    Z80Harness zx81(image, 17408);
    ExpectReturned(zx81.Call(), 3);
    EXPECT_EQ(zx81.Screen(), "/ZX/\n\n" + Rows(Games(3), 1, 3) + "\nFILES: 3");
    ExpectReturned(zx81.Call({Keys::None, Keys::Key}), 3);
    EXPECT_EQ(zx81.Screen(), "/ZX/\n\n" + Rows(Games(3), 1, 3) + "\nFILES: 3");
    EXPECT_EQ(zx81.strayAccesses(), std::vector<std::string>{});
}

// What a listing LOAD sends: the listing of a real directory, with the routine found beside the
// program, shows that directory's names.
TEST(ListingRoutine, ListingOfADirectoryShowsItsNames) {
    rig::TempDir dir;
    for (const char* name : {"zork.p81", "game.81", "notes.txt"}) {
        std::ofstream(dir.path() / name) << 'x';
    }
    TransferOptions options;
    options.Zx81Format = "P";
    rig::FakeMessages messages;
    DiskFiles files;
    const auto built = BuildDirectoryListing(
        files, dir.text(), options, {std::filesystem::path(BRINDLE_ROUTINE_PATH).parent_path()},
        messages);
    ASSERT_TRUE(built);
    std::ifstream in(built->path(), std::ios::binary);
    Z80Harness zx81(std::vector<std::uint8_t>(std::istreambuf_iterator<char>(in), {}));
    ExpectReturned(zx81.Call(), 2);
    const std::string path = UpperAscii(dir.text());
    const std::string shown = path.size() > 32 ? "..." + path.substr(path.size() - 29) : path;
    EXPECT_EQ(zx81.Screen(), shown + "\n\nGAME.81\nZORK.P81\n\nFILES: 2");
}

}  // namespace
}  // namespace brindle

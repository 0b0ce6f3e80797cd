#include "listing/DirectoryListing.h"

#include <gtest/gtest.h>

#include <sstream>
#include <system_error>

#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

// Bytes written out by hand: two hex digits a byte, spaces between groups; "XX*N" repeats XX.
Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (std::string word; in >> word;) {
        const std::size_t star = word.find('*');
        const std::string digits = word.substr(0, star);
        EXPECT_EQ(digits.size() % 2, 0u) << word;
        const std::size_t times = star == std::string::npos ? 1 : std::stoul(word.substr(star + 1));
        for (std::size_t t = 0; t < times; ++t) {
            for (std::size_t i = 0; i + 1 < digits.size(); i += 2)
                out.push_back(
                    static_cast<std::uint8_t>(std::stoul(digits.substr(i, 2), nullptr, 16)));
        }
    }
    return out;
}

// "Directory_Listing" as a ".P81" name: D, nine spaces for "irectory_", L, five for "istin",
// and the last byte, "g", a space with bit 7 set.
const std::string kNameHeader = "29 00*9 31 00*5 80 ";

// The system variables BERG to the last spare byte (offsets 21 to 115), the same in every listing
// but NXTLIN: MEM 16477, DF_SZ 2, S_TOP 10, LAST_K, MARGIN 55, T_ADDR 3213, FRAMES 59104,
// PR_CC 188, S_POSN 33/24, CDFLAG 64, PRBUFF (32 spaces, NEWLINE), MEMBOT and spare all 0.
std::string SystemVariablesFromBerg(const std::string& nxtlin) {
    return " 00 5D40 00 02 0A00 FFFF 00 37 " + nxtlin +
           " 0000 00 0000 8D0C 0000 E0E6 0000 BC 2118 40 00*32 76 00*32 ";
}

// 5 CLS; 10 PRINT USR VAL "16516".
const std::string kLines5And10 = " 0005 0200 FB 76 000A 0B00 F5 D4 C5 0B 1D 22 21 1D 22 0B 76 ";
// 20 REM /; 30 REM with no entries.
const std::string kLines20And30Empty = " 0014 0300 EA 18 76 001E 0200 EA 76 ";
// 40 GOTO VAL "10"; the collapsed display file; the variables' end marker.
const std::string kLine40AndTail = " 0028 0700 EC C5 0B 1D 1C 0B 76 76*25 80";

// The directory "/" with no files and no routine: routine 1 byte, path 1, entries 0, so the
// program is 54 bytes, D_FILE 16563, VARS 16588, E_LINE 16589, CH_ADD 16593, STKBOT and STKEND
// 16594, line 5 at 16518.
const std::string kEmptyImage = "00 0A00 B340 B440 CC40 0000 CD40 D140 0000 D240 D240" +
                                SystemVariablesFromBerg("8640") + "0001 0500 EA 76 76 C9 76" +
                                kLines5And10 + kLines20And30Empty + kLine40AndTail;

TEST(DirectoryListingProgram, EmptyDirectoryWithoutRoutineInBothFormats) {
    const ListingResult p = MakeListingProgram("/", {}, std::nullopt, "P");
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.bytes.size(), 142u + 54u);
    EXPECT_EQ(p.bytes, Hex(kEmptyImage));
    const ListingResult p81 = MakeListingProgram("/", {}, std::nullopt, "P81");
    EXPECT_EQ(p81.error, "");
    EXPECT_EQ(p81.bytes, Hex(kNameHeader + kEmptyImage));
}

TEST(DirectoryListingProgram, NamesPathAndRoutine) {
    // Routine 4 bytes, path "/ZX/GAMES/" 10, entries 8 + 9 (My_Game.P has none): the program
    // is 83 bytes, D_FILE 16592, VARS 16617, line 5 at 16521.
    const ListingResult r = MakeListingProgram("/zx/games/", {"game.81", "My_Game.P", "zork.p81"},
                                               Bytes{0x2A, 0x0C, 0x40, 0xC9}, "P81");
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.bytes, Hex(kNameHeader + "00 0A00 D040 D140 E940 0000 EA40 EE40 0000 EF40 EF40" +
                           SystemVariablesFromBerg("8940") + "0001 0800 EA 76 76 2A0C40C9 76" +
                           kLines5And10 +
                           // 20 REM /ZX/GAMES/
                           "0014 0C00 EA 18 3F 3D 18 2C 26 32 2A 38 18 76"
                           // 30 REM GAME.81 (inverse space) ZORK.P81 (inverse space)
                           " 001E 1300 EA 2C 26 32 2A 1B 24 1D 80 3F 34 37 30 1B 35 24 1D 80 76" +
                           kLine40AndTail));
}

// A 16K ZX81 holds a program of 15209 bytes from 16509: above it, up to 32767, lie the full
// display file (793), the variables' end marker and 256 bytes for workspace and stacks.
TEST(DirectoryListingProgram, ProgramFitsA16KZx81) {
    // Path "/" and no files: the program is routine + 53 bytes.
    Bytes routine(15209 - 53, 0x00);
    routine.back() = 0xC9;
    EXPECT_EQ(MakeListingProgram("/", {}, routine, "P").bytes.size(), 142u + 15209u);
    routine.push_back(0xC9);
    const ListingResult over = MakeListingProgram("/", {}, routine, "P");
    EXPECT_TRUE(over.bytes.empty());
    EXPECT_EQ(over.error,
              "The directory \"/\" cannot be listed: the listing program of 15210 bytes would not "
              "fit the memory of a 16K ZX81.");

    // 3,000 entries of 11 bytes: 54 bytes besides them leave room for 1376 and then the entry
    // "+1,624 MORE" (12 bytes), 15202 in all; a further name would pass 15209.
    std::vector<std::string> names;
    for (int i = 0; i < 3000; ++i) names.push_back("GAME" + std::to_string(1000 + i) + ".P");
    const Bytes image = MakeListingProgram("/", names, std::nullopt, "P").bytes;
    ASSERT_EQ(image.size(), 142u + 15202u);
    // Line 30 ends with the last name listed and the count of the rest, before line 40 (11
    // bytes), the display file (25) and the variables (1).
    const Bytes tail =
        Concat(Concat(MakeListingEntry("GAME2375.P"), MakeListingEntry("+1,624 MORE")),
               Hex("76" + kLine40AndTail));
    EXPECT_EQ(Bytes(image.end() - static_cast<std::ptrdiff_t>(tail.size()), image.end()), tail);
}

// An underscore in the path is reported by BuildDirectoryListing below; a control character is
// named by its code.
TEST(DirectoryListingProgram, PathWithCharacterTheZx81CannotShowFails) {
    const ListingResult r = MakeListingProgram("/zx/a\tb/", {}, std::nullopt, "P");
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.error,
              "The directory \"/zx/a\tb/\" cannot be listed: its path holds the character code 9, "
              "which the ZX81 cannot show.");
}

TEST(DirectoryListingEntry, OnlyNamesTheZx81CanShow) {
    // Space, quotation mark, pound and the graphic stand-in are all ZX81 characters.
    EXPECT_EQ(MakeListingEntry("a \"\xC2\xA3\xC2\xAC.p"), Hex("26 00 0B 0C 01 1B 35 80"));
    EXPECT_EQ(MakeListingEntry("caf\xC3\xA9.P"), Bytes{});  // é
    EXPECT_EQ(MakeListingEntry("Game!.P"), Bytes{});
}

TEST(DirectoryListingScan, ProgramFilesOnlySortedIgnoringCase) {
    TempDir dir;
    for (const char* name :
         {"zork.p81", "Gamma.p", "BETA2.81", "beta.P", "game.81", "Alpha.P", "My_Game.P",
          ".hidden.P", "readme.txt", "GAME.P81.bak", "p81", "noext", "trailing."}) {
        WriteFile(dir.path() / name, {});
    }
    fs::create_directory(dir.path() / "dir.P");
    EXPECT_EQ(ScanListingFiles(dir.path()),
              (std::vector<std::string>{"Alpha.P", "beta.P", "BETA2.81", "game.81", "Gamma.p",
                                        "My_Game.P", "zork.p81"}));
}

struct DirectoryListingBuild : ::testing::Test {
    std::unique_ptr<ListingFile> Build(const std::string& directory,
                                       std::vector<fs::path> routineDirs = {}) {
        return BuildDirectoryListing(files, directory, options, routineDirs, messages);
    }
    // The build failed with this message (any, when empty) and left no file behind.
    void ExpectFailure(const std::unique_ptr<ListingFile>& built, const fs::path& directory,
                       const std::string& text = {}) {
        EXPECT_EQ(built, nullptr);
        ASSERT_EQ(messages.shown.size(), 1u);
        EXPECT_EQ(messages.shown[0].caption, "Brindle");
        if (!text.empty()) {
            EXPECT_EQ(messages.shown[0].text, text);
        }
        EXPECT_EQ(Listing(directory), before);
        messages.shown.clear();
    }

    TempDir dir;
    TransferOptions options;
    FakeMessages messages;
    DiskFiles disk;
    FaultyFiles files{disk};
    std::vector<std::string> before;
};

// The listing takes a hidden name that no file has, so a user's program saved as
// Directory_Listing is never replaced, and an earlier listing is neither replaced nor listed.
TEST_F(DirectoryListingBuild, WritesAHiddenFileOfItsOwnRemovedWithIt) {
    for (const char* name : {"zork.p81", "game.81", "My_Game.P", ".hidden.P", "notes.txt"})
        WriteFile(dir.path() / name, {1});
    WriteFile(dir.path() / "Directory_Listing.P81", {1, 2, 3});
    const std::vector<std::string> files = Listing(dir.path());
    const Bytes expected =
        MakeListingProgram(dir.text(), {"game.81", "My_Game.P", "zork.p81"}, std::nullopt, "P81")
            .bytes;

    std::unique_ptr<ListingFile> first = Build(dir.text());
    std::unique_ptr<ListingFile> second = Build(dir.text());
    ASSERT_TRUE(first && second);
    EXPECT_NE(first->path(), second->path());
    for (const ListingFile* built : {first.get(), second.get()}) {
        EXPECT_EQ(built->path().parent_path(), dir.path());
        EXPECT_TRUE(built->path().filename().string().starts_with(".Directory_Listing"));
        EXPECT_EQ(FileBytes(built->path()), expected);
    }
    EXPECT_TRUE(messages.shown.empty());
    first.reset();
    second.reset();
    EXPECT_EQ(Listing(dir.path()), files);
    EXPECT_EQ(FileBytes(dir.path() / "Directory_Listing.P81"), (Bytes{1, 2, 3}));
}

TEST_F(DirectoryListingBuild, RoutineComesFromTheFirstSearchDirectoryThatHasIt) {
    TempDir programDir, dataDir;
    WriteFile(programDir.path() / "Brindle.bin", {0x11, 0xC9});
    WriteFile(dataDir.path() / "Brindle.bin", {0x22, 0xC9});
    options.Zx81Format = "P";
    const auto built = Build(dir.text(), {dir.path() / "none", programDir.path(), dataDir.path()});
    ASSERT_TRUE(built);
    EXPECT_EQ(FileBytes(built->path()),
              MakeListingProgram(dir.text(), {}, Bytes{0x11, 0xC9}, "P").bytes);
}

TEST_F(DirectoryListingBuild, FailuresAreReportedAndLeaveNoFile) {
    const std::string missing = dir.text() + "gone/";
    ExpectFailure(
        Build(missing), dir.path(),
        missing + ": " + std::make_error_code(std::errc::no_such_file_or_directory).message());

    const fs::path games = dir.path() / "my_games";
    WriteFile(games / "a.p", {});
    before = Listing(games);
    ExpectFailure(Build(games.string() + "/"), games,
                  "The directory \"" + games.string() +
                      "/\" cannot be listed: its path holds \"_\", which the ZX81 cannot show.");

    // An empty routine would leave the ZX81 running the BASIC lines as code.
    TempDir emptyRoutine;
    WriteFile(emptyRoutine.path() / "Brindle.bin", {});
    before = Listing(dir.path());
    ExpectFailure(Build(dir.text(), {emptyRoutine.path()}), dir.path(),
                  (emptyRoutine.path() / "Brindle.bin").string() + ": the file is empty");

    // A write that fails part way.
    files.diskFullAt = 100;
    ExpectFailure(Build(dir.text()), dir.path());
}

}  // namespace
}  // namespace brindle

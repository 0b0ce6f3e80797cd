#include "listing/DirectoryListing.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <initializer_list>
#include <system_error>

#include "tests/rig/Rig.h"

namespace brindle {
namespace {

using Bytes = std::vector<std::uint8_t>;
namespace fs = std::filesystem;

Bytes Join(std::initializer_list<Bytes> parts) {
    Bytes all;
    for (const Bytes& part : parts) all.insert(all.end(), part.begin(), part.end());
    return all;
}

Bytes Repeat(std::uint8_t value, std::size_t count) {
    return Bytes(count, value);
}

// "Directory_Listing" as a ".P81" name: D, nine spaces for "irectory_", L, five for "istin",
// and the last byte, "g", a space with bit 7 set.
const Bytes kNameHeader = Join({{0x29}, Repeat(0, 9), {0x31}, Repeat(0, 5), {0x80}});

// The system variables from BERG to CDFLAG that never change (offsets 21 to 50) apart from
// NXTLIN at offsets 32 and 33, given here.
Bytes MiddleSystemVariables(std::uint8_t nxtlinLow, std::uint8_t nxtlinHigh) {
    return {0x00,                   // BERG
            0x5D,      0x40,        // MEM 16477
            0x00,                   // spare
            0x02,                   // DF_SZ
            0x0A,      0x00,        // S_TOP 10
            0xFF,      0xFF,        // LAST_K
            0x00,                   // DB_ST
            0x37,                   // MARGIN 55
            nxtlinLow, nxtlinHigh,  // NXTLIN
            0x00,      0x00,        // OLDPPC
            0x00,                   // FLAGX
            0x00,      0x00,        // STRLEN
            0x8D,      0x0C,        // T_ADDR 3213
            0x00,      0x00,        // SEED
            0xE0,      0xE6,        // FRAMES 59104
            0x00,      0x00,        // COORDS
            0xBC,                   // PR_CC 188
            0x21,      0x18,        // S_POSN column 33, line 24
            0x40};                  // CDFLAG 64
}

// PRBUFF (32 spaces and NEWLINE), MEMBOT and the two spare bytes: offsets 51 to 115.
const Bytes kSystemVariablesTail = Join({Repeat(0, 32), {0x76}, Repeat(0, 30), {0, 0}});

// Lines 5 and 10: CLS; PRINT USR VAL "16516".
const Bytes kLines5And10 = {0x00, 0x05, 0x02, 0x00, 0xFB, 0x76,              //
                            0x00, 0x0A, 0x0B, 0x00, 0xF5, 0xD4, 0xC5, 0x0B,  //
                            0x1D, 0x22, 0x21, 0x1D, 0x22, 0x0B, 0x76};
// Line 40: GOTO VAL "10"; the collapsed display file; the variables' end marker.
const Bytes kLine40AndTail = Join(
    {{0x00, 0x28, 0x07, 0x00, 0xEC, 0xC5, 0x0B, 0x1D, 0x1C, 0x0B, 0x76}, Repeat(0x76, 25), {0x80}});

// The directory "/" with no files and no routine: routine 1 byte, path 1, entries 0, so the
// program is 54 bytes, D_FILE 16563, VARS 16588, line 5 at 16518.
const Bytes kEmptyImage = Join({
    {0x00,                              // VERSN
     0x0A, 0x00,                        // E_PPC 10
     0xB3, 0x40,                        // D_FILE 16563
     0xB4, 0x40,                        // DF_CC
     0xCC, 0x40,                        // VARS 16588
     0x00, 0x00,                        // DEST
     0xCD, 0x40,                        // E_LINE
     0xD1, 0x40,                        // CH_ADD VARS + 5
     0x00, 0x00,                        // X_PTR
     0xD2, 0x40,                        // STKBOT VARS + 6
     0xD2, 0x40},                       // STKEND
    MiddleSystemVariables(0x86, 0x40),  // NXTLIN 16518
    kSystemVariablesTail,
    {0x00, 0x01, 0x05, 0x00, 0xEA, 0x76, 0x76, 0xC9, 0x76},  // 1 REM, NEWLINEs, RET
    kLines5And10,
    {0x00, 0x14, 0x03, 0x00, 0xEA, 0x18, 0x76},  // 20 REM /
    {0x00, 0x1E, 0x02, 0x00, 0xEA, 0x76},        // 30 REM (no entries)
    kLine40AndTail,
});

TEST(DirectoryListingProgram, EmptyDirectoryWithoutRoutineInBothFormats) {
    const ListingResult p = MakeListingProgram("/", {}, std::nullopt, "P");
    EXPECT_EQ(p.error, "");
    EXPECT_EQ(p.bytes.size(), 142u + 54u);
    EXPECT_EQ(p.bytes, kEmptyImage);

    const ListingResult p81 = MakeListingProgram("/", {}, std::nullopt, "P81");
    EXPECT_EQ(p81.error, "");
    EXPECT_EQ(p81.bytes, Join({kNameHeader, kEmptyImage}));
}

TEST(DirectoryListingProgram, NamesPathAndRoutine) {
    // Routine 4 bytes, path "/ZX/GAMES/" 10, entries 8 + 9 (My_Game.P has none): the program
    // is 83 bytes, D_FILE 16592, VARS 16617, line 5 at 16521.
    const Bytes routine = {0x2A, 0x0C, 0x40, 0xC9};
    const ListingResult r =
        MakeListingProgram("/zx/games/", {"game.81", "My_Game.P", "zork.p81"}, routine, "P81");
    const Bytes expected = Join({
        kNameHeader,
        {0x00,                              // VERSN
         0x0A, 0x00,                        // E_PPC
         0xD0, 0x40,                        // D_FILE 16592
         0xD1, 0x40,                        // DF_CC
         0xE9, 0x40,                        // VARS 16617
         0x00, 0x00,                        // DEST
         0xEA, 0x40,                        // E_LINE
         0xEE, 0x40,                        // CH_ADD
         0x00, 0x00,                        // X_PTR
         0xEF, 0x40,                        // STKBOT
         0xEF, 0x40},                       // STKEND
        MiddleSystemVariables(0x89, 0x40),  // NXTLIN 16521
        kSystemVariablesTail,
        {0x00, 0x01, 0x08, 0x00, 0xEA, 0x76, 0x76, 0x2A, 0x0C, 0x40, 0xC9, 0x76},  // 1 REM
        kLines5And10,
        // 20 REM /ZX/GAMES/
        {0x00, 0x14, 0x0C, 0x00, 0xEA, 0x18, 0x3F, 0x3D, 0x18, 0x2C, 0x26, 0x32, 0x2A, 0x38, 0x18,
         0x76},
        // 30 REM GAME.81 (inverse space) ZORK.P81 (inverse space)
        {0x00, 0x1E, 0x13, 0x00, 0xEA,                    //
         0x2C, 0x26, 0x32, 0x2A, 0x1B, 0x24, 0x1D, 0x80,  //
         0x3F, 0x34, 0x37, 0x30, 0x1B, 0x35, 0x24, 0x1D, 0x80, 0x76},
        kLine40AndTail,
    });
    EXPECT_EQ(r.error, "");
    EXPECT_EQ(r.bytes, expected);
}

TEST(DirectoryListingProgram, ProgramMustEndBelowAddress65536) {
    // Path "/" and no files: the program is routine + 53 bytes. STKBOT, VARS + 6, is the largest
    // value: 16509 + 48995 + 25 + 6 = 65535 fits with a routine of 48942 bytes.
    Bytes routine(48942, 0x00);
    routine.back() = 0xC9;
    const ListingResult atLimit = MakeListingProgram("/", {}, routine, "P");
    const Bytes expected = Join({
        {0x00, 0x0A, 0x00, 0xE0, 0xFF,      // D_FILE 65504
         0xE1, 0xFF,                        // DF_CC
         0xF9, 0xFF,                        // VARS 65529
         0x00, 0x00, 0xFA, 0xFF,            // E_LINE
         0xFE, 0xFF,                        // CH_ADD
         0x00, 0x00, 0xFF, 0xFF,            // STKBOT 65535
         0xFF, 0xFF},                       // STKEND
        MiddleSystemVariables(0xB3, 0xFF),  // NXTLIN 65459
        kSystemVariablesTail,
        {0x00, 0x01, 0x32, 0xBF, 0xEA, 0x76, 0x76},  // 1 REM, length 48946
        routine,
        {0x76},
        kLines5And10,
        {0x00, 0x14, 0x03, 0x00, 0xEA, 0x18, 0x76},
        {0x00, 0x1E, 0x02, 0x00, 0xEA, 0x76},
        kLine40AndTail,
    });
    EXPECT_EQ(atLimit.error, "");
    EXPECT_EQ(atLimit.bytes, expected);

    routine.push_back(0xC9);
    const ListingResult over = MakeListingProgram("/", {}, routine, "P");
    EXPECT_TRUE(over.bytes.empty());
    EXPECT_EQ(over.error,
              "The directory \"/\" cannot be listed: the listing program of 48996 bytes would run "
              "past the ZX81's last address, 65535.");

    // Many files reach the limit too: 12236 entries of 4 bytes give 48998 bytes.
    const std::vector<std::string> names(12236, "A.P");
    EXPECT_NE(MakeListingProgram("/", names, std::nullopt, "P81").error, "");
}

TEST(DirectoryListingProgram, PathWithCharacterTheZx81CannotShowFails) {
    const ListingResult r = MakeListingProgram("/zx/my_games/", {"A.P"}, std::nullopt, "P");
    EXPECT_TRUE(r.bytes.empty());
    EXPECT_EQ(r.error,
              "The directory \"/zx/my_games/\" cannot be listed: its path holds \"_\", which the "
              "ZX81 cannot show.");
    EXPECT_EQ(MakeListingProgram("/zx/a\tb/", {}, std::nullopt, "P").error,
              "The directory \"/zx/a\tb/\" cannot be listed: its path holds the character code 9, "
              "which the ZX81 cannot show.");
}

TEST(DirectoryListingEntry, UpperCasedCodesEndedByInverseSpace) {
    EXPECT_EQ(MakeListingEntry("game.81"), (Bytes{0x2C, 0x26, 0x32, 0x2A, 0x1B, 0x24, 0x1D, 0x80}));
    // Space, quotation mark, pound and the graphic stand-in are all ZX81 characters.
    EXPECT_EQ(MakeListingEntry("a \"\xC2\xA3\xC2\xAC.p"),
              (Bytes{0x26, 0x00, 0x0B, 0x0C, 0x01, 0x1B, 0x35, 0x80}));
    EXPECT_EQ(MakeListingEntry("My_Game.P"), Bytes{});
    EXPECT_EQ(MakeListingEntry("caf\xC3\xA9.P"), Bytes{});  // é
    EXPECT_EQ(MakeListingEntry("Game!.P"), Bytes{});
}

void Touch(const fs::path& file, const Bytes& bytes = {}) {
    std::ofstream out(file, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()),
              static_cast<std::streamsize>(bytes.size()));
}

Bytes Contents(const fs::path& file) {
    return ReadWholeFile(file).value_or(Bytes{0xEE});
}

std::vector<std::string> Entries(const fs::path& directory) {
    std::vector<std::string> names;
    for (const auto& entry : fs::directory_iterator(directory)) {
        names.push_back(entry.path().filename().string());
    }
    std::sort(names.begin(), names.end());
    return names;
}

TEST(DirectoryListingScan, ProgramFilesOnlySortedIgnoringCase) {
    rig::TempDir dir;
    for (const char* name :
         {"zork.p81", "Gamma.p", "BETA2.81", "beta.P", "game.81", "Alpha.P", "My_Game.P",
          ".hidden.P", "readme.txt", "GAME.P81.bak", "p81", "noext", "trailing."}) {
        Touch(dir.path() / name);
    }
    fs::create_directory(dir.path() / "dir.P");
    EXPECT_EQ(ScanListingFiles(dir.path()),
              (std::vector<std::string>{"Alpha.P", "beta.P", "BETA2.81", "game.81", "Gamma.p",
                                        "My_Game.P", "zork.p81"}));

    rig::TempDir empty;
    EXPECT_EQ(ScanListingFiles(empty.path()), std::vector<std::string>{});

    FileError error;
    EXPECT_EQ(ScanListingFiles(dir.path() / "missing", &error), std::nullopt);
    EXPECT_EQ(error.description,
              (dir.path() / "missing").string() + ": " +
                  std::make_error_code(std::errc::no_such_file_or_directory).message());
}

struct DirectoryListingBuild : ::testing::Test {
    std::optional<fs::path> Build(const std::string& directory,
                                  std::vector<fs::path> routineDirs = {}) {
        return BuildDirectoryListing(directory, options, routineDirs, messages);
    }
    void ExpectOneMessage(const std::string& text) {
        EXPECT_EQ(messages.shown, (std::vector<Message>{{text, "Brindle", MessageIcon::None, ""}}));
    }

    rig::TempDir dir;
    TransferOptions options;
    rig::FakeMessages messages;
};

TEST_F(DirectoryListingBuild, WritesTheProgramForTheScannedFilesReplacingAnOldListing) {
    for (const char* name : {"zork.p81", "game.81", "My_Game.P", ".hidden.P", "notes.txt"}) {
        Touch(dir.path() / name);
    }
    Touch(dir.path() / "Directory_Listing.P81", {1, 2, 3});
    options.Zx81Format = "P81";

    EXPECT_EQ(Build(dir.text()), dir.path() / "Directory_Listing.P81");
    EXPECT_TRUE(messages.shown.empty());
    EXPECT_EQ(
        Contents(dir.path() / "Directory_Listing.P81"),
        MakeListingProgram(dir.text(), {"game.81", "My_Game.P", "zork.p81"}, std::nullopt, "P81")
            .bytes);
    EXPECT_EQ(Entries(dir.path()),
              (std::vector<std::string>{".hidden.P", "Directory_Listing.P81", "My_Game.P",
                                        "game.81", "notes.txt", "zork.p81"}));
}

TEST_F(DirectoryListingBuild, RoutineComesFromTheFirstSearchDirectoryThatHasIt) {
    rig::TempDir programDir;
    rig::TempDir dataDir;
    Touch(programDir.path() / "Brindle.bin", {0x11, 0xC9});
    Touch(dataDir.path() / "Brindle.bin", {0x22, 0xC9});
    options.Zx81Format = "P";

    EXPECT_EQ(Build(dir.text(), {dir.path() / "none", programDir.path(), dataDir.path()}),
              dir.path() / "Directory_Listing.P");
    EXPECT_EQ(Contents(dir.path() / "Directory_Listing.P"),
              MakeListingProgram(dir.text(), {}, Bytes{0x11, 0xC9}, "P").bytes);
}

TEST_F(DirectoryListingBuild, MissingDirectoryIsReported) {
    const std::string missing = dir.text() + "gone/";
    EXPECT_FALSE(Build(missing));
    ExpectOneMessage(missing + ": " +
                     std::make_error_code(std::errc::no_such_file_or_directory).message());
}

TEST_F(DirectoryListingBuild, PathTheZx81CannotShowWritesNothing) {
    const fs::path games = dir.path() / "my_games";
    fs::create_directory(games);
    Touch(games / "a.p");

    EXPECT_FALSE(Build(games.string() + "/"));
    ExpectOneMessage("The directory \"" + games.string() +
                     "/\" cannot be listed: its path holds \"_\", which the ZX81 cannot show.");
    EXPECT_EQ(Entries(games), std::vector<std::string>{"a.p"});
}

TEST_F(DirectoryListingBuild, UnusableRoutineWritesNothing) {
    // An empty routine would leave the ZX81 running the BASIC lines as code.
    rig::TempDir programDir;
    Touch(programDir.path() / "Brindle.bin");
    EXPECT_FALSE(Build(dir.text(), {programDir.path()}));
    ExpectOneMessage((programDir.path() / "Brindle.bin").string() + ": the file is empty");

    rig::TempDir otherDir;
    fs::create_directory(otherDir.path() / "Brindle.bin");
    messages.shown.clear();
    EXPECT_FALSE(Build(dir.text(), {otherDir.path()}));
    EXPECT_EQ(messages.shown.size(), 1u);
    EXPECT_TRUE(Entries(dir.path()).empty());
}

TEST_F(DirectoryListingBuild, WriteFailureIsReportedAndLeavesNoPartialFile) {
    fs::create_directory(dir.path() / "Directory_Listing.P81");
    options.Zx81Format = "P81";

    EXPECT_FALSE(Build(dir.text()));
    ASSERT_EQ(messages.shown.size(), 1u);
    EXPECT_EQ(messages.shown[0].caption, "Brindle");
    EXPECT_NE(messages.shown[0].text.find("Directory_Listing.P81"), std::string::npos);
    EXPECT_EQ(Entries(dir.path()), std::vector<std::string>{"Directory_Listing.P81"});
}

}  // namespace
}  // namespace brindle

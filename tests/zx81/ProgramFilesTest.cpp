#include "zx81/ProgramFiles.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <fstream>

#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using Bytes = std::vector<std::uint8_t>;
using rig::TempDir;

const std::string kTd = "/home/user/zx/";

TransferOptions Options(int pcFilePathMode, const std::string& format = "P81") {
    TransferOptions options;
    options.TransferDirectory = kTd;
    options.PcFilePathMode = pcFilePathMode;
    options.Zx81Format = format;
    return options;
}

Bytes Concat(Bytes a, const Bytes& b) {
    a.insert(a.end(), b.begin(), b.end());
    return a;
}

void WriteFile(const std::filesystem::path& path, const Bytes& bytes) {
    std::ofstream(path, std::ios::binary)
        .write(reinterpret_cast<const char*>(bytes.data()),
               static_cast<std::streamsize>(bytes.size()));
}

// An image of the given length whose E_LINE says eLine.
Bytes ImageWithELine(std::size_t length, int eLine) {
    Bytes image(length, 0x11);
    image[11] = static_cast<std::uint8_t>(eLine & 0xFF);
    image[12] = static_cast<std::uint8_t>(eLine >> 8);
    return image;
}

TEST(ResolvePcPath, DirectoryPartDecidesWhereTheFileLives) {
    EXPECT_EQ(ResolvePcPath("X", kTd), (PcPath{kTd, "X"}));
    EXPECT_EQ(ResolvePcPath("./GAMES/X", kTd), (PcPath{kTd + "./GAMES/", "X"}));
    EXPECT_EQ(ResolvePcPath("../X", kTd), (PcPath{kTd + "../", "X"}));
    EXPECT_EQ(ResolvePcPath("/ZX/X", kTd), (PcPath{"/ZX/", "X"}));
    EXPECT_EQ(ResolvePcPath("GAMES/X", kTd), (PcPath{"GAMES/", "X"}));
    EXPECT_EQ(ResolvePcPath("A/B/C.P", kTd), (PcPath{"A/B/", "C.P"}));
    EXPECT_EQ(ResolvePcPath("GAMES/", kTd), (PcPath{"GAMES/", ""}));
    EXPECT_EQ(ResolvePcPath("", kTd), (PcPath{kTd, ""}));
}

TEST(SaveFileName, NormalModeReplacesWhatFileNamesCannotHold) {
    const std::string fp = "/work/zx/";
    EXPECT_EQ(SaveFileName("A/B*C", fp, Options(0)), (ProgramFileName{fp, "A-B-C", ".P81"}));
    EXPECT_EQ(SaveFileName("/*:?<>\"", fp, Options(0)), (ProgramFileName{fp, "-------", ".P81"}));
    // Pounds, graphics, spaces and dots stay, and nothing is resolved as a path.
    EXPECT_EQ(SaveFileName("\xC2\xA3\xC2\xAC .X", fp, Options(0, "P")),
              (ProgramFileName{fp, "\xC2\xA3\xC2\xAC .X", ".P"}));
    EXPECT_EQ(SaveFileName("../X", fp, Options(0)), (ProgramFileName{fp, "..-X", ".P81"}));
}

TEST(SaveFileName, PcFilePathModeFollowsThePath) {
    EXPECT_EQ(SaveFileName("GAMES/", "", Options(1)), (ProgramFileName{"GAMES/", "ZX81", ".P81"}));
    EXPECT_EQ(SaveFileName("./GAMES/X", "", Options(1)),
              (ProgramFileName{kTd + "./GAMES/", "X", ".P81"}));
    EXPECT_EQ(SaveFileName("/ZX/X", "", Options(1)), (ProgramFileName{"/ZX/", "X", ".P81"}));
    EXPECT_EQ(SaveFileName("GAME.V2", "", Options(1, "P")),
              (ProgramFileName{kTd, "GAME.V2", ".P"}));
    EXPECT_EQ(SaveFileName("A*B?", "", Options(1)), (ProgramFileName{kTd, "A*B?", ".P81"}));
    EXPECT_EQ(SaveFileName("GAME.V2", "", Options(1, "P")).path(),
              std::filesystem::path(kTd + "GAME.V2.P"));
}

TEST(LoadFileName, NormalModeTakesTheNameUnchanged) {
    EXPECT_EQ(LoadFileName("A/B", "/fp/", Options(0)), (ProgramFileName{"/fp/", "A/B", ""}));
    EXPECT_EQ(LoadFileName("GAME.V2", "/fp/", Options(0)),
              (ProgramFileName{"/fp/", "GAME.V2", ""}));
}

TEST(LoadFileName, PcFilePathModeSplitsTheExtension) {
    EXPECT_EQ(LoadFileName("GAME.V2", "", Options(1)), (ProgramFileName{kTd, "GAME", ".V2"}));
    EXPECT_EQ(LoadFileName("A.B.C", "", Options(1)), (ProgramFileName{kTd, "A.B", ".C"}));
    EXPECT_EQ(LoadFileName("./GAMES/X.P", "", Options(1)),
              (ProgramFileName{kTd + "./GAMES/", "X", ".P"}));
    // Names that leave no base name ask for a listing.
    EXPECT_EQ(LoadFileName("./", "", Options(1)), (ProgramFileName{kTd + "./", "", ""}));
    EXPECT_EQ(LoadFileName("GAMES/.P", "", Options(1)), (ProgramFileName{"GAMES/", "", ".P"}));
    // Without drive letters, a trailing colon is part of an ordinary name.
    EXPECT_EQ(LoadFileName("A:", "", Options(1)), (ProgramFileName{kTd, "A:", ""}));
}

class FindProgramFileTest : public ::testing::Test {
protected:
    void Make(const std::string& name) { WriteFile(dir.path() / name, {1}); }
    std::optional<FoundProgramFile> Find(const std::string& base, const std::string& extension) {
        return FindProgramFile({dir.text(), base, extension});
    }
    FoundProgramFile Found(const std::string& name, const std::string& extension) {
        return {dir.path() / name, extension};
    }
    TempDir dir;
};

TEST_F(FindProgramFileTest, GivenExtensionThenTheFormatList) {
    Make("GAME.P81");
    Make("GAME.P");
    Make("ONLYP.P");
    Make("OLD.81");
    Make("V.V2");
    EXPECT_EQ(Find("GAME", ".P"), Found("GAME.P", ".P"));
    EXPECT_EQ(Find("GAME", ".P81"), Found("GAME.P81", ".P81"));
    EXPECT_EQ(Find("GAME", ".X"), Found("GAME.P81", ".P81"));
    EXPECT_EQ(Find("ONLYP", ".P81"), Found("ONLYP.P", ".P"));
    EXPECT_EQ(Find("V", ".V2"), Found("V.V2", ".V2"));
    // A ".81" file is found only by its own extension.
    EXPECT_EQ(Find("OLD", ".P81"), std::nullopt);
    EXPECT_EQ(Find("OLD", ".81"), Found("OLD.81", ".81"));
    EXPECT_EQ(Find("NONE", ".P81"), std::nullopt);
}

TEST_F(FindProgramFileTest, OnlyThatExactNameCounts) {
    Make("GAME.P81");
    Make("G*.P");
    std::filesystem::create_directory(dir.path() / "DIR.P81");
    EXPECT_EQ(Find("G*", ".P81"), Found("G*.P", ".P"));
    EXPECT_EQ(Find("G?ME", ".P81"), std::nullopt);
    EXPECT_EQ(Find("GAM", ".P81"), std::nullopt);
    EXPECT_EQ(Find("DIR", ".P81"), std::nullopt);
    EXPECT_EQ(FindProgramFile({dir.text() + "missing/", "GAME", ".P81"}), std::nullopt);
}

TEST_F(FindProgramFileTest, LetterCaseMattersOnlyWithoutAnExactMatch) {
    Make("game.p81");
    Make("Tape.P");
    Make("TAPE.P");
    // The looked-up extension decides how the file is read.
    EXPECT_EQ(Find("GAME", ".P81"), Found("game.p81", ".P81"));
    EXPECT_EQ(Find("GAME", ".P"), Found("game.p81", ".P81"));
    EXPECT_EQ(Find("TAPE", ".P"), Found("TAPE.P", ".P"));
    EXPECT_EQ(Find("Tape", ".P"), Found("Tape.P", ".P"));
    EXPECT_EQ(Find("tape", ".P"), Found("TAPE.P", ".P"));
}

TEST_F(FindProgramFileTest, NormalModeNameWithSlashLooksInASubdirectory) {
    Make("A-B.P81");
    EXPECT_EQ(FindProgramFile(LoadFileName("A/B", dir.text(), Options(0))), std::nullopt);
    std::filesystem::create_directory(dir.path() / "A");
    Make("A/B.P81");
    EXPECT_EQ(FindProgramFile(LoadFileName("A/B", dir.text(), Options(0))),
              Found("A/B.P81", ".P81"));
}

TEST(ParseProgramFile, P81SkipsItsNameFieldWhateverItsLength) {
    const Bytes image = rig::Zx81Image(30);
    const Bytes extra{1, 2, 3};
    for (const Bytes& name : {Bytes{166}, TextToZX81("A MUCH LONGER NAME")}) {
        ProgramFileContent content = ParseProgramFile(Concat(Concat(name, image), extra), ".P81");
        EXPECT_EQ(content.error, ProgramFileError::None);
        EXPECT_EQ(content.image, image);
        EXPECT_EQ(content.fileLength, static_cast<int>(image.size() + extra.size()));
        EXPECT_EQ(content.eLine, rig::StoredELine(image, 11));
    }
}

TEST(ParseProgramFile, OtherExtensionsAreBareImages) {
    const Bytes image = rig::Zx81Image(30);
    for (const char* extension : {".P", ".81", ".p81", ".V2"}) {
        ProgramFileContent content = ParseProgramFile(Concat(image, {9, 9}), extension);
        EXPECT_EQ(content.error, ProgramFileError::None) << extension;
        EXPECT_EQ(content.image, image) << extension;
        EXPECT_EQ(content.fileLength, static_cast<int>(image.size() + 2)) << extension;
    }
    // Shorter than E_LINE says: used whole.
    const Bytes cut(image.begin(), image.end() - 10);
    ProgramFileContent content = ParseProgramFile(cut, ".P");
    EXPECT_EQ(content.error, ProgramFileError::None);
    EXPECT_EQ(content.image, cut);
    EXPECT_EQ(content.fileLength, static_cast<int>(cut.size()));
}

TEST(ParseProgramFile, RejectsWhatCannotBeSent) {
    EXPECT_EQ(ParseProgramFile(Bytes(200, 5), ".P81").error, ProgramFileError::NoNameEnd);
    EXPECT_EQ(ParseProgramFile({}, ".P").error, ProgramFileError::TooShort);
    EXPECT_EQ(ParseProgramFile(ImageWithELine(115, 16509), ".P").error, ProgramFileError::TooShort);
    EXPECT_EQ(ParseProgramFile(Concat({166}, ImageWithELine(115, 16509)), ".P81").error,
              ProgramFileError::TooShort);
    EXPECT_EQ(ParseProgramFile(ImageWithELine(116, 16392), ".P").error,
              ProgramFileError::ELineTooLow);
    EXPECT_EQ(ParseProgramFile(ImageWithELine(32768, 20000), ".P").error,
              ProgramFileError::TooLong);
    EXPECT_EQ(ParseProgramFile(ImageWithELine(200, 32769), ".P").error, ProgramFileError::TooLong);
}

TEST(ParseProgramFile, LimitsThemselvesAreAccepted) {
    ProgramFileContent smallest = ParseProgramFile(ImageWithELine(116, 16509), ".P");
    EXPECT_EQ(smallest.error, ProgramFileError::None);
    EXPECT_EQ(smallest.image, ImageWithELine(116, 16509));
    ProgramFileContent empty = ParseProgramFile(ImageWithELine(116, 16393), ".P");
    EXPECT_EQ(empty.error, ProgramFileError::None);
    EXPECT_EQ(empty.image, Bytes{});
    EXPECT_EQ(empty.fileLength, 116);
    ProgramFileContent largest = ParseProgramFile(ImageWithELine(32767, 32768), ".P");
    EXPECT_EQ(largest.error, ProgramFileError::None);
    const Bytes largestFile = ImageWithELine(32767, 32768);
    EXPECT_EQ(largest.image, Bytes(largestFile.begin(), largestFile.begin() + (32768 - 16393)));
    EXPECT_EQ(largest.fileLength, 32767);
    EXPECT_EQ(largest.eLine, 32768);
}

TEST(ReadProgramFile, ReadsTheWholeFileOrSaysItCannot) {
    TempDir dir;
    const Bytes image = rig::Zx81Image(10);
    WriteFile(dir.path() / "A.P81", Concat({38, 166}, image));
    ProgramFileContent content = ReadProgramFile(dir.path() / "A.P81", ".P81");
    EXPECT_EQ(content.error, ProgramFileError::None);
    EXPECT_EQ(content.image, image);
    EXPECT_EQ(ReadProgramFile(dir.path() / "B.P81", ".P81").error, ProgramFileError::Unreadable);
    EXPECT_EQ(ReadProgramFile(dir.path(), ".P").error, ProgramFileError::Unreadable);
}

TEST(ProgramDetails, NameLineAndSystemVariableLines) {
    EXPECT_EQ(NameInfoLine({38, 167}), "Filename: 26 A7 \r\n");
    EXPECT_EQ(NameInfoLine({0x80}), "Filename: 80 \r\n");
    EXPECT_EQ(AddressInfoLine(16393, 0), "16393=00\r\n");
    EXPECT_EQ(AddressInfoLine(16508, 0xAF), "16508=AF\r\n");

    EXPECT_EQ(SystemVariableLines({0x0F, 0xF0}), "16393=0F\r\n16394=F0\r\n");
    Bytes image(300);
    for (std::size_t i = 0; i < image.size(); ++i) image[i] = static_cast<std::uint8_t>(i * 3);
    std::string expected;
    for (int i = 0; i < 116; ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%d=%02X\r\n", 16393 + i, image[i]);
        expected += line;
    }
    EXPECT_EQ(SystemVariableLines(image), expected);
}

}  // namespace
}  // namespace brindle

#include "zx81/ProgramFiles.h"

#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/zx81/Zx81TestHandlers.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using namespace rig;

const std::string kTd = "/home/user/zx/";

TransferOptions Options(int pcFilePathMode, const std::string& format = "P81") {
    TransferOptions options;
    options.TransferDirectory = kTd;
    options.PcFilePathMode = pcFilePathMode;
    options.Zx81Format = format;
    return options;
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

TEST(ParseProgramFile, OtherExtensionsAreBareImages) {
    const Bytes image = rig::Zx81Image(30);
    for (const char* extension : {".P", ".81", ".p81", ".V2"}) {
        ProgramFileContent content = ParseProgramFile(Concat(image, {9, 9}), extension);
        EXPECT_EQ(content.error, ProgramFileError::None) << extension;
        EXPECT_EQ(content.image, image) << extension;
        EXPECT_EQ(content.fileLength, static_cast<int>(image.size() + 2)) << extension;
    }
}

}  // namespace
}  // namespace brindle

#include "zx81/ProgramFiles.h"

#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

using namespace rig;

const std::string kTd = "/home/user/zx/";

TEST(ResolvePcPath, DirectoryPartDecidesWhereTheFileLives) {
    EXPECT_EQ(ResolvePcPath("X", kTd), (PcPath{kTd, "X"}));
    EXPECT_EQ(ResolvePcPath("./GAMES/X", kTd), (PcPath{kTd + "./GAMES/", "X"}));
    EXPECT_EQ(ResolvePcPath("../X", kTd), (PcPath{kTd + "../", "X"}));
    EXPECT_EQ(ResolvePcPath("/ZX/X", kTd), (PcPath{"/ZX/", "X"}));
    EXPECT_EQ(ResolvePcPath("GAMES/X", kTd), (PcPath{"GAMES/", "X"}));
    EXPECT_EQ(ResolvePcPath("GAMES/", kTd), (PcPath{"GAMES/", ""}));
    EXPECT_EQ(ResolvePcPath("", kTd), (PcPath{kTd, ""}));
}

TEST(LoadFileName, PcFilePathModeSplitsTheExtension) {
    TransferOptions options;
    options.TransferDirectory = kTd;
    // Normal mode takes the name as it is, in the request's directory.
    EXPECT_EQ(LoadFileName("A/B.P", "/d/", options), (ProgramFileName{"/d/", "A/B.P", ""}));
    options.PcFilePathMode = 1;
    EXPECT_EQ(LoadFileName("GAME.V2", "", options), (ProgramFileName{kTd, "GAME", ".V2"}));
    EXPECT_EQ(LoadFileName("A.B.C", "", options), (ProgramFileName{kTd, "A.B", ".C"}));
    EXPECT_EQ(LoadFileName("./GAMES/X.P", "", options),
              (ProgramFileName{kTd + "./GAMES/", "X", ".P"}));
    // Names that leave no base name ask for a listing.
    EXPECT_EQ(LoadFileName("./", "", options), (ProgramFileName{kTd + "./", "", ""}));
    EXPECT_EQ(LoadFileName("GAMES/.P", "", options), (ProgramFileName{"GAMES/", "", ".P"}));
    // Without drive letters, a trailing colon is part of an ordinary name.
    EXPECT_EQ(LoadFileName("A:", "", options), (ProgramFileName{kTd, "A:", ""}));
}

TEST(FindProgramFile, ExactNameThenTheFormatListThenLetterCase) {
    TempDir dir;
    for (const char* name :
         {"GAME.P81", "GAME.P", "ONLYP.P", "OLD.81", "G*.P", "low.p81", "Tape.P", "TAPE.P"}) {
        WriteFile(dir.path() / name, {1});
    }
    std::filesystem::create_directory(dir.path() / "DIR.P81");
    struct Case {
        std::string base, extension, file, foundExtension;  // file empty: nothing found
    };
    const Case cases[] = {
        {"GAME", ".P", "GAME.P", ".P"},  // the given extension before the list
        {"GAME", ".X", "GAME.P81", ".P81"},
        {"ONLYP", ".P81", "ONLYP.P", ".P"},
        {"OLD", ".P81", "", ""},  // a ".81" file is found only by its own extension
        {"OLD", ".81", "OLD.81", ".81"},
        {"G*", ".P81", "G*.P", ".P"},  // no wildcards
        {"G?ME", ".P81", "", ""},
        {"GAM", ".P81", "", ""},
        {"DIR", ".P81", "", ""},
        // Letter case counts only without an exact match; the looked-up extension decides
        // how the file is read.
        {"LOW", ".P", "low.p81", ".P81"},
        {"Tape", ".P", "Tape.P", ".P"},
        {"tape", ".P", "TAPE.P", ".P"},
    };
    for (const Case& c : cases) {
        const std::optional<FoundProgramFile> found =
            FindProgramFile({dir.text(), c.base, c.extension});
        if (c.file.empty()) {
            EXPECT_EQ(found, std::nullopt) << c.base << c.extension;
        } else {
            EXPECT_EQ(found, (FoundProgramFile{dir.path() / c.file, c.foundExtension}))
                << c.base << c.extension;
        }
    }
    EXPECT_EQ(FindProgramFile({dir.text() + "missing/", "GAME", ".P81"}), std::nullopt);
}

TEST(ParseProgramFile, OnlyP81HasANameField) {
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

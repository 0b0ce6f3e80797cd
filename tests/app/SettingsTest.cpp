#include <gtest/gtest.h>

#include <fstream>

#include "app/Settings.h"
#include "platform/FileIo.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

const std::string kProgramDir = "/opt/brindle/";

TEST(SettingsTest, WrittenFileReadsBackToTheSameValues) {
    const Settings s{"/home/zx/programs/", 1, true, false, "P", "O", "COM12"};
    const std::string text = FormatSettings(s);
    EXPECT_EQ(text, "/home/zx/programs/\r\n 1 \r\nTrue\r\nFalse\r\nP\r\nO\r\nCOM12\r\n");
    EXPECT_EQ(ParseSettings(text, kProgramDir), s);
}

TEST(SettingsTest, MissingOrShortFileKeepsDefaults) {
    const Settings defaults{kProgramDir, 0, false, false, "P81", "O", ""};
    EXPECT_EQ(ParseSettings("", kProgramDir), defaults);

    Settings expected = defaults;
    expected.TransferDirectory = "/data/";
    expected.PcFilePathMode = 1;
    EXPECT_EQ(ParseSettings("/data/\r\n1", kProgramDir), expected);
}

TEST(SettingsTest, LinesEndAtCrAloneAndLaterLinesAreIgnored) {
    const Settings s = ParseSettings("/a/\r0\rFalse\rTrue\rP\rO\rCOM3\rextra\r\n", kProgramDir);
    EXPECT_EQ(s, (Settings{"/a/", 0, false, true, "P", "O", "COM3"}));
}

TEST(SettingsTest, FormatsMustMatchExactly) {
    auto zx81 = [](const std::string& line) {
        return ParseSettings("/\r\n0\r\nFalse\r\nFalse\r\n" + line + "\r\n", kProgramDir)
            .Zx81Format;
    };
    EXPECT_EQ(zx81("P"), "P");
    EXPECT_EQ(zx81("P81"), "P81");
    EXPECT_EQ(zx81("p81"), "P81");
    EXPECT_EQ(zx81("81"), "P81");
    EXPECT_EQ(zx81("P "), "P81");
    auto zx80 = [](const std::string& line) {
        return ParseSettings("/\r\n0\r\nFalse\r\nFalse\r\nP\r\n" + line + "\r\n", kProgramDir)
            .Zx80Format;
    };
    EXPECT_EQ(zx80(""), "O");
    EXPECT_EQ(zx80("o"), "O");
    EXPECT_EQ(zx80("P"), "O");
}

TEST(SettingsTest, BooleanLines) {
    EXPECT_FALSE(ReadBoolean("False"));
    EXPECT_FALSE(ReadBoolean("false"));
    EXPECT_FALSE(ReadBoolean("FALSE"));
    EXPECT_FALSE(ReadBoolean("0"));
    EXPECT_FALSE(ReadBoolean(" 0.0 "));
    EXPECT_TRUE(ReadBoolean("True"));
    EXPECT_TRUE(ReadBoolean(""));
    EXPECT_TRUE(ReadBoolean("maybe"));
    EXPECT_TRUE(ReadBoolean("-1"));
    EXPECT_TRUE(ReadBoolean("0x"));
}

TEST(SettingsTest, ModeIsTheLeadingNumberThroughBlanks) {
    EXPECT_EQ(LeadingNumber(" 1 "), 1);
    EXPECT_EQ(LeadingNumber("   0   "), 0);
    EXPECT_EQ(LeadingNumber("1abc"), 1);
    EXPECT_EQ(LeadingNumber("abc"), 0);
    EXPECT_EQ(LeadingNumber(""), 0);
    EXPECT_EQ(LeadingNumber("0.7"), 1);
    EXPECT_EQ(LeadingNumber("-3"), -3);
    EXPECT_EQ(LeadingNumber("1e400"), std::numeric_limits<int>::max());
    auto mode = [](const std::string& line) {
        return ParseSettings("/\r\n" + line + "\r\n", kProgramDir).PcFilePathMode;
    };
    EXPECT_EQ(mode(" 1 "), 1);
    EXPECT_EQ(mode("x"), 0);
    EXPECT_EQ(mode("7"), 1);  // a check box is on or off
}

TEST(SettingsTest, GarbageStartsWithSafeValues) {
    std::string garbage;
    for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    const Settings s = ParseSettings(garbage, kProgramDir);
    EXPECT_TRUE(s.Zx81Format == "P81" || s.Zx81Format == "P");
    EXPECT_EQ(s.Zx80Format, "O");
    EXPECT_TRUE(s.PcFilePathMode == 0 || s.PcFilePathMode == 1);
}

TEST(SettingsTest, FileRoundTripAndUnwritableDirectory) {
    rig::TempDir dir;
    const auto file = dir.path() / kSettingsFileName;
    const Settings s{dir.text(), 0, false, true, "P81", "O", ""};
    SaveSettings(file, s);
    EXPECT_EQ(LoadSettings(file, kProgramDir), s);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path(), file);  // nothing left aside

    SaveSettings(dir.path() / "missing" / kSettingsFileName, s);  // silently ignored
    EXPECT_EQ(
        LoadSettings(dir.path() / "missing" / kSettingsFileName, kProgramDir).TransferDirectory,
        kProgramDir);
}

}  // namespace
}  // namespace brindle

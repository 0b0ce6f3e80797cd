#include <gtest/gtest.h>

#include <limits>

#include "app/Settings.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

const std::string kProgramDir = "/opt/brindle/";

Settings Parse(const std::string& text) {
    return ParseSettings(text, kProgramDir);
}

TEST(SettingsTest, WrittenFileReadsBackToTheSameValues) {
    const Settings s{"/home/zx/programs/", 1, true, false, "P", "O", "COM12"};
    const std::string text = FormatSettings(s);
    EXPECT_EQ(text, "/home/zx/programs/\r\n 1 \r\nTrue\r\nFalse\r\nP\r\nO\r\nCOM12\r\n");
    EXPECT_EQ(Parse(text), s);

    rig::TempDir dir;
    const auto file = dir.path() / kSettingsFileName;
    SaveSettings(file, s);
    EXPECT_EQ(LoadSettings(file, kProgramDir), s);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path(), file);  // nothing aside
    // An unwritable place is silently ignored, and a missing file gives the defaults.
    SaveSettings(dir.path() / "missing" / kSettingsFileName, s);
    EXPECT_EQ(LoadSettings(dir.path() / "missing" / kSettingsFileName, kProgramDir), Parse(""));
}

TEST(SettingsTest, MissingLinesKeepDefaultsAndLinesEndAtCrOrCrLf) {
    EXPECT_EQ(Parse(""), (Settings{kProgramDir, 0, false, false, "P81", "O", ""}));
    EXPECT_EQ(Parse("/data/\r\n1"), (Settings{"/data/", 1, false, false, "P81", "O", ""}));
    EXPECT_EQ(Parse("/a/\r0\rFalse\rTrue\rP\rO\rCOM3\rextra\r\n"),
              (Settings{"/a/", 0, false, true, "P", "O", "COM3"}));
}

TEST(SettingsTest, EachLineIsReadByItsRule) {
    // Formats must match exactly; anything else is the default.
    for (const char* line : {"p81", "81", "P ", "p"}) {
        EXPECT_EQ(Parse(std::string("/\r\n0\r\nFalse\r\nFalse\r\n") + line).Zx81Format, "P81");
    }
    EXPECT_EQ(Parse("/\r\n0\r\nFalse\r\nFalse\r\nP\r\no\r\n").Zx80Format, "O");
    // The mode is a check box: any leading number but 0 turns it on.
    EXPECT_EQ(Parse("/\r\n7\r\n").PcFilePathMode, 1);
    const std::pair<const char*, int> numbers[] = {{" 1 ", 1}, {"1abc", 1}, {"abc", 0},
                                                   {"", 0},    {"0.7", 1},  {"-3", -3}};
    for (const auto& [line, number] : numbers) EXPECT_EQ(LeadingNumber(line), number) << line;
    EXPECT_EQ(LeadingNumber("1e400"), std::numeric_limits<int>::max());
    // A boolean is false only for "False" in any case or a whole number equal to 0.
    const std::pair<const char*, bool> booleans[] = {
        {"False", false}, {"FALSE", false}, {" 0.0 ", false}, {"True", true},
        {"", true},       {"maybe", true},  {"-1", true},     {"0x", true}};
    for (const auto& [line, value] : booleans) EXPECT_EQ(ReadBoolean(line), value) << line;
}

TEST(SettingsTest, GarbageStartsWithSafeValues) {
    std::string garbage;
    for (int i = 0; i < 3000; ++i) garbage += static_cast<char>((i * 131 + 7) % 256);
    const Settings s = Parse(garbage);
    EXPECT_TRUE(s.Zx81Format == "P81" || s.Zx81Format == "P");
    EXPECT_EQ(s.Zx80Format, "O");
    EXPECT_TRUE(s.PcFilePathMode == 0 || s.PcFilePathMode == 1);
}

}  // namespace
}  // namespace brindle

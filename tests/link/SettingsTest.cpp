#include <gtest/gtest.h>

#include <fstream>

#include "link/Settings.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

const std::string kProgramDir = "/opt/brindle/";
DiskFiles files;

Settings Parse(const std::string& text) {
    return ParseSettings(text, kProgramDir);
}

TEST(SettingsTest, WrittenFileReadsBackToTheSameValues) {
    const Settings s{{"/home/zx/programs/", 1, "P", "O"}, true, false, "COM12"};
    const std::string text = FormatSettings(s);
    EXPECT_EQ(text, "/home/zx/programs/\r\n 1 \r\nTrue\r\nFalse\r\nP\r\nO\r\nCOM12\r\n");
    EXPECT_EQ(Parse(text), s);

    rig::TempDir dir;
    const auto file = dir.path() / kSettingsFileName;
    SaveSettings(files, file, s);
    EXPECT_EQ(LoadSettings(files, file, kProgramDir), s);
    EXPECT_EQ(std::filesystem::directory_iterator(dir.path())->path(), file);  // nothing aside
    // An unwritable place is silently ignored, and a missing file gives the defaults.
    SaveSettings(files, dir.path() / "missing" / kSettingsFileName, s);
    EXPECT_EQ(LoadSettings(files, dir.path() / "missing" / kSettingsFileName, kProgramDir),
              Parse(""));
}

TEST(SettingsTest, MissingLinesKeepDefaultsAndLinesEndAtCrOrCrLf) {
    EXPECT_EQ(Parse(""), (Settings{{kProgramDir, 0, "P81", "O"}, false, false, ""}));
    EXPECT_EQ(Parse("/data/\r\n1"), (Settings{{"/data/", 1, "P81", "O"}, false, false, ""}));
    EXPECT_EQ(Parse("/a/\r0\rFalse\rTrue\rP\rO\rCOM3\rextra\r\n"),
              (Settings{{"/a/", 0, "P", "O"}, false, true, "COM3"}));
}

TEST(SettingsTest, EachLineIsReadByItsRule) {
    const std::string head = "/\r\n0\r\nFalse\r\nFalse\r\n";
    // Formats must match exactly; anything else is the default.
    for (const char* line : {"p81", "81", "P ", "p"})
        EXPECT_EQ(Parse(head + line).transfer.Zx81Format, "P81");
    EXPECT_EQ(Parse(head + "P\r\no\r\n").transfer.Zx80Format, "O");
    // The mode is a check box: any leading number but 0 turns it on.
    const std::pair<const char*, int> modes[] = {{" 1 ", 1}, {"7", 1},   {"1abc", 1}, {"abc", 0},
                                                 {"", 0},    {"0.7", 1}, {"-3", 1},   {"0.2", 0}};
    for (const auto& [line, mode] : modes)
        EXPECT_EQ(Parse(std::string("/\r\n") + line).transfer.PcFilePathMode, mode) << line;
    // A window was open unless the line is "False" in any case or a number equal to 0.
    const std::pair<const char*, bool> booleans[] = {
        {"False", false}, {"FALSE", false}, {" 0.0 ", false}, {"True", true},
        {"", true},       {"maybe", true},  {"-1", true},     {"0x", true}};
    for (const auto& [line, value] : booleans)
        EXPECT_EQ(Parse(std::string("/\r\n0\r\n") + line + "\r\n").OptionsVisible, value) << line;
}

// A NUL would cut a path short, so a line holding one gets its default; a settings file that is
// no regular file (a link to a device) or far too large is not read at all, so it cannot hang
// the start.
TEST(SettingsTest, BadFilesAndLinesGiveDefaults) {
    using namespace std::string_literals;
    EXPECT_EQ(Parse("/zx\0/\r\n1\r\nTrue\r\nTr\0ue\r\nP\r\nO\r\nCOM\0\r\n"s),
              (Settings{{kProgramDir, 1, "P", "O"}, true, false, ""}));

    rig::TempDir dir;
    const auto file = dir.path() / kSettingsFileName;
    const Settings defaults = Parse("");
    std::filesystem::create_symlink("/dev/zero", file);
    EXPECT_EQ(LoadSettings(files, file, kProgramDir), defaults);
    std::filesystem::remove(file);
    std::filesystem::create_directory(file);
    EXPECT_EQ(LoadSettings(files, file, kProgramDir), defaults);
    std::filesystem::remove(file);
    const std::string valid = "/zx/\r\n 1 \r\n";
    for (const std::size_t size : {kMaxSettingsBytes, kMaxSettingsBytes + 1}) {
        std::ofstream(file, std::ios::binary) << valid + std::string(size - valid.size(), ' ');
        EXPECT_EQ(LoadSettings(files, file, kProgramDir).transfer.PcFilePathMode,
                  size == kMaxSettingsBytes)
            << size;
    }
    EXPECT_FALSE(KeepableDirectory("/zx/line\nbreak/"));
    EXPECT_FALSE(KeepableDirectory("/zx/cr\r/"));
    // A directory that is no UTF-8 text (Latin-1, stray bytes, an overlong "/", a surrogate) could
    // not be turned back into a path: no file keeps it, and none gives it.
    const std::pair<const char*, bool> directories[] = {
        {"/zx/\334bersicht/", false}, {"/tmp/X\xFF\xFEY/", false}, {"/zx/\xC0\xAF/", false},
        {"/zx/\xED\xA0\x80/", false}, {"/zx/£ ¬/", true},          {"/zx/\xF0\x9F\x98\x80/", true}};
    for (const auto& [directory, keepable] : directories) {
        EXPECT_EQ(KeepableDirectory(directory), keepable) << directory;
        EXPECT_EQ(Parse(std::string(directory) + "\r\n").transfer.TransferDirectory,
                  keepable ? directory : kProgramDir);
    }
}

}  // namespace
}  // namespace brindle

#include <gtest/gtest.h>

#include "options/OptionsRules.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(OptionsRules, FilePatternsIgnoreLetterCase) {
    for (const char* name : {"GAME.P81", "game.p81", "Game.P", "x.p", "x.81", "x.O", "x.o", "a.P80",
                             "b.p80", "c.80", ".P81"}) {
        EXPECT_TRUE(MatchesFilePattern(name, kFileListPattern)) << name;
    }
    for (const char* name : {"x.p8", "x.txt", "x.p81.bak", "x.op", "P81", "x81", "x.p81x", ""}) {
        EXPECT_FALSE(MatchesFilePattern(name, kFileListPattern)) << name;
    }
    // '*' takes any run and may have to give some back; '?' exactly one character; empty
    // entries between separators match nothing.
    EXPECT_TRUE(MatchesFilePattern("abbbc", "a*bc"));
    EXPECT_FALSE(MatchesFilePattern("axxbyy", "a*b*c"));
    EXPECT_TRUE(MatchesFilePattern("ab.c", "a?.C"));
    EXPECT_FALSE(MatchesFilePattern("a.c", "a?.c"));
    EXPECT_FALSE(MatchesFilePattern("x", ";;"));
    EXPECT_TRUE(MatchesFilePattern("x.o", ";*.O;"));
}

TEST(OptionsRules, ReadDirectoryListsSubdirectoriesAndMatchingFilesByName) {
    rig::TempDir dir;
    for (const char* name : {"b.P81", "A.p", "c.txt", "d.81", "Z.O", "e.p80", "a.P81"})
        rig::WriteFile(dir.path() / name, {1});
    for (const char* name : {"sub", "Alpha", "dir.P81"}) fs::create_directory(dir.path() / name);

    const std::optional<DirectoryContents> contents = ReadDirectory(dir.path(), kFileListPattern);
    ASSERT_TRUE(contents.has_value());
    EXPECT_EQ(contents->subdirectories, (std::vector<std::string>{"Alpha", "dir.P81", "sub"}));
    EXPECT_EQ(contents->files,
              (std::vector<std::string>{"A.p", "a.P81", "b.P81", "d.81", "e.p80", "Z.O"}));
    // Neither a missing directory nor a file is a readable directory.
    EXPECT_FALSE(ReadDirectory(dir.path() / "missing", kFileListPattern).has_value());
    EXPECT_FALSE(ReadDirectory(dir.path() / "b.P81", kFileListPattern).has_value());
}

}  // namespace
}  // namespace brindle

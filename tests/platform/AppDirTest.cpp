#include "platform/AppDir.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Tests run as root, who may write anywhere: the writability check is decided by the test.
bool Writable(const fs::path&) {
    return true;
}
bool ReadOnly(const fs::path&) {
    return false;
}

TEST(AppDirTest, WritableExecutableDirectoryIsTheProgramDirectory) {
    rig::TempDir exe;
    rig::TempDir user;
    const fs::path userData = user.path() / "Brindle";
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, Writable), exe.path());
    EXPECT_FALSE(fs::exists(userData));
}

TEST(AppDirTest, ReadOnlyExecutableDirectoryGivesTheCreatedUserDirectory) {
    rig::TempDir exe;
    rig::TempDir user;
    const fs::path userData = user.path() / "share" / "Brindle";
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, ReadOnly), userData);
    EXPECT_TRUE(fs::is_directory(userData));
    // A second start finds it in place.
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, ReadOnly), userData);
}

TEST(AppDirTest, UserDirectoryThatCannotBeCreatedFallsBackToTheExecutableDirectory) {
    rig::TempDir exe;
    rig::TempDir user;
    std::ofstream(user.path() / "file") << "x";
    EXPECT_EQ(ChooseProgramDir(exe.path(), user.path() / "file" / "Brindle", ReadOnly), exe.path());
}

TEST(AppDirTest, WritabilityProbeLeavesNothingBehind) {
    rig::TempDir dir;
    std::ofstream(dir.path() / "Brindle.ini") << "keep";
    EXPECT_TRUE(IsWritableDirectory(dir.path()));
    EXPECT_EQ(std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()), 1);
    EXPECT_FALSE(IsWritableDirectory(dir.path() / "absent"));
    EXPECT_FALSE(IsWritableDirectory(dir.path() / "Brindle.ini"));
}

}  // namespace
}  // namespace brindle

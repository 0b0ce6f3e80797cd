#include "platform/AppDir.h"

#include <gtest/gtest.h>

#include <fstream>

#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

TEST(AppDirTest, ExecutableDirectoryWhenWritableElseTheUserDirectoryCreatedIfItCanBe) {
    rig::TempDir exe;
    rig::TempDir user;
    // Tests may run as root, who may write anywhere: the test decides what is writable.
    const auto writable = [](const fs::path&) { return true; };
    const auto readOnly = [](const fs::path&) { return false; };
    const fs::path userData = user.path() / "share" / "Brindle";
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, writable), exe.path());
    EXPECT_FALSE(fs::exists(userData));
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, readOnly), userData);
    EXPECT_TRUE(fs::is_directory(userData));
    EXPECT_EQ(ChooseProgramDir(exe.path(), userData, readOnly), userData);  // found in place
    std::ofstream(user.path() / "file") << "x";
    EXPECT_EQ(ChooseProgramDir(exe.path(), user.path() / "file" / "Brindle", readOnly), exe.path());
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

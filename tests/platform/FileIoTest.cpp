#include "platform/FileIo.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;

// Only a regular file no larger than its reader allows is read; a FIFO, a device or a huge
// (sparse) file is refused at once, before anything is read or waited for.
TEST(DiskFilesRead, OnlyRegularFilesUpToTheirLimit) {
    rig::TempDir dir;
    const fs::path path = dir.path() / "file";
    const std::pair<std::function<void()>, std::string> cases[] = {
        {[&] {
             rig::WriteFile(path, {1, 2, 3});
         },
         ""},
        {[&] { ASSERT_EQ(::mkfifo(path.c_str(), 0600), 0); }, "not a regular file"},
        {[&] { fs::create_symlink("/dev/zero", path); }, "not a regular file"},
        {[&] { fs::create_directory(path); }, "not a regular file"},
        {[&] {
             rig::WriteFile(path, {1, 2, 3, 4});
         },
         "File too large"},
        {[&] { rig::WriteFile(path, {}), fs::resize_file(path, 3ull << 30); }, "File too large"},
    };
    for (const auto& [arrange, failure] : cases) {
        SCOPED_TRACE(failure);
        fs::remove_all(path);
        arrange();
        FileError error;
        const auto bytes = DiskFiles().read(path, 3, &error);
        EXPECT_EQ(bytes.has_value(), failure.empty());
        EXPECT_EQ(error.description, failure.empty() ? "" : path.string() + ": " + failure);
    }
}

}  // namespace
}  // namespace brindle

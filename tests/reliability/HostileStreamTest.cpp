// The fuzz target's seed corpus replayed in the regular suite: each seed is a real exchange that
// keeps every rule of a hostile run, and does what its name says to the transfer directory.
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/reliability/HostileRun.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

struct SeedCase {
    const char* seed;
    std::vector<std::string> messages;
    // The entries of the tree that the run created, changed or removed.
    std::vector<std::string> touched;
};

class Seeds : public ::testing::TestWithParam<SeedCase> {};

TEST_P(Seeds, KeepTheRulesAndDoWhatTheySay) {
    const SeedCase& c = GetParam();
    const Bytes bytes = FileBytes(fs::path(BRINDLE_FUZZ_CORPUS) / "dispatcher" / c.seed);
    ASSERT_FALSE(bytes.empty());
    TempDir dir;
    TransferTree tree(dir.path(), true);
    std::vector<std::string> messages;
    EXPECT_EQ(RunHostileStream(tree, bytes.data(), bytes.size(), &messages),
              std::vector<std::string>{});
    EXPECT_EQ(messages, c.messages);

    const TransferTree::Snapshot after = tree.Take();
    TempDir pristineDir;
    TransferTree pristine(pristineDir.path(), (bytes.at(0) & kNoPrintout) == 0);
    const TransferTree::Snapshot before = pristine.Take();
    std::vector<std::string> touched;
    for (const auto& [name, content] : after)
        if (!before.contains(name) || before.at(name) != content) touched.push_back(name);
    for (const auto& entry : before)
        if (!after.contains(entry.first)) touched.push_back(entry.first);
    std::sort(touched.begin(), touched.end());
    EXPECT_EQ(touched, c.touched);
}

const char* kInvalidFile = "Error: Invalid File";

INSTANTIATE_TEST_SUITE_P(
    Reliability, Seeds,
    ::testing::Values(SeedCase{"zx81-save", {}, {"transfer/SAVED.P81"}},
                      SeedCase{"zx81-save-replace-p", {}, {"transfer/GAME.P"}},
                      // Reset half way: the older file of the name stays.
                      SeedCase{"zx81-save-reset", {}, {}}, SeedCase{"zx81-load", {}, {}},
                      SeedCase{"zx81-load-missing-dialog", {}, {}},
                      SeedCase{"zx81-load-reset", {}, {}}, SeedCase{"zx81-choose", {}, {}},
                      SeedCase{"zx81-choose-cancel", {}, {}},
                      SeedCase{"zx80-save", {}, {"transfer/NEW.O"}},
                      // The name chosen as "prog.o" is stored in capitals, over "PROG.O".
                      SeedCase{"zx80-save-case", {}, {"transfer/PROG.O"}},
                      SeedCase{"zx80-save-cancel", {}, {}}, SeedCase{"zx80-load", {}, {}},
                      // "sub/new.o" does not exist.
                      SeedCase{"zx80-load-sub", {kInvalidFile}, {}},
                      SeedCase{"printer", {}, {"transfer/PrintOut.bmp"}},
                      SeedCase{"printer-new", {}, {"transfer/PrintOut.bmp"}},
                      // The line stalls past the silence and is dropped.
                      SeedCase{"printer-stalled", {}, {}},
                      SeedCase{"mixed", {}, {"transfer/NEW.P81", "transfer/PrintOut.bmp"}}),
    [](const auto& info) {
        std::string name = info.param.seed;
        std::replace(name.begin(), name.end(), '-', '_');
        return name;
    });

}  // namespace
}  // namespace brindle

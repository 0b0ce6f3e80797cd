// A thousand mixed requests in a row through one link, with Reset, cancelled dialogs and disk
// failures among them: every rule of a hostile run still holds at the end, and no file
// descriptor is left open (the sanitizer build's leak check covers memory).
#include <gtest/gtest.h>

#include <algorithm>
#include <filesystem>

#include "tests/reliability/HostileRun.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

std::size_t OpenDescriptors() {
    return static_cast<std::size_t>(std::distance(fs::directory_iterator("/proc/self/fd"), {}));
}

// The stream of the soak: request i is of kind i % 7, and each is followed by a pause long
// enough for the slowest answer (a ZX81 LOAD at tape pace).
std::vector<std::uint8_t> SoakStream(int requests) {
    StreamBuilder b;
    for (int i = 0; i < requests; ++i) {
        const std::string name = "S" + std::to_string(i % 20);
        switch (i % 7) {
            case 0:
                b.Peer(Zx81SaveRequest(name, 10 + i % 40));
                break;
            case 1:
                // A name that is missing half the time, and its dialog cancelled.
                b.Answer(0).Peer(Zx81LoadRequest(i % 2 == 0 ? "HELLO" : "NOSUCH"));
                break;
            case 2:
                b.Peer(PrinterLineRequest(static_cast<std::uint8_t>(i)));
                break;
            case 3: {
                std::vector<std::uint8_t> save = Zx80Image(5 + i % 30);
                save.insert(save.begin(), 160);
                b.Answer(5).Peer(save);
                break;
            }
            case 4:
                b.Answer(3).Peer({130});
                break;
            case 5:
                b.Answer(i % 2 == 0 ? 2 : 0).Peer({2});
                break;
            case 6: {
                // A SAVE that stops half way, ended by Reset.
                std::vector<std::uint8_t> half = Zx81SaveRequest(name, 60);
                half.resize(half.size() / 2);
                b.Peer(half).Reset(100);
                break;
            }
        }
        b.Pause(150);
    }
    return b.bytes();
}

TEST(Soak, AThousandMixedRequestsWithResetAndFailures) {
    TempDir dir;
    TransferTree tree(dir.path(), true);
    const std::vector<std::uint8_t> stream = SoakStream(1000);
    const std::size_t descriptorsBefore = OpenDescriptors();

    std::vector<std::string> messages;
    // Every 40 s of virtual time the directory is read-only for 3 s, and 20 s later the disk is
    // full past 100 bytes for 3 s.
    const auto faultsByTime = [](Rig& rig) {
        rig.clock.addListener([&rig](std::int64_t now) {
            const std::int64_t second = now / 1'000'000'000 % 40;
            rig.files.readOnly = second < 3;
            rig.files.diskFullAt =
                second >= 20 && second < 23 ? std::optional<std::uintmax_t>(100) : std::nullopt;
        });
    };
    const std::vector<std::string> problems =
        RunHostileStream(tree, stream.data(), stream.size(), &messages, faultsByTime);

    EXPECT_EQ(problems, std::vector<std::string>{});
    EXPECT_EQ(OpenDescriptors(), descriptorsBefore);
    // The failures did happen, and so did the transfers around them.
    EXPECT_NE(std::find(messages.begin(), messages.end(), "Error: Invalid Filename"),
              messages.end());
    const TransferTree::Snapshot after = tree.Take();
    const auto printout = after.find("transfer/PrintOut.bmp");
    ASSERT_NE(printout, after.end());
    // Most of the 143 lines were added: only those in a disk's failure windows are missing.
    EXPECT_GT(printout->second->size(), 62u + 256 * 100);
    for (int i = 0; i < 20; ++i) {
        const auto saved = after.find("transfer/S" + std::to_string(i) + ".P81");
        ASSERT_NE(saved, after.end()) << i;
        // Complete, or what fitted before the disk filled.
        EXPECT_TRUE(CompletedSave(*saved->second) || saved->second->size() <= 100) << i;
    }
}

}  // namespace
}  // namespace brindle

#include "link/TransferHistory.h"

#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

using namespace rig;
using Kind = TransferRecord::Kind;
using Outcome = TransferRecord::Outcome;

TEST(TransferHistory, PrinterLinesCloseTogetherAreOneJob) {
    TransferHistory history;
    const auto line = [](std::int64_t at, std::string file = "/t/PrintOut.bmp") {
        return TransferRecord{at, "Printer", Kind::Printout, file, 261, Outcome::Stored, "", 1};
    };
    history.Add(line(100));
    history.Add(line(100 + TransferHistory::kJobGapSeconds));
    history.Add(TransferRecord{106, "ZX81", Kind::Save, "/t/A.P81", 40, Outcome::Stored, "", 0});
    history.Add(line(107));
    history.Add(line(107 + TransferHistory::kJobGapSeconds + 1));
    history.Add(line(113, "/u/PrintOut.bmp"));
    const auto& shown = history.NewestFirst();
    ASSERT_EQ(shown.size(), 5u);
    EXPECT_EQ(shown[4].lines, 2);
    EXPECT_EQ(shown[4].bytes, 522);
    EXPECT_EQ(shown[4].atSeconds, 105);
    EXPECT_EQ(shown[3].kind, Kind::Save);
    EXPECT_EQ(shown[2].lines, 1);
}

// What the user is told of each way a run can end, from a real session.
TEST(TransferHistory, EachRunIsRecordedWithItsOutcome) {
    TransferSession s({"ReceiveZX81", "SendZX81", "ReceiveZX80"});
    std::vector<TransferRecord> records;
    s.rig.link.runEnded = [&](const TransferRecord& r) { records.push_back(r); };
    const Bytes image = Zx81Image(30);
    const Bytes save = Concat(Concat({32}, {38, 167}), image);
    s.rig.peer.send(save);
    s.rig.run();
    s.rig.peer.send(save);
    s.rig.run();
    s.rig.peer.send({10, 38, 167});
    s.rig.run();
    s.rig.dialogs.answers.push_back(std::nullopt);
    s.rig.peer.send(Concat({160}, Zx80Image(10)));
    s.rig.run();
    s.rig.peer.send({10, 39, 167});  // no such program, and the dialog cancelled
    s.rig.dialogs.answers.push_back(std::nullopt);
    s.rig.run();
    s.ResetAt(s.rig.clock.nowNs() + 60 * kMs);
    s.rig.peer.send(save);
    s.rig.run();

    const std::string file = s.dir.text() + "AB.P81";
    const std::vector<std::pair<Outcome, std::string>> expected{
        {Outcome::Stored, file},  {Outcome::Replaced, file}, {Outcome::Sent, file},
        {Outcome::Cancelled, ""}, {Outcome::Cancelled, ""},  {Outcome::Reset, file}};
    ASSERT_EQ(records.size(), expected.size());
    for (std::size_t i = 0; i < records.size(); ++i) {
        EXPECT_EQ(records[i].outcome, expected[i].first) << i;
        EXPECT_EQ(records[i].file, expected[i].second) << i;
    }
    EXPECT_EQ(records[0].bytes, static_cast<std::int64_t>(image.size()));
    EXPECT_EQ(records[2].bytes, static_cast<std::int64_t>(2 + image.size()));
    EXPECT_EQ(records[3].machine, "ZX80");
    EXPECT_EQ(OutcomeText(records[1]), "replaced an older file");
    EXPECT_EQ(OutcomeText({0, "ZX81", Kind::Load, "", 0, Outcome::Failed, "Invalid File", 0}),
              "failed: Invalid File");
}

}  // namespace
}  // namespace brindle

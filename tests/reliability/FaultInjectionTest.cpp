// Failures of the disk and of the port injected part way through every handler: each gets the
// message its transfer gives, nothing crashes or spins, and older files stay as they were.
#include <gtest/gtest.h>

#include <cerrno>
#include <cstring>

#include "printer/Printout.h"
#include "printer/PrintoutFile.h"
#include "tests/reliability/HostileRun.h"
#include "tests/rig/Images.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

enum class Fault { DiskFullAt, ReadOnly, DirectoryGoneAt, PortLostAt, FileGone };

// Injects the fault into a session; `at` is a byte count (disk, port) or the progress at which
// the directory goes.
template <typename Session>
void Inject(Session& s, Fault fault, std::size_t at) {
    switch (fault) {
        case Fault::DiskFullAt:
            s.rig.files.diskFullAt = at;
            break;
        case Fault::ReadOnly:
            s.rig.files.readOnly = true;
            break;
        case Fault::DirectoryGoneAt:
            s.rig.pump.when(
                [&s, at] { return s.rig.link.display.progressValue >= static_cast<int>(at); },
                [&s] { fs::remove_all(s.dir.path()); });
            break;
        case Fault::PortLostAt:
            s.rig.peer.unplugAfterReading(at);
            // Nothing comes any more: the user presses Reset.
            s.ResetAt(30'000 * kMs);
            break;
        case Fault::FileGone:
            s.rig.files.beforeRead = [](const fs::path& path) { fs::remove(path); };
            break;
    }
}

// --- SAVEs: the ZX81's by its name, the ZX80's through the dialog ---

struct SaveCase {
    const char* name;
    bool zx80;
    Fault fault;
    std::size_t at;
    bool existing;  // an older file of the name is there
    std::vector<Message> messages;
    // What the file holds afterwards: the older one, the first `kept` bytes of the new one, or
    // nothing at all (kept 0 and not existing).
    std::size_t kept;
};

class SaveFaults : public ::testing::TestWithParam<SaveCase> {};

TEST_P(SaveFaults, MessageAndFiles) {
    const SaveCase& c = GetParam();
    TransferSession s(c.zx80 ? std::vector<std::string>{"ChooseZX80", "ReceiveZX80"}
                             : std::vector<std::string>{"ReceiveZX81"});
    const std::string file = c.zx80 ? "PROG.O" : "HELLO.P81";
    const Bytes old{1, 2, 3, 4, 5};
    if (c.existing) s.Put(file, old);
    Bytes request;
    Bytes stored;  // the file a complete SAVE would leave
    if (c.zx80) {
        s.rig.dialogs.answers.push_back(s.dir.text() + file);
        stored = Zx80Image(60);
        request = Concat({160}, stored);
    } else {
        request = Zx81SaveRequest("HELLO", 60);
        stored = Bytes(request.begin() + 1, request.end());
    }
    Inject(s, c.fault, c.at);
    s.rig.peer.send(request);
    s.rig.run(100'000 * kMs);

    EXPECT_EQ(s.rig.messages.shown, c.messages);
    s.ExpectIdle();
    if (c.fault == Fault::DirectoryGoneAt) {
        EXPECT_FALSE(fs::exists(s.dir.path()));
        return;
    }
    if (c.existing) {
        EXPECT_EQ(s.File(file), old);
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{file});
    } else if (c.kept > 0) {
        EXPECT_EQ(s.File(file), Prefix(stored, c.kept));
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{file});
    } else {
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{});
    }
}

// Each request is its code and then what the file holds (for the ZX81 the name field and the
// image), so a port lost after n bytes read has stored n - 1.
INSTANTIATE_TEST_SUITE_P(
    Reliability, SaveFaults,
    ::testing::Values(
        SaveCase{"Zx81DiskFullAtOnce", false, Fault::DiskFullAt, 0, false, {kInvalidFilename}, 0},
        SaveCase{"Zx81DiskFullKeepsWhatFitted",
                 false,
                 Fault::DiskFullAt,
                 100,
                 false,
                 {kInvalidFilename},
                 100},
        SaveCase{"Zx81DiskFullKeepsTheOlderFile",
                 false,
                 Fault::DiskFullAt,
                 100,
                 true,
                 {kInvalidFilename},
                 0},
        SaveCase{"Zx81ReadOnlyDirectory", false, Fault::ReadOnly, 0, false, {kInvalidFilename}, 0},
        SaveCase{"Zx81ReadOnlyKeepsTheOlderFile",
                 false,
                 Fault::ReadOnly,
                 0,
                 true,
                 {kInvalidFilename},
                 0},
        SaveCase{
            "Zx81DirectoryGone", false, Fault::DirectoryGoneAt, 50, true, {kInvalidFilename}, 0},
        SaveCase{"Zx81PortLostKeepsWhatCame", false, Fault::PortLostAt, 90, false, {}, 89},
        SaveCase{"Zx81PortLostKeepsTheOlderFile", false, Fault::PortLostAt, 90, true, {}, 0},
        SaveCase{"Zx80DiskFullKeepsWhatFitted",
                 true,
                 Fault::DiskFullAt,
                 70,
                 false,
                 {kInvalidFilename},
                 70},
        SaveCase{"Zx80DiskFullKeepsTheOlderFile",
                 true,
                 Fault::DiskFullAt,
                 70,
                 true,
                 {kInvalidFilename},
                 0},
        SaveCase{
            "Zx80ReadOnlyKeepsTheOlderFile", true, Fault::ReadOnly, 0, true, {kInvalidFilename}, 0},
        SaveCase{
            "Zx80DirectoryGone", true, Fault::DirectoryGoneAt, 30, false, {kInvalidFilename}, 0},
        SaveCase{"Zx80PortLostKeepsWhatCame", true, Fault::PortLostAt, 40, false, {}, 39},
        SaveCase{"Zx80PortLostKeepsTheOlderFile", true, Fault::PortLostAt, 40, true, {}, 0}),
    [](const auto& info) { return std::string(info.param.name); });

// --- LOADs: the ZX81's by its name, the ZX80's through the dialog ---

struct LoadCase {
    const char* name;
    bool zx80;
    Fault fault;
    std::size_t at;
    std::vector<Message> messages;
    std::size_t sent;  // bytes the peer got
};

class LoadFaults : public ::testing::TestWithParam<LoadCase> {};

TEST_P(LoadFaults, MessageAndWhatWasSent) {
    const LoadCase& c = GetParam();
    TransferSession s(c.zx80 ? std::vector<std::string>{"ChooseZX80", "SendZX80"}
                             : std::vector<std::string>{"SendZX81"});
    Bytes reply;  // what a complete LOAD sends
    if (c.zx80) {
        reply = Zx80Image(60);
        s.Put("PROG.O", reply);
        s.rig.dialogs.answers.push_back(s.dir.text() + "PROG.O");
        s.rig.peer.send({130});
    } else {
        const Bytes request = Zx81LoadRequest("HELLO");
        reply = Concat(Bytes(request.begin() + 1, request.end()), Zx81Image(60));
        s.Put("HELLO.P81", reply);
        s.rig.peer.send(request);
    }
    if (c.fault == Fault::PortLostAt) {
        s.rig.peer.unplugAfterWriting(c.at);
    } else {
        Inject(s, c.fault, c.at);
    }
    s.rig.run(100'000 * kMs);

    EXPECT_EQ(s.rig.messages.shown, c.messages);
    EXPECT_EQ(s.rig.peer.written(), Prefix(reply, c.sent));
    s.ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, LoadFaults,
    ::testing::Values(
        LoadCase{"Zx81FileGoneBeforeItIsRead", false, Fault::FileGone, 0, {kInvalidFile}, 0},
        // Part way, what was sent stays sent, and the ZX81's LOAD tells nothing more.
        LoadCase{"Zx81PortLostWhileSending", false, Fault::PortLostAt, 50, {}, 50},
        LoadCase{"Zx80FileGoneBeforeItIsRead", true, Fault::FileGone, 0, {kInvalidFile}, 0},
        LoadCase{"Zx80PortLostWhileSending", true, Fault::PortLostAt, 50, {kInvalidFile}, 50}),
    [](const auto& info) { return std::string(info.param.name); });

// --- Printer lines ---

struct PrinterCase {
    const char* name;
    Fault fault;
    std::size_t at;
    const char* error;   // the description after the printout's path; none when empty
    bool printoutAfter;  // the older printout is still there
};

class PrinterFaults : public ::testing::TestWithParam<PrinterCase> {};

TEST_P(PrinterFaults, MessageAndPrintout) {
    const PrinterCase& c = GetParam();
    TransferSession s({"Printing"});
    const auto header = PrintoutHeader(kBandRows);
    const Bytes old = Concat(Bytes(header.begin(), header.end()), Bytes(kBandBytes, 0x3C));
    s.Put("PrintOut.bmp", old);
    Inject(s, c.fault, c.at);
    s.rig.peer.send(PrinterLineRequest(9));
    s.rig.run(100'000 * kMs);

    const std::string path = PrintoutPath(s.dir.text()).string();
    std::vector<Message> expected;
    if (*c.error != '\0') expected.push_back({path + ": " + c.error, "Brindle", {}, {}});
    EXPECT_EQ(s.rig.messages.shown, expected);
    EXPECT_EQ(Listing(s.dir.path()), c.printoutAfter ? std::vector<std::string>{"PrintOut.bmp"}
                                                     : std::vector<std::string>{});
    if (c.printoutAfter) {
        EXPECT_EQ(s.File("PrintOut.bmp"), old);
    }
    s.ExpectIdle();
}

INSTANTIATE_TEST_SUITE_P(
    Reliability, PrinterFaults,
    ::testing::Values(
        PrinterCase{"DiskFullAtOnce", Fault::DiskFullAt, 0, std::strerror(ENOSPC), true},
        PrinterCase{"DiskFullPartWay", Fault::DiskFullAt, 300, std::strerror(ENOSPC), true},
        PrinterCase{"ReadOnlyDirectory", Fault::ReadOnly, 0, std::strerror(EACCES), true},
        PrinterCase{"PrintoutGoneBeforeItIsRead", Fault::FileGone, 0, std::strerror(ENOENT), false},
        // The line never completes: after the silence it is dropped, and nothing is told.
        PrinterCase{"PortLostPartWay", Fault::PortLostAt, 100, "", true}),
    [](const auto& info) { return std::string(info.param.name); });

}  // namespace
}  // namespace brindle

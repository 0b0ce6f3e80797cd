#include "zx81/Zx81Save.h"

#include <gtest/gtest.h>
#include <sys/resource.h>
#include <unistd.h>

#include <csignal>
#include <functional>

#include "tests/rig/Images.h"
#include "tests/zx81/Zx81TestHandlers.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using namespace rig;

const Message kInvalidFilename{"Invalid Filename", "Error", MessageIcon::None, {}};

Bytes SaveRequest(const Bytes& name, const Bytes& image) {
    return Concat(Concat({32}, name), image);
}

// The shortest image that says where it ends: up to the high byte of E_LINE.
Bytes ShortImage(int eLine) {
    return ImageWithELine(13, eLine);
}

// One link with the real SAVE handler, storing into its own transfer directory.
struct Session : Zx81Session {
    Session() : Zx81Session({"ReceiveZX81"}) {}

    void Save(const Bytes& name, const Bytes& image) {
        rig.peer.send(SaveRequest(name, image));
        rig.run();
    }
    // Lets the whole request reach the port before the dispatcher's first read.
    void SaveInOneRead(const Bytes& name, const Bytes& image) {
        const Bytes request = SaveRequest(name, image);
        rig.peer.send(request);
        rig.clock.advanceNs(static_cast<std::int64_t>(request.size() + 1) * SimPeer::kByteNs);
        rig.run();
    }
};

class Zx81SaveTest : public ::testing::Test, public Session {};

TEST_F(Zx81SaveTest, P81HoldsTheNameAsReceivedThenTheImage) {
    const Bytes name{38, 167};  // AB
    const Bytes image = Zx81Image(300);
    const int eLine = StoredELine(image, 11);
    Save(name, image);

    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P81"});
    EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), Concat(name, image));
    TransferDisplay expected;
    expected.filename = "AB";
    expected.filepath = dir.text();
    expected.fileLength = "-";
    expected.programLength = std::to_string(eLine - 16393);
    expected.startAddr = "16393";
    expected.endAddr = std::to_string(eLine - 1);
    expected.programInfo = ProgramInfo("26 A7 ", image, image.size());
    expected.progressMax = eLine - 16392;
    expected.progressValue = 0;  // the run's end puts it back
    EXPECT_EQ(rig.display.last, expected);
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    EXPECT_EQ(handlers.refreshes, 1);
    ExpectIdle();
}

TEST_F(Zx81SaveTest, PHoldsTheImageAlone) {
    rig.options.Zx81Format = "P";
    const Bytes image = Zx81Image(40);
    Save({38, 167}, image);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P"});
    EXPECT_EQ(FileBytes(dir.path() / "AB.P"), image);
    ExpectIdle();
}

TEST_F(Zx81SaveTest, DetailsFollowTheBytesAsTheyArrive) {
    rig.display.keepHistory = true;
    const Bytes image = Zx81Image(200);
    const int eLine = StoredELine(image, 11);
    Save({166}, image);

    int seen = 0;
    for (const TransferDisplay& shown : rig.display.history) {
        if (shown.status != "Receiving..." || shown.programInfo.empty()) continue;
        const int value = shown.progressValue;
        ASSERT_GE(value, seen);
        ASSERT_LE(value, seen + 1);
        seen = value;
        ASSERT_EQ(shown.programInfo, ProgramInfo("A6 ", image, value)) << value;
        ASSERT_EQ(shown.filename, "A");
        if (value < 13) {
            ASSERT_EQ(shown.progressMax, 13) << value;
            ASSERT_EQ(shown.endAddr, "") << value;
            ASSERT_EQ(shown.fileLength, "") << value;
        } else {
            ASSERT_EQ(shown.progressMax, eLine - 16392) << value;
            ASSERT_EQ(shown.endAddr, std::to_string(eLine - 1)) << value;
            ASSERT_EQ(shown.fileLength, "-") << value;
        }
    }
    EXPECT_EQ(seen, static_cast<int>(image.size()));
}

TEST_F(Zx81SaveTest, FirstReadWithNameAndImageStillPollsAndWritesThoseBytesFirst) {
    const Bytes image = ShortImage(16406);
    SaveInOneRead({166}, image);
    ASSERT_EQ(handlers.entryBuffers.size(), 1u);
    EXPECT_EQ(handlers.entryBuffers[0], Concat({166}, image));
    // One poll for the name, one for the image: both are made although nothing more comes.
    EXPECT_EQ(handlers.polls, std::vector<int>{2});
    EXPECT_EQ(FileBytes(dir.path() / "A.P81"), Concat({166}, image));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, NameSplitOverSeveralPolls) {
    const Bytes name = TextToZX81("A NAME OF THIRTY ONE CHARACTERS");
    const Bytes image = Zx81Image(20);
    rig.peer.send({32, name[0], name[1]});
    rig.peer.sendAt(200 * kMs, Bytes(name.begin() + 2, name.end()));
    rig.peer.sendAt(400 * kMs, image);
    rig.run();
    EXPECT_EQ(FileBytes(dir.path() / "A NAME OF THIRTY ONE CHARACTERS.P81"), Concat(name, image));
    ASSERT_EQ(handlers.polls.size(), 1u);
    EXPECT_GT(handlers.polls[0], 30);  // it kept polling through the pauses
    ExpectIdle();
}

TEST(Zx81SaveEnd, ShortELineEndsWithTheCycleThatBroughtItsHighByte) {
    for (int eLine : {16406, 16400, 0}) {
        Session s;
        const Bytes image = ShortImage(eLine);
        s.Save({166}, image);
        EXPECT_EQ(FileBytes(s.dir.path() / "A.P81"), Concat({166}, image)) << eLine;
        EXPECT_EQ(s.rig.display.last.endAddr, std::to_string(eLine - 1));
        EXPECT_EQ(s.rig.display.last.programLength, std::to_string(eLine - 16393));
        s.ExpectIdle();
    }
}

TEST_F(Zx81SaveTest, BytesAfterTheImageInTheLastCycleAreStored) {
    const Bytes image = ShortImage(16406);
    const Bytes tail{7, 8, 9};
    SaveInOneRead({166}, Concat(image, tail));
    EXPECT_EQ(FileBytes(dir.path() / "A.P81"), Concat(Concat({166}, image), tail));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, ReplacesOnlyTheFileOfExactlyThatName) {
    WriteFile(dir.path() / "AB.P81", {1, 2, 3});
    WriteFile(dir.path() / "ab.P81", {4, 5, 6});
    WriteFile(dir.path() / "AB.P", {7});
    const Bytes image = Zx81Image(10);
    Save({38, 167}, image);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"AB.P", "AB.P81", "ab.P81"}));
    EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), Concat({38, 167}, image));
    EXPECT_EQ(FileBytes(dir.path() / "ab.P81"), (Bytes{4, 5, 6}));
    EXPECT_EQ(FileBytes(dir.path() / "AB.P"), Bytes{7});
    ExpectIdle();
}

TEST_F(Zx81SaveTest, FormatAndModeAreReadWhenTheFileIsSetUp) {
    rig.pump.when([this] { return rig.link.state.LinkBusy == 2; },
                  [this] {
                      rig.options.Zx81Format = "P";
                      rig.options.PcFilePathMode = 1;
                  });
    const Bytes image = Zx81Image(10);
    SaveInOneRead(TextToZX81("./X"), image);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"X.P"});
    EXPECT_EQ(FileBytes(dir.path() / "X.P"), image);
    ExpectIdle();
}

TEST(Zx81SaveNames, EachNameGivesExactlyItsFile) {
    struct Case {
        Bytes name;
        std::string file;
    };
    const std::vector<Case> cases{
        {{166}, "A.P81"},
        {{1, 2, 3, 4, 5, 6, 7, 8, 9, 138},
         "\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC.P81"},
        {{0, 0, 128}, "   .P81"},
        {TextToZX81("/*:?<>\""), "-------.P81"},
        {TextToZX81("A/B*C"), "A-B-C.P81"},
        {{140}, "\xC2\xA3.P81"},
        {TextToZX81("."), "..P81"},
        {TextToZX81(".."), "...P81"},
        {TextToZX81("../X"), "..-X.P81"},
        // Codes without a character drop out of the file name, not out of the name field.
        {{38, 100, 167}, "AB.P81"},
        // With none left, the file is not the hidden ".P81" but has the name a PC path without
        // a file part gets.
        {{200}, "ZX81.P81"},
        {{64, 127, 255}, "ZX81.P81"},
    };
    for (const Case& c : cases) {
        Session s;
        const Bytes image = Zx81Image(5);
        s.Save(c.name, image);
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{c.file}) << c.file;
        EXPECT_EQ(FileBytes(s.dir.path() / c.file), Concat(c.name, image)) << c.file;
        EXPECT_EQ(s.rig.display.last.filename + ".P81", c.file);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{}) << c.file;
        s.ExpectIdle();
    }
}

TEST(Zx81SaveNames, LongestNameTheFileSystemTakes) {
    Session s;
    const std::string text(251, 'A');  // with ".P81", 255 bytes
    const Bytes image = Zx81Image(5);
    s.Save(TextToZX81(text), image);
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{text + ".P81"});
    EXPECT_EQ(FileBytes(s.dir.path() / (text + ".P81")), Concat(TextToZX81(text), image));
    s.ExpectIdle();
}

TEST_F(Zx81SaveTest, PcPathIntoASubdirectory) {
    rig.options.PcFilePathMode = 1;
    std::filesystem::create_directory(dir.path() / "GAMES");
    const Bytes image = Zx81Image(10);
    Save(TextToZX81("./GAMES/X"), image);
    EXPECT_EQ(FileBytes(dir.path() / "GAMES" / "X.P81"), Concat(TextToZX81("./GAMES/X"), image));
    EXPECT_EQ(rig.display.last.filename, "X");
    EXPECT_EQ(rig.display.last.filepath, dir.text() + "./GAMES/");

    Save(TextToZX81("./GAMES/"), image);
    EXPECT_EQ(FileBytes(dir.path() / "GAMES" / "ZX81.P81"), Concat(TextToZX81("./GAMES/"), image));
    EXPECT_EQ(rig.display.last.filename, "ZX81");
    EXPECT_EQ(Listing(dir.path() / "GAMES"), (std::vector<std::string>{"X.P81", "ZX81.P81"}));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, PcPathKeepsDotsAndCharacters) {
    rig.options.PcFilePathMode = 1;
    rig.options.Zx81Format = "P";
    const Bytes image = Zx81Image(10);
    Save(TextToZX81("GAME.V2"), image);
    Save(TextToZX81("A*B?"), image);
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A*B?.P", "GAME.V2.P"}));
    EXPECT_EQ(FileBytes(dir.path() / "GAME.V2.P"), image);
    EXPECT_EQ(rig.display.last.filename, "A*B?");
    ExpectIdle();
}

TEST_F(Zx81SaveTest, PcPathWithoutDotIsRelativeToTheWorkingDirectory) {
    TempDir work;
    std::filesystem::create_directory(work.path() / "GAMES");
    const std::filesystem::path before = std::filesystem::current_path();
    std::filesystem::current_path(work.path());
    rig.options.PcFilePathMode = 1;
    const Bytes image = Zx81Image(10);
    Save(TextToZX81("GAMES/X"), image);
    std::filesystem::current_path(before);
    EXPECT_EQ(FileBytes(work.path() / "GAMES" / "X.P81"), Concat(TextToZX81("GAMES/X"), image));
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{});
    ExpectIdle();
}

// A SAVE that cannot be stored says so and leaves the directory as it was. The rest of the
// program is still taken off the link: its bytes (the image holds 10, 32, 130 and 160) must not
// start LOADs, SAVEs or dialogs.
TEST(Zx81SaveFailures, InvalidFilenameAndNothingWritten) {
    const Bytes image = Zx81Image(300);
    struct Case {
        std::string what;
        std::function<void(Session&)> prepare;
        Bytes name;
    };
    const std::vector<Case> cases{
        {"missing transfer directory",
         [](Session& s) { s.rig.options.TransferDirectory = s.dir.text() + "missing/"; },
         TextToZX81("A")},
        {"missing subdirectory", [](Session& s) { s.rig.options.PcFilePathMode = 1; },
         TextToZX81("./NONE/A")},
        {"directory part is a file",
         [](Session& s) {
             s.rig.options.PcFilePathMode = 1;
             WriteFile(s.dir.path() / "FILE", {1});
         },
         TextToZX81("./FILE/A")},
        {"target is a directory",
         [](Session& s) { std::filesystem::create_directory(s.dir.path() / "A.P81"); },
         TextToZX81("A")},
        {"name too long", [](Session&) {}, TextToZX81(std::string(300, 'A'))},
    };
    for (const Case& c : cases) {
        Session s;
        c.prepare(s);
        const std::vector<std::string> before = Listing(s.dir.path());
        s.Save(c.name, image);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename}) << c.what;
        EXPECT_EQ(Listing(s.dir.path()), before) << c.what;
        s.ExpectIdle();
    }
}

TEST(Zx81SaveFailures, RootPathIsNotTakenIntoTheTransferDirectory) {
    if (std::filesystem::exists("/ZX")) GTEST_SKIP() << "/ZX exists on this machine";
    Session s;
    s.rig.options.PcFilePathMode = 1;
    s.Save(TextToZX81("/ZX/X"), Zx81Image(10));
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_EQ(s.rig.display.last.filepath, "/ZX/");
    EXPECT_FALSE(std::filesystem::exists("/ZX"));
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{});
    s.ExpectIdle();
}

TEST(Zx81SaveFailures, UnwritableDirectory) {
    Session s;
    WriteFile(s.dir.path() / "A.P81", {1, 2});
    std::filesystem::permissions(s.dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::remove);
    if (access(s.dir.path().c_str(), W_OK) == 0) {
        std::filesystem::permissions(s.dir.path(), std::filesystem::perms::owner_write,
                                     std::filesystem::perm_options::add);
        GTEST_SKIP() << "permissions do not bind this user";
    }
    s.Save({166}, Zx81Image(10));
    std::filesystem::permissions(s.dir.path(), std::filesystem::perms::owner_write,
                                 std::filesystem::perm_options::add);
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"A.P81"});
    EXPECT_EQ(FileBytes(s.dir.path() / "A.P81"), (Bytes{1, 2}));
    s.ExpectIdle();
}

// A file that fails part way (here the file-size limit stands in for a full disk) is reported
// at once; the previous file stays, and the rest of the image is still taken off the link.
TEST(Zx81SaveFailures, WriteFailingMidImageKeepsThePreviousFile) {
    Session s;
    WriteFile(s.dir.path() / "A.P81", {1, 2});
    int progressAtMessage = -1;
    s.rig.messages.onShow = [&](const Message&) {
        progressAtMessage = s.rig.link.display.progressValue;
    };
    const Bytes image = Zx81Image(20000);
    rlimit before{};
    getrlimit(RLIMIT_FSIZE, &before);
    const rlimit small{1000, before.rlim_max};
    ASSERT_EQ(setrlimit(RLIMIT_FSIZE, &small), 0);
    const auto oldHandler = std::signal(SIGXFSZ, SIG_IGN);
    s.Save({166}, image);
    setrlimit(RLIMIT_FSIZE, &before);
    std::signal(SIGXFSZ, oldHandler);

    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_GT(progressAtMessage, 0);
    EXPECT_LT(progressAtMessage, static_cast<int>(image.size()));
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"A.P81"});
    EXPECT_EQ(FileBytes(s.dir.path() / "A.P81"), (Bytes{1, 2}));
    s.ExpectIdle();
}

TEST(Zx81SaveFailures, DirectoryVanishingMidImage) {
    Session s;
    s.rig.options.PcFilePathMode = 1;
    const std::filesystem::path games = s.dir.path() / "GAMES";
    std::filesystem::create_directory(games);
    s.rig.pump.when([&] { return s.rig.link.display.progressValue == 50; },
                    [&] { std::filesystem::remove_all(games); });
    s.Save(TextToZX81("./GAMES/X"), Zx81Image(300));
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_FALSE(std::filesystem::exists(games));
    s.ExpectIdle();
}

// The rest of a program that cannot be stored is awaited like any other, so Reset ends it.
TEST(Zx81SaveFailures, PeerStoppingAfterAFailureWaitsForReset) {
    Session s;
    s.rig.options.TransferDirectory = s.dir.text() + "missing/";
    s.ResetAt(2000 * kMs);
    s.Save({166}, Prefix(Zx81Image(100), 60));
    EXPECT_EQ(s.busyAtReset, 2);
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{});
    s.ExpectIdle();
}

TEST_F(Zx81SaveTest, PeerStoppingMidNameWaitsForResetAndTouchesNoFile) {
    WriteFile(dir.path() / "AB.P81", {1, 2, 3});
    ResetAt(2000 * kMs);
    rig.peer.send({32, 38, 39});  // no end marker
    rig.run();
    EXPECT_EQ(busyAtReset, 2);
    ASSERT_EQ(handlers.polls.size(), 1u);
    EXPECT_GE(handlers.polls[0], 190);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P81"});
    EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), (Bytes{1, 2, 3}));
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    ExpectIdle();
}

TEST_F(Zx81SaveTest, ResetMidImageKeepsThePreviousFile) {
    WriteFile(dir.path() / "AB.P81", {1, 2, 3});
    onReset = [this] {
        // Until the image is complete, the old file is the one under that name.
        EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), (Bytes{1, 2, 3}));
    };
    ResetAt(2000 * kMs);
    Save({38, 167}, Prefix(Zx81Image(100), 60));
    EXPECT_EQ(busyAtReset, 2);
    EXPECT_GE(handlers.polls[0], 190);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P81"});
    EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), (Bytes{1, 2, 3}));
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    ExpectIdle();
}

TEST_F(Zx81SaveTest, ResetMidImageWithoutPreviousFileKeepsWhatArrived) {
    const Bytes part = Prefix(Zx81Image(100), 60);
    ResetAt(2000 * kMs);
    Save({38, 167}, part);
    EXPECT_EQ(busyAtReset, 2);
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P81"});
    EXPECT_EQ(FileBytes(dir.path() / "AB.P81"), Concat({38, 167}, part));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, ResetStopsAfterTheCurrentByte) {
    const Bytes image = Zx81Image(100);
    rig.pump.when([this] { return rig.link.display.progressValue == 20; },
                  [this] { rig.link.Abort(); });
    SaveInOneRead({166}, Prefix(image, 24));
    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"A.P81"});
    EXPECT_EQ(FileBytes(dir.path() / "A.P81"), Concat({166}, Prefix(image, 20)));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, TakesNoMorePollsThanThePeerNeeds) {
    const Bytes image = Zx81Image(2000);
    Save(TextToZX81("GAME"), image);
    ASSERT_EQ(handlers.entryBuffers.size(), 1u);
    // The peer sends back to back while DTR is high: the bytes after the first read take this
    // many 10 ms cycles, and the last of them may land one cycle late.
    const std::int64_t rest = 4 + static_cast<std::int64_t>(image.size()) -
                              static_cast<std::int64_t>(handlers.entryBuffers[0].size());
    const std::int64_t needed = (rest * SimPeer::kByteNs + 10 * kMs - 1) / (10 * kMs);
    EXPECT_LE(handlers.polls[0], needed + 1);
    EXPECT_EQ(FileBytes(dir.path() / "GAME.P81"), Concat(TextToZX81("GAME"), image));
    ExpectIdle();
}

}  // namespace
}  // namespace brindle

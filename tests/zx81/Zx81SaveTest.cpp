#include "zx81/Zx81Save.h"

#include <gtest/gtest.h>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

const Bytes kAB{38, 167};

// The shortest image that says where it ends: up to the high byte of E_LINE.
Bytes ShortImage(int eLine) {
    return ImageWithELine(13, eLine);
}

// One link with the real SAVE handler, storing into its own transfer directory.
struct Session : TransferSession {
    Session() : TransferSession({"ReceiveZX81"}) {}

    // inOneRead lets the whole request reach the port before the dispatcher's first read.
    void Save(const Bytes& name, const Bytes& image, bool inOneRead = false) {
        const Bytes request = Concat(Concat({32}, name), image);
        rig.peer.send(request);
        if (inOneRead)
            rig.clock.advanceNs(static_cast<std::int64_t>(request.size() + 1) * SimPeer::kByteNs);
        rig.run();
    }
};

class Zx81SaveTest : public ::testing::Test, public Session {};

TEST_F(Zx81SaveTest, DetailsAndFileAsTheBytesArrive) {
    rig.display.keepHistory = true;
    const Bytes image = Zx81Image(300);
    const int eLine = StoredELine(image, 11);
    Save(kAB, image);

    EXPECT_EQ(Listing(dir.path()), std::vector<std::string>{"AB.P81"});
    EXPECT_EQ(File("AB.P81"), Concat(kAB, image));
    // Only the system variables up to 16508 are shown; the run's end puts the progress back.
    const TransferDisplay expected = Details(
        kZx81, "AB", dir.text(), ProgramInfo("26 A7 ", image, 116), image, "-", eLine - 16392);
    EXPECT_EQ(rig.display.last, expected);
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    EXPECT_EQ(handlers.refreshes, 1);

    // Every byte shows as it comes; the extent once E_LINE is complete.
    int seen = 0;
    for (const TransferDisplay& shown : rig.display.history) {
        if (shown.status != "Receiving..." || shown.programInfo.empty()) continue;
        const int value = shown.progressValue;
        ASSERT_TRUE(value == seen || value == seen + 1) << value;
        seen = value;
        ASSERT_EQ(shown.programInfo, ProgramInfo("26 A7 ", image, value)) << value;
        ASSERT_EQ(shown.progressMax, value < 13 ? 13 : eLine - 16392) << value;
        ASSERT_EQ(shown.endAddr, value < 13 ? "" : expected.endAddr) << value;
    }
    EXPECT_EQ(seen, static_cast<int>(image.size()));
    ExpectIdle();
}

TEST(Zx81SaveFormats, EachFormatReplacesOnlyTheFileOfExactlyItsName) {
    const Bytes image = Zx81Image(40);
    for (const std::string format : {"P81", "P"}) {
        Session s;
        s.rig.options.Zx81Format = format;
        s.Put("AB.P81", {1});
        s.Put("AB.P", {2});
        s.Put("ab." + format, {3});
        s.Save(kAB, image);
        EXPECT_EQ(s.File("AB.P81"), format == "P81" ? Concat(kAB, image) : Bytes{1});
        EXPECT_EQ(s.File("AB.P"), format == "P" ? image : Bytes{2});
        EXPECT_EQ(s.File("ab." + format), Bytes{3});
        EXPECT_EQ(Listing(s.dir.path()).size(), 3u);
        s.ExpectIdle();
    }
}

// The whole request in the first read: one poll for the name and one for the image are still
// made; those bytes are written first, and what follows E_LINE - 1 in that cycle is kept too.
TEST_F(Zx81SaveTest, FirstReadWithNameAndImage) {
    const Bytes image = Concat(ShortImage(16406), {7, 8, 9});
    Save({166}, image, true);
    EXPECT_EQ(handlers.entryBuffers, std::vector<Bytes>{Concat({166}, image)});
    EXPECT_EQ(handlers.polls, std::vector<int>{2});
    EXPECT_EQ(File("A.P81"), Concat({166}, image));
    ExpectIdle();
}

TEST_F(Zx81SaveTest, NameSplitOverSeveralPolls) {
    const Bytes name = TextToZX81("A NAME OF THIRTY ONE CHARACTERS");
    const Bytes image = Zx81Image(20);
    rig.peer.send({32, name[0], name[1]});
    rig.peer.sendAt(200 * kMs, Bytes(name.begin() + 2, name.end()));
    rig.peer.sendAt(400 * kMs, image);
    rig.run();
    EXPECT_EQ(File("A NAME OF THIRTY ONE CHARACTERS.P81"), Concat(name, image));
    ASSERT_EQ(handlers.polls.size(), 1u);
    EXPECT_GT(handlers.polls[0], 30);  // it kept polling through the pauses
    ExpectIdle();
}

// The end is tested between poll cycles: an E_LINE at or before its own high byte ends the
// image there.
TEST(Zx81SaveEnd, ShortELineEndsWithTheCycleThatBroughtItsHighByte) {
    for (int eLine : {16406, 16400, 0}) {
        Session s;
        s.Save({166}, ShortImage(eLine));
        EXPECT_EQ(s.File("A.P81"), Concat({166}, ShortImage(eLine))) << eLine;
        EXPECT_EQ(s.rig.display.last.endAddr, std::to_string(eLine - 1));
        EXPECT_EQ(s.rig.display.last.programLength, std::to_string(eLine - 16393));
        s.ExpectIdle();
    }
}

// Each name gives exactly its file, holding the name as received. In PC-file-path mode, which is
// read when the file is set up, not when the request starts, a name is a path.
TEST(Zx81SaveNames, EachNameGivesExactlyItsFile) {
    const std::string longest(251, 'A');  // with ".P81", the 255 bytes a file name may have
    const std::vector<std::tuple<int, Bytes, std::string, std::string>> cases{
        // mode, name, file under the transfer directory, directory shown below it
        {0, {166}, "A.P81", ""},
        {0, TextToZX81("/*:?<>\""), "-------.P81", ""},
        {0, TextToZX81(".."), "...P81", ""},
        {0, TextToZX81("../X"), "..-X.P81", ""},
        // Codes without a character drop out of the file name, not out of the name field.
        {0, {38, 100, 167}, "AB.P81", ""},
        // With none left, the file is not the hidden ".P81" but has the name a PC path without
        // a file part gets.
        {0, {200}, "ZX81.P81", ""},
        {0, {38, 0x80}, "A .P81", ""},  // the last character a space: its end byte is 0x80
        {0, TextToZX81(longest), longest + ".P81", ""},
        {1, TextToZX81("./GAMES/X"), "GAMES/X.P81", "./GAMES/"},
        {1, TextToZX81("./GAMES/"), "GAMES/ZX81.P81", "./GAMES/"},
        {1, TextToZX81("GAME.V2"), "GAME.V2.P81", ""},  // a SAVE splits off no extension
        {1, TextToZX81("A*B?"), "A*B?.P81", ""},
        // Without a leading dot, a path is relative to the working directory, here WORK.
        {1, TextToZX81("GAMES/X"), "WORK/GAMES/X.P81", "GAMES/"},
    };
    const fs::path before = fs::current_path();
    for (const auto& [mode, name, file, shownDir] : cases) {
        Session s;
        fs::create_directories(s.dir.path() / "GAMES");
        fs::create_directories(s.dir.path() / "WORK" / "GAMES");
        fs::current_path(s.dir.path() / "WORK");
        s.rig.pump.when([&s] { return s.rig.link.state.LinkBusy == 2; },
                        [&s, mode] { s.rig.options.PcFilePathMode = mode; });
        const Bytes image = Zx81Image(5);
        s.Save(name, image);
        fs::current_path(before);
        EXPECT_EQ(s.File(file), Concat(name, image)) << file;
        EXPECT_EQ(s.rig.display.last.filename + ".P81", fs::path(file).filename().string());
        EXPECT_EQ(s.rig.display.last.filepath,
                  (shownDir.starts_with("GAMES") ? "" : s.dir.text()) + shownDir);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{}) << file;
        s.ExpectIdle();
    }
}

// A SAVE that cannot be stored says so and leaves the directory as it was. The rest of the
// program is still taken off the link: its bytes (the image holds 10, 32, 130 and 160) must not
// start LOADs, SAVEs or dialogs.
TEST(Zx81SaveFailures, InvalidFilenameAndNothingWritten) {
    const std::vector<std::tuple<std::string, int, Bytes>> cases{
        // what, PC-file-path mode, name
        {"missing transfer directory", 0, TextToZX81("A")},
        {"missing subdirectory", 1, TextToZX81("./NONE/A")},
        {"directory part is a file", 1, TextToZX81("./FILE/A")},
        {"target is a directory", 0, TextToZX81("DIR")},
        {"name too long", 0, TextToZX81(std::string(300, 'A'))},
    };
    for (const auto& [what, mode, name] : cases) {
        Session s;
        s.Put("FILE", {1});
        fs::create_directory(s.dir.path() / "DIR.P81");
        if (what == "missing transfer directory")
            s.rig.options.TransferDirectory = s.dir.text() + "missing/";
        s.rig.options.PcFilePathMode = mode;
        // The box opens over the name it could not store.
        std::string filenameBehind;
        s.rig.messages.onShow = [&](const Message&) {
            filenameBehind = s.rig.display.last.filename;
        };
        s.Save(name, Zx81Image(300));
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename}) << what;
        EXPECT_EQ(filenameBehind, s.rig.link.display.filename) << what;
        EXPECT_FALSE(filenameBehind.empty()) << what;
        EXPECT_EQ(Listing(s.dir.path()), (std::vector<std::string>{"DIR.P81", "FILE"})) << what;
        s.ExpectIdle();
    }
}

// A file that fails part way is reported at once; the previous file stays, and the rest of the
// image is still taken off the link.
TEST(Zx81SaveFailures, WriteFailingMidImageKeepsThePreviousFile) {
    Session s;
    s.Put("A.P81", {1, 2});
    int progressAtMessage = -1;
    s.rig.messages.onShow = [&](const Message&) {
        progressAtMessage = s.rig.link.display.progressValue;
    };
    const Bytes image = Zx81Image(20000);
    s.rig.files.diskFullAt = 1000;
    s.Save({166}, image);
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_GT(progressAtMessage, 0);
    EXPECT_LT(progressAtMessage, static_cast<int>(image.size()));
    EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"A.P81"});
    EXPECT_EQ(s.File("A.P81"), (Bytes{1, 2}));
    s.ExpectIdle();
}

// The file cannot take its name at the end: reported, not passed over as a success.
TEST(Zx81SaveFailures, DirectoryVanishingMidImage) {
    Session s;
    s.rig.options.PcFilePathMode = 1;
    const fs::path games = s.dir.path() / "GAMES";
    fs::create_directory(games);
    s.rig.pump.when([&] { return s.rig.link.display.progressValue == 50; },
                    [&] { fs::remove_all(games); });
    s.Save(TextToZX81("./GAMES/X"), Zx81Image(300));
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename});
    EXPECT_FALSE(fs::exists(games));
    s.ExpectIdle();
}

// Reset while the peer has stopped, in the name or in the image: an older file under the name
// stays as it was throughout; without one, what arrived of the image is kept.
TEST(Zx81SaveReset, KeepsThePreviousFileOrElseWhatArrived) {
    const Bytes part = Prefix(Zx81Image(100), 60);
    const std::vector<std::tuple<Bytes, bool, Bytes>> cases{
        // request, with a previous file, the file after Reset
        {{32, 38, 39}, true, {1, 2, 3}},  // no end marker
        {Concat(Concat({32}, kAB), part), true, {1, 2, 3}},
        {Concat(Concat({32}, kAB), part), false, Concat(kAB, part)},
    };
    for (const auto& [request, previous, expected] : cases) {
        Session s;
        if (previous) s.Put("AB.P81", {1, 2, 3});
        s.ResetAt(2000 * kMs, [&s, previous] {
            if (previous) {
                EXPECT_EQ(s.File("AB.P81"), (Bytes{1, 2, 3}));
            }
        });
        s.rig.peer.send(request);
        s.rig.run();
        EXPECT_EQ(s.busyAtReset, 2);
        EXPECT_GE(s.handlers.polls.at(0), 190);  // polling all the while
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"AB.P81"});
        EXPECT_EQ(s.File("AB.P81"), expected);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();
    }
}

TEST_F(Zx81SaveTest, ResetStopsAfterTheCurrentByte) {
    const Bytes image = Zx81Image(100);
    rig.pump.when([this] { return rig.link.display.progressValue == 20; },
                  [this] { rig.link.Abort(); });
    Save({166}, Prefix(image, 24), true);
    EXPECT_EQ(File("A.P81"), Concat({166}, Prefix(image, 20)));
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
    EXPECT_EQ(File("GAME.P81"), Concat(TextToZX81("GAME"), image));
    ExpectIdle();
}

}  // namespace
}  // namespace brindle

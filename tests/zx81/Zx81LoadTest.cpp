#include "zx81/Zx81Load.h"

#include <gtest/gtest.h>

#include <functional>

#include "listing/DirectoryListing.h"
#include "tests/rig/Images.h"
#include "tests/zx81/Zx81TestHandlers.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

const Message kInvalidFile{"Invalid File", "Error", MessageIcon::None, {}};
const Bytes kGame{0x2C, 0x26, 0x32, 0xAA};  // GAME in ZX81 codes, the last with bit 7

// The program details of a LOAD, written out independently of the code under test.
TransferDisplay SentDetails(const std::string& filename, const std::string& filepath,
                            const std::string& nameHex, const Bytes& image, std::size_t replySize) {
    const int eLine = StoredELine(image, 11);
    TransferDisplay d;
    d.filename = filename;
    d.filepath = filepath;
    d.fileLength = std::to_string(image.size());
    d.programLength = std::to_string(eLine - 16393);
    d.startAddr = "16393";
    d.endAddr = std::to_string(eLine - 1);
    d.programInfo = ProgramInfo(nameHex, image, 116);
    d.progressMax = static_cast<int>(replySize);
    return d;
}

// One link with the real LOAD handlers, answering from its own transfer directory.
struct Session : Zx81Session {
    Session() : Zx81Session({"SendZX81", "ChooseZX81"}) {
        rig.link.transferDirectoryMoved = [this](const std::string& to) { moves.push_back(to); };
    }

    void Load(const Bytes& name) {
        rig.peer.send(Concat({10}, name));
        rig.run();
    }
    void Put(const std::string& relative, const Bytes& bytes) {
        WriteFile(dir.path() / relative, bytes);
    }
    // Runs action once the PC has written the given number of reply bytes.
    void AfterWrites(std::size_t count, std::function<void()> action) {
        rig.pump.when([this, count] { return rig.peer.writes().size() == count; },
                      std::move(action));
    }

    std::vector<std::string> moves;
};

class Zx81LoadTest : public ::testing::Test, public Session {};

TEST_F(Zx81LoadTest, ByNameSendsTheNameThenTheImageOneByteEvery10Ms) {
    const Bytes image = Zx81Image(300);
    Put("GAME.P81", Concat({0x3F, 0xB4}, image));  // a stored name that differs from the file's
    Put("GAME.P", {1, 2, 3});
    rig.display.keepHistory = true;
    bool dtrHighWhileSending = false;
    rig.pump.everyPass([this, &dtrHighWhileSending] {
        if (!rig.peer.writes().empty() && rig.link.state.LinkBusy == 1 && rig.peer.dtr())
            dtrHighWhileSending = true;
    });
    Load(kGame);

    const Bytes reply = Concat(kGame, image);
    EXPECT_EQ(rig.peer.written(), reply);
    EXPECT_EQ(rig.display.last,
              SentDetails("GAME.P81", dir.text(), "2C 26 32 AA ", image, reply.size()));
    // The progress bar counts every byte sent, one at a time, while "Sending..." shows.
    std::vector<int> progress;
    for (const TransferDisplay& shown : rig.display.history) {
        if (shown.status == "Sending...") progress.push_back(shown.progressValue);
    }
    std::vector<int> expected(reply.size());
    for (std::size_t i = 0; i < expected.size(); ++i) expected[i] = static_cast<int>(i + 1);
    EXPECT_EQ(progress, expected);
    // One byte every 10 ms, with DTR low throughout.
    const auto& writes = rig.peer.writes();
    for (std::size_t i = 1; i < writes.size(); ++i)
        ASSERT_EQ(writes[i].atNs - writes[i - 1].atNs, 10 * kMs) << i;
    EXPECT_FALSE(dtrHighWhileSending);
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    EXPECT_TRUE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.options.TransferDirectory, dir.text());
    ExpectIdle();
}

TEST_F(Zx81LoadTest, FormatListFindsTheOtherFormatAndLetterCaseIsForgiven) {
    const Bytes image = Zx81Image(20);
    rig.options.Zx81Format = "P";
    Put("GAME.P81", Concat(kGame, image));
    Load(kGame);
    EXPECT_EQ(rig.peer.written(), Concat(kGame, image));
    EXPECT_EQ(rig.display.last.filename, "GAME.P81");
    ExpectIdle();

    // Only a lower-case file: taken when no file of exactly the name exists.
    Session s;
    s.rig.options.Zx81Format = "P";
    s.Put("game.p", image);
    s.Load(kGame);
    EXPECT_EQ(s.rig.peer.written(), Concat(kGame, image));
    EXPECT_EQ(s.rig.display.last.filename, "GAME.P");
    s.ExpectIdle();
}

TEST_F(Zx81LoadTest, ImageIsCutAtELineAndAShorterOneSentWhole) {
    const Bytes image = Zx81Image(40);
    Put("GAME.P", Concat(image, {7, 8, 9}));
    rig.options.Zx81Format = "P";
    Load(kGame);
    EXPECT_EQ(rig.peer.written(), Concat(kGame, image));
    EXPECT_EQ(rig.display.last.fileLength, std::to_string(image.size() + 3));
    ExpectIdle();

    Session s;
    const Bytes cut = Prefix(image, image.size() - 10);
    s.Put("GAME.P81", Concat(kGame, cut));
    s.Load(kGame);
    EXPECT_EQ(s.rig.peer.written(), Concat(kGame, cut));
    EXPECT_EQ(s.rig.display.last.fileLength, std::to_string(cut.size()));
    EXPECT_EQ(s.rig.display.last.programLength, std::to_string(image.size()));
    s.ExpectIdle();
}

TEST_F(Zx81LoadTest, FilesThatCannotBeUsedAreReportedAndNothingIsSent) {
    struct Case {
        const char* what;
        const char* file;
        Bytes bytes;
    };
    const Case cases[] = {
        {"empty", "GAME.P", {}},
        {"11 bytes", "GAME.P", Bytes(11, 0)},
        {"100 bytes", "GAME.P", ImageWithELine(100, 16493)},
        {"115 bytes", "GAME.P", ImageWithELine(115, 16508)},
        {"E_LINE below the image", "GAME.P", ImageWithELine(200, 16392)},
        {"E_LINE above 32768", "GAME.P", ImageWithELine(200, 32769)},
        {"image above 32767 bytes", "GAME.P", ImageWithELine(32768, 16500)},
        {"name field without its end", "GAME.P81", Bytes(300, 0x26)},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.Put(c.file, c.bytes);
        s.Load(kGame);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFile});
        EXPECT_EQ(s.rig.peer.written(), Bytes{});
        EXPECT_TRUE(s.rig.dialogs.requests.empty());
        s.ExpectIdle();
    }
}

TEST_F(Zx81LoadTest, NameTheFileSystemRefusesIsInvalid) {
    Load(TextToZX81(std::string(300, 'A')));
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{kInvalidFile});
    EXPECT_TRUE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.peer.written(), Bytes{});
    ExpectIdle();
}

TEST_F(Zx81LoadTest, LimitsOfAUsableFile) {
    struct Case {
        const char* what;
        Bytes image;
        std::size_t sent;
    };
    const Case cases[] = {
        {"116 bytes", ImageWithELine(116, 16509), 116},
        {"E_LINE at the image start", ImageWithELine(200, 16393), 0},
        {"E_LINE 32768 past the file", ImageWithELine(300, 32768), 300},
        {"32767 bytes", ImageWithELine(32767, 32768), 16375},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.Put("GAME.P", c.image);
        s.rig.options.Zx81Format = "P";
        s.rig.peer.send(Concat({10}, kGame));
        s.rig.run(400'000 * kMs);
        EXPECT_EQ(s.rig.peer.written(), Concat(kGame, Prefix(c.image, c.sent)));
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();
    }
}

TEST_F(Zx81LoadTest, NeitherFormatPresentAsksTheUserAndSendsThePeersOwnName) {
    rig.options.Zx81Format = "P";
    const Bytes image = Zx81Image(30);
    Put("GAMES/Other.p81", Concat({0x34, 0xB3}, image));
    const std::string chosenDir = dir.text() + "GAMES/";
    rig.dialogs.answers.push_back(chosenDir + "Other.p81");
    Load(kGame);

    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    const FileDialogRequest& asked = rig.dialogs.requests[0];
    EXPECT_EQ(asked.kind, FileDialogRequest::Kind::Open);
    EXPECT_EQ(asked.title, "Send ZX81 Program");
    EXPECT_EQ(asked.filter, "ZX81 Programs (*.P81;*.P;*.81)|*.P81;*.P;*.81");
    EXPECT_EQ(asked.initialDirectory, dir.text());
    EXPECT_EQ(asked.defaultExtension, "P");
    EXPECT_TRUE(asked.fileMustExist);
    EXPECT_TRUE(asked.pathMustExist);
    EXPECT_EQ(asked.initialFileName, "");

    // Read under its own name; its extension, upper-cased, says it has a name field.
    const Bytes reply = Concat(kGame, image);
    EXPECT_EQ(rig.peer.written(), reply);
    EXPECT_EQ(rig.display.last,
              SentDetails("Other.P81", chosenDir, "2C 26 32 AA ", image, reply.size()));
    EXPECT_EQ(rig.options.TransferDirectory, chosenDir);
    EXPECT_EQ(moves, std::vector<std::string>{chosenDir});
    EXPECT_EQ(rig.link.state.FilePath, chosenDir);
    EXPECT_EQ(rig.link.state.FileFormat, "P81");
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    ExpectIdle();
}

TEST_F(Zx81LoadTest, DialogCancelledSendsNothingAndLeavesNoRequestBytes) {
    // The name holds the request codes 32 and 10, which must not be taken for requests.
    const Bytes name{0x20, 0x0A, 0xA6};
    Load(name);
    EXPECT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.peer.written(), Bytes{});
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    EXPECT_EQ(rig.options.TransferDirectory, dir.text());
    EXPECT_EQ(moves, std::vector<std::string>{});
    ASSERT_EQ(handlers.entryBuffers.size(), 1u);
    ExpectIdle();
}

TEST_F(Zx81LoadTest, ChosenFileThatVanishedBeforeTheReadIsInvalid) {
    rig.dialogs.answers.push_back(dir.text() + "GONE.P");
    Load(kGame);
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{kInvalidFile});
    EXPECT_EQ(rig.peer.written(), Bytes{});
    ExpectIdle();
}

TEST_F(Zx81LoadTest, OnePollEvenWhenTheNameCameWithTheCodeAndWhatItBringsIsDropped) {
    const Bytes image = Zx81Image(10);
    Put("GAME.P81", Concat(kGame, image));
    rig.peer.arrive(Concat({10}, kGame));
    rig.peer.sendAt(rig.clock.nowNs() + 15 * kMs, {32, 2, 0x80});
    rig.run();
    ASSERT_EQ(handlers.entryBuffers, std::vector<Bytes>{kGame});
    EXPECT_EQ(handlers.polls, std::vector<int>{1});
    EXPECT_EQ(rig.peer.written(), Concat(kGame, image));
    ExpectIdle();
}

TEST_F(Zx81LoadTest, NameWithoutAnEndKeepsPollingUntilReset) {
    rig.peer.send({10, 0x2C, 0x26});
    rig.peer.sendAt(500 * kMs, {0x32, 0x2A});
    ResetAt(2000 * kMs);
    rig.run();
    EXPECT_EQ(busyAtReset, 1);
    ASSERT_EQ(handlers.polls.size(), 1u);
    EXPECT_GT(handlers.polls[0], 150);
    EXPECT_EQ(rig.peer.written(), Bytes{});
    EXPECT_TRUE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    ExpectIdle();
}

TEST_F(Zx81LoadTest, ResetWhileSendingStopsAfterTheCurrentByte) {
    const Bytes image = Zx81Image(30);
    Put("GAME.P81", Concat(kGame, image));
    AfterWrites(7, [this] { rig.link.Abort(); });
    Load(kGame);
    EXPECT_EQ(rig.peer.written(), Prefix(Concat(kGame, image), 7));
    ExpectIdle();
}

TEST_F(Zx81LoadTest, UnpluggedAdapterEndsTheSend) {
    const Bytes image = Zx81Image(300);
    Put("GAME.P81", Concat(kGame, image));
    AfterWrites(3, [this] { rig.peer.unplug(); });
    Load(kGame);
    EXPECT_EQ(rig.peer.written(), Prefix(kGame, 3));
    // The rest of the reply is not tried byte by byte, 10 ms apiece.
    EXPECT_LT(rig.clock.nowMs(), 100.0);
    EXPECT_EQ(rig.link.state.LinkBusy, 0);
}

TEST_F(Zx81LoadTest, DriveLikeNameIsAnOrdinaryNameWithoutDriveLetters) {
    if (fs::path("A:").has_root_name()) GTEST_SKIP() << "file system with drive letters";
    const Bytes image = Zx81Image(5);
    Put("A:.P81", Concat({0xA6}, image));
    rig.options.PcFilePathMode = 1;
    const Bytes name = TextToZX81("A:");
    Load(name);
    EXPECT_EQ(rig.peer.written(), Concat(name, image));
    ExpectIdle();
}

// --- PC-file-path mode: directory listings and paths ---

class Zx81LoadListingTest : public Zx81LoadTest {
protected:
    void SetUp() override {
        rig.options.PcFilePathMode = 1;
        Put("b.p", Zx81Image(1));
        Put("A.P81", Concat({0xA6}, Zx81Image(2)));
        // The listing as it stands while it is being sent.
        AfterWrites(1, [this] {
            for (const char* ext : {".P81", ".P"}) {
                const fs::path file = dir.path() / (std::string("Directory_Listing") + ext);
                if (fs::exists(file)) listingFile = FileBytes(file);
            }
        });
    }
    // The listing of the transfer directory as a LOAD of "./" asks for it.
    Bytes ExpectedListing(const std::string& format) {
        return MakeListingProgram(dir.text() + "./", {"A.P81", "b.p"}, std::nullopt, format).bytes;
    }

    const Bytes dotSlash = TextToZX81("./");
    Bytes listingFile;
};

TEST_F(Zx81LoadListingTest, DotSlashSendsTheListingAndDeletesIt) {
    Load(dotSlash);
    const Bytes listing = ExpectedListing("P81");
    ASSERT_EQ(listingFile, listing);
    // The name field that the file starts with is not sent.
    EXPECT_EQ(rig.peer.written(), Concat(dotSlash, Bytes(listing.begin() + 17, listing.end())));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.P81", "b.p"}));
    EXPECT_EQ(rig.display.last.filename, "Directory_Listing.P81");
    EXPECT_EQ(rig.display.last.filepath, dir.text() + "./");
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{});
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, ListingInFormatP) {
    rig.options.Zx81Format = "P";
    Load(dotSlash);
    ASSERT_EQ(listingFile, ExpectedListing("P"));
    EXPECT_EQ(rig.peer.written(), Concat(dotSlash, listingFile));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.P81", "b.p"}));
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, ResetWhileSendingStillDeletesTheListing) {
    AfterWrites(5, [this] { rig.link.Abort(); });
    Load(dotSlash);
    const Bytes image(listingFile.begin() + 17, listingFile.end());  // after the name field
    EXPECT_EQ(rig.peer.written(), Prefix(Concat(dotSlash, image), 5));
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.P81", "b.p"}));
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, ListingThatCannotBeBuiltIsNotReplacedByAnOldOne) {
    // The ZX81 cannot show the underscore in this directory's path.
    const std::string transfer = dir.text() + "my_zx/";
    const Bytes old = Concat(kGame, Zx81Image(3));
    WriteFile(fs::path(transfer) / "Directory_Listing.P81", old);
    rig.options.TransferDirectory = transfer;
    Load(dotSlash);
    ASSERT_EQ(rig.messages.shown.size(), 1u);
    EXPECT_EQ(rig.messages.shown[0].caption, "Brindle");
    EXPECT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.peer.written(), Bytes{});
    EXPECT_EQ(FileBytes(fs::path(transfer) / "Directory_Listing.P81"), old);
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, NameWithAnExtensionGetsTheListingJustBuilt) {
    // An older listing under the extension the name gives must not stand in for the new one.
    const Bytes stale = Zx81Image(3);
    Put("Directory_Listing.P", stale);
    const Bytes name = TextToZX81("./.P");
    Load(name);
    const Bytes listing = ExpectedListing("P81");
    EXPECT_EQ(rig.peer.written(), Concat(name, Bytes(listing.begin() + 17, listing.end())));
    EXPECT_EQ(rig.display.last.filename, "Directory_Listing.P81");
    EXPECT_EQ(Listing(dir.path()),
              (std::vector<std::string>{"A.P81", "Directory_Listing.P", "b.p"}));
    EXPECT_EQ(FileBytes(dir.path() / "Directory_Listing.P"), stale);
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, ListingTooLongToSendIsInvalidAndStillDeleted) {
    // A routine this long puts E_LINE past 32768.
    TempDir routineDir;
    WriteFile(routineDir.path() / "Brindle.bin", Bytes(17000, 0xC9));
    rig.link.routineDirectories = {routineDir.path()};
    Load(dotSlash);
    EXPECT_EQ(rig.messages.shown, std::vector<Message>{kInvalidFile});
    EXPECT_EQ(rig.peer.written(), Bytes{});
    EXPECT_EQ(Listing(dir.path()), (std::vector<std::string>{"A.P81", "b.p"}));
    ExpectIdle();
}

TEST_F(Zx81LoadListingTest, PathWithExtensionReadsABareImageThenTriesTheFormats) {
    const Bytes name = TextToZX81("./GAMES/X.P");
    const std::string games = dir.text() + "./GAMES/";
    // Its fourth byte has bit 7 set: read with a name field, it would not be this image.
    const Bytes bare = Zx81Image(4);
    ASSERT_GE(bare[3], 128);
    Put("GAMES/X.P", bare);
    Load(name);
    EXPECT_EQ(rig.peer.written(), Concat(name, bare));
    EXPECT_EQ(rig.display.last.filename, "X.P");
    EXPECT_EQ(rig.display.last.filepath, games);
    ExpectIdle();

    Session s;
    s.rig.options.PcFilePathMode = 1;
    const Bytes image = Zx81Image(6);
    s.Put("GAMES/X.P81", Concat({0xBD}, image));
    s.Load(name);
    EXPECT_EQ(s.rig.peer.written(), Concat(name, image));
    EXPECT_EQ(s.rig.display.last.filename, "X.P81");
    s.ExpectIdle();

    Session none;
    none.rig.options.PcFilePathMode = 1;
    std::string filePathAtDialog;
    none.rig.dialogs.onRun = [&](const FileDialogRequest&) {
        filePathAtDialog = none.rig.link.state.FilePath;
    };
    none.Load(name);
    ASSERT_EQ(none.rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(none.rig.dialogs.requests[0].initialDirectory, none.dir.text());
    EXPECT_EQ(filePathAtDialog, none.dir.text() + "./GAMES/");
    EXPECT_EQ(none.rig.peer.written(), Bytes{});
    none.ExpectIdle();
}

// --- Request code 2: the PC user picks the program ---

TEST_F(Zx81LoadTest, Code2RepliesWithTheChosenBaseNameInZx81Codes) {
    const Bytes image = Zx81Image(25);
    Put("ZX/Game.p81", Concat({0x26, 0xA6}, image));
    const std::string chosenDir = dir.text() + "ZX/";
    rig.dialogs.answers.push_back(chosenDir + "Game.p81");
    rig.peer.send({2, 0x20, 0x0A});  // whatever follows the code is no part of the request
    rig.run();

    ASSERT_EQ(rig.dialogs.requests.size(), 1u);
    EXPECT_EQ(rig.dialogs.requests[0].initialDirectory, dir.text());
    EXPECT_EQ(rig.dialogs.requests[0].defaultExtension, "P81");
    const Bytes upperName{0x2C, 0x26, 0x32, 0xAA};  // GAME
    ASSERT_EQ(handlers.entryBuffers, std::vector<Bytes>{upperName});
    const Bytes reply = Concat(upperName, image);
    EXPECT_EQ(rig.peer.written(), reply);
    EXPECT_EQ(rig.display.last,
              SentDetails("Game.P81", chosenDir, "2C 26 32 AA ", image, reply.size()));
    EXPECT_EQ(rig.options.TransferDirectory, chosenDir);
    EXPECT_EQ(moves, std::vector<std::string>{chosenDir});
    EXPECT_EQ(rig.dialogs.requests.size(), 1u);
    ExpectIdle();
}

TEST_F(Zx81LoadTest, Code2SendsTheChosenFileAsItIsInPcFilePathMode) {
    // Dots in the chosen name are no extension and no path to resolve.
    rig.options.PcFilePathMode = 1;
    const Bytes image = Zx81Image(8);
    Put("GAME.V2.P", image);
    rig.dialogs.answers.push_back(dir.text() + "GAME.V2.P");
    rig.peer.send({2});
    rig.run();
    EXPECT_EQ(rig.peer.written(), Concat(TextToZX81("GAME.V2"), image));
    EXPECT_EQ(rig.display.last.filename, "GAME.V2.P");
    EXPECT_EQ(rig.dialogs.requests.size(), 1u);
    ExpectIdle();
}

TEST_F(Zx81LoadTest, Code2CancelledOrUnusableChoiceSendsNothing) {
    for (std::optional<std::string> answer :
         {std::optional<std::string>{}, std::optional<std::string>{"/tmp/NODOT"}}) {
        Session s;
        s.rig.dialogs.answers.push_back(answer);
        s.rig.peer.arrive({2, 0x20, 0x0A, 0x1B});
        s.rig.run();
        EXPECT_EQ(s.rig.dialogs.requests.size(), 1u);
        EXPECT_EQ(s.rig.peer.written(), Bytes{});
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        EXPECT_TRUE(s.handlers.entryBuffers.empty());
        EXPECT_EQ(s.rig.options.TransferDirectory, s.dir.text());
        EXPECT_EQ(s.moves, std::vector<std::string>{});
        s.ExpectIdle();
    }
}

}  // namespace
}  // namespace brindle

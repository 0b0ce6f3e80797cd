#include "zx81/Zx81Load.h"

#include <gtest/gtest.h>

#include <functional>
#include <tuple>

#include "link/Settings.h"
#include "listing/DirectoryListing.h"
#include "tests/rig/Images.h"
#include "tests/rig/Session.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

const Bytes kGame{0x2C, 0x26, 0x32, 0xAA};  // GAME in ZX81 codes, the last with bit 7

// The program details of a LOAD: the file length is the image's, the progress counts the reply.
TransferDisplay SentDetails(const std::string& filename, const std::string& filepath,
                            const Bytes& image, std::size_t replySize,
                            const std::string& nameHex = "2C 26 32 AA ") {
    return Details(kZx81, filename, filepath, ProgramInfo(nameHex, image, 116), image,
                   std::to_string(image.size()), static_cast<int>(replySize));
}

// One link with the real LOAD handlers, answering from its own transfer directory.
struct Session : TransferSession {
    Session() : TransferSession({"SendZX81", "ChooseZX81"}) {
        rig.link.transferDirectoryMoved = [this](const std::string& to) { moves.push_back(to); };
    }

    void Load(const Bytes& name) {
        rig.peer.send(Concat({10}, name));
        rig.run(400'000 * kMs);
    }
    // Runs action once the PC has written the given number of reply bytes.
    void AfterWrites(std::size_t count, std::function<void()> action) {
        rig.pump.when([this, count] { return rig.peer.writes().size() == count; },
                      std::move(action));
    }
    // The peer got exactly this, and the user saw exactly these messages.
    void ExpectSent(const Bytes& reply, const std::vector<Message>& messages = {}) {
        EXPECT_EQ(rig.peer.written(), reply);
        EXPECT_EQ(rig.messages.shown, messages);
        ExpectIdle();
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
    EXPECT_EQ(rig.display.last, SentDetails("GAME.P81", dir.text(), image, reply.size()));
    // The progress bar counts every byte sent, one at a time, while "Sending..." shows.
    std::vector<int> progress, expected;
    for (const TransferDisplay& shown : rig.display.history) {
        if (shown.status == "Sending...") progress.push_back(shown.progressValue);
    }
    for (std::size_t i = 1; i <= reply.size(); ++i) expected.push_back(static_cast<int>(i));
    EXPECT_EQ(progress, expected);
    // One byte every 10 ms, with DTR low throughout.
    const auto& writes = rig.peer.writes();
    for (std::size_t i = 1; i < writes.size(); ++i)
        ASSERT_EQ(writes[i].atNs - writes[i - 1].atNs, 10 * kMs) << i;
    EXPECT_FALSE(dtrHighWhileSending);
    EXPECT_TRUE(rig.dialogs.requests.empty());
    EXPECT_EQ(rig.options.TransferDirectory, dir.text());
    ExpectSent(reply);
}

// Which file answers a LOAD of GAME in format P, and how much of it is sent: the image up to
// E_LINE - 1. A file that cannot be used is reported before anything is sent, and the dialog
// does not open.
TEST(Zx81LoadFiles, WhichFileAndHowMuchOfIt) {
    const Bytes image = Zx81Image(40);
    const Bytes cut = Prefix(image, image.size() - 10);
    struct Case {
        const char* what;
        Bytes bytes;
        std::optional<Bytes> sent;  // nothing: "Invalid File"
        std::string file = "GAME.P";
        Bytes name = kGame;
    };
    const Case cases[] = {
        {"the other format by the list", Concat(kGame, image), image, "GAME.P81"},
        {"letter case forgiven", image, image, "game.p"},
        {"cut at E_LINE", Concat(image, {7, 8, 9}), image},
        {"shorter, sent whole", cut, cut},
        {"115 bytes", ImageWithELine(115, 16508), {}},
        {"116 bytes", ImageWithELine(116, 16509), ImageWithELine(116, 16509)},
        {"E_LINE below the image", ImageWithELine(200, 16392), {}},
        {"E_LINE at the image start", ImageWithELine(200, 16393), Bytes{}},
        {"E_LINE 32768 past the file", ImageWithELine(300, 32768), ImageWithELine(300, 32768)},
        {"E_LINE above 32768", ImageWithELine(200, 32769), {}},
        {"32767 bytes", ImageWithELine(32767, 32768), Prefix(ImageWithELine(32767, 32768), 16375)},
        {"image above 32767 bytes", ImageWithELine(32768, 16500), {}},
        {"name field without its end", Bytes(300, 0x26), {}, "GAME.P81"},
        {"name the file system refuses", {}, {}, "OTHER.P", TextToZX81(std::string(300, 'A'))},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        s.rig.options.Zx81Format = "P";
        s.Put(c.file, c.bytes);
        s.Load(c.name);
        EXPECT_TRUE(s.rig.dialogs.requests.empty());
        if (!c.sent) {
            s.ExpectSent({}, {kInvalidFile});
            continue;
        }
        // The details show the file read, as it is spelt on disk, and its length without the
        // name field.
        EXPECT_EQ(s.rig.display.last.filename, c.file);
        const std::size_t nameField = c.file.ends_with("P81") ? kGame.size() : 0;
        EXPECT_EQ(s.rig.display.last.fileLength, std::to_string(c.bytes.size() - nameField));
        // Every system variable the file holds is shown, wherever E_LINE cuts the image.
        const Bytes uncut(c.bytes.begin() + static_cast<std::ptrdiff_t>(nameField), c.bytes.end());
        EXPECT_EQ(s.rig.display.last.programInfo, ProgramInfo("2C 26 32 AA ", uncut, 116));
        s.ExpectSent(Concat(c.name, *c.sent));
    }
}

// The file the user picks when a LOAD by name finds none, or after request code 2: read under
// its own name, its extension upper-cased saying whether it has a name field, and sent after the
// peer's own name, or after code 2 the chosen base name upper-cased in ZX81 codes (its dots no
// extension and no path, even in PC-file-path mode). The transfer directory moves to the file's.
TEST(Zx81LoadDialog, ChosenFileIsSentAndMovesTheTransferDirectory) {
    const Bytes image = Zx81Image(30);
    const std::vector<std::tuple<Bytes, std::string, Bytes, std::string>> cases{
        // request, format, the name sent and shown; what follows code 2 is no part of it
        {Concat({10}, kGame), "P", kGame, "2C 26 32 AA "},
        {{2, 0x20, 0x0A}, "P81", TextToZX81("GAME.V2"), "2C 26 32 2A 1B 3B 9E "},
    };
    for (const auto& [request, format, name, nameHex] : cases) {
        Session s;
        s.rig.options.Zx81Format = format;
        s.rig.options.PcFilePathMode = 1;
        s.Put("ZX/Game.V2.p81", Concat({0x26, 0xA6}, image));
        const std::string chosenDir = s.dir.text() + "ZX/";
        s.rig.dialogs.answers.push_back(chosenDir + "Game.V2.p81");
        s.rig.peer.send(request);
        s.rig.run();

        ASSERT_EQ(s.rig.dialogs.requests.size(), 1u);
        const FileDialogRequest& r = s.rig.dialogs.requests[0];
        EXPECT_EQ(
            std::tie(r.title, r.filter, r.initialDirectory, r.defaultExtension, r.initialFileName),
            std::make_tuple("Send ZX81 Program",
                            "ZX81 Programs (*.P81;*.P;*.81)|*.P81;*.P;*.81|"
                            "BASIC text (*.BAS;*.TXT)|*.BAS;*.TXT",
                            s.dir.text(), format, ""));
        EXPECT_TRUE(r.kind == FileDialogRequest::Kind::Open && r.fileMustExist && r.pathMustExist);
        const Bytes reply = Concat(name, image);
        EXPECT_EQ(s.rig.display.last,
                  SentDetails("Game.V2.p81", chosenDir, image, reply.size(), nameHex));
        EXPECT_EQ(s.rig.options.TransferDirectory, chosenDir);
        EXPECT_EQ(s.moves, std::vector<std::string>{chosenDir});
        s.ExpectSent(reply);
    }
}

// The file picked after code 2 is read under exactly its own name, though another file's name
// differs from it only in letter case.
TEST(Zx81LoadDialog, PickedFileIsReadNotItsNamesake) {
    Session s;
    const Bytes upper = Zx81Image(5), lower = Zx81Image(9);
    s.Put("GAME.P", upper);
    s.Put("game.p", lower);
    s.rig.dialogs.answers.push_back(s.dir.text() + "game.p");
    s.rig.peer.send({2});
    s.rig.run();
    EXPECT_EQ(s.rig.display.last.filename, "game.p");
    s.ExpectSent(Concat(kGame, lower));
}

// A file picked in a folder whose name the settings file could not keep is sent, but the transfer
// directory stays where it was, and the user is told why.
TEST(Zx81LoadDialog, PickedFileInAFolderThatCannotBeKept) {
    Session s;
    const Bytes image = Zx81Image(4);
    s.Put("two\nlines/GAME.P", image);
    s.rig.dialogs.answers.push_back(s.dir.text() + "two\nlines/GAME.P");
    s.rig.peer.send({2});
    s.rig.run();
    EXPECT_EQ(s.rig.options.TransferDirectory, s.dir.text());
    EXPECT_EQ(s.moves, std::vector<std::string>{});
    s.ExpectSent(Concat(kGame, image),
                 {{kUnkeepableDirectoryText, "Brindle", MessageIcon::Exclamation, {}}});
}

// A cancelled or unusable choice sends nothing, says nothing and leaves the transfer directory;
// no byte of the request (the name holds the request codes 32 and 10) starts a new request.
TEST(Zx81LoadDialog, CancelledOrUnusableChoiceSendsNothing) {
    const std::vector<std::pair<Bytes, std::optional<std::string>>> cases{
        // request, the dialog's answer
        {{10, 0x20, 0x0A, 0xA6}, std::nullopt},
        {{2, 0x20, 0x0A, 0x1B}, std::nullopt},
        {{2, 0x20, 0x0A, 0x1B}, "/tmp/NODOT"},
    };
    for (const auto& [request, answer] : cases) {
        Session s;
        s.rig.dialogs.answers.push_back(answer);
        s.rig.peer.arrive(request);
        s.rig.run();
        EXPECT_EQ(s.rig.dialogs.requests.size(), 1u);
        EXPECT_EQ(s.handlers.calls.size(), 1u);
        EXPECT_EQ(s.rig.options.TransferDirectory, s.dir.text());
        EXPECT_EQ(s.moves, std::vector<std::string>{});
        s.ExpectSent({});
    }
}

TEST_F(Zx81LoadTest, OnePollEvenWhenTheNameCameWithTheCodeAndWhatItBringsIsDropped) {
    const Bytes image = Zx81Image(10);
    Put("GAME.P81", Concat(kGame, image));
    rig.peer.arrive(Concat({10}, kGame));
    rig.peer.sendAt(rig.clock.nowNs() + 15 * kMs, {32, 2, 0x80});
    rig.run();
    EXPECT_EQ(handlers.entryBuffers, std::vector<Bytes>{kGame});
    EXPECT_EQ(handlers.polls, std::vector<int>{1});
    ExpectSent(Concat(kGame, image));
}

TEST_F(Zx81LoadTest, NameWithoutAnEndKeepsPollingUntilReset) {
    rig.peer.send({10, 0x2C, 0x26});
    rig.peer.sendAt(500 * kMs, {0x32, 0x2A});
    ResetAt(2000 * kMs);
    rig.run();
    EXPECT_EQ(busyAtReset, 1);
    EXPECT_GT(handlers.polls.at(0), 150);
    EXPECT_TRUE(rig.dialogs.requests.empty());
    ExpectSent({});
}

TEST_F(Zx81LoadTest, UnpluggedAdapterEndsTheSend) {
    Put("GAME.P81", Concat(kGame, Zx81Image(300)));
    AfterWrites(3, [this] { rig.peer.unplug(); });
    Load(kGame);
    EXPECT_EQ(rig.peer.written(), Prefix(kGame, 3));
    // The rest of the reply is not tried byte by byte, 10 ms apiece.
    EXPECT_LT(rig.clock.nowMs(), 100.0);
    EXPECT_EQ(rig.link.state.LinkBusy, 0);
}

// In normal mode a name is a file of the transfer directory or below it: one that climbs out is
// refused as a name the file system refuses, before any file is looked for.
TEST(Zx81LoadPaths, NormalModeNamesStayInTheTransferDirectory) {
    const Bytes image = Zx81Image(3);
    const std::vector<std::pair<std::string, bool>> cases{
        {"../SECRET", false}, {"A/../../SECRET", false}, {"..", true},
        {"A/B", true},        {"A/../SECRET", true},     {"/SECRET", true}};
    for (const auto& [text, sent] : cases) {
        SCOPED_TRACE(text);
        Session s;
        s.rig.options.TransferDirectory = s.dir.text() + "ZX/";
        s.Put("SECRET.P81", Concat({0xB8}, image));
        s.Put("ZX/SECRET.P81", Concat({0xB8}, image));
        s.Put("ZX/A/B.P81", Concat({0xA7}, image));
        s.Put("ZX/...P81", Concat({0xA7}, image));  // ".." is an ordinary name here
        s.Load(TextToZX81(text));
        EXPECT_TRUE(s.rig.dialogs.requests.empty());
        if (sent) {
            s.ExpectSent(Concat(TextToZX81(text), image));
        } else {
            s.ExpectSent({}, {kInvalidFile});
        }
    }
}

// Before a message box or dialog opens, the window shows what the request has reached, so the
// user reads it behind the box: the status, and the file asked for once it is known.
TEST(Zx81LoadDialog, WindowShowsTheRequestBehindEveryBoxAndDialog) {
    struct Case {
        const char* what;
        Bytes request;
        std::string file;  // put in the transfer directory under GAME.P81 when not empty
        std::string filename, programInfo;
    };
    const std::string nameLine = "Filename: 2C 26 32 AA \r\n";
    const Case cases[] = {
        {"code 2 opens the dialog", {2}, "", "", ""},
        {"no file: the dialog", Concat({10}, kGame), "", "GAME.P81", nameLine},
        {"a file too short: Invalid File", Concat({10}, kGame), "short", "GAME.P81", nameLine},
        {"a name climbing out: Invalid File", Concat({10}, TextToZX81("../X")), "", "../X.P81",
         "Filename: 1B 1B 18 BD \r\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        Session s;
        if (!c.file.empty()) s.Put("GAME.P81", Concat(kGame, Bytes(50, 0)));
        s.rig.link.display.filepath = "/previous/";
        std::vector<TransferDisplay> behind;
        s.rig.dialogs.onRun = [&](const FileDialogRequest&) {
            behind.push_back(s.rig.display.last);
        };
        s.rig.messages.onShow = [&](const Message&) { behind.push_back(s.rig.display.last); };
        s.rig.dialogs.answers.push_back(std::nullopt);
        s.rig.peer.send(c.request);
        s.rig.run();
        TransferDisplay expected;
        expected.status = "Load Req...";
        expected.filename = c.filename;
        expected.filepath = c.filename.empty() ? "/previous/" : s.dir.text();
        expected.programInfo = c.programInfo;
        EXPECT_EQ(behind, std::vector<TransferDisplay>{expected});
    }
}

// --- PC-file-path mode: directory listings and paths ---

// A transfer directory with two programs and a user's own programs named Directory_Listing.
struct ListingSession : Session {
    ListingSession() {
        rig.options.PcFilePathMode = 1;
        Put("b.p", Zx81Image(1));
        Put("A.P81", Concat({0xA6}, Zx81Image(2)));
        Put("Directory_Listing.P81", kUsersOwn);
        Put("Directory_Listing.P", kUsersOwn);
        before = Listing(dir.path());
        // The hidden listing files as they stand while the listing is sent.
        AfterWrites(1, [this] {
            for (const std::string& name : Listing(dir.path())) {
                if (name.starts_with(".Directory_Listing")) listingFiles.push_back(File(name));
            }
        });
    }
    void ExpectDirectoryAsBefore() {
        EXPECT_EQ(Listing(dir.path()), before);
        EXPECT_EQ(File("Directory_Listing.P81"), kUsersOwn);
        EXPECT_EQ(File("Directory_Listing.P"), kUsersOwn);
    }

    const Bytes kUsersOwn = Concat({0x29, 0x80}, Zx81Image(3));
    std::vector<std::string> before;
    std::vector<Bytes> listingFiles;
};

// The listing is built under a hidden name of its own, sent, and deleted, also after Reset or
// when the program ends at once while sending; the user's own files named Directory_Listing are
// neither replaced, nor sent, nor deleted. An extension in the name does not let an older file
// stand in for the listing just built.
TEST(Zx81LoadListing, SendsTheListingJustBuiltAndDeletesIt) {
    const std::vector<std::tuple<std::string, std::string, std::string>> cases{
        // format, name, what happens after five bytes are sent
        {"P81", "./", ""},
        {"P", "./", ""},
        {"P81", "./.P", ""},
        {"P81", "./", "Reset"},
        {"P81", "./", "quick exit"}};
    for (const auto& [format, text, during] : cases) {
        SCOPED_TRACE(format + " " + text + " " + during);
        ListingSession s;
        s.rig.options.Zx81Format = format;
        s.AfterWrites(5, [&s, during] {
            if (during == "Reset") s.rig.link.Abort();
            if (during != "quick exit") return;
            RemoveAbandonedStagingFiles();
            s.ExpectDirectoryAsBefore();
        });
        s.Load(TextToZX81(text));
        // The user's files are not listed: the ZX81 cannot show the underscore.
        const Bytes listing =
            MakeListingProgram(s.dir.text() + "./", {"A.P81", "b.p"}, std::nullopt, format).bytes;
        EXPECT_EQ(s.listingFiles, std::vector<Bytes>{listing});
        // The name field that a ".P81" file starts with is not sent.
        const std::size_t skipped = format == "P81" ? 17 : 0;
        const Bytes reply =
            Concat(TextToZX81(text), Bytes(listing.begin() + skipped, listing.end()));
        s.ExpectSent(during == "Reset" ? Prefix(reply, 5) : reply);
        EXPECT_EQ(s.rig.display.last.filename, "Directory_Listing." + format);
        EXPECT_EQ(s.rig.display.last.filepath, s.dir.text() + "./");
        s.ExpectDirectoryAsBefore();
    }
}

// A listing that cannot be built (the ZX81 cannot show the underscore in the path, or the routine
// alone would not fit its memory) lets no other file stand in: the dialog opens. The user's files
// stay as they were and no listing is left.
TEST(Zx81LoadListing, ListingThatCannotBeBuilt) {
    TempDir routineDir;
    WriteFile(routineDir.path() / "Brindle.bin", Bytes(17000, 0xC9));
    for (const bool routineTooLong : {false, true}) {
        ListingSession s;
        const fs::path listed = routineTooLong ? s.dir.path() : s.dir.path() / "my_zx";
        WriteFile(listed / "Directory_Listing.P81", s.kUsersOwn);
        const std::vector<std::string> before = Listing(listed);
        s.rig.options.TransferDirectory = listed.string() + "/";
        std::optional<TestHandlers> withRoutine;
        if (routineTooLong) withRoutine.emplace(s.rig, std::vector{routineDir.path()});
        s.Load(TextToZX81("./"));
        EXPECT_EQ(s.rig.dialogs.requests.size(), 1u);
        const Message shown = s.rig.messages.shown.at(0);
        EXPECT_EQ(shown.caption, "Brindle") << shown.text;
        s.ExpectSent({}, {shown});
        EXPECT_EQ(Listing(listed), before);
        EXPECT_EQ(FileBytes(listed / "Directory_Listing.P81"), s.kUsersOwn);
    }
}

// In PC-file-path mode a name with an extension is read by that extension ("X.P" as a bare image)
// and then by the formats; with neither there, the dialog opens on the transfer directory. Where
// there are no drive letters, "A:" is an ordinary name.
TEST(Zx81LoadPaths, PathsAndExtensions) {
    // Its fourth byte has bit 7 set: read with a name field, it would not be this image.
    const Bytes bare = Zx81Image(4);
    ASSERT_GE(bare[3], 128);
    const Bytes image = Zx81Image(6);
    const std::vector<std::tuple<std::string, std::string, Bytes, Bytes, std::string>> cases{
        // name, the file there, its bytes, the image sent, the directory shown
        {"./GAMES/X.P", "GAMES/X.P", bare, bare, "./GAMES/"},
        {"./GAMES/X.P", "GAMES/X.P81", Concat({0xBD}, image), image, "./GAMES/"},
        {"A:", "A:.P81", Concat({0xA6}, image), image, ""},
        {"./GAMES/X.P", "", {}, {}, ""},
    };
    for (const auto& [text, file, bytes, sent, shownDir] : cases) {
        if (text == "A:" && fs::path("A:").has_root_name()) continue;  // drive letters
        Session s;
        s.rig.options.PcFilePathMode = 1;
        if (!file.empty()) s.Put(file, bytes);
        s.Load(TextToZX81(text));
        if (file.empty()) {
            EXPECT_EQ(s.rig.dialogs.requests.at(0).initialDirectory, s.dir.text());
            s.ExpectSent({});
            continue;
        }
        EXPECT_EQ(s.rig.display.last.filename, fs::path(file).filename().string());
        EXPECT_EQ(s.rig.display.last.filepath, s.dir.text() + shownDir);
        s.ExpectSent(Concat(TextToZX81(text), sent));
    }
}

}  // namespace
}  // namespace brindle

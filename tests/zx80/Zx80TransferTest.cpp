#include "zx80/Zx80Transfer.h"

#include <gtest/gtest.h>

#include <tuple>

#include "tests/rig/Images.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

namespace fs = std::filesystem;
using namespace rig;

// A file of the given length whose E_LINE says eLine, its bytes all different from their
// neighbours so that a lost or moved byte shows.
Bytes FileWithELine(std::size_t length, int eLine) {
    Bytes bytes(length);
    for (std::size_t i = 0; i < length; ++i) bytes[i] = static_cast<std::uint8_t>(i * 13 + 5);
    bytes[10] = static_cast<std::uint8_t>(eLine & 0xFF);
    bytes[11] = static_cast<std::uint8_t>(eLine >> 8);
    return bytes;
}

// What the panel shows once a transfer of `bytes` has ended.
TransferDisplay Zx80Details(const std::string& filename, const std::string& filepath,
                            const Bytes& bytes, const std::string& fileLength, int progressMax) {
    return Details(kZx80, filename, filepath, DetailLines(kZx80, bytes, 39), bytes, fileLength,
                   progressMax);
}

// One link with the real ZX80 handlers; each dialog is answered with a path under the session's
// own directory, or cancelled.
struct Session : TransferSession {
    Session() : TransferSession({"ChooseZX80", "SendZX80", "ReceiveZX80"}) {
        rig.link.transferDirectoryMoved = [this](const std::string& to) { moves.push_back(to); };
    }

    void Answer(const std::optional<std::string>& relative) {
        rig.dialogs.answers.push_back(relative ? std::optional(dir.text() + *relative)
                                               : std::nullopt);
    }
    // inOneRead lets the whole request reach the port before the dispatcher's first read.
    void Save(const std::optional<std::string>& answer, const Bytes& image,
              bool inOneRead = false) {
        Answer(answer);
        const Bytes request = Concat({160}, image);
        rig.peer.send(request);
        if (inOneRead)
            rig.clock.advanceNs(static_cast<std::int64_t>(request.size() + 1) * SimPeer::kByteNs);
        rig.run();
    }
    void Load(const std::optional<std::string>& answer) {
        Answer(answer);
        rig.peer.send({130});
        rig.run();
    }

    std::vector<std::string> moves;
};

// Both dialogs ask as the user expects, over the panel the request has emptied; a cancel
// transfers nothing and leaves the link idle and the transfer directory where it was. A cancelled
// SAVE still takes the program off the link: its bytes (27 and 32 among them) start nothing.
TEST(Zx80Dialog, AsksOverAnEmptiedPanelAndCancelTransfersNothing) {
    for (const bool sending : {true, false}) {
        Session s;
        s.Put("GAME.O", Zx80Image(10));
        s.rig.options.Zx80Format = "O";
        s.rig.link.display.filename = "OLD.O";
        s.rig.link.display.filepath = "/old/";
        TransferDisplay shown;
        s.rig.dialogs.onRun = [&](const FileDialogRequest&) { shown = s.rig.display.last; };
        if (sending) {
            s.Load(std::nullopt);
        } else {
            s.Save(std::nullopt, Zx80Image(10), true);
        }
        ASSERT_EQ(s.rig.dialogs.requests.size(), 1u);
        const FileDialogRequest& r = s.rig.dialogs.requests[0];
        using Asked = std::tuple<FileDialogRequest::Kind, std::string, std::string, std::string,
                                 std::string, bool, bool>;
        EXPECT_EQ(Asked(r.kind, r.title, r.filter, r.initialDirectory, r.defaultExtension,
                        r.fileMustExist, r.pathMustExist),
                  Asked(sending ? FileDialogRequest::Kind::Open : FileDialogRequest::Kind::Save,
                        sending ? "Send ZX80 Program" : "Receive ZX80 Program",
                        sending ? "ZX80 Programs (*.O)|*.O|BASIC text (*.BAS;*.TXT)|*.BAS;*.TXT"
                                : "ZX80 Programs (*.O)|*.O",
                        s.dir.text(), "O", sending, true));
        TransferDisplay emptied;
        emptied.filepath = "/old/";
        emptied.status = sending ? "Load Req..." : "Receiving...";
        EXPECT_EQ(shown, emptied);

        EXPECT_EQ(s.handlers.calls, std::vector<std::string>{sending ? "SendZX80" : "ReceiveZX80"});
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{"GAME.O"});
        EXPECT_EQ(s.rig.peer.written(), Bytes{});
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        EXPECT_EQ(s.rig.options.TransferDirectory, s.dir.text());
        EXPECT_EQ(s.moves, std::vector<std::string>{});
        s.ExpectIdle();
    }
}

// The chosen path is cut at its last separator and its last dot; the name and extension come
// upper-cased, the directory as the file system spells it. A SAVE stores under the upper-cased
// name, and a name with a dot of its own gets no extension.
TEST(Zx80Dialog, ChosenPathGivesNameDirectoryAndExtension) {
    const Bytes image = Zx80Image(30);
    const std::vector<std::tuple<std::string, std::string, std::string, std::string>> cases{
        // chosen, shown file name, directory under the session's, stored file
        {"ZX80/Game.o", "GAME.O", "ZX80/", "ZX80/GAME.O"},
        {"Mixed Case/my.tape.o", "MY.TAPE", "Mixed Case/", "Mixed Case/MY.TAPE"},
        {"a.b/x.Prog", "X.PROG", "a.b/", "a.b/X.PROG"},
    };
    for (const auto& [chosen, filename, directory, stored] : cases) {
        Session s;
        fs::create_directories(s.dir.path() / directory);
        s.Save(chosen, image);
        EXPECT_EQ(s.File(stored), image) << chosen;
        EXPECT_EQ(Listing(s.dir.path() / directory), std::vector<std::string>{filename});
        EXPECT_EQ(s.rig.display.last, Zx80Details(filename, s.dir.text() + directory, image, "-",
                                                  static_cast<int>(image.size()) + 1));
        EXPECT_EQ(s.rig.options.TransferDirectory, s.dir.text() + directory);
        EXPECT_EQ(s.moves, std::vector<std::string>{s.dir.text() + directory});
        EXPECT_EQ(s.handlers.refreshes, 1);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();

        // The same file sent back: read under the name the user chose.
        s.rig.peer.clearWrites();
        s.Load(directory + filename);
        EXPECT_EQ(s.rig.peer.written(), image) << chosen;
        EXPECT_EQ(s.rig.display.last.filename, filename);
    }
}

// On a file system that tells letter case apart: the chosen file is the one read, and the one
// a SAVE replaces together with the file of the stored name; no other spelling is touched.
TEST(Zx80Dialog, LetterCase) {
    const Bytes image = Zx80Image(20);
    Session s;
    s.Put("game.o", Zx80Image(1));
    s.Put("GAME.o", Zx80Image(2));
    s.Put("GAME.O", Zx80Image(3));
    s.Put("other.o", {3});
    s.Load("game.o");
    EXPECT_EQ(s.rig.peer.written(), Zx80Image(1));
    EXPECT_EQ(s.rig.display.last.filename, "GAME.O");

    s.Save("game.o", image);
    using Files = std::vector<std::tuple<std::string, Bytes>>;
    Files files;
    for (const std::string& name : Listing(s.dir.path())) files.emplace_back(name, s.File(name));
    EXPECT_EQ(files, (Files{{"GAME.O", image}, {"GAME.o", Zx80Image(2)}, {"other.o", {3}}}));
    EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
    s.ExpectIdle();
}

// ---- SAVE ----

// What arrives before the end is known, and what arrives with the last byte, is all stored: the
// end is tested between poll cycles.
TEST(Zx80Save, FirstAndLastReads) {
    const Bytes image = Zx80Image(50);
    const std::vector<std::tuple<std::string, Bytes, std::size_t, int>> cases{
        // what, sent after the code, bytes of it in the first read, poll cycles
        {"exactly the image in one read", image, 0, 1},
        {"extra bytes in the last read", Concat(image, {160, 130, 9}), 0, 1},
        {"the first 12 bytes in the first read", image, 12, -1},
    };
    for (const auto& [what, sent, firstRead, polls] : cases) {
        Session s;
        std::tuple<int, double> extentShown;
        s.rig.pump.when([&] { return !s.rig.link.display.endAddr.empty(); },
                        [&] {
                            extentShown = {s.rig.link.display.progressValue, s.rig.clock.nowMs()};
                        });
        s.Answer("GAME.O");
        if (firstRead == 0) {
            s.rig.peer.arrive(Concat({160}, sent));
        } else {
            s.rig.peer.arrive(Concat({160}, Prefix(sent, firstRead)));
            s.rig.peer.sendAt(
                50 * kMs, Bytes(sent.begin() + static_cast<std::ptrdiff_t>(firstRead), sent.end()));
        }
        s.rig.run();
        EXPECT_EQ(s.File("GAME.O"), sent) << what;
        ASSERT_EQ(s.handlers.entryBuffers.size(), 1u) << what;
        EXPECT_EQ(s.handlers.entryBuffers[0].size(), firstRead == 0 ? sent.size() : firstRead);
        if (polls > 0) {
            EXPECT_EQ(s.handlers.polls[0], polls) << what;
        }
        // The extent shows as soon as the first 12 bytes are stored, before any more arrive.
        EXPECT_EQ(extentShown, std::make_tuple(12, 20.0)) << what;
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();
    }
}

// A peer that stops keeps the handler polling until Reset. An older file of the name, or the
// one the user chose under another spelling, stays as it was; without one, what arrived is kept.
TEST(Zx80Save, PeerStoppingKeepsPollingUntilReset) {
    const Bytes part = Prefix(Zx80Image(100), 60);
    const Bytes older{1, 2, 3};
    const std::vector<std::tuple<std::string, std::string, std::string, Bytes>> cases{
        // chosen, previous file, the one file after Reset and what it holds
        {"GAME.O", "", "GAME.O", part},
        {"GAME.O", "GAME.O", "GAME.O", older},
        {"game.o", "game.o", "game.o", older},
    };
    for (const auto& [chosen, previous, file, held] : cases) {
        Session s;
        if (!previous.empty()) s.Put(previous, older);
        s.ResetAt(2000 * kMs);
        s.Answer(chosen);
        s.rig.peer.send(Concat({160}, part));
        s.rig.run();
        EXPECT_EQ(s.busyAtReset, 2);
        EXPECT_GE(s.handlers.polls.at(0), 190);  // polling all the while
        EXPECT_EQ(Listing(s.dir.path()), std::vector<std::string>{file}) << chosen << previous;
        EXPECT_EQ(s.File(file), held) << chosen << previous;
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{});
        s.ExpectIdle();
    }
}

// A SAVE that cannot be stored says so, keeps an older file, and still takes the rest of the
// image off the link: its bytes (130, 160 and 10 among them) start no requests.
TEST(Zx80Save, FailuresAreInvalidFilename) {
    Bytes image = Zx80Image(2000);
    for (std::size_t i = 40; i < image.size() - 1; i += 3) image[i] = i % 2 ? 130 : 160;
    const std::vector<std::string> cases{"directory removed", "target is a directory", "disk full"};
    for (const std::string& what : cases) {
        Session s;
        if (what == "directory removed") fs::create_directories(s.dir.path() / "GONE");
        fs::create_directories(s.dir.path() / "DIR.O");
        s.Put("GAME.O", {1, 2});
        s.rig.dialogs.onRun = [&](const FileDialogRequest&) {
            if (what == "directory removed") fs::remove(s.dir.path() / "GONE");
        };
        const std::string chosen = what == "directory removed" ? "GONE/GAME.O"
                                   : what == "disk full"       ? "GAME.O"
                                                               : "DIR.O";
        if (what == "disk full") s.rig.files.diskFullAt = 1000;
        s.Save(chosen, image);
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFilename}) << what;
        EXPECT_EQ(Listing(s.dir.path()), (std::vector<std::string>{"DIR.O", "GAME.O"})) << what;
        EXPECT_EQ(s.File("GAME.O"), (Bytes{1, 2})) << what;
        EXPECT_EQ(s.handlers.calls, (std::vector<std::string>{"ReceiveZX80"}));
        s.ExpectIdle();
    }
}

// ---- LOAD ----

// The peer gets the first E_LINE - 16384 bytes, or the whole file when it is shorter; the panel
// shows the file's details.
TEST(Zx80Load, SendsTheProgramPartOfTheFile) {
    const std::vector<std::tuple<std::string, std::size_t, int, std::size_t>> cases{
        // what, file length, E_LINE, bytes sent
        {"longer than the program", 300, 16384 + 200, 200},
        {"shorter than the program", 100, 16384 + 200, 100},
        {"exactly the program", 39, 16384 + 39, 39},
        {"program ends within the details", 60, 16384 + 5, 5},
        {"empty program", 60, 16384, 0},
        {"largest E_LINE", 32767, 32768, 16384},
    };
    for (const auto& [what, length, eLine, sentBytes] : cases) {
        Session s;
        const Bytes file = FileWithELine(length, eLine);
        s.Put("GAME.O", file);
        s.Load("GAME.O");
        EXPECT_EQ(s.rig.peer.written(), Prefix(file, sentBytes)) << what;
        EXPECT_EQ(s.rig.display.last,
                  Zx80Details("GAME.O", s.dir.text(), file, std::to_string(length),
                              static_cast<int>(sentBytes)))
            << what;
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{}) << what;
        s.ExpectIdle();
    }
}

// A file that cannot be used is reported before anything is sent.
TEST(Zx80Load, UnusableFileIsInvalidFileAndNothingIsSent) {
    const std::vector<std::tuple<std::string, Bytes>> cases{
        {"38 bytes", FileWithELine(38, 16384 + 38)},
        {"E_LINE 16383", FileWithELine(100, 16383)},
        {"E_LINE 32769", FileWithELine(100, 32769)},
        {"longer than 32767 bytes", FileWithELine(32768, 16384 + 100)},
        {"vanishes after the dialog", Zx80Image(10)},
    };
    for (const auto& [what, file] : cases) {
        Session s;
        s.Put("GAME.O", file);
        if (what == "vanishes after the dialog")
            s.rig.dialogs.onRun = [&](const FileDialogRequest&) {
                fs::remove(s.dir.path() / "GAME.O");
            };
        s.Load("GAME.O");
        EXPECT_EQ(s.rig.peer.written(), Bytes{}) << what;
        EXPECT_EQ(s.rig.messages.shown, std::vector<Message>{kInvalidFile}) << what;
        EXPECT_EQ(s.handlers.calls, (std::vector<std::string>{"SendZX80"}));
        s.ExpectIdle();
    }
}

// Each byte goes once the one before has left the port, so the bytes follow each other at wire
// speed and the progress bar counts bytes that really went.
TEST(Zx80Load, EachByteAfterThePreviousHasLeft) {
    Session s;
    const Bytes image = Zx80Image(500);
    s.Put("GAME.O", image);
    s.rig.pump.everyPass([&] {
        if (s.rig.link.display.status == "Sending...") {
            EXPECT_EQ(s.rig.link.display.progressValue,
                      static_cast<int>(s.rig.peer.writes().size()));
        }
    });
    s.Load("GAME.O");
    const auto& writes = s.rig.peer.writes();
    ASSERT_EQ(writes.size(), image.size());
    for (std::size_t i = 1; i < writes.size(); ++i)
        ASSERT_EQ(writes[i].atNs - writes[i - 1].atNs, SimPeer::kByteNs) << i;
    // Each byte is drained after it is written, so none is written before the one ahead has left.
    for (std::size_t i = 0; i < writes.size(); ++i) ASSERT_EQ(writes[i].drainsBefore, int(i)) << i;
    s.ExpectIdle();
}

}  // namespace
}  // namespace brindle

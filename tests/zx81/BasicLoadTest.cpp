#include <gtest/gtest.h>

#include "basic/BasicText.h"
#include "tests/rig/Session.h"

namespace brindle {
namespace {

using rig::Bytes;

const Bytes kGame{0x2C, 0x26, 0x32, 0xAA};  // GAME in ZX81 codes, the last with bit 7
const std::string kGood = "10 PRINT \"HI\"\n20 GOTO 10\n";
const std::string kBad = "10 PRINT 1\n20 PRINT \"HI\n";

Bytes AsBytes(const std::string& text) {
    return Bytes(text.begin(), text.end());
}

// A ZX81 LOAD by name finds the text by its NAME.BAS fallback, whatever its letter case; a ZX80
// LOAD is answered with the text picked in the dialog. Text is sent as the program it makes, or
// is Invalid File with where it fails, and nothing is sent.
TEST(BasicLoad, TextIsSentAsItsProgramOrTellsWhereItFails) {
    struct Case {
        Machine machine;
        std::string stored;
        std::string text;
        std::string detail;  // empty: sent
    };
    const Case cases[] = {
        {Machine::Zx81, "game.bas", kGood, ""},
        {Machine::Zx81, "GAME.BAS", kBad, "GAME.BAS:2:10: the string is not closed"},
        {Machine::Zx80, "prog.txt", kGood, ""},
        {Machine::Zx80, "PROG.BAS", kBad, "PROG.BAS:2:10: the string is not closed"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.stored);
        rig::TransferSession s({"SendZX81", "ChooseZX80", "SendZX80"});
        s.Put(c.stored, AsBytes(c.text));
        const bool zx81 = c.machine == Machine::Zx81;
        if (zx81) {
            s.rig.peer.send(rig::Concat({10}, kGame));
        } else {
            s.rig.dialogs.answers.push_back(s.dir.text() + c.stored);
            s.rig.peer.send({130});
        }
        s.rig.run(400'000 * rig::kMs);

        const Bytes image = MakeProgram(c.machine, c.text).image;
        const Bytes sent = zx81 ? rig::Concat(kGame, image) : image;
        EXPECT_EQ(s.rig.peer.written(), c.detail.empty() ? sent : Bytes{});
        std::vector<Message> told;
        if (!c.detail.empty())
            told.push_back({"Invalid File", "Error", MessageIcon::None, c.detail});
        EXPECT_EQ(s.rig.messages.shown, told);
        EXPECT_TRUE(s.rig.dialogs.answers.empty());
        s.ExpectIdle();
    }
}

// The text is the last resort before the dialog: a program file of the name comes first.
TEST(BasicLoad, ProgramFileComesBeforeText) {
    rig::TransferSession s({"SendZX81"});
    const Bytes image = MakeProgram(Machine::Zx81, "10 STOP\n").image;
    s.Put("GAME.P", image);
    s.Put("GAME.BAS", AsBytes(kGood));
    s.rig.peer.send(rig::Concat({10}, kGame));
    s.rig.run(400'000 * rig::kMs);
    EXPECT_EQ(s.rig.peer.written(), rig::Concat(kGame, image));
}

}  // namespace
}  // namespace brindle

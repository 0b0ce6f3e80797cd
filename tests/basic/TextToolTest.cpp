#include "basic/TextTool.h"

#include <gtest/gtest.h>

#include <sstream>

#include "basic/BasicText.h"
#include "platform/FileIo.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

TEST(TextTool, ExitStatusAndMessages) {
    rig::TempDir dir;
    const std::string d = dir.text();
    const std::vector<std::uint8_t> program = MakeProgram(Machine::Zx81, "10 PRINT \"HI\"").image;
    rig::WriteFile(d + "hi.P", program);
    rig::WriteFile(d + "cut.p", {program.begin(), program.begin() + 125});
    const struct {
        std::vector<std::string> args;
        std::string in;
        int status;
        std::string out;
        std::string err;  // the start of what it says
    } cases[] = {
        {{"--help"}, "", 0, "brindle-text lists", ""},
        {{}, "", 2, "", "usage:"},
        {{"-o", d + "x.p"}, "", 2, "", "usage:"},
        {{d + "hi.txt"}, "", 2, "", "brindle-text: " + d + "hi.txt: not a program file"},
        {{d + "hi.P"}, "", 0, "  10 PRINT \"HI\"\n", ""},
        {{d + "cut.p"}, "", 1, "", d + "cut.p: at byte 118: line 10: its length (6) runs past"},
        {{d + "none.o"}, "", 1, "", d + "none.o: No such file"},
        {{d}, "", 2, "", "brindle-text: "},
        {{"-o", d + "bad.p", "-"}, "10 CLS\n20 PRINT x\n", 1, "", "-:2:10: the ZX81 has no"},
        {{"-o", d + "Go.p81", "-"}, "10 CLS\n", 0, "", ""},
        {{d + "Go.p81"}, "", 0, "  10 CLS\n", ""},
    };
    for (const auto& c : cases) {
        std::istringstream in(c.in);
        std::ostringstream out, err;
        EXPECT_EQ(RunTextTool(c.args, in, out, err), c.status) << err.str();
        EXPECT_EQ(out.str().substr(0, c.out.size()), c.out);
        EXPECT_EQ(err.str().substr(0, c.err.size()), c.err);
    }
    EXPECT_FALSE(std::filesystem::exists(d + "bad.p"));  // nothing written from faulty text
    const auto named = rig::FileBytes(d + "Go.p81");
    ASSERT_GE(named.size(), 2u);
    EXPECT_EQ(std::vector<std::uint8_t>(named.begin(), named.begin() + 2),
              (std::vector<std::uint8_t>{0x2C, 0x34 | 0x80}));  // GO, as SAVE "GO" names it
}

}  // namespace
}  // namespace brindle

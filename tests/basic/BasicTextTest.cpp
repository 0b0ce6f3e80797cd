#include "basic/BasicText.h"

#include <gtest/gtest.h>

#include <random>
#include <sstream>

#include "listing/DirectoryListing.h"
#include "platform/FileIo.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

using Bytes = std::vector<std::uint8_t>;
constexpr Machine kZx81 = Machine::Zx81;
constexpr Machine kZx80 = Machine::Zx80;

Bytes Hex(const std::string& text) {
    Bytes out;
    std::istringstream in(text);
    for (std::string word; in >> word;)
        out.push_back(static_cast<std::uint8_t>(std::stoul(word, nullptr, 16)));
    return out;
}

std::size_t Word(const Bytes& image, std::size_t offset) {
    return image[offset] | (image[offset + 1] << 8);
}

struct LineCase {
    Machine machine;
    std::uint16_t number;
    const char* text;
    const char* body;
};

// Lines worked out by hand from the machines' token tables, character sets and LIST.
const LineCase kLines[] = {
    {kZx81, 10, "  10 PRINT \"HELLO\"", "F5 0B 2D 2A 31 31 34 0B"},
    {kZx81, 20, "  20 GOTO 10", "EC 1D 1C 7E 84 20 00 00 00"},
    {kZx81, 30, "  30 LET A=0.5", "F1 26 14 1C 1B 21 7E 7F 7F FF FF FF"},
    {kZx81, 40, "  40 PRINT \"[HI]▘▟\"", "F5 0B AD AE 01 81 0B"},
    {kZx81, 50, "  50 IF A <>1 THEN STOP", "FA 26 DD 1D 7E 81 00 00 00 00 DE E3"},
    {kZx81, 60, "  60 PRINT RND*PI;INKEY$;NOT A", "F5 40 17 42 19 41 19 D7 26"},
    {kZx81, 70, "  70 PRINT \"A\"\"B{**}\"", "F5 0B 26 C0 27 D8 0B"},
    {kZx81, 1, "   1 REM \\76\\76\\C9", "EA 76 76 C9"},
    // A hidden number other than its digits say; letters that would read as TO; a line the
    // keyboard cannot make (number 0); a space at the end.
    {kZx81, 80, "  80 PRINT \\1D\\7E\\84\\20\\00\\00\\00", "F5 1D 7E 84 20 00 00 00"},
    {kZx81, 90, "  90 LET \\39O=1", "F1 39 34 14 1D 7E 81 00 00 00 00"},
    {kZx81, 0, "  \\0 REM █[A B]", "EA 80 A6 80 A7"},
    {kZx81, 99, "  99 PRINT ;\\00", "F5 19 00"},
    {kZx80, 10, "  10 PRINT \"HI;(X)\"", "F4 01 2D 2E D7 DA 3D D9 01"},
    {kZx80, 20, "  20 GO TO 10", "EC 1D 1C"},
    {kZx80, 30, "  30 IF A=1 THEN LET B=PEEK(16384)",
     "FA 26 E3 1D D5 F0 27 E3 35 2A 2A 30 DA 1D 22 1F 24 20 D9"},
    {kZx80, 40, "  40 REM ▌▐[\"]\\10", "FE 02 82 81 10"},
};

TEST(BasicText, LinesListAndReadAsWorkedOut) {
    for (const LineCase& c : kLines) {
        const BasicLine line{c.number, Hex(c.body)};
        EXPECT_EQ(ListLine(c.machine, line), c.text);
        const LineRead read = ReadLine(c.machine, c.text);
        EXPECT_FALSE(read.error) << c.text;
        EXPECT_EQ(read.line, line) << c.text;
    }
}

// The ZX81's own conversion: exact for whole numbers, a little low for fractions, as its
// division never rounds up (1/10, and so a typed .5 is not 0.5, while 1/2 is).
TEST(BasicText, Zx81NumbersAreWhatTheZx81Makes) {
    const std::pair<const char*, const char*> cases[] = {
        {"0", "00 00 00 00 00"},     {"10", "84 20 00 00 00"},         {"16516", "8F 01 08 00 00"},
        {"1E3", "8A 7A 00 00 00"},   {"0.1", "7D 4C CC CC CC"},        {".5", "7F 7F FF FF FF"},
        {"1E-1", "7D 4C CC CC CC"},  {"4294967297", "A1 00 00 00 01"},  // half rounds up
        {"1E-40", "00 00 00 00 00"},
    };
    for (const auto& [digits, bytes] : cases) {
        const auto value = Zx81Number(digits);
        ASSERT_TRUE(value) << digits;
        EXPECT_EQ(Bytes(value->begin(), value->end()), Hex(bytes)) << digits;
    }
    EXPECT_FALSE(Zx81Number("2E38"));
}

// Lines as the keyboard makes them, from words, names, numbers, strings and graphics.
std::string OrdinaryLine(Machine machine, std::mt19937& random) {
    static const std::vector<std::string> zx81 = {
        "PRINT ", "LET A=", "IF X1<>", " THEN ", "GOTO ",    "\"[INVERSE] ▘▞▒🮏\"",
        "SCORE",  "+",      "INT ",    "(RND*",  ")",        ";",
        ",",      "**",     "AT ",     "CHR$ ",  "A$",       "\"A\"\"B\"",
        "PI",     "1E5;",   "0.25)",   "16514,", " AND ",    " OR ",
        "NOT ",   "TAB ",   "USR ",    "VAL ",   "\"£$:?\"", "-7;"};
    static const std::vector<std::string> zx80 = {
        "PRINT ", "LET A=", "IF X1=", " THEN ", "GO TO ", "\"(A;B)*▌▒\"", "SCORE", "+",    "-",
        "PEEK(",  "RND(",   ")",      ";",      ",",      "**",           " AND ", " OR ", "CHR$(",
        "A$",     "NOT ",   "123"};
    const auto& pieces = machine == kZx81 ? zx81 : zx80;
    std::string text = std::to_string(random() % 9999 + 1) + " ";
    for (unsigned n = random() % 8 + 1; n > 0; --n) text += pieces[random() % pieces.size()];
    if (random() % 4 == 0) text += "REM " + pieces[random() % pieces.size()];
    return text.substr(0, text.find_last_not_of(' ') + 1);
}

TEST(BasicText, ListingReadsBackByteForByte) {
    std::mt19937 random(81);
    for (int round = 0; round < 3000; ++round) {
        const Machine machine = round % 2 == 0 ? kZx81 : kZx80;
        // An ordinary line lists without escapes.
        const LineRead typed = ReadLine(machine, OrdinaryLine(machine, random));
        ASSERT_FALSE(typed.error) << typed.error->message;
        const std::string text = ListLine(machine, typed.line);
        EXPECT_EQ(text.find_first_of("\\{"), std::string::npos) << text;
        EXPECT_EQ(ReadLine(machine, text).line, typed.line) << text;
        // Any bytes list so that they read back (but a ZX80 line ends at its first NEWLINE).
        BasicLine line{static_cast<std::uint16_t>(random() % 16384), {}};
        for (unsigned n = random() % 40; n > 0; --n) {
            const auto b = static_cast<std::uint8_t>(random() % 4 == 0 ? random() % 64 : random());
            if (machine == kZx81 || b != 0x76) line.body.push_back(b);
        }
        const LineRead back = ReadLine(machine, ListLine(machine, line));
        EXPECT_FALSE(back.error) << ListLine(machine, line);
        EXPECT_EQ(back.line, line) << ListLine(machine, line);
    }
}

TEST(BasicText, TheListingProgramMakesBackTheSameLines) {
    const std::vector<std::uint8_t> routine = rig::FileBytes(BRINDLE_ROUTINE_PATH);
    ASSERT_FALSE(routine.empty());
    const ListingResult listing = MakeListingProgram("/ZX/", {"GAME.P", "ZORK.P81"}, routine, "P");
    const Listing text = ListProgram(kZx81, listing.bytes);
    ASSERT_FALSE(text.error);
    std::string joined;
    for (const std::string& line : text.lines) joined += line + "\n";
    const MadeProgram made = MakeProgram(kZx81, joined);
    ASSERT_FALSE(made.error);
    EXPECT_EQ(ReadProgramLines(kZx81, made.image).lines,
              ReadProgramLines(kZx81, listing.bytes).lines);
}

TEST(BasicText, MadeProgramsHaveConsistentSystemVariables) {
    // Lines come out sorted; a repeated number replaces the earlier line.
    const MadeProgram zx81 = MakeProgram(kZx81, "20 PRINT 1\r\n\n10 REM X\n20 PRINT 2\n");
    ASSERT_FALSE(zx81.error);
    const ProgramLines lines = ReadProgramLines(kZx81, zx81.image);
    EXPECT_FALSE(lines.error);
    ASSERT_EQ(lines.lines.size(), 2u);
    EXPECT_EQ(lines.lines[1], ReadLine(kZx81, "20 PRINT 2").line);
    const Bytes& p = zx81.image;
    const std::size_t dFile = Word(p, 3);
    EXPECT_EQ(Word(p, 1), 20u);                    // E_PPC: the line typed last
    EXPECT_EQ(dFile, 16509u + (4 + 3) + (4 + 9));  // D_FILE: behind the lines
    EXPECT_EQ(Word(p, 5), dFile + 1);              // DF_CC
    EXPECT_EQ(Word(p, 7), dFile + 25);             // VARS
    EXPECT_EQ(Word(p, 11), 16393 + p.size());      // E_LINE
    EXPECT_EQ(Word(p, 32), dFile);                 // NXTLIN: nothing runs on loading
    EXPECT_EQ(p[25], 2);                           // DF_SZ
    EXPECT_EQ(p[50], 64);                          // CDFLAG: SLOW
    EXPECT_EQ(p[83], 0x76);                        // the end of PRBUFF
    Bytes tail(25, 0x76);                          // the display file, the variables' end
    tail.push_back(0x80);
    EXPECT_EQ(Bytes(p.begin() + static_cast<std::ptrdiff_t>(dFile - 16393), p.end()), tail);

    const MadeProgram zx80 = MakeProgram(kZx80, "10 PRINT 1\n");
    ASSERT_FALSE(zx80.error);
    const Bytes& o = zx80.image;
    EXPECT_EQ(Word(o, 8), 16424u + 5);  // VARS: behind 00 0A F4 1D 76
    EXPECT_EQ(o[Word(o, 8) - 16384], 0x80);
    EXPECT_EQ(Word(o, 10), 16384 + o.size());  // E_LINE
    EXPECT_EQ(Word(o, 4), Word(o, 10));        // P_PTR: the cursor, in the edit line
    EXPECT_EQ(Word(o, 6), 10u);                // E_PPC
    EXPECT_EQ(o[0], 0xFF);                     // ERR_NR: no error
}

Bytes Patched(Bytes image, std::size_t offset, std::initializer_list<std::uint8_t> bytes) {
    std::copy(bytes.begin(), bytes.end(), image.begin() + static_cast<std::ptrdiff_t>(offset));
    return image;
}

TEST(BasicText, DamagedProgramsListWhatIsSoundAndSayWhere) {
    // Lines 10 and 20 from offset 116 (ZX81) or 40 (ZX80).
    const Bytes zx81 =
        MakeProgram(kZx81, "10 CLS\n20 PRINT \"X\"").image;  // 00 0A 02 00 FB 76, 00 14 05 00 ...
    const Bytes zx80 = MakeProgram(kZx80, "10 CLS\n20 PRINT \"X\"").image;  // 00 0A E8 76
    const Bytes cut = Bytes(zx81.begin(), zx81.begin() + 116 + 6 + 9);      // the lines alone
    const struct {
        Machine machine;
        Bytes image;
        std::size_t listed;
        std::size_t offset;
        const char* says;
    } cases[] = {
        {kZx81, Bytes(zx81.begin(), zx81.begin() + 100), 0, 100, "system variables"},
        {kZx81, Patched(zx81, 3, {0x70, 0x40}), 0, 3, "D_FILE (16496) points before"},
        {kZx81, cut, 2, 3, "D_FILE (16524) points past the end"},
        {kZx81, Patched(zx81, 116 + 6 + 2, {0x09, 0}), 1, 124, "line 20: its length (9) runs past"},
        {kZx81, Patched(zx81, 116 + 6 + 2, {0x04, 0}), 1, 124, "(4) does not end at a NEWLINE"},
        {kZx81, Patched(zx81, 116 + 6, {0x40, 0}), 1, 122, "line 16384: a number above 16383"},
        {kZx80, Patched(zx80, 8, {0x2E, 0x40}), 1, 44, "line 20: no NEWLINE"},
    };
    for (const auto& c : cases) {
        const Listing listing = ListProgram(c.machine, c.image);
        EXPECT_EQ(listing.lines.size(), c.listed) << c.says;
        ASSERT_TRUE(listing.error) << c.says;
        EXPECT_EQ(listing.error->offset, c.offset) << c.says;
        EXPECT_NE(listing.error->message.find(c.says), std::string::npos) << listing.error->message;
    }
}

TEST(BasicText, FaultyTextIsRefusedWithItsPlace) {
    const struct {
        Machine machine;
        std::string text;
        std::size_t line;
        std::size_t column;
        const char* says;
    } cases[] = {
        {kZx81, "10 CLS\n20 PRINT \"A", 2, 10, "string is not closed"},
        {kZx81, "0 CLS", 1, 1, "out of range 1 to 9999"},
        {kZx80, "  10000 CLS", 1, 3, "out of range"},
        {kZx81, "PRINT", 1, 1, "must start with its number"},
        {kZx81, "10 PRINT \\q1", 1, 10, "unknown escape \\q"},
        {kZx81, "10 PRINT x", 1, 10, "no character 'x'"},
        {kZx81, "10 PRINT [AB", 1, 10, "[ of inverse characters is not closed"},
        {kZx81, "10 PRINT {FOO}", 1, 10, "no keyword {FOO}"},
        {kZx81, "10 PRINT 1E40", 1, 10, "cannot hold the number 1E40"},
        {kZx80, "10 REM \\76", 1, 8, "cannot hold a NEWLINE"},
        {kZx81, "10 REM " + std::string(16400, 'A'), 0, 0, "more than a 16K ZX81"},
    };
    for (const auto& c : cases) {
        const MadeProgram made = MakeProgram(c.machine, c.text);
        EXPECT_TRUE(made.image.empty());
        ASSERT_TRUE(made.error) << c.says;
        EXPECT_EQ(made.error->line, c.line) << c.says;
        EXPECT_EQ(made.error->column, c.column) << c.says;
        EXPECT_NE(made.error->message.find(c.says), std::string::npos) << made.error->message;
    }
}

}  // namespace
}  // namespace brindle

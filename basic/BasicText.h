#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace brindle {

// BASIC programs of the ZX81 and the ZX80 as text: a program image listed as the machine's LIST
// shows it, and text made back into an image that the machine LOADs. The text holds every byte:
// what LIST cannot show, or what would read back as something else, is written as an escape
// (backslash and two hex digits, a keyword in braces, inverse text in brackets).

enum class Machine { Zx81, Zx80 };

// One BASIC line: its number and the bytes between the line's head and its closing NEWLINE.
struct BasicLine {
    std::uint16_t number = 0;
    std::vector<std::uint8_t> body;

    bool operator==(const BasicLine&) const = default;
};

// Where a program image stops making sense: a byte offset into the image, and what is wrong.
struct ImageError {
    std::size_t offset = 0;
    std::string message;
};

// Where text stops making sense: 1-based line and column (counted in characters); line 0 when
// the fault is the text's as a whole.
struct TextError {
    std::size_t line = 0;
    std::size_t column = 0;
    std::string message;
};

struct ProgramLines {
    std::vector<BasicLine> lines;  // the sound lines, in the order the image holds them
    std::optional<ImageError> error;
};

// The lines of a program image. ZX81: memory from 16393 on (a .P81 without its name field), the
// lines from 16509 up to D_FILE. ZX80: memory from 16384 on, the lines from 16424 up to VARS.
ProgramLines ReadProgramLines(Machine machine, std::span<const std::uint8_t> image);

struct Listing {
    std::vector<std::string> lines;  // UTF-8, one per BASIC line, without line ends
    std::optional<ImageError> error;
};

// The program as text; for a damaged image, the lines before the damage and the error.
Listing ListProgram(Machine machine, std::span<const std::uint8_t> image);

// One line as LIST shows it, with escapes only where a byte would not read back as itself.
std::string ListLine(Machine machine, const BasicLine& line);

struct LineRead {
    BasicLine line;
    std::optional<TextError> error;  // its line is 0: the caller knows which line it read
};

// One line of text as typing it would store it.
LineRead ReadLine(Machine machine, std::string_view text);

struct MadeProgram {
    std::vector<std::uint8_t> image;  // as ReadProgramLines takes it; empty on error
    std::optional<TextError> error;
};

// A complete program, as typing the lines into a fresh machine would leave it: lines sorted by
// number, a repeated number replacing the earlier line, the system variables, display file and
// an empty variables area behind them.
MadeProgram MakeProgram(Machine machine, std::string_view text);

// The five bytes the ZX81 keeps behind a number typed into a line (digits, a point and digits,
// E, a sign and digits): exponent and mantissa of the value as the ZX81's own conversion makes
// it, digit by digit in its own arithmetic. Nothing when the ZX81 cannot hold the value.
std::optional<std::array<std::uint8_t, 5>> Zx81Number(std::string_view digits);

// A ZX81 program name as SAVE stores it in a .P81 file: the codes of the text upper-cased, a
// character the ZX81 lacks as a space, the last code with bit 7 set. Empty for empty text, or
// text that is not UTF-8.
std::vector<std::uint8_t> Zx81Name(std::string_view text);

}  // namespace brindle

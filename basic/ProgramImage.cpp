// Program images: finding the lines of one, and making a complete one from text.
#include <cassert>
#include <map>

#include "basic/BasicText.h"
#include "basic/CharacterSets.h"

namespace brindle {

namespace {

using basic::CharacterSet;
using basic::kNewline;

constexpr std::size_t kZx81Start = 16393;  // the image's first address: VERSN
constexpr std::size_t kZx81SystemVariables = 116;
constexpr std::size_t kZx81DFile = 3;  // offsets of system variables in the image
constexpr std::size_t kZx80Start = 16384;
constexpr std::size_t kZx80SystemVariables = 40;
constexpr std::size_t kZx80Vars = 8;
constexpr std::size_t kDisplayLines = 25;  // a collapsed display file: one NEWLINE a line, and one
constexpr std::uint8_t kVariablesEnd = 0x80;
// A 16K RAM pack ends at 32767; E_LINE and the edit line must lie below.
constexpr std::size_t kRamEnd = 32768;
constexpr std::uint16_t kLastLineNumber = 16383;  // a higher number ends the program

std::size_t Word(std::span<const std::uint8_t> image, std::size_t offset) {
    return image[offset] | (image[offset + 1] << 8);
}

std::string Number(std::size_t value) {
    return std::to_string(value);
}

// The lines from offset first up to the image offset end, which the caller has checked.
ProgramLines LinesOf(Machine machine, std::span<const std::uint8_t> image, std::size_t first,
                     std::size_t end) {
    const bool zx81 = machine == Machine::Zx81;
    ProgramLines result;
    const auto fail = [&](std::size_t offset, std::string message) {
        result.error = ImageError{offset, std::move(message)};
        return result;
    };
    const std::size_t head = zx81 ? 4 : 2;  // number, and on the ZX81 the length
    for (std::size_t at = first; at < end;) {
        if (at + head > end) return fail(at, "a line starts but the program ends inside its head");
        const auto number = static_cast<std::uint16_t>((image[at] << 8) | image[at + 1]);
        const std::string name = "line " + Number(number);
        if (number > kLastLineNumber)
            return fail(at, name + ": a number above 16383 ends the program to the machine");
        std::size_t close = 0;  // the closing NEWLINE
        if (zx81) {
            const std::size_t length = Word(image, at + 2);
            if (length == 0) return fail(at + 2, name + ": its length is 0, without a NEWLINE");
            if (at + head + length > end) {
                return fail(at + 2, name + ": its length (" + Number(length) +
                                        ") runs past the end of the program");
            }
            close = at + head + length - 1;
            if (image[close] != kNewline) {
                return fail(at + 2, name + ": its length (" + Number(length) +
                                        ") does not end at a NEWLINE");
            }
        } else {
            close = at + head;
            while (close < end && image[close] != kNewline) ++close;
            if (close == end) return fail(at, name + ": no NEWLINE before the end of the program");
        }
        result.lines.push_back({number,
                                {image.begin() + static_cast<std::ptrdiff_t>(at + head),
                                 image.begin() + static_cast<std::ptrdiff_t>(close)}});
        at = close + 1;
    }
    return result;
}

void Put16(std::vector<std::uint8_t>& out, std::size_t value) {
    assert(value <= 0xFFFF);
    out.push_back(static_cast<std::uint8_t>(value & 0xFF));
    out.push_back(static_cast<std::uint8_t>(value >> 8));
}

// The system variables of a ZX81 just given its lines: display collapsed, SLOW mode, nothing to
// run on after loading (NXTLIN at the display file).
std::vector<std::uint8_t> Zx81Image(const std::vector<std::uint8_t>& lines, std::uint16_t current) {
    const std::size_t dFile = kZx81Start + kZx81SystemVariables + lines.size();
    const std::size_t vars = dFile + kDisplayLines;
    const std::size_t eLine = vars + 1;
    std::vector<std::uint8_t> out;
    out.reserve(eLine - kZx81Start);
    out.push_back(0);              // VERSN
    Put16(out, current);           // E_PPC: the line typed last
    Put16(out, dFile);             // D_FILE
    Put16(out, dFile + 1);         // DF_CC
    Put16(out, vars);              // VARS
    Put16(out, 0);                 // DEST
    Put16(out, eLine);             // E_LINE
    Put16(out, eLine + 4);         // CH_ADD
    Put16(out, 0);                 // X_PTR
    Put16(out, eLine + 5);         // STKBOT
    Put16(out, eLine + 5);         // STKEND
    out.push_back(0);              // BERG
    Put16(out, 16477);             // MEM: the calculator's memory in MEMBOT
    out.push_back(0);              // spare
    out.push_back(2);              // DF_SZ
    Put16(out, 0);                 // S_TOP
    Put16(out, 0xFFFF);            // LAST_K: no key
    out.push_back(0);              // DEBOUNCE
    out.push_back(55);             // MARGIN
    Put16(out, dFile);             // NXTLIN
    Put16(out, 0);                 // OLDPPC
    out.push_back(0);              // FLAGX
    Put16(out, 0);                 // STRLEN
    Put16(out, 3213);              // T_ADDR
    Put16(out, 0);                 // SEED
    Put16(out, 59104);             // FRAMES
    Put16(out, 0);                 // COORDS
    out.push_back(188);            // PR_CC
    out.push_back(33);             // S_POSN: column
    out.push_back(24);             // and line
    out.push_back(64);             // CDFLAG: SLOW
    out.insert(out.end(), 32, 0);  // PRBUFF
    out.push_back(kNewline);
    out.insert(out.end(), 30, 0);  // MEMBOT
    out.insert(out.end(), 2, 0);   // spare
    assert(out.size() == kZx81SystemVariables);
    out.insert(out.end(), lines.begin(), lines.end());
    out.insert(out.end(), kDisplayLines, kNewline);
    out.push_back(kVariablesEnd);
    return out;
}

// The system variables of a ZX80 just given its lines and about to SAVE them; LOAD rebuilds the
// edit line and the display behind E_LINE.
std::vector<std::uint8_t> Zx80Image(const std::vector<std::uint8_t>& lines, std::uint16_t current) {
    const std::size_t vars = kZx80Start + kZx80SystemVariables + lines.size();
    const std::size_t eLine = vars + 1;
    const std::size_t dFile = eLine + 2;  // behind the edit line: cursor and NEWLINE
    std::vector<std::uint8_t> out;
    out.reserve(eLine - kZx80Start);
    out.push_back(0xFF);    // ERR_NR: no error
    out.push_back(0x88);    // FLAGS: running a command, K mode
    Put16(out, 0xFFFE);     // PPC: a command
    Put16(out, eLine);      // P_PTR: the cursor
    Put16(out, current);    // E_PPC: the line typed last
    Put16(out, vars);       // VARS
    Put16(out, eLine);      // E_LINE
    Put16(out, dFile);      // D_FILE
    Put16(out, dFile + 1);  // DF_EA
    Put16(out, dFile + 1);  // DF_END
    out.push_back(2);       // DF_SZ
    Put16(out, 0);          // S_TOP
    Put16(out, 0);          // X_PTR: no syntax error
    Put16(out, 0);          // OLDPPC
    out.push_back(0);       // FLAGX
    Put16(out, 0);          // T_ADDR
    Put16(out, 0);          // SEED
    Put16(out, 0);          // FRAMES
    Put16(out, 0);          // DEST
    Put16(out, 0);          // RESULT
    out.push_back(33);      // S_POSN: column
    out.push_back(23);      // and line
    Put16(out, 0xFFFF);     // CH_ADD: the keyboard keeps the last key here; none
    assert(out.size() == kZx80SystemVariables);
    out.insert(out.end(), lines.begin(), lines.end());
    out.push_back(kVariablesEnd);
    return out;
}

}  // namespace

ProgramLines ReadProgramLines(Machine machine, std::span<const std::uint8_t> image) {
    const bool zx81 = machine == Machine::Zx81;
    const std::size_t start = zx81 ? kZx81Start : kZx80Start;
    const std::size_t first = zx81 ? kZx81SystemVariables : kZx80SystemVariables;
    const std::size_t field = zx81 ? kZx81DFile : kZx80Vars;
    const char* fieldName = zx81 ? "D_FILE" : "VARS";
    if (image.size() < first) {
        return {{}, ImageError{image.size(), "the program ends inside its system variables"}};
    }
    const std::size_t address = Word(image, field);
    if (address < start + first) {
        return {{},
                ImageError{field, std::string(fieldName) + " (" + Number(address) +
                                      ") points before the first line"}};
    }
    const std::size_t end = address - start;
    ProgramLines result = LinesOf(machine, image, first, std::min(end, image.size()));
    if (!result.error && end >= image.size()) {
        result.error = ImageError{field, std::string(fieldName) + " (" + Number(address) +
                                             ") points past the end of the program"};
    }
    return result;
}

Listing ListProgram(Machine machine, std::span<const std::uint8_t> image) {
    const ProgramLines program = ReadProgramLines(machine, image);
    Listing listing;
    listing.lines.reserve(program.lines.size());
    for (const BasicLine& line : program.lines) listing.lines.push_back(ListLine(machine, line));
    listing.error = program.error;
    return listing;
}

MadeProgram MakeProgram(Machine machine, std::string_view text) {
    if (text.starts_with("\xEF\xBB\xBF")) text.remove_prefix(3);  // a byte order mark
    std::map<std::uint16_t, std::vector<std::uint8_t>> bodies;
    std::uint16_t current = 0;
    std::size_t lineNumber = 0;
    while (!text.empty()) {
        ++lineNumber;
        const std::size_t end = text.find('\n');
        const std::string_view line = text.substr(0, end);
        text.remove_prefix(end == std::string_view::npos ? text.size() : end + 1);
        if (line.find_first_not_of(" \t\r") == std::string_view::npos) continue;
        LineRead read = ReadLine(machine, line);
        if (read.error) {
            read.error->line = lineNumber;
            return {{}, read.error};
        }
        current = read.line.number;
        bodies.insert_or_assign(read.line.number, std::move(read.line.body));
    }
    const bool zx81 = machine == Machine::Zx81;
    std::vector<std::uint8_t> lines;
    for (const auto& [number, body] : bodies) {
        lines.push_back(static_cast<std::uint8_t>(number >> 8));
        lines.push_back(static_cast<std::uint8_t>(number & 0xFF));
        if (zx81) Put16(lines, std::min<std::size_t>(body.size() + 1, 0xFFFF));
        lines.insert(lines.end(), body.begin(), body.end());
        lines.push_back(kNewline);
    }
    const std::size_t eLine =
        zx81 ? kZx81Start + kZx81SystemVariables + lines.size() + kDisplayLines + 1
             : kZx80Start + kZx80SystemVariables + lines.size() + 1;
    if (eLine >= kRamEnd) {
        return {
            {},
            TextError{0, 0,
                      "the program needs " + Number(eLine - (zx81 ? kZx81Start : kZx80Start)) +
                          " bytes, more than a 16K " + (zx81 ? "ZX81" : "ZX80") + " has room for"}};
    }
    return {zx81 ? Zx81Image(lines, current) : Zx80Image(lines, current), std::nullopt};
}

std::vector<std::uint8_t> Zx81Name(std::string_view text) {
    std::vector<std::uint8_t> codes;
    const std::optional<std::u32string> characters = basic::DecodeUtf8(text, nullptr);
    if (!characters) return codes;
    const CharacterSet& set = basic::CharacterSetOf(Machine::Zx81);
    for (char32_t c : *characters) {
        if (c >= U'a' && c <= U'z') c -= U'a' - U'A';
        const std::optional<std::uint8_t> code = set.Code(c);
        codes.push_back(code && *code < 0x40 ? *code : 0);
    }
    if (!codes.empty()) codes.back() |= 0x80;
    return codes;
}

}  // namespace brindle

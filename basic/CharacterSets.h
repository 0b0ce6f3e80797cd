#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "basic/BasicText.h"

namespace brindle::basic {

// The parts of a line in which the same text stands for different bytes (bit flags).
enum Context : std::uint8_t { kCode = 1, kString = 2, kRem = 4 };

constexpr std::uint8_t kNewline = 0x76;
constexpr std::uint8_t kNumberMark = 0x7E;  // ZX81: five bytes of value follow a number

struct Token {
    std::string_view name;    // empty when LIST shows it as "?": no name reads back as it
    bool leading = false;     // LIST puts a space before it unless a space was just put
    bool trailing = false;    // LIST puts a space after it
    std::uint8_t readIn = 0;  // the contexts in which its name, as plain text, stands for it
};

struct Keyword {
    std::string_view name;
    std::uint8_t code = 0;
    std::uint8_t readIn = 0;
};

// A machine's characters and keywords, as its LIST shows them.
struct CharacterSet {
    std::array<std::string_view, 256> glyph{};  // UTF-8 of the codes shown as one character
    std::array<std::optional<Token>, 256> token{};
    std::vector<Keyword> keywords;  // the named tokens, longest name first
    std::array<std::vector<std::uint8_t>, 128> keywordsFrom;  // indices, by first character
    // The contexts in which a character's text reads as a keyword instead (the ZX80's symbols).
    std::array<std::uint8_t, 256> shadowedIn{};
    std::uint8_t quote = 0;
    std::uint8_t rem = 0;
    std::string_view name;
    bool hiddenNumbers = false;  // ZX81: a number in a line carries its value behind a 7E
    bool lengthFields = false;   // ZX81: a line's length is stored, so it may hold a NEWLINE
    std::vector<std::pair<char32_t, std::uint8_t>> codes;  // glyph character to code, sorted

    // The code of a character shown as one, if the machine has it.
    std::optional<std::uint8_t> Code(char32_t c) const;
    // An inverse character that has no block graphic of its own: shown in brackets.
    bool Bracketed(std::uint8_t code) const {
        return code >= 0x80 && code < 0xC0 && glyph[code].empty() && !glyph[code & 0x3F].empty();
    }
    const Keyword* Named(std::u32string_view name) const;
};

const CharacterSet& CharacterSetOf(Machine machine);

// UTF-8 text as characters; nothing, and the 0-based index of the faulty character in bad, when
// the text is not UTF-8.
std::optional<std::u32string> DecodeUtf8(std::string_view text, std::size_t* bad);
std::string EncodeUtf8(char32_t c);

}  // namespace brindle::basic

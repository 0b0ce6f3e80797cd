#include "basic/CharacterSets.h"

#include <algorithm>
#include <cassert>
#include <span>

namespace brindle::basic {

namespace {

// Codes 0 to 63 of the ZX81: space, ten block graphics, then the symbols, digits and letters.
constexpr std::array<std::string_view, 64> kZx81Characters = {
    " ", "▘", "▝", "▀", "▖", "▌", "▞", "▛", "▒", "🮏", "🮎", "\"", "£", "$", ":", "?",
    "(", ")", ">", "<", "=", "+", "-", "*", "/", ";",    ",",    ".",  "0", "1", "2", "3",
    "4", "5", "6", "7", "8", "9", "A", "B", "C", "D",    "E",    "F",  "G", "H", "I", "J",
    "K", "L", "M", "N", "O", "P", "Q", "R", "S", "T",    "U",    "V",  "W", "X", "Y", "Z"};
// The inverse forms of space and the graphics, 128 to 138, are block graphics too.
constexpr std::array<std::string_view, 11> kZx81InverseGraphics = {
    "█", "▟", "▙", "▄", "▜", "▐", "▚", "▗", "🮐", "🮑", "🮒"};
// Tokens 192 to 255, then 64 to 66.
constexpr std::array<std::string_view, 67> kZx81Tokens = {
    "\"\"",   "AT",    "TAB",    "",       "CODE",  "VAL",    "LEN",   "SIN",  "COS",  "TAN",
    "ASN",    "ACS",   "ATN",    "LN",     "EXP",   "INT",    "SQR",   "SGN",  "ABS",  "PEEK",
    "USR",    "STR$",  "CHR$",   "NOT",    "**",    "OR",     "AND",   "<=",   ">=",   "<>",
    "THEN",   "TO",    "STEP",   "LPRINT", "LLIST", "STOP",   "SLOW",  "FAST", "NEW",  "SCROLL",
    "CONT",   "DIM",   "REM",    "FOR",    "GOTO",  "GOSUB",  "INPUT", "LOAD", "LIST", "LET",
    "PAUSE",  "NEXT",  "POKE",   "PRINT",  "PLOT",  "RUN",    "SAVE",  "RAND", "IF",   "CLS",
    "UNPLOT", "CLEAR", "RETURN", "COPY",   "RND",   "INKEY$", "PI"};

// Codes 0 to 63 of the ZX80: its own order, the quote at 1 and ten graphics after it.
constexpr std::array<std::string_view, 64> kZx80Characters = {
    " ", "\"", "▌", "▄", "▘", "▝", "▖", "▗", "▞", "▒", "🮏", "🮎", "£", "$", ":", "?",
    "(", ")",  "-", "+", "*", "/", "=", ">", "<", ";", ",",    ".",    "0", "1", "2", "3",
    "4", "5",  "6", "7", "8", "9", "A", "B", "C", "D", "E",    "F",    "G", "H", "I", "J",
    "K", "L",  "M", "N", "O", "P", "Q", "R", "S", "T", "U",    "V",    "W", "X", "Y", "Z"};
// The inverse forms of space and the graphics: 128, then 130 to 139.
constexpr std::array<std::string_view, 12> kZx80InverseGraphics = {
    "█", "", "▐", "▀", "▟", "▙", "▜", "▛", "▚", "🮐", "🮑", "🮒"};
// Tokens 212 to 255. The keyboard gives the symbols as tokens, in strings too.
constexpr std::array<std::string_view, 44> kZx80Tokens = {
    "\"",        "THEN",     "TO",  ";",      ",",    ")",     "(",     "NOT",  "-",
    "+",         "*",        "/",   "AND",    "OR",   "**",    "=",     ">",    "<",
    "LIST",      "RETURN",   "CLS", "DIM",    "SAVE", "FOR",   "GO TO", "POKE", "INPUT",
    "RANDOMISE", "LET",      "",    "",       "NEXT", "PRINT", "",      "NEW",  "RUN",
    "STOP",      "CONTINUE", "IF",  "GO SUB", "LOAD", "CLEAR", "REM",   ""};

bool Alphanumeric(char c) {
    return (c >= '0' && c <= '9') || (c >= 'A' && c <= 'Z');
}

void AddCharacters(CharacterSet& set, const std::array<std::string_view, 64>& characters,
                   std::span<const std::string_view> inverseGraphics) {
    for (std::size_t i = 0; i < characters.size(); ++i) set.glyph[i] = characters[i];
    for (std::size_t i = 0; i < inverseGraphics.size(); ++i)
        set.glyph[0x80 + i] = inverseGraphics[i];
    for (std::size_t code = 0; code < set.glyph.size(); ++code) {
        if (set.glyph[code].empty()) continue;
        const std::optional<std::u32string> c = DecodeUtf8(set.glyph[code], nullptr);
        assert(c && c->size() == 1);
        set.codes.emplace_back((*c)[0], static_cast<std::uint8_t>(code));
    }
    std::sort(set.codes.begin(), set.codes.end());
}

void AddToken(CharacterSet& set, std::size_t code, std::string_view name, bool leading,
              bool trailing, std::uint8_t readIn) {
    set.token[code] = Token{name, leading, trailing, readIn};
    if (!name.empty()) set.keywords.push_back({name, static_cast<std::uint8_t>(code), readIn});
}

void IndexKeywords(CharacterSet& set) {
    std::stable_sort(
        set.keywords.begin(), set.keywords.end(),
        [](const Keyword& a, const Keyword& b) { return a.name.size() > b.name.size(); });
    for (std::size_t i = 0; i < set.keywords.size(); ++i) {
        const Keyword& k = set.keywords[i];
        set.keywordsFrom[static_cast<unsigned char>(k.name.front())].push_back(
            static_cast<std::uint8_t>(i));
        if (k.name.size() == 1) {
            if (const std::optional<std::uint8_t> code = set.Code(static_cast<char32_t>(k.name[0])))
                set.shadowedIn[*code] |= k.readIn;
        }
    }
}

CharacterSet MakeZx81() {
    CharacterSet set;
    AddCharacters(set, kZx81Characters, kZx81InverseGraphics);
    // LIST puts a space before the tokens from ** on, and one after any token from 192 on that
    // ends in a letter, a digit or $. RND, INKEY$ and PI stand without spaces.
    for (std::size_t i = 0; i < kZx81Tokens.size(); ++i) {
        const std::size_t code = i < 64 ? 0xC0 + i : 0x40 + (i - 64);
        const std::string_view name = kZx81Tokens[i];
        const bool trailing =
            code >= 0xC0 && !name.empty() && (Alphanumeric(name.back()) || name.back() == '$');
        // "" is the quote inside a string; in the rest of a line two quotes are an empty string.
        AddToken(set, code, name, code >= 0xD8, trailing, code == 0xC0 ? kString : kCode);
    }
    IndexKeywords(set);
    set.name = "ZX81";
    set.quote = 0x0B;
    set.rem = 0xEA;
    set.hiddenNumbers = true;
    set.lengthFields = true;
    return set;
}

CharacterSet MakeZx80() {
    CharacterSet set;
    AddCharacters(set, kZx80Characters, kZx80InverseGraphics);
    // LIST puts a space before a token that starts with a letter and after one that ends in one.
    for (std::size_t i = 0; i < kZx80Tokens.size(); ++i) {
        const std::string_view name = kZx80Tokens[i];
        const bool word = !name.empty() && Alphanumeric(name.front());
        std::uint8_t readIn = word ? kCode : kCode | kString | kRem;
        if (name == "\"") readIn = 0;  // the quote is code 1; this token only in braces
        AddToken(set, 0xD4 + i, name, word, word, readIn);
    }
    IndexKeywords(set);
    set.name = "ZX80";
    set.quote = 0x01;
    set.rem = 0xFE;
    return set;
}

}  // namespace

std::optional<std::uint8_t> CharacterSet::Code(char32_t c) const {
    const auto it =
        std::lower_bound(codes.begin(), codes.end(), std::make_pair(c, std::uint8_t{0}));
    if (it == codes.end() || it->first != c) return std::nullopt;
    return it->second;
}

const Keyword* CharacterSet::Named(std::u32string_view name) const {
    for (const Keyword& k : keywords) {
        if (std::equal(k.name.begin(), k.name.end(), name.begin(), name.end())) return &k;
    }
    return nullptr;
}

const CharacterSet& CharacterSetOf(Machine machine) {
    static const CharacterSet zx81 = MakeZx81();
    static const CharacterSet zx80 = MakeZx80();
    return machine == Machine::Zx81 ? zx81 : zx80;
}

std::optional<std::u32string> DecodeUtf8(std::string_view text, std::size_t* bad) {
    std::u32string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80    ? 1
                              : lead >= 0xF0 ? 4
                              : lead >= 0xE0 ? 3
                              : lead >= 0xC2 ? 2
                                             : 0;
        char32_t c = n == 1 ? lead : n == 2 ? lead & 0x1F : n == 3 ? lead & 0x0F : lead & 0x07;
        bool good = n != 0 && lead < 0xF5 && i + n <= text.size();
        for (std::size_t k = 1; good && k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            good = (next & 0xC0) == 0x80;
            c = (c << 6) | (next & 0x3F);
        }
        // Overlong forms and surrogates are not characters.
        good = good && !(n == 3 && c < 0x800) && !(n == 4 && (c < 0x10000 || c > 0x10FFFF)) &&
               !(c >= 0xD800 && c <= 0xDFFF);
        if (!good) {
            if (bad != nullptr) *bad = out.size();
            return std::nullopt;
        }
        out.push_back(c);
        i += n;
    }
    return out;
}

std::string EncodeUtf8(char32_t c) {
    std::string out;
    if (c < 0x80) {
        out += static_cast<char>(c);
    } else if (c < 0x800) {
        out += static_cast<char>(0xC0 | (c >> 6));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += static_cast<char>(0xE0 | (c >> 12));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (c >> 18));
        out += static_cast<char>(0x80 | ((c >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((c >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (c & 0x3F));
    }
    return out;
}

}  // namespace brindle::basic

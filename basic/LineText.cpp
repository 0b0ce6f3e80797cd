// One BASIC line as text and back. The writer puts each byte as LIST shows it; the reader takes
// text as typing it would store it. Both follow the same state (Flow) byte by byte, and the
// writer checks every line by reading it back, escaping a byte where the reading went astray.
#include <algorithm>
#include <cassert>
#include <cstdio>

#include "basic/BasicText.h"
#include "basic/CharacterSets.h"

namespace brindle {

namespace {

using basic::CharacterSet;
using basic::kCode;
using basic::Keyword;
using basic::kNewline;
using basic::kNumberMark;
using basic::kRem;
using basic::kString;
using basic::Token;

constexpr std::uint8_t kPoint = 0x1B;
constexpr std::uint8_t kFirstDigit = 0x1C;
constexpr std::uint8_t kLastDigit = 0x25;
constexpr std::uint8_t kLetterE = 0x2A;
constexpr std::uint8_t kPlus = 0x15;   // ZX81
constexpr std::uint8_t kMinus = 0x16;  // ZX81
constexpr std::uint8_t kLastLetter = 0x3F;
constexpr std::uint8_t kInverseSpace = 0x80;

// Where a line stands after each byte, as LIST and typing see it.
struct Flow {
    std::uint8_t context = kCode;
    // LIST has just put a space after a keyword (or the line number): none goes before the next.
    bool noLeadingSpace = true;
    // The last byte continues a name or a number, so a digit here starts no new number.
    bool inWord = false;

    // space: b is a space written as one, which leaves LIST's spacing as it was.
    void Take(const CharacterSet& set, std::uint8_t b, bool space) {
        if (context == kCode) {
            if (b == set.quote) context = kString;
            if (b == set.rem) context = kRem;
        } else if (context == kString && b == set.quote) {
            context = kCode;
        }
        if (!space) noLeadingSpace = false;
        inWord = (b >= kPoint && b <= kLastLetter) || (b == 0 && inWord);
    }
};

bool DigitCode(std::uint8_t b) {
    return b >= kFirstDigit && b <= kLastDigit;
}
bool Digit(char32_t c) {
    return c >= U'0' && c <= U'9';
}
bool Letter(char32_t c) {
    return c >= U'A' && c <= U'Z';
}
bool Hex(char32_t c) {
    return Digit(c) || (c >= U'A' && c <= U'F') || (c >= U'a' && c <= U'f');
}
unsigned HexValue(char32_t c) {
    return Digit(c) ? c - U'0' : (c >= U'a' ? c - U'a' : c - U'A') + 10;
}

std::string HexEscape(std::uint8_t b) {
    char text[4];
    std::snprintf(text, sizeof text, "\\%02X", b);
    return text;
}

// The end of the number that starts at from, as the ZX81 reads one: digits, a point and more
// digits, then E, a sign and digits, any of them absent. The same for bytes and for text.
template <typename At, typename IsDigit>
std::size_t NumberEnd(std::size_t from, At at, IsDigit isDigit, char32_t point, char32_t e,
                      char32_t plus, char32_t minus) {
    std::size_t i = from;
    while (isDigit(at(i))) ++i;
    if (at(i) == point) {
        ++i;
        while (isDigit(at(i))) ++i;
    }
    if (at(i) == e) {
        ++i;
        if (at(i) == plus || at(i) == minus) ++i;
        while (isDigit(at(i))) ++i;
    }
    return i;
}

class LineReader {
public:
    LineReader(const CharacterSet& set, std::u32string_view text) : set_(set), text_(text) {}

    LineRead Read() {
        std::size_t i = 0;
        while (At(i) == U' ' || At(i) == U'\t') ++i;
        const std::size_t numberAt = i;
        const bool escaped = At(i) == U'\\';
        if (escaped) ++i;
        if (!Digit(At(i))) return Fail(numberAt, "a line must start with its number");
        unsigned long number = 0;
        for (; Digit(At(i)); ++i) number = std::min(number * 10 + (At(i) - U'0'), 100000UL);
        // A number the machine cannot type (0, or above 9999) is written after a backslash.
        const unsigned long lowest = escaped ? 0 : 1;
        const unsigned long highest = escaped ? 16383 : 9999;
        if (number < lowest || number > highest) {
            return Fail(numberAt, "line number " + std::to_string(number) + " is out of range " +
                                      std::to_string(lowest) + " to " + std::to_string(highest));
        }
        result_.line.number = static_cast<std::uint16_t>(number);
        if (At(i) == U' ') ++i;
        bodyStart_ = pos_ = i;
        while (pos_ < text_.size() && !result_.error) Step();
        if (!result_.error && openQuote_) Fail(*openQuote_, "the string is not closed");
        return std::move(result_);
    }

private:
    char32_t At(std::size_t i) const { return i < text_.size() ? text_[i] : U'\0'; }

    LineRead Fail(std::size_t at, std::string message) {
        result_.error = TextError{0, at + 1, std::move(message)};
        return result_;
    }

    void Take(std::uint8_t b, bool space) {
        const std::uint8_t before = flow_.context;
        flow_.Take(set_, b, space);
        if (before == kString && flow_.context == kCode) openQuote_.reset();
        result_.line.body.push_back(b);
    }

    void Step() {
        const char32_t c = text_[pos_];
        if (c == U'\\') {
            Escape();
            return;
        }
        if (c == U'{') return Braces();
        if (c == U'[') return Inverse();
        if (c == U' ') return Spaces();
        if (flow_.context == kCode && set_.hiddenNumbers && !flow_.inWord &&
            (Digit(c) || (c == U'.' && Digit(At(pos_ + 1)))))
            return Number();
        if (const Keyword* k = KeywordAt(pos_)) return Plain(*k);
        const std::optional<std::uint8_t> code = set_.Code(c);
        if (!code) {
            Fail(pos_, "the " + std::string(set_.name) + " has no character " + Describe(c));
            return;
        }
        const std::uint8_t before = flow_.context;
        Take(*code, false);
        if (before == kCode && flow_.context == kString) openQuote_ = pos_;
        ++pos_;
    }

    static std::string Describe(char32_t c) {
        if (c >= 0x20 && c != 0x7F) return "'" + basic::EncodeUtf8(c) + "'";
        char text[16];
        std::snprintf(text, sizeof text, "U+%04X", static_cast<unsigned>(c));
        return text;
    }

    // A keyword that the text at this point stands for. One made of letters only counts as a
    // whole word: no letter just before or after it.
    const Keyword* KeywordAt(std::size_t at) const {
        const char32_t first = text_[at];
        if (first >= 128) return nullptr;
        for (std::uint8_t index : set_.keywordsFrom[first]) {
            const Keyword& k = set_.keywords[index];
            if ((k.readIn & flow_.context) == 0 || at + k.name.size() > text_.size() ||
                !std::equal(k.name.begin(), k.name.end(), text_.begin() + at))
                continue;
            if (Letter(k.name.front()) && at > bodyStart_ && Letter(text_[at - 1])) continue;
            if (Letter(k.name.back()) && Letter(At(at + k.name.size()))) continue;
            return &k;
        }
        return nullptr;
    }

    void Plain(const Keyword& k) {
        pos_ += k.name.size();
        Take(k.code, false);
        if (set_.token[k.code]->trailing) {
            if (At(pos_) == U' ') ++pos_;
            flow_.noLeadingSpace = true;
        }
    }

    // Spaces are the machine's own, but for one that LIST puts before a keyword.
    void Spaces() {
        std::size_t end = pos_;
        while (At(end) == U' ') ++end;
        std::size_t count = end - pos_;
        if (flow_.context == kCode && !flow_.noLeadingSpace && end < text_.size()) {
            const Keyword* k = KeywordAt(end);
            if (k != nullptr && set_.token[k->code]->leading) --count;
        }
        for (std::size_t i = 0; i < count; ++i) Take(0, true);
        pos_ = end;
    }

    bool Escape() {
        if (!Hex(At(pos_ + 1)) || !Hex(At(pos_ + 2))) {
            Fail(pos_, "unknown escape \\" + basic::EncodeUtf8(At(pos_ + 1)) +
                           ": a backslash takes two hex digits");
            return false;
        }
        const auto b =
            static_cast<std::uint8_t>(HexValue(At(pos_ + 1)) * 16 + HexValue(At(pos_ + 2)));
        if (b == kNewline && !set_.lengthFields) {
            Fail(pos_, "a ZX80 line cannot hold a NEWLINE");
            return false;
        }
        pos_ += 3;
        Take(b, false);
        return true;
    }

    void Braces() {
        const std::size_t close = text_.find(U'}', pos_ + 1);
        if (close == std::u32string_view::npos) {
            Fail(pos_, "the { is not closed");
            return;
        }
        const std::u32string_view name = text_.substr(pos_ + 1, close - pos_ - 1);
        const Keyword* k = set_.Named(name);
        if (k == nullptr) {
            std::string text;
            for (char32_t c : name) text += basic::EncodeUtf8(c);
            Fail(pos_, "the " + std::string(set_.name) + " has no keyword {" + text + "}");
            return;
        }
        pos_ = close + 1;
        Take(k->code, false);
    }

    // Inverse characters: each character's code with bit 7 set; a space is the inverse space.
    void Inverse() {
        const std::size_t open = pos_++;
        for (;;) {
            if (pos_ >= text_.size()) {
                Fail(open, "the [ of inverse characters is not closed");
                return;
            }
            const char32_t c = text_[pos_];
            if (c == U']') {
                ++pos_;
                return;
            }
            if (c == U'\\') {
                if (!Escape()) return;
                continue;
            }
            const std::optional<std::uint8_t> code = set_.Code(c);
            if (!code || *code >= 0x40) {
                Fail(pos_, "the " + std::string(set_.name) + " has no inverse " + Describe(c));
                return;
            }
            Take(*code | 0x80, false);
            ++pos_;
        }
    }

    // A ZX81 number: its characters, then the marker and its value in five bytes.
    void Number() {
        const std::size_t end = NumberEnd(
            pos_, [this](std::size_t i) { return At(i); }, Digit, U'.', U'E', U'+', U'-');
        std::string digits;
        for (std::size_t i = pos_; i < end; ++i) {
            digits += static_cast<char>(text_[i]);
            Take(*set_.Code(text_[i]), false);
        }
        const std::optional<std::array<std::uint8_t, 5>> value = Zx81Number(digits);
        if (!value) {
            Fail(pos_, "the ZX81 cannot hold the number " + digits);
            return;
        }
        result_.line.body.push_back(kNumberMark);
        result_.line.body.insert(result_.line.body.end(), value->begin(), value->end());
        flow_.inWord = true;
        pos_ = end;
    }

    const CharacterSet& set_;
    std::u32string_view text_;
    std::size_t pos_ = 0;
    std::size_t bodyStart_ = 0;
    LineRead result_;
    Flow flow_;
    std::optional<std::size_t> openQuote_;  // where a string opened by a plain quote began
};

std::size_t Characters(std::string_view utf8) {
    return static_cast<std::size_t>(std::count_if(utf8.begin(), utf8.end(), [](char c) {
        return (static_cast<unsigned char>(c) & 0xC0) != 0x80;
    }));
}

struct Written {
    std::string text;
    std::vector<std::size_t> column;  // for each byte of the body, where its text starts (0-based)
};

// Writes a line as LIST shows it; a byte marked in forced is written as an escape.
class LineWriter {
public:
    LineWriter(const CharacterSet& set, const BasicLine& line, const std::vector<bool>& forced)
        : set_(set), body_(line.body), forced_(forced) {
        std::string number = std::to_string(line.number);
        if (line.number < 1 || line.number > 9999) number.insert(0, "\\");
        Put(std::string(number.size() < 4 ? 4 - number.size() : 0, ' ') + number);
        written_.column.assign(body_.size(), 0);
        if (!body_.empty()) Put(" ");
        lastShown_ = body_.size();
        while (lastShown_ > 0 && body_[lastShown_ - 1] == 0) --lastShown_;
    }

    Written Write() {
        for (std::size_t i = 0; i < body_.size();) i = WriteFrom(i);
        return std::move(written_);
    }

private:
    void Put(std::string_view text) {
        written_.text += text;
        column_ += Characters(text);
    }

    void Raw(std::size_t i) {
        written_.column[i] = column_;
        Put(HexEscape(body_[i]));
        Take(body_[i], false);
    }

    void Take(std::uint8_t b, bool space) {
        const bool wasRem = flow_.context == kRem;
        flow_.Take(set_, b, space);
        if (!wasRem && flow_.context == kRem) remInHex_ = MachineCode(i_ + 1);
    }

    // A REM holding bytes that have no form in text is machine code: it is all written in hex.
    bool MachineCode(std::size_t from) const {
        return std::any_of(
            body_.begin() + static_cast<std::ptrdiff_t>(from), body_.end(), [this](std::uint8_t b) {
                const std::optional<Token>& t = set_.token[b];
                return set_.glyph[b].empty() && !set_.Bracketed(b) && !(t && !t->name.empty());
            });
    }

    // Writes the byte at i, or the run of bytes that starts there; the index after it.
    std::size_t WriteFrom(std::size_t i) {
        i_ = i;
        written_.column[i] = column_;
        const std::uint8_t b = body_[i];
        if (remInHex_ && flow_.context == kRem) {
            Raw(i);
            return i + 1;
        }
        if (flow_.context == kCode && set_.hiddenNumbers && !flow_.inWord &&
            (DigitCode(b) || (b == kPoint && i + 1 < body_.size() && DigitCode(body_[i + 1]))))
            return WriteNumber(i);
        const std::optional<Token>& token = set_.token[b];
        if (forced_[i] || (b == 0 && i >= lastShown_) || (token && token->name.empty())) {
            if (token && !token->name.empty()) {
                WriteInBraces(i);
            } else {
                Raw(i);
            }
            return i + 1;
        }
        if (token) {
            if ((token->readIn & flow_.context) == 0) {
                WriteInBraces(i);
            } else {
                WritePlain(i, *token);
            }
            return i + 1;
        }
        if (set_.Bracketed(b)) return WriteInverse(i);
        if (set_.glyph[b].empty() || (set_.shadowedIn[b] & flow_.context) != 0) {
            Raw(i);
            return i + 1;
        }
        Put(set_.glyph[b]);
        Take(b, b == 0);
        return i + 1;
    }

    void WriteInBraces(std::size_t i) {
        Put("{" + std::string(set_.token[body_[i]]->name) + "}");
        Take(body_[i], false);
    }

    void WritePlain(std::size_t i, const Token& token) {
        if (flow_.context == kCode && token.leading && !flow_.noLeadingSpace) Put(" ");
        Put(token.name);
        Take(body_[i], false);
        if (token.trailing) {
            if (i + 1 < body_.size()) Put(" ");
            flow_.noLeadingSpace = true;
        }
    }

    // A ZX81 number: its digits alone when the five bytes behind it hold their value; else the
    // first digit escaped, so that none is added on reading, and the bytes behind it in hex.
    std::size_t WriteNumber(std::size_t i) {
        // Past the end reads as a space, which no number holds.
        const auto at = [this](std::size_t k) -> char32_t {
            return k < body_.size() ? body_[k] : 0;
        };
        const std::size_t end = NumberEnd(
            i, at, [](char32_t b) { return b >= kFirstDigit && b <= kLastDigit; }, kPoint, kLetterE,
            kPlus, kMinus);
        std::string digits;
        for (std::size_t k = i; k < end; ++k) digits += set_.glyph[body_[k]];
        const bool marked = end + 6 <= body_.size() && body_[end] == kNumberMark;
        const std::size_t after = marked ? end + 6 : end;
        const bool anyForced = std::any_of(forced_.begin() + static_cast<std::ptrdiff_t>(i),
                                           forced_.begin() + static_cast<std::ptrdiff_t>(after),
                                           [](bool f) { return f; });
        const std::optional<std::array<std::uint8_t, 5>> value =
            marked && !anyForced ? Zx81Number(digits) : std::nullopt;
        if (value && std::equal(value->begin(), value->end(),
                                body_.begin() + static_cast<std::ptrdiff_t>(end + 1))) {
            for (std::size_t k = i; k < end; ++k) {
                written_.column[k] = column_;
                Put(set_.glyph[body_[k]]);
                Take(body_[k], false);
            }
            for (std::size_t k = end; k < after; ++k) written_.column[k] = column_;
            flow_.inWord = true;
            return after;
        }
        Raw(i);
        for (std::size_t k = i + 1; k < end; ++k) {
            if (forced_[k]) {
                Raw(k);
            } else {
                written_.column[k] = column_;
                Put(set_.glyph[body_[k]]);
                Take(body_[k], false);
            }
        }
        for (std::size_t k = end; k < after; ++k) Raw(k);
        return after;
    }

    // A run of inverse characters in brackets, inverse spaces within it as spaces.
    std::size_t WriteInverse(std::size_t i) {
        std::size_t end = i;
        while (end < body_.size() && !forced_[end] &&
               (set_.Bracketed(body_[end]) || body_[end] == kInverseSpace))
            ++end;
        while (body_[end - 1] == kInverseSpace) --end;
        Put("[");
        for (std::size_t k = i; k < end; ++k) {
            written_.column[k] = column_;
            Put(set_.glyph[body_[k] & 0x3F]);
            Take(body_[k], false);
        }
        Put("]");
        return end;
    }

    const CharacterSet& set_;
    const std::vector<std::uint8_t>& body_;
    const std::vector<bool>& forced_;
    Written written_;
    std::size_t column_ = 0;
    std::size_t lastShown_ = 0;  // trailing spaces from here on are escaped, to survive trimming
    std::size_t i_ = 0;
    Flow flow_;
    bool remInHex_ = false;
};

}  // namespace

LineRead ReadLine(Machine machine, std::string_view text) {
    std::size_t bad = 0;
    std::optional<std::u32string> characters = basic::DecodeUtf8(text, &bad);
    if (!characters) return {{}, TextError{0, bad + 1, "the text is not UTF-8"}};
    while (!characters->empty() && (characters->back() == U' ' || characters->back() == U'\t' ||
                                    characters->back() == U'\r'))
        characters->pop_back();
    return LineReader(basic::CharacterSetOf(machine), *characters).Read();
}

std::string ListLine(Machine machine, const BasicLine& line) {
    const CharacterSet& set = basic::CharacterSetOf(machine);
    const std::size_t n = line.body.size();
    std::vector<bool> forced(n, false);
    // Each round escapes one more byte, where the reading first went astray; with every byte
    // escaped the line reads back exactly, so this ends. A line that goes astray again and again
    // is made of little else: after a few rounds the rest of it is escaped at once.
    constexpr int kRoundsByByte = 16;
    for (int round = 1;; ++round) {
        Written written = LineWriter(set, line, forced).Write();
        const LineRead back = ReadLine(machine, written.text);
        if (!back.error && back.line == line) return std::move(written.text);
        assert(n > 0);
        std::size_t bad = 0;
        if (back.error) {
            const auto it = std::upper_bound(written.column.begin(), written.column.end(),
                                             back.error->column - 1);
            bad = it == written.column.begin()
                      ? 0
                      : static_cast<std::size_t>(it - written.column.begin()) - 1;
        } else {
            const std::vector<std::uint8_t>& got = back.line.body;
            bad = static_cast<std::size_t>(
                std::mismatch(line.body.begin(), line.body.end(), got.begin(), got.end()).first -
                line.body.begin());
        }
        bad = std::min(bad, n - 1);
        while (bad > 0 && forced[bad]) --bad;
        if (forced[bad]) return std::move(written.text);  // cannot happen: everything is escaped
        std::fill(forced.begin() + static_cast<std::ptrdiff_t>(bad),
                  round < kRoundsByByte ? forced.begin() + static_cast<std::ptrdiff_t>(bad) + 1
                                        : forced.end(),
                  true);
    }
}

}  // namespace brindle

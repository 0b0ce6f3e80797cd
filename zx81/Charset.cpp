#include "zx81/Charset.h"

#include <algorithm>
#include <array>

namespace brindle {

namespace {

// The PC character of every code 0 to 63, as UTF-8.
const std::array<const char*, 64>& table() {
    static const std::array<const char*, 64> t = [] {
        std::array<const char*, 64> a{};
        a[0] = " ";
        for (int i = 1; i <= 10; ++i) a[i] = "\xC2\xAC";  // ¬ stands for every graphic
        a[11] = "\"";
        a[12] = "\xC2\xA3";  // £
        static const char* const rest[] = {"$", ":", "?", "(", ")", ">", "<", "=", "+",
                                           "-", "*", "/", ";", ",", ".", "0", "1", "2",
                                           "3", "4", "5", "6", "7", "8", "9"};
        for (int i = 0; i < 25; ++i) a[13 + i] = rest[i];
        static const char* const letters =
            "A\0B\0C\0D\0E\0F\0G\0H\0I\0J\0K\0L\0M\0N\0O\0P\0Q\0R\0S\0"
            "T\0U\0V\0W\0X\0Y\0Z";
        for (int i = 0; i < 26; ++i) a[38 + i] = letters + 2 * i;
        return a;
    }();
    return t;
}

std::uint8_t codeOf(const std::string& character) {
    const auto& t = table();
    for (std::size_t i = 0; i < t.size(); ++i) {
        if (character == t[i]) return static_cast<std::uint8_t>(i);
    }
    return 0;
}

}  // namespace

std::size_t Utf8CharacterLength(const std::string& text, std::size_t i) {
    const auto lead = static_cast<unsigned char>(text[i]);
    const std::size_t n = lead >= 0xF0 ? 4 : lead >= 0xE0 ? 3 : lead >= 0xC0 ? 2 : 1;
    return std::min(n, text.size() - i);
}

std::vector<std::uint8_t> TextToZX81(const std::string& text) {
    std::vector<std::uint8_t> codes;
    for (std::size_t i = 0; i < text.size();) {
        const std::size_t n = Utf8CharacterLength(text, i);
        codes.push_back(codeOf(text.substr(i, n)));
        i += n;
    }
    if (!codes.empty()) codes.back() |= 0x80;
    return codes;
}

std::string ZX81ToText(const std::vector<std::uint8_t>& codes) {
    std::string text;
    for (std::size_t i = 0; i < codes.size(); ++i) {
        unsigned code = codes[i];
        if (i + 1 == codes.size() && code >= 128) code -= 128;
        if (code < 64) text += table()[code];
    }
    return text;
}

std::string UpperAscii(std::string text) {
    for (char& c : text) {
        if (c >= 'a' && c <= 'z') c = static_cast<char>(c - 'a' + 'A');
    }
    return text;
}

}  // namespace brindle

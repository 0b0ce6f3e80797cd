#include "link/Settings.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <optional>
#include <vector>

#include "platform/FileIo.h"

namespace brindle {

namespace {

// Lines end at CR, CR LF or LF.
std::vector<std::string> splitLines(const std::string& text) {
    std::vector<std::string> lines;
    std::string line;
    bool open = false;
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char c = text[i];
        if (c == '\r' || c == '\n') {
            if (c == '\r' && i + 1 < text.size() && text[i + 1] == '\n') ++i;
            lines.push_back(line);
            line.clear();
            open = false;
        } else {
            line += c;
            open = true;
        }
    }
    if (open) lines.push_back(line);
    return lines;
}

// Whether text is well-formed UTF-8: no stray continuation byte, no sequence cut short, no
// overlong form, surrogate or code point past U+10FFFF.
bool IsUtf8(const std::string& text) {
    for (std::size_t i = 0; i < text.size();) {
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t n = lead < 0x80   ? 1
                              : lead < 0xC2 ? 0
                              : lead < 0xE0 ? 2
                              : lead < 0xF0 ? 3
                              : lead < 0xF5 ? 4
                                            : 0;
        if (n == 0 || i + n > text.size()) return false;
        char32_t c = n == 1 ? lead : lead & (0x7F >> n);
        for (std::size_t k = 1; k < n; ++k) {
            const auto next = static_cast<unsigned char>(text[i + k]);
            if ((next & 0xC0) != 0x80) return false;
            c = c << 6 | (next & 0x3F);
        }
        const char32_t least[] = {0, 0, 0x80, 0x800, 0x10000};
        if (c < least[n] || c > 0x10FFFF || (c >= 0xD800 && c <= 0xDFFF)) return false;
        i += n;
    }
    return true;
}

bool isBlank(char c) {
    return c == ' ' || c == '\t';
}

// The leading number of text (blanks skipped): sign, digits, a fraction and an exponent.
// Nothing when the text starts with no number.
std::optional<double> leadingValue(const std::string& text, std::size_t* end = nullptr) {
    std::string number;
    std::size_t i = 0;
    while (i < text.size() && isBlank(text[i])) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) number += text[i++];
    bool digits = false;
    while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
        number += text[i++];
        digits = true;
    }
    if (i < text.size() && text[i] == '.') {
        number += text[i++];
        while (i < text.size() && std::isdigit(static_cast<unsigned char>(text[i]))) {
            number += text[i++];
            digits = true;
        }
    }
    if (!digits) return std::nullopt;
    if (i < text.size() && (text[i] == 'e' || text[i] == 'E')) {
        std::size_t j = i + 1;
        std::string exponent = "e";
        if (j < text.size() && (text[j] == '+' || text[j] == '-')) exponent += text[j++];
        bool expDigits = false;
        while (j < text.size() && std::isdigit(static_cast<unsigned char>(text[j]))) {
            exponent += text[j++];
            expDigits = true;
        }
        if (expDigits) {
            number += exponent;
            i = j;
        }
    }
    if (end != nullptr) *end = i;
    return std::strtod(number.c_str(), nullptr);
}

// The leading number of a line, blanks skipped, rounded to the nearest whole number; 0 when the
// line starts with no number.
int LeadingNumber(const std::string& line) {
    const double value = leadingValue(line).value_or(0.0);
    const double rounded = std::nearbyint(value);
    if (!(rounded > std::numeric_limits<int>::min())) return std::numeric_limits<int>::min();
    if (!(rounded < std::numeric_limits<int>::max())) return std::numeric_limits<int>::max();
    return static_cast<int>(rounded);
}

// False for "False" in any letter case or a number equal to 0; true for anything else.
bool ReadBoolean(const std::string& line) {
    std::string lower;
    for (char c : line) lower += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    std::size_t first = lower.find_first_not_of(" \t");
    std::size_t last = lower.find_last_not_of(" \t");
    const std::string trimmed =
        first == std::string::npos ? "" : lower.substr(first, last - first + 1);
    if (trimmed == "false") return false;
    std::size_t end = 0;
    const auto value = leadingValue(trimmed, &end);
    if (value && end == trimmed.size()) return *value != 0.0;
    return true;
}

}  // namespace

Settings ParseSettings(const std::string& text, const std::string& programDirectory) {
    Settings s;
    s.transfer.TransferDirectory = programDirectory;
    const std::vector<std::string> lines = splitLines(text);
    // A line holding a NUL is no value this program wrote (a path would be cut short at it):
    // it counts as missing.
    auto line = [&](int n) -> const std::string* {
        if (static_cast<int>(lines.size()) < n) return nullptr;
        const std::string& text = lines[n - 1];
        return text.find('\0') == std::string::npos ? &text : nullptr;
    };
    // An empty first line names no directory at all, and one that is not UTF-8 none that the
    // program can use; the program's own one serves instead.
    if (line(1) && !line(1)->empty() && IsUtf8(*line(1))) s.transfer.TransferDirectory = *line(1);
    // The mode is a check box: any number but 0 turns it on.
    if (line(2)) s.transfer.PcFilePathMode = LeadingNumber(*line(2)) != 0 ? 1 : 0;
    if (line(3)) s.OptionsVisible = ReadBoolean(*line(3));
    if (line(4)) s.PrintoutVisible = ReadBoolean(*line(4));
    if (line(5)) s.transfer.Zx81Format = *line(5);
    if (line(6)) s.transfer.Zx80Format = *line(6);
    if (line(7)) s.Port = *line(7);
    if (std::find(kZx81FormatList.begin(), kZx81FormatList.end(), s.transfer.Zx81Format) ==
        kZx81FormatList.end())
        s.transfer.Zx81Format = kZx81FormatList[0];
    if (s.transfer.Zx80Format != "O") s.transfer.Zx80Format = "O";
    return s;
}

std::string FormatSettings(const Settings& s) {
    const char* crlf = "\r\n";
    auto boolean = [](bool b) { return b ? "True" : "False"; };
    std::string text;
    text += s.transfer.TransferDirectory + crlf;
    text += " " + std::to_string(s.transfer.PcFilePathMode) + " " + crlf;
    text += std::string(boolean(s.OptionsVisible)) + crlf;
    text += std::string(boolean(s.PrintoutVisible)) + crlf;
    text += s.transfer.Zx81Format + crlf;
    text += s.transfer.Zx80Format + crlf;
    text += s.Port + crlf;
    return text;
}

bool KeepableDirectory(const std::string& directory) {
    return directory.find_first_of("\r\n") == std::string::npos && IsUtf8(directory);
}

Settings LoadSettings(FileSystem& files, const std::filesystem::path& file,
                      const std::string& programDirectory) {
    // A device or a huge file in its place would hang or exhaust the start.
    const auto bytes = files.read(file, kMaxSettingsBytes, nullptr);
    if (!bytes) return ParseSettings({}, programDirectory);
    return ParseSettings(std::string(bytes->begin(), bytes->end()), programDirectory);
}

void SaveSettings(FileSystem& files, const std::filesystem::path& file, const Settings& settings) {
    const std::string text = FormatSettings(settings);
    ReplaceFile(files, file, std::vector<std::uint8_t>(text.begin(), text.end()));
}

}  // namespace brindle

#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace brindle {

// ZX81 character codes <-> PC text. PC text is UTF-8; "£" and "¬" are the only characters of the
// table outside ASCII. A ZX81 name marks its last byte with bit 7.

// One code per character; characters outside the table become a space (code 0); the last code
// gets bit 7. Empty text gives no bytes.
std::vector<std::uint8_t> TextToZX81(const std::string& text);

// At most one character per byte; bit 7 is stripped from the last byte only; codes without a
// character (64 and up) give nothing.
std::string ZX81ToText(const std::vector<std::uint8_t>& codes);

// The length in bytes of the UTF-8 character that starts at text[i] (i < text.size()); a
// sequence cut short by the end of the text ends there.
std::size_t Utf8CharacterLength(const std::string& text, std::size_t i);

// The text with its ASCII letters in capitals and every other character as it was: names taken
// from the PC file system are upper-cased so that lower-case letters find their ZX81 codes.
std::string UpperAscii(std::string text);

}  // namespace brindle

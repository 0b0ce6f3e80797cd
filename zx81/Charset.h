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

}  // namespace brindle

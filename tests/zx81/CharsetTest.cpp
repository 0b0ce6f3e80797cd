#include "zx81/Charset.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using Codes = std::vector<std::uint8_t>;

// Every character of the table in code order, as PC text: the ten graphics all show as "¬".
const std::string kTableText =
    " \xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC"
    "\"\xC2\xA3$:?()><=+-*/;,.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

TEST(Zx81Charset, WholeTableBothWays) {
    Codes codes;
    for (int code = 0; code < 64; ++code) codes.push_back(static_cast<std::uint8_t>(code));
    codes.back() |= 0x80;
    EXPECT_EQ(ZX81ToText(codes), kTableText);
    // Every graphic goes back as the first one; the last code carries the end marker.
    for (int code = 2; code <= 10; ++code) codes[code] = 1;
    EXPECT_EQ(TextToZX81(kTableText), codes);
}

TEST(Zx81Charset, CharactersOutsideTheTableAndMarkers) {
    EXPECT_EQ(TextToZX81(""), Codes{});
    EXPECT_EQ(TextToZX81(" "), Codes{128});
    // Outside the table means a space; a character of several UTF-8 bytes is one character.
    EXPECT_EQ(TextToZX81("a_A\xE2\x82\xAC"
                         "B"),
              (Codes{0, 0, 38, 0, 167}));
    // Only the last byte's marker is stripped; codes without a character give nothing.
    EXPECT_EQ(ZX81ToText({38, 166, 39}), "AB");
    EXPECT_EQ(ZX81ToText({64, 65, 200}), "");
    EXPECT_EQ(ZX81ToText({}), "");
}

}  // namespace
}  // namespace brindle

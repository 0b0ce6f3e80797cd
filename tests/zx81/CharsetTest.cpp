#include "zx81/Charset.h"

#include <gtest/gtest.h>

namespace brindle {
namespace {

using Codes = std::vector<std::uint8_t>;

// Every character of the table in code order, as PC text.
const std::string kTableText =
    " \xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC"
    "\"\xC2\xA3$:?()><=+-*/;,.0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";

TEST(Zx81Charset, TextToCodesMarksTheLastByte) {
    EXPECT_EQ(TextToZX81("A"), (Codes{166}));
    EXPECT_EQ(TextToZX81("ZX81"), (Codes{63, 61, 36, 157}));
    EXPECT_EQ(TextToZX81(" "), (Codes{128}));
    EXPECT_EQ(TextToZX81("\""), (Codes{139}));
    EXPECT_EQ(TextToZX81("\xC2\xA3"), (Codes{140}));  // £
    EXPECT_EQ(TextToZX81(""), Codes{});
}

TEST(Zx81Charset, CharactersOutsideTheTableBecomeSpaces) {
    EXPECT_EQ(TextToZX81("Error"), (Codes{42, 0, 0, 0, 128}));
    EXPECT_EQ(TextToZX81("a_!\\"), (Codes{0, 0, 0, 128}));
    // A character of several UTF-8 bytes is one character, so one code.
    EXPECT_EQ(TextToZX81("A\xE2\x82\xAC"
                         "B"),
              (Codes{38, 0, 167}));  // A€B
}

TEST(Zx81Charset, GraphicsShareOnePcCharacter) {
    EXPECT_EQ(TextToZX81("\xC2\xAC"), (Codes{129}));
    EXPECT_EQ(ZX81ToText({1, 2, 3, 4, 5, 6, 7, 8, 9, 138}),
              "\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC\xC2\xAC");
}

TEST(Zx81Charset, CodesToTextStripOnlyTheLastMarker) {
    EXPECT_EQ(ZX81ToText({63, 61, 36, 157}), "ZX81");
    EXPECT_EQ(ZX81ToText({128}), " ");
    // An inverse byte in the middle has no character; an unmarked last byte is taken as it is.
    EXPECT_EQ(ZX81ToText({38, 166, 39}), "AB");
    EXPECT_EQ(ZX81ToText({64, 65}), "");
    EXPECT_EQ(ZX81ToText({200}), "");
    EXPECT_EQ(ZX81ToText({}), "");
}

TEST(Zx81Charset, WholeTableRoundTrips) {
    Codes expected;
    for (int code = 0; code < 64; ++code) expected.push_back(static_cast<std::uint8_t>(code));
    expected.back() |= 0x80;
    Codes codes = TextToZX81(kTableText);
    // Every graphic goes back as the first one.
    Codes graphicsAsFirst = expected;
    for (int code = 2; code <= 10; ++code) graphicsAsFirst[code] = 1;
    EXPECT_EQ(codes, graphicsAsFirst);
    EXPECT_EQ(ZX81ToText(expected), kTableText);
    EXPECT_EQ(ZX81ToText(codes), kTableText);
}

}  // namespace
}  // namespace brindle

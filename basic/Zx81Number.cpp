// The value the ZX81 gives a number typed into a line. Its ROM builds it digit by digit with its
// own five-byte arithmetic: the whole part as value * 10 + digit, each further digit as
// digit * (1/10^n) added on, an exponent by repeated * or / 10 (10^7 at a time). Its division
// never rounds where the 34th bit would (1/10 comes out a little low), so a typed .5 is not 0.5;
// the operations below do what the ROM's do, bit for bit, for the positive values used here.
#include <algorithm>
#include <cstdint>
#include <optional>

#include "basic/BasicText.h"

namespace brindle {

namespace {

constexpr std::uint32_t kTop = 0x80000000u;

// A positive number as the calculator holds it: exponent byte (0: zero) and the mantissa with its
// top bit in place.
struct Fp {
    std::uint8_t exponent = 0;
    std::uint32_t mantissa = 0;
};

// Nothing: the ZX81 stops with "number too big".
using Value = std::optional<Fp>;

constexpr Fp kOne{0x81, kTop};
constexpr Fp kTen{0x84, 0xA0000000u};
constexpr Fp kTenMillion{0x98, 0x98968000u};

Fp Small(unsigned n) {  // a digit, exactly
    Fp f;
    if (n == 0) return f;
    f.exponent = 0x80 + 32;
    f.mantissa = n;
    while ((f.mantissa & kTop) == 0) {
        f.mantissa <<= 1;
        --f.exponent;
    }
    return f;
}

// A result below the smallest number: zero, or the smallest number when the top bit is held.
Fp Underflow(bool rescue, std::uint32_t mantissa) {
    return rescue && (mantissa & kTop) != 0 ? Fp{1, kTop} : Fp{};
}

// Normalises a result, shifting in the bits below the mantissa (extra) and rounding by the next
// one; under: the exponent fell below the range.
Value Finish(std::uint8_t exponent, std::uint32_t mantissa, std::uint8_t extra, bool under) {
    if (under) return Underflow(exponent == 0, mantissa);
    for (int shifts = 32; (mantissa & kTop) == 0;) {
        const std::uint8_t bit = extra >> 7;
        extra = static_cast<std::uint8_t>((extra << 1) | bit);
        mantissa = (mantissa << 1) | bit;
        if (--exponent == 0) return Underflow(true, mantissa);
        if (--shifts == 0) return Fp{};
    }
    if ((extra & 0x80) != 0 && ++mantissa == 0) {
        mantissa = kTop;
        if (++exponent == 0) return std::nullopt;
    }
    return Fp{exponent, mantissa};
}

// The exponent of a product or quotient: exponent the low byte of its sum or difference, carry
// and sign the flags that came with it.
Value Scale(std::uint8_t exponent, bool carry, bool sign, std::uint32_t mantissa,
            std::uint8_t extra) {
    exponent ^= 0x80;
    if (sign) {
        if (!carry) return std::nullopt;
        carry = false;
    }
    ++exponent;
    if (exponent == 0 && !carry && (mantissa & kTop) != 0) return std::nullopt;
    return Finish(exponent, mantissa, extra, carry);
}

// Shifts the smaller addend right, rounding by the last bit lost.
std::uint64_t Align(std::uint64_t addend, unsigned shift) {
    if (shift == 0) return addend;
    if (shift > 32) return 0;
    const bool lost = ((addend >> (shift - 1)) & 1) != 0;
    addend >>= shift;
    if (!lost) return addend;
    const auto low = static_cast<std::uint32_t>(addend + 1);
    return low == 0 ? 0 : (addend & ~std::uint64_t{0xFFFFFFFF}) | low;
}

Value Add(Fp first, Fp second) {
    const bool secondHigher = second.exponent >= first.exponent;
    const Fp high = secondHigher ? second : first;
    const Fp low = secondHigher ? first : second;
    std::uint8_t exponent = high.exponent;
    const std::uint64_t sum =
        std::uint64_t{high.mantissa} + Align(low.mantissa, high.exponent - low.exponent);
    std::uint32_t mantissa = static_cast<std::uint32_t>(sum);
    if (sum >> 32 != 0) {
        mantissa = static_cast<std::uint32_t>(Align(sum, 1));
        if (++exponent == 0) return std::nullopt;
    }
    return Finish(exponent, mantissa, 0, false);
}

// Shift and add, 32 times, the product's lower half passing into the multiplier's place.
Value Multiply(Fp first, Fp second) {
    if (first.exponent == 0) return first;
    if (second.exponent == 0) return Fp{};
    std::uint32_t high = 0;
    std::uint32_t multiplier = first.mantissa;
    bool carry = false;
    const auto rotate = [&] {
        const bool out = (multiplier & 1) != 0;
        multiplier = (multiplier >> 1) | (std::uint32_t{carry} << 31);
        carry = out;
    };
    rotate();
    for (int step = 0; step < 32; ++step) {
        if (carry) {
            const std::uint64_t sum = std::uint64_t{high} + second.mantissa;
            high = static_cast<std::uint32_t>(sum);
            carry = sum >> 32 != 0;
        }
        const bool out = (high & 1) != 0;
        high = (high >> 1) | (std::uint32_t{carry} << 31);
        carry = out;
        rotate();
    }
    const unsigned sum = unsigned{first.exponent} + second.exponent;
    auto exponent = static_cast<std::uint8_t>(sum);
    const bool carryOut = sum > 0xFF && exponent != 0;
    --exponent;
    return Scale(exponent, !carryOut, (exponent & 0x80) != 0, high,
                 static_cast<std::uint8_t>(multiplier >> 24));
}

// Restoring division, 33 bits; the 34th, which would round, is taken without shifting first.
Value Divide(Fp first, Fp second) {
    if (second.exponent == 0) return std::nullopt;
    if (first.exponent == 0) return first;
    std::uint32_t rest = first.mantissa;
    const std::uint32_t divisor = second.mantissa;
    const auto subtract = [&](bool borrow) {
        if (std::uint64_t{rest} < std::uint64_t{divisor} + borrow) return false;
        rest -= divisor + borrow;
        return true;
    };
    std::uint32_t quotient = 0;
    bool bit = subtract(false);
    for (int step = 0; step < 32; ++step) {
        quotient = (quotient << 1) | bit;
        const bool out = (rest & kTop) != 0;
        rest <<= 1;
        if (out) {
            rest -= divisor;
            bit = true;
        } else {
            bit = subtract(false);
        }
    }
    const bool bit34 = subtract(bit);
    const auto extra = static_cast<std::uint8_t>((bit << 7) | (bit34 << 6) | (quotient >> 26));
    const auto exponent = static_cast<std::uint8_t>(first.exponent - second.exponent);
    return Scale(exponent, first.exponent < second.exponent, (exponent & 0x80) != 0, quotient,
                 extra);
}

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::array<std::uint8_t, 5>> Zx81Number(std::string_view text) {
    std::size_t i = 0;
    Value value = Fp{};
    for (; value && i < text.size() && Digit(text[i]); ++i) {
        const Value tenfold = Multiply(*value, kTen);
        value = tenfold ? Add(Small(static_cast<unsigned>(text[i] - '0')), *tenfold) : tenfold;
    }
    if (value && i < text.size() && text[i] == '.') {
        Value unit = kOne;
        for (++i; value && i < text.size() && Digit(text[i]); ++i) {
            unit = Divide(*unit, kTen);
            const Value part = Multiply(Small(static_cast<unsigned>(text[i] - '0')), *unit);
            value = part ? Add(*value, *part) : part;
        }
    }
    if (value && i < text.size() && text[i] == 'E') {
        ++i;
        const bool down = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        // Past ten thousand every number but zero overflows, or comes to zero.
        long count = 0;
        for (; i < text.size() && Digit(text[i]); ++i)
            count = std::min(count * 10 + (text[i] - '0'), 10000L);
        for (; value && count > 0; count -= count >= 7 ? 7 : 1) {
            const Fp factor = count >= 7 ? kTenMillion : kTen;
            value = down ? Divide(*value, factor) : Multiply(*value, factor);
        }
    }
    if (!value) return std::nullopt;
    // The mantissa's top bit is always set; its place holds the sign, plus.
    return std::array<std::uint8_t, 5>{value->exponent,
                                       static_cast<std::uint8_t>((value->mantissa >> 24) & 0x7F),
                                       static_cast<std::uint8_t>(value->mantissa >> 16),
                                       static_cast<std::uint8_t>(value->mantissa >> 8),
                                       static_cast<std::uint8_t>(value->mantissa)};
}

}  // namespace brindle

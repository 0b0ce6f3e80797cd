#include <algorithm>
#include <bit>
#include <cassert>
#include <cstdint>
#include <string>
#include <vector>

#include "basic/BasicText.h"

namespace brindle {

namespace {

// More significant digits than this no one types into a ZX81 line.
constexpr std::size_t kMostDigits = 100;
// A value of 10^39 or more is beyond the ZX81's largest number, one below 10^-39 is zero to it.
constexpr long kLargestPower = 39;

// A non-negative whole number of any size: 32-bit limbs, least significant first, no zero limb
// at the top.
class Whole {
public:
    explicit Whole(std::uint32_t value) {
        if (value != 0) limbs_.push_back(value);
    }
    void MultiplyAdd(std::uint32_t factor, std::uint32_t addend) {
        std::uint64_t carry = addend;
        for (std::uint32_t& limb : limbs_) {
            const std::uint64_t product = std::uint64_t{limb} * factor + carry;
            limb = static_cast<std::uint32_t>(product);
            carry = product >> 32;
        }
        if (carry != 0) limbs_.push_back(static_cast<std::uint32_t>(carry));
    }
    void ShiftLeft(unsigned bits) {
        if (limbs_.empty()) return;
        limbs_.insert(limbs_.begin(), bits / 32, 0);
        const unsigned rest = bits % 32;
        if (rest == 0) return;
        std::uint32_t carry = 0;
        for (std::uint32_t& limb : limbs_) {
            const std::uint32_t next = limb >> (32 - rest);
            limb = (limb << rest) | carry;
            carry = next;
        }
        if (carry != 0) limbs_.push_back(carry);
    }
    // Subtracts other when it is no larger; says whether it did.
    bool SubtractIfNotLess(const Whole& other) {
        if (Compare(other) < 0) return false;
        std::int64_t borrow = 0;
        for (std::size_t i = 0; i < limbs_.size(); ++i) {
            std::int64_t d = std::int64_t{limbs_[i]} - borrow -
                             (i < other.limbs_.size() ? std::int64_t{other.limbs_[i]} : 0);
            borrow = d < 0 ? 1 : 0;
            limbs_[i] = static_cast<std::uint32_t>(d + (borrow << 32));
        }
        while (!limbs_.empty() && limbs_.back() == 0) limbs_.pop_back();
        return true;
    }
    unsigned Bits() const {
        if (limbs_.empty()) return 0;
        unsigned bits = 32 * static_cast<unsigned>(limbs_.size() - 1);
        for (std::uint32_t top = limbs_.back(); top != 0; top >>= 1) ++bits;
        return bits;
    }

private:
    int Compare(const Whole& other) const {
        if (limbs_.size() != other.limbs_.size())
            return limbs_.size() < other.limbs_.size() ? -1 : 1;
        for (std::size_t i = limbs_.size(); i-- > 0;) {
            if (limbs_[i] != other.limbs_[i]) return limbs_[i] < other.limbs_[i] ? -1 : 1;
        }
        return 0;
    }

    std::vector<std::uint32_t> limbs_;
};

bool Digit(char c) {
    return c >= '0' && c <= '9';
}

}  // namespace

std::optional<std::array<std::uint8_t, 5>> Zx81Number(std::string_view text) {
    // The significant digits, and the power of ten their last one stands for.
    std::string digits;
    long power = 0;
    std::size_t i = 0;
    bool point = false;
    for (; i < text.size() && (Digit(text[i]) || (text[i] == '.' && !point)); ++i) {
        if (text[i] == '.') {
            point = true;
        } else {
            if (!digits.empty() || text[i] != '0') digits += text[i];
            if (point) --power;
        }
    }
    if (i < text.size()) {
        assert(text[i] == 'E');
        ++i;
        const bool negative = i < text.size() && text[i] == '-';
        if (i < text.size() && (text[i] == '-' || text[i] == '+')) ++i;
        long exponent = 0;
        for (; i < text.size(); ++i) {
            assert(Digit(text[i]));
            exponent = std::min(exponent * 10 + (text[i] - '0'), 1000000L);
        }
        power += negative ? -exponent : exponent;
    }
    if (digits.empty()) return std::array<std::uint8_t, 5>{};  // zero
    if (digits.size() > kMostDigits) return std::nullopt;
    const long magnitude = static_cast<long>(digits.size()) + power;  // value below 10^magnitude
    if (magnitude > kLargestPower) return std::nullopt;
    if (magnitude < -kLargestPower) return std::array<std::uint8_t, 5>{};

    // value = numerator / denominator, both whole; scaled by 2^shift so that the quotient has 34
    // or 35 bits: 32 for the mantissa, one to round by, one to spare.
    Whole numerator(0);
    for (char d : digits) numerator.MultiplyAdd(10, static_cast<std::uint32_t>(d - '0'));
    Whole denominator(1);
    for (long p = 0; p < power; ++p) numerator.MultiplyAdd(10, 0);
    for (long p = 0; p > power; --p) denominator.MultiplyAdd(10, 0);
    const int shift =
        34 - (static_cast<int>(numerator.Bits()) - static_cast<int>(denominator.Bits()));
    if (shift > 0) numerator.ShiftLeft(static_cast<unsigned>(shift));
    if (shift < 0) denominator.ShiftLeft(static_cast<unsigned>(-shift));
    // Long division, a bit at a time: the remainder doubles where the divisor would halve.
    denominator.ShiftLeft(36);
    std::uint64_t quotient = 0;
    for (int bit = 36; bit >= 0; --bit) {
        quotient <<= 1;
        if (numerator.SubtractIfNotLess(denominator)) quotient |= 1;
        numerator.ShiftLeft(1);
    }
    const int bits = std::bit_width(quotient);
    assert(bits >= 34 && bits <= 36);
    int extra = bits - 32;
    std::uint64_t mantissa = (quotient >> extra) + ((quotient >> (extra - 1)) & 1);  // half up
    if (mantissa >> 32 != 0) {
        mantissa >>= 1;
        ++extra;
    }
    // value = mantissa * 2^(extra - shift) = (mantissa / 2^32) * 2^(exponent - 128)
    const int exponent = 160 + extra - shift;
    if (exponent > 255) return std::nullopt;
    if (exponent < 1) return std::array<std::uint8_t, 5>{};
    // The mantissa's top bit is always set; its place holds the sign, plus.
    return std::array<std::uint8_t, 5>{
        static_cast<std::uint8_t>(exponent), static_cast<std::uint8_t>((mantissa >> 24) & 0x7F),
        static_cast<std::uint8_t>(mantissa >> 16), static_cast<std::uint8_t>(mantissa >> 8),
        static_cast<std::uint8_t>(mantissa)};
}

}  // namespace brindle

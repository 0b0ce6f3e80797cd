#include "printer/Printout.h"

#include <algorithm>
#include <cassert>
#include <cstdlib>

namespace brindle {

namespace {

constexpr std::size_t kFileHeaderBytes = 14;
constexpr std::uint32_t kInfoHeaderBytes = 40;

void put32(std::uint8_t* at, std::uint32_t value) {
    for (int i = 0; i < 4; ++i) at[i] = static_cast<std::uint8_t>(value >> (8 * i));
}

std::uint32_t get32(std::span<const std::uint8_t> bytes, std::size_t at) {
    assert(at + 4 <= bytes.size());
    return bytes[at] | bytes[at + 1] << 8 | bytes[at + 2] << 16 |
           static_cast<std::uint32_t>(bytes[at + 3]) << 24;
}

std::uint32_t get16(std::span<const std::uint8_t> bytes, std::size_t at) {
    assert(at + 2 <= bytes.size());
    return bytes[at] | bytes[at + 1] << 8;
}

}  // namespace

std::array<std::uint8_t, kPrintoutHeaderBytes> PrintoutHeader(std::uint32_t height) {
    std::array<std::uint8_t, kPrintoutHeaderBytes> h{};
    h[0] = 'B';
    h[1] = 'M';
    put32(&h[2], static_cast<std::uint32_t>(kPrintoutHeaderBytes + kPrintoutRowBytes * height));
    put32(&h[10], kPrintoutHeaderBytes);
    put32(&h[14], kInfoHeaderBytes);
    put32(&h[18], kPrinterColumns);
    put32(&h[kPrintoutHeightOffset], height);
    h[26] = 1;  // colour planes
    h[28] = 1;  // bits per pixel
    // Colour 0 white (its fourth byte 255 as well), colour 1 black.
    put32(&h[54], 0xFFFFFFFF);
    return h;
}

std::uint32_t PrintoutHeight(std::span<const std::uint8_t> file) {
    return file.size() >= kPrintoutHeightEnd ? get32(file, kPrintoutHeightOffset) : 0;
}

std::size_t PrintoutRowsKept(std::span<const std::uint8_t> file) {
    const std::size_t present = file.size() > kPrintoutHeaderBytes
                                    ? (file.size() - kPrintoutHeaderBytes) / kPrintoutRowBytes
                                    : 0;
    return std::min<std::size_t>(PrintoutHeight(file), present);
}

std::array<std::uint8_t, kBandBytes> PrintoutBand(PrinterLine line) {
    std::array<std::uint8_t, kBandBytes> band{};
    for (std::size_t r = 0; r < kBandRows; ++r) {
        for (std::size_t c = 0; c < kPrintoutRowBytes; ++c) {
            std::uint8_t byte = 0;
            for (std::size_t j = 0; j < 8; ++j)
                if (line[8 * c + j] >> r & 1) byte |= static_cast<std::uint8_t>(0x80 >> j);
            band[r * kPrintoutRowBytes + c] = byte;
        }
    }
    return band;
}

std::optional<PrintoutPicture> PrintoutPicture::Read(std::vector<std::uint8_t> file) {
    const std::span<const std::uint8_t> bytes(file);
    if (bytes.size() < kFileHeaderBytes + 4 || bytes[0] != 'B' || bytes[1] != 'M')
        return std::nullopt;
    const std::uint64_t infoBytes = get32(bytes, kFileHeaderBytes);
    const std::uint64_t paletteAt = kFileHeaderBytes + infoBytes;
    // The information header in full, and both colours after it.
    if (infoBytes < kInfoHeaderBytes || paletteAt + 8 > bytes.size()) return std::nullopt;
    const auto width = static_cast<std::int32_t>(get32(bytes, 18));
    const auto height = static_cast<std::int32_t>(get32(bytes, 22));
    if (get16(bytes, 26) != 1 || get16(bytes, 28) != 1 || get32(bytes, 30) != 0)
        return std::nullopt;
    if (width <= 0 || width > 65535 || height == 0 || height == INT32_MIN) return std::nullopt;

    PrintoutPicture p;
    p.width_ = width;
    p.height_ = std::abs(height);
    p.bottomUp_ = height > 0;
    p.rowsOffset_ = get32(bytes, 10);
    p.stride_ = (static_cast<std::size_t>(width) + 31) / 32 * 4;
    if (p.rowsOffset_ + static_cast<std::uint64_t>(p.stride_) * p.height_ > bytes.size())
        return std::nullopt;
    for (int bit = 0; bit < 2; ++bit) {
        const std::size_t at = paletteAt + 4 * bit;
        p.colours_[bit] =
            static_cast<std::uint32_t>(bytes[at + 2]) << 16 | bytes[at + 1] << 8 | bytes[at];
    }
    p.file_ = std::move(file);
    return p;
}

const std::uint8_t* PrintoutPicture::row(int y) const {
    assert(y >= 0 && y < height_);
    const std::size_t stored = bottomUp_ ? static_cast<std::size_t>(height_ - 1 - y) : y;
    return file_.data() + rowsOffset_ + stored * stride_;
}

}  // namespace brindle

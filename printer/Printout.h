#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <span>
#include <vector>

namespace brindle {

// The printout file: a 1-bit BMP, 256 dots wide, one band of 8 rows per printer line, rows stored
// bottom first so that a new band goes in front of the old rows and lands at the bottom.

constexpr std::size_t kPrinterColumns = 256;
constexpr std::size_t kBandRows = 8;
constexpr std::size_t kPrintoutRowBytes = kPrinterColumns / 8;
constexpr std::size_t kBandBytes = kBandRows * kPrintoutRowBytes;
constexpr std::size_t kPrintoutHeaderBytes = 62;
// Where the height field stands, and the shortest file that holds it.
constexpr std::size_t kPrintoutHeightOffset = 22;
constexpr std::size_t kPrintoutHeightEnd = kPrintoutHeightOffset + 4;

// One printer line: dot column x is byte x, bit 7 its top dot, a set bit black.
using PrinterLine = std::span<const std::uint8_t, kPrinterColumns>;

// The file's header for a printout of the given height in rows.
std::array<std::uint8_t, kPrintoutHeaderBytes> PrintoutHeader(std::uint32_t height);

// The height an old file records; 0 for a file too short to hold the field.
std::uint32_t PrintoutHeight(std::span<const std::uint8_t> file);

// The rows of an old file that a new band goes in front of: those its height records, as far as
// the file really holds them whole, so that a file cut short gives a picture that is whole again.
std::size_t PrintoutRowsKept(std::span<const std::uint8_t> file);

// The 8 rows of one line as they are stored: the band's bottom row first, bit 7 of a row byte
// its leftmost dot.
std::array<std::uint8_t, kBandBytes> PrintoutBand(PrinterLine line);

// A 1-bit picture read from a BMP file, kept as the file's own bytes (one bit a dot) so that a
// long printout costs no more memory than its file.
class PrintoutPicture {
public:
    // Nothing when the bytes are not an uncompressed 1-bit BMP whose rows are all there.
    static std::optional<PrintoutPicture> Read(std::vector<std::uint8_t> file);

    int width() const { return width_; }
    int height() const { return height_; }
    std::size_t stride() const { return stride_; }
    // Picture row y counted from the top, stride() bytes, bit 7 of a byte its leftmost dot.
    const std::uint8_t* row(int y) const;
    // The colours of 0 bits and 1 bits, as 0xRRGGBB.
    std::uint32_t colour(int bit) const { return colours_[bit]; }
    // What the picture keeps in memory, in bytes.
    std::size_t heldBytes() const { return file_.capacity(); }

private:
    std::vector<std::uint8_t> file_;
    int width_ = 0;
    int height_ = 0;
    bool bottomUp_ = true;
    std::size_t rowsOffset_ = 0;
    std::size_t stride_ = 0;
    std::array<std::uint32_t, 2> colours_{};
};

}  // namespace brindle

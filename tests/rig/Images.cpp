#include "tests/rig/Images.h"

namespace brindle::rig {

namespace {

void put16(std::vector<std::uint8_t>& image, std::size_t offset, unsigned value) {
    image[offset] = static_cast<std::uint8_t>(value & 0xFF);
    image[offset + 1] = static_cast<std::uint8_t>(value >> 8);
}

// Program bytes that vary, so that a byte lost or moved shows up in a comparison.
void fillProgram(std::vector<std::uint8_t>& image, std::size_t from, std::size_t count) {
    for (std::size_t i = 0; i < count; ++i)
        image[from + i] = static_cast<std::uint8_t>((i * 7 + 3) % 251);
}

}  // namespace

std::vector<std::uint8_t> Zx81Image(std::size_t programBytes) {
    constexpr unsigned kStart = 16393;
    constexpr std::size_t kSysVars = 116;
    constexpr std::size_t kDisplay = 25;
    const std::size_t length = kSysVars + programBytes + kDisplay + 1;
    std::vector<std::uint8_t> image(length, 0);
    const unsigned dfile = kStart + kSysVars + static_cast<unsigned>(programBytes);
    const unsigned vars = dfile + kDisplay;
    const unsigned eline = vars + 1;
    image[0] = 0;                 // VERSN
    put16(image, 1, 10);          // E_PPC
    put16(image, 3, dfile);       // D_FILE
    put16(image, 5, dfile + 1);   // DF_CC
    put16(image, 7, vars);        // VARS
    put16(image, 9, 0);           // DEST
    put16(image, 11, eline);      // E_LINE
    put16(image, 13, eline + 4);  // CH_ADD
    put16(image, 15, 0);          // X_PTR
    put16(image, 17, eline + 5);  // STKBOT
    put16(image, 19, eline + 5);  // STKEND
    image[21] = 0;                // BERG
    put16(image, 22, 16477);      // MEM
    image[27] = 2;                // DF_SZ
    for (std::size_t i = 28; i < kSysVars; ++i) image[i] = static_cast<std::uint8_t>(i);
    fillProgram(image, kSysVars, programBytes);
    for (std::size_t i = 0; i < kDisplay; ++i) image[kSysVars + programBytes + i] = 0x76;
    image[length - 1] = 0x80;
    return image;
}

std::vector<std::uint8_t> Zx80Image(std::size_t programBytes) {
    constexpr unsigned kStart = 16384;
    constexpr std::size_t kSysVars = 40;
    const std::size_t length = kSysVars + programBytes + 1;
    std::vector<std::uint8_t> image(length, 0);
    const unsigned vars = kStart + kSysVars + static_cast<unsigned>(programBytes);
    const unsigned eline = vars + 1;
    put16(image, 8, vars);    // VARS
    put16(image, 10, eline);  // E_LINE
    put16(image, 12, eline);  // D_FILE
    for (std::size_t i = 14; i < kSysVars; ++i) image[i] = static_cast<std::uint8_t>(i);
    fillProgram(image, kSysVars, programBytes);
    image[length - 1] = 0x80;
    return image;
}

int StoredELine(const std::vector<std::uint8_t>& image, std::size_t offset) {
    return image[offset] + 256 * image[offset + 1];
}

}  // namespace brindle::rig

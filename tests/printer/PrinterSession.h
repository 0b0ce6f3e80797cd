#pragma once

#include <array>
#include <filesystem>
#include <map>

#include "tests/zx81/Zx81TestHandlers.h"

namespace brindle::rig {

// The printout file's header for a given height, laid out by hand: only the size field (bytes
// 2 to 5) and the height field (bytes 22 to 25) depend on the height.
inline Bytes BmpHeader(std::uint32_t height) {
    Bytes h{0x42, 0x4D, 0,    0,    0, 0, 0,    0,    0,    0,    0x3E, 0, 0, 0, 0x28, 0,
            0,    0,    0x00, 0x01, 0, 0, 0,    0,    0,    0,    1,    0, 1, 0, 0,    0,
            0,    0,    0,    0,    0, 0, 0,    0,    0,    0,    0,    0, 0, 0, 0,    0,
            0,    0,    0,    0,    0, 0, 0xFF, 0xFF, 0xFF, 0xFF, 0,    0, 0, 0};
    const std::uint32_t size = 62 + 32 * height;
    for (int i = 0; i < 4; ++i) {
        h[2 + i] = static_cast<std::uint8_t>(size >> (8 * i));
        h[22 + i] = static_cast<std::uint8_t>(height >> (8 * i));
    }
    return h;
}

// 256 column bytes, zero but for the ones named.
inline Bytes Columns(const std::map<int, std::uint8_t>& set = {}) {
    Bytes line(256, 0);
    for (const auto& [x, value] : set) line[x] = value;
    return line;
}

// A band of 8 stored rows (bottom row first), zero but for the bytes named by their offset.
inline Bytes Band(const std::map<int, std::uint8_t>& set = {}) {
    Bytes band(256, 0);
    for (const auto& [at, value] : set) band[at] = value;
    return band;
}

// A printout of the given bands, the newest first as they are stored.
inline Bytes Printout(const std::vector<Bytes>& newestFirst) {
    Bytes file = BmpHeader(static_cast<std::uint32_t>(8 * newestFirst.size()));
    for (const Bytes& band : newestFirst) file = Concat(file, band);
    return file;
}

// A rig whose transfer directory is a fresh one of its own.
struct PrinterSession {
    PrinterSession() { rig.options.TransferDirectory = dir.text(); }
    std::filesystem::path printout() const { return dir.path() / "PrintOut.bmp"; }

    TempDir dir;
    Rig rig;
};

}  // namespace brindle::rig

#pragma once

#include <cstdio>

#include "tests/rig/Session.h"

namespace brindle::rig {

// An image of the given length whose E_LINE says eLine.
inline Bytes ImageWithELine(std::size_t length, int eLine) {
    Bytes image(length, 0x11);
    image[11] = static_cast<std::uint8_t>(eLine & 0xFF);
    image[12] = static_cast<std::uint8_t>(eLine >> 8);
    return image;
}

// The program details text, written out independently of the code under test: the name line,
// then a line for each of the first `count` image bytes that are system variables.
inline std::string ProgramInfo(const std::string& nameHex, const Bytes& image, std::size_t count) {
    std::string text = "Filename: " + nameHex + "\r\n";
    for (std::size_t i = 0; i < std::min<std::size_t>(count, 116); ++i) {
        char line[32];
        std::snprintf(line, sizeof line, "%d=%02X\r\n", 16393 + static_cast<int>(i), image[i]);
        text += line;
    }
    return text;
}

// The program details a transfer of image leaves shown, written out independently of the code
// under test.
inline TransferDisplay Details(const std::string& filename, const std::string& filepath,
                               const std::string& nameHex, const Bytes& image,
                               const std::string& fileLength, int progressMax) {
    const int eLine = image[11] + 256 * image[12];
    TransferDisplay d;
    d.filename = filename;
    d.filepath = filepath;
    d.fileLength = fileLength;
    d.programLength = std::to_string(eLine - 16393);
    d.startAddr = "16393";
    d.endAddr = std::to_string(eLine - 1);
    d.programInfo = ProgramInfo(nameHex, image, 116);
    d.progressMax = progressMax;
    return d;
}

// The real handlers, but a ZX80 dialog is cancelled at once, so that a stray ZX80 request shows
// as a call and nothing more.
class Zx81TestHandlers : public TestHandlers {
public:
    using TestHandlers::TestHandlers;
    std::string ChooseZX80Program(bool) override {
        calls.push_back("ChooseZX80");
        return {};
    }
};

using Zx81Session = TransferSession<Zx81TestHandlers>;

}  // namespace brindle::rig

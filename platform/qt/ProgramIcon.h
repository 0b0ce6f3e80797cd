#pragma once

#include <QIcon>
#include <QImage>

#include <array>

namespace brindle {

// The program's own icon, drawn for it: a dark cassette deck with the four colour stripes of the
// machine it serves. Every window shows it.
QIcon ProgramIcon();

// The sizes the icon is drawn at, for the windows and for the desktop's icon theme.
constexpr std::array<int, 7> kProgramIconSizes{16, 24, 32, 48, 64, 128, 256};

// The icon drawn at one size, on a transparent ground.
QImage ProgramIconImage(int size);

}  // namespace brindle

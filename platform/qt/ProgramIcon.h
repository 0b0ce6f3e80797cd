#pragma once

#include <QIcon>

namespace brindle {

// The program's own icon, drawn for it: a dark cassette deck with the four colour stripes of the
// machine it serves. Every window shows it.
QIcon ProgramIcon();

}  // namespace brindle

#pragma once

#include <cstdint>
#include <vector>

namespace brindle::rig {

// Realistic memory images of a ZX81 (from 16393) and a ZX80 (from 16384): system variables that
// point consistently at a BASIC program, the display file and the variables, with E_LINE just
// past the variables' end marker, so the image is exactly E_LINE minus the start long.

// A ZX81 image whose BASIC area holds `programBytes` bytes (a valid line structure is not
// needed by the link); the display file is the collapsed 25-byte form.
std::vector<std::uint8_t> Zx81Image(std::size_t programBytes);

// A ZX80 image whose BASIC area holds `programBytes` bytes.
std::vector<std::uint8_t> Zx80Image(std::size_t programBytes);

// E_LINE as stored in an image at the given offset (11 for the ZX81, 10 for the ZX80).
int StoredELine(const std::vector<std::uint8_t>& image, std::size_t offset);

}  // namespace brindle::rig

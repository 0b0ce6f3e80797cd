#pragma once

#include <cstdint>
#include <optional>
#include <vector>

#include "link/Link.h"

namespace brindle {

// The name phase of a SAVE and of a LOAD: polls the peer, at least once, until the name's end
// marker (the first byte with bit 7 set) has come, and returns the name, end marker included;
// the buffer keeps what followed it. Nothing when Reset was pressed first.
std::optional<std::vector<std::uint8_t>> ReceiveZX81Name(Link& link, RequestBuffer& buffer);

// Receives a ZX81 SAVE: the name and memory image that follow request code 32, drawn from the
// peer by DTR pulses, into a program file named after the program. Shows the program details
// while the bytes arrive; Reset stops it. The file takes the place of an older one only when the
// image is complete. Leaves the buffer empty.
void ReceiveZX81Program(Link& link, RequestBuffer& buffer);

}  // namespace brindle

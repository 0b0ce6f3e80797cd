#pragma once

#include "app/Link.h"

namespace brindle {

// Receives a ZX81 SAVE: the name and memory image that follow request code 32, drawn from the
// peer by DTR pulses, into a program file named after the program. Shows the program details
// while the bytes arrive; Reset stops it. The file takes the place of an older one only when the
// image is complete. Leaves the buffer empty.
void ReceiveZX81Program(Link& link, RequestBuffer& buffer);

}  // namespace brindle

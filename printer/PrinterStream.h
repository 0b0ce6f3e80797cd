#pragma once

#include <functional>

#include "link/Link.h"

namespace brindle {

// One printer line after its request code: the fixed 5-byte header and 256 column bytes, polled
// from the peer without letting user-interface events run. The line goes to AddToBitmap; a
// different header drops exactly 5 bytes; silence of more than 1 and at most 2 whole seconds
// gives the line up and empties the buffer. Whatever follows the line stays in the buffer.
void Printing(Link& link, RequestBuffer& buffer, const std::function<void()>& loadPrintout);

}  // namespace brindle

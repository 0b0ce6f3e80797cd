#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "app/Link.h"

namespace brindle {

// Answers a ZX81 LOAD: takes the requested name from the peer (request code 10, givenName
// empty), or sends the file chosen in the dialog (request code 2, givenName its base name and
// givenFormat its extension), finds the program file, falling back to the file dialog, and
// sends the name bytes followed by the program image, one byte every 10 ms. In PC-file-path
// mode a name without a file part gets a listing program of that directory, deleted again once
// sent. Reset stops it. Leaves the buffer empty.
void SendZX81Program(Link& link, RequestBuffer& buffer, const std::string& givenName,
                     const std::string& givenFormat);

// The "Send ZX81 Program" file dialog. On a choice, sets FilePath and FileFormat (upper case)
// to the chosen file's directory and extension, moves the transfer directory there, fills
// nameBytes with the upper-cased base name in ZX81 codes and returns the base name as the file
// system spells it. On cancel or an unusable choice, nameBytes is left empty.
std::string ChooseZX81Program(Link& link, std::vector<std::uint8_t>& nameBytes);

}  // namespace brindle

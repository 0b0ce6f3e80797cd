#pragma once

#include <filesystem>
#include <optional>
#include <string>

#include "link/Link.h"
#include "zx81/ProgramTransfer.h"

namespace brindle {

// ZX80 transfers. A ZX80 names no programs, so the user picks the ".O" file in a dialog for every
// SAVE and LOAD. The file is the bare memory image from 16384 to E_LINE - 1, E_LINE at offsets
// 10 and 11.

// The ZX80 file dialog: "Send ZX80 Program" to pick a file to send, "Receive ZX80 Program" to
// pick where a SAVE goes (an existing file is replaced without a question). On a choice, sets
// FilePath (as the file system spells it) and FileFormat80 (upper case), moves the transfer
// directory there and returns the chosen file, whose base name comes upper-cased. Nothing on
// cancel or a path without a dot after its last separator.
std::optional<ChosenFile> ChooseZX80Program(Link& link, bool sending);

// Receives a ZX80 SAVE into FilePath + name, plus "." + FileFormat80 when the name has no dot,
// showing the details as the bytes arrive; `chosen` is the file picked in the dialog, which the
// program replaces when it differs from the stored name only in letter case. Polls until the
// image is complete or Reset is pressed; an older file stays unless the image is complete. An
// empty name (a cancelled dialog) stores nothing but still takes the image off the link. Leaves
// the buffer empty.
void ReceiveZX80Program(Link& link, const std::string& name, RequestBuffer& buffer,
                        const std::filesystem::path& chosen);

// Answers a ZX80 LOAD with the file `chosen`, shown as name + "." + FileFormat80: sends its first
// E_LINE - 16384 bytes as fast as the wire carries them. BASIC text (".BAS", ".TXT") is made into
// the program first. A file that cannot be read or used is "Invalid File" before anything is
// sent, with where text fails. Reset stops it after the current byte.
void SendZX80Program(Link& link, const std::string& name, const std::filesystem::path& chosen);

}  // namespace brindle

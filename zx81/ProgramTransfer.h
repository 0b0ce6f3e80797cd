#pragma once

#include <cstdint>
#include <filesystem>
#include <optional>
#include <vector>

#include "link/Link.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

// What the ZX81 and ZX80 transfers share: the file dialog that picks a program file, receiving
// a SAVE's image into its file, and sending a LOAD's bytes.

// A file the user picked in a dialog: its directory as the file system spells it, the base name
// as chosen, the extension (dot included) upper-cased; and the file itself.
struct ChosenFile {
    ProgramFileName name;
    std::filesystem::path path;
};

// The dialog's answer split at its last separator and its last dot; nothing when no base name
// and extension can be cut out.
std::optional<ChosenFile> SplitChosenPath(const std::string& answer);

// Runs the dialog. A choice is kept as the request's ChosenFile and moves FilePath, the transfer
// directory and the options window's directory list to the chosen file's directory; a cancel or
// an unusable choice changes nothing.
std::optional<ChosenFile> ChooseProgramFile(Link& link, const FileDialogRequest& request);

// Receives a SAVE's image, from CurrentAddress on, into the target file, with `leading` bytes
// written before it; shows the details as the bytes arrive and polls until the image is complete
// or Reset is pressed. The image is staged beside the target, which it replaces only once
// complete, together with `replaced` (a file the user chose that differs from the target only in
// letter case; empty for none). An incomplete image is kept only when neither file existed. A
// file that fails is reported as "Invalid Filename" and the rest of the image is still taken off
// the link. An empty target stores nothing: the image is only taken off the link. Leaves the
// buffer empty.
void ReceiveProgramImage(Link& link, RequestBuffer& buffer, const ImageLayout& layout,
                         const std::filesystem::path& target,
                         const std::vector<std::uint8_t>& leading,
                         const std::filesystem::path& replaced = {});

// How a LOAD's bytes are spaced: a ZX81 takes them at tape pace, one every 10 ms or more; a ZX80
// as fast as the wire carries them.
enum class Pace { Tape, Wire };

// Sends the bytes one per write, counting them on the progress bar; at wire pace each only once
// the one before has left the port, so the bar counts bytes really sent. Reset stops it after
// the current byte; a port that fails ends it at once, and false tells of it.
bool SendProgramBytes(Link& link, const std::vector<std::uint8_t>& bytes, Pace pace);

}  // namespace brindle

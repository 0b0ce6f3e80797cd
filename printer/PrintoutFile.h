#pragma once

#include <filesystem>
#include <functional>
#include <string>

#include "link/Link.h"
#include "printer/Printout.h"

namespace brindle {

// "PrintOut.bmp" in the given transfer directory.
std::filesystem::path PrintoutPath(const std::string& transferDirectory);

// The largest printout read: some 260,000 lines, far more than any print run makes, while the
// file is still read whole for every line.
constexpr std::uintmax_t kMaxPrintoutBytes = 64 * 1024 * 1024;

// Adds one line at the bottom of the printout in the transfer directory, then calls
// loadPrintout so the printer window shows it. The new file is written aside and put in place of
// the old one, so a failure never costs the lines already printed; it is shown in a message box
// with the system's description and returns false, the window not reloaded.
bool AddToBitmap(Link& link, PrinterLine line, const std::function<void()>& loadPrintout);

// Replaces target by a byte-exact copy of the printout. False, with no message, when there is
// no printout or the target cannot be written; an existing target is then left as it was.
bool SavePrintoutCopy(FileSystem& files, const std::string& transferDirectory,
                      const std::filesystem::path& target);

// Throws the printout away where the user can still get it back: into the desktop's trash when
// moveToTrash manages, else kept as "PrintOut.bak" beside it in place of an older one. A
// printout marked read-only stays where it is.
void ClearPrintout(FileSystem& files, const std::string& transferDirectory,
                   const std::function<bool(const std::filesystem::path&)>& moveToTrash);

}  // namespace brindle

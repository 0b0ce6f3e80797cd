#pragma once

#include <QImage>

#include <filesystem>
#include <string>

#include "platform/FileIo.h"
#include "printer/Printout.h"

class QPrinter;

namespace brindle {

// Rows first to end - 1 of the picture, counted from the top, as a 1-bit image in the picture's
// own colours.
QImage PrintoutRows(const PrintoutPicture& picture, int first, int end);

// Writes the printout of the transfer directory to target as a PNG picture of the same dots. False,
// with no message, when there is no readable printout or the target cannot be written; an
// existing target is then left as it was.
bool SavePrintoutPng(FileSystem& files, const std::string& transferDirectory,
                     const std::filesystem::path& target);

// Prints the picture scaled to the paper's printable width, continued on as many pages as its
// length needs, each page ending between two printer lines. The number of pages printed; 0 when
// the printer could not be started.
int PrintPrintout(const PrintoutPicture& picture, QPrinter& printer);

}  // namespace brindle

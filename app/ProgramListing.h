#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "basic/BasicText.h"
#include "platform/FileIo.h"

namespace brindle {

// The listing of a stored program: its sound lines as text, and what stops it, if anything.
struct ProgramListing {
    std::vector<std::string> lines;
    std::string error;  // empty when the whole program lists
};

// Lists a program file of either machine, told apart by extension (".O" the ZX80's); BASIC text
// is made into textMachine's program first.
ProgramListing ListProgramFile(FileSystem& files, const std::filesystem::path& path,
                               Machine textMachine);

// The listing as UTF-8 text, a line end after each line: the lines alone, so that the text
// makes the program again.
std::string ListingText(const ProgramListing& listing);

// What one quarter of a block graphic's cell shows.
enum class Quarter : std::uint8_t { Paper, Ink, Shade };

// One character cell of a listed line as the machine's screen shows it.
struct ListingCell {
    char32_t character = U' ';
    bool inverse = false;  // light on dark
    // A block graphic, drawn rather than left to a font: top left, top right, bottom left,
    // bottom right.
    std::optional<std::array<Quarter, 4>> block;

    bool operator==(const ListingCell&) const = default;
};

// The cells of a listed line: text in brackets is inverse, the graphics' characters blocks.
std::vector<ListingCell> ListingCells(std::string_view line);

}  // namespace brindle

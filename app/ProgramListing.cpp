#include "app/ProgramListing.h"

#include <algorithm>
#include <utility>

#include "basic/CharacterSets.h"
#include "zx81/Charset.h"
#include "zx81/ProgramFiles.h"

namespace brindle {

namespace {

constexpr Quarter P = Quarter::Paper;
constexpr Quarter I = Quarter::Ink;
constexpr Quarter S = Quarter::Shade;

// The block graphics of both machines by the characters their listings use for them.
constexpr std::array<std::pair<char32_t, std::array<Quarter, 4>>, 21> kBlocks = {{
    {U'\u2580', {I, I, P, P}},     {U'\u2584', {P, P, I, I}},     {U'\u2588', {I, I, I, I}},
    {U'\u258C', {I, P, I, P}},     {U'\u2590', {P, I, P, I}},     {U'\u2592', {S, S, S, S}},
    {U'\u2596', {P, P, I, P}},     {U'\u2597', {P, P, P, I}},     {U'\u2598', {I, P, P, P}},
    {U'\u2599', {I, P, I, I}},     {U'\u259A', {I, P, P, I}},     {U'\u259B', {I, I, I, P}},
    {U'\u259C', {I, I, P, I}},     {U'\u259D', {P, I, P, P}},     {U'\u259E', {P, I, I, P}},
    {U'\u259F', {P, I, I, I}},     {U'\U0001FB8E', {S, S, P, P}}, {U'\U0001FB8F', {P, P, S, S}},
    {U'\U0001FB90', {S, S, S, S}}, {U'\U0001FB91', {I, I, S, S}}, {U'\U0001FB92', {S, S, I, I}},
}};

std::string ProblemText(ProgramFileError error) {
    switch (error) {
        case ProgramFileError::Unreadable:
            return "the file cannot be read";
        case ProgramFileError::NoNameEnd:
            return "the program's name has no end";
        case ProgramFileError::TooShort:
            return "too short for a program";
        case ProgramFileError::ELineTooLow:
            return "E_LINE lies before the program";
        case ProgramFileError::TooLong:
            return "longer than a program can be";
        case ProgramFileError::BadText:
        case ProgramFileError::None:
            break;
    }
    return {};
}

}  // namespace

ProgramListing ListProgramFile(FileSystem& files, const std::filesystem::path& path,
                               Machine textMachine) {
    const std::string extension = UpperAscii(Utf8FromPath(path.extension()));
    const Machine machine = IsBasicText(extension) ? textMachine
                            : extension == ".O"    ? Machine::Zx80
                                                   : Machine::Zx81;
    const ProgramFileContent content = ReadProgramFile(files, path, extension, machine);
    if (content.error == ProgramFileError::BadText) return {{}, content.detail};
    const std::string name = Utf8FromPath(path.filename());
    if (content.error != ProgramFileError::None)
        return {{}, name + ": " + ProblemText(content.error)};
    Listing listing = ListProgram(machine, content.image);
    ProgramListing shown{std::move(listing.lines), {}};
    if (listing.error)
        shown.error = name + ": at byte " + std::to_string(listing.error->offset) +
                      " of the program: " + listing.error->message;
    return shown;
}

std::string ListingText(const ProgramListing& listing) {
    std::string text;
    for (const std::string& line : listing.lines) text += line + "\n";
    return text;
}

std::vector<ListingCell> ListingCells(std::string_view line) {
    std::vector<ListingCell> cells;
    bool inverse = false;
    for (const char32_t c : basic::DecodeUtf8(line, nullptr).value_or(U"?")) {
        // The machines have no brackets: they only ever mark inverse text.
        if (c == U'[' || c == U']') {
            inverse = c == U'[';
            continue;
        }
        ListingCell cell{c, inverse, std::nullopt};
        const auto block = std::find_if(kBlocks.begin(), kBlocks.end(),
                                        [c](const auto& entry) { return entry.first == c; });
        if (block != kBlocks.end()) cell = {U' ', false, block->second};
        cells.push_back(cell);
    }
    return cells;
}

}  // namespace brindle

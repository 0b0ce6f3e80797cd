#pragma once

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "link/LinkTypes.h"
#include "platform/FileIo.h"
#include "platform/System.h"
#include "zx81/Zx81Load.h"

namespace brindle {

// The optional Z80 routine that the listing program calls to show the directory on the ZX81.
inline constexpr const char* kListingRoutineFileName = "Brindle.bin";

// One file name as the listing program holds it: upper-cased ZX81 codes with bit 7 clear, ended
// by 0x80 (the inverse space). Empty when the name holds a character the ZX81 cannot show.
std::vector<std::uint8_t> MakeListingEntry(const std::string& name);

// The longest listing program a 16K ZX81 can hold and run. The program starts at 16509 and the
// RAM ends at 32767. Above the program, once CLS has run, lie the display file in full (24 rows
// of 32 characters and a NEWLINE, and one NEWLINE before them) and the variables area (its end
// marker alone); above those the edit line and VAL's copy of "16516" take some 11 bytes, the
// calculator stack some 30 while PRINT shows the number, the ROM keeps 36 bytes free whenever it
// makes room, and the machine stack, with the display's interrupts, stays within 128: 256 bytes
// for all of these leaves a margin.
constexpr std::size_t kMaxListingProgramLength = 32768 - 16509 - (24 * 33 + 1) - 1 - 256;

struct ListingResult {
    std::vector<std::uint8_t> bytes;  // the whole file; empty on failure
    std::string error;                // what went wrong, in plain words; empty on success
};

// The complete listing file: a ZX81 program that shows directoryText and the given file names
// (in the order given; names the ZX81 cannot show are left out) by calling routine, or a bare
// return instruction when there is none. Names past what fits kMaxListingProgramLength give way
// to one last entry that counts them, such as "+1,234 MORE". A given routine must not be empty.
// format "P81" puts the program's name in front of the image; any other format gives the bare
// image.
ListingResult MakeListingProgram(const std::string& directoryText,
                                 const std::vector<std::string>& names,
                                 const std::optional<std::vector<std::uint8_t>>& routine,
                                 const std::string& format);

// The ZX81 program files of a directory (extension P81, P or 81 in any case; hidden files and
// everything but regular files left out), ascending by name without regard to case. Nothing,
// and the platform's description in error, when the directory cannot be read.
std::optional<std::vector<std::string>> ScanListingFiles(const std::filesystem::path& directory,
                                                         FileError* error = nullptr);

// The listing program written for one LOAD: a file in the listed directory under a hidden name
// of its own, so that it never replaces a user's file (a program saved as Directory_Listing, say)
// and never lists itself. It is removed when this ends, and by RemoveAbandonedStagingFiles when
// the program ends at once while it is sent.
class ListingFile : public TransientProgramFile {
public:
    ListingFile(FileSystem& files, const std::filesystem::path& directory,
                const std::string& format);
    bool Write(const std::vector<std::uint8_t>& bytes, FileError* error);
    const std::filesystem::path& path() const override { return reservation_.stagingPath(); }

private:
    FileSystem& files_;
    StagedFile reservation_;  // never committed: its staging file is the listing
};

// Writes the listing program of directory (a directory text ending in the separator, already
// resolved as a PC path) into that directory, in the format options.Zx81Format. The routine comes
// from the first of routineSearchDirs that holds kListingRoutineFileName. On failure the user is
// shown why, no listing file is left behind, and the result is nothing.
std::unique_ptr<ListingFile> BuildDirectoryListing(
    FileSystem& files, const std::string& directory, const TransferOptions& options,
    const std::vector<std::filesystem::path>& routineSearchDirs, MessageBoxes& messages);

}  // namespace brindle

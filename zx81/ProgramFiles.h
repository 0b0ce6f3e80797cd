#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "link/LinkTypes.h"
#include "platform/FileIo.h"

namespace brindle {

enum class Machine;  // basic/BasicText.h

// ZX81 program files: how a ZX81 program name becomes a file name, how a LOAD finds its file,
// how a program file is read, and the program details the main window shows.
//
// A ".P81" file is the name field (ZX81 codes, last byte with bit 7 set) followed by the memory
// image from 16393; ".P" and ".81" files hold the image alone. The image ends at E_LINE - 1,
// with E_LINE at image offsets 11 and 12.

// The first address after the system variables, where the BASIC program starts.
constexpr std::int32_t kZx81ProgramStart = 16509;
// The image offset of E_LINE, low byte first.
constexpr std::size_t kELineOffset = 11;
// Larger images do not fit the 16-bit details of a LOAD.
constexpr std::size_t kMaxImageBytes = 32767;

// How a machine's memory image is laid out: where it starts, where it says where it ends, and
// how many of its first bytes the program details show, one line each (E_LINE among them).
struct ImageLayout {
    std::int32_t start;
    std::size_t eLineOffset;
    std::size_t detailBytes;
};
inline constexpr ImageLayout kZx81Layout{kZx81Start, kELineOffset, kZx81ProgramStart - kZx81Start};
// The ZX80's details stop one byte short of its 40 system variables.
inline constexpr ImageLayout kZx80Layout{kZx80Start, 10, 39};

// A program file's name in its three parts, kept as UTF-8 text; the directory ends in the
// separator (or is empty), the extension includes its dot.
struct ProgramFileName {
    std::string directory;
    std::string baseName;
    std::string extension;

    std::filesystem::path path() const;
    bool operator==(const ProgramFileName&) const = default;
};

// UTF-8 text as a path and back, so that "£" and "¬" keep their encoding on every platform.
std::filesystem::path PathFromUtf8(const std::string& text);
std::string Utf8FromPath(const std::filesystem::path& path);

// A ZX81 name written as a PC path: the directory (ending in the separator) and the base name.
// A directory part beginning with "." lies under the transfer directory, one beginning with
// "/" on the file system that holds it; any other is relative to the working directory; none at
// all means the transfer directory.
struct PcPath {
    std::string directory;
    std::string baseName;
    bool operator==(const PcPath&) const = default;
};
PcPath ResolvePcPath(const std::string& name, const std::string& transferDirectory);

// The base name a SAVE stores under when the ZX81 name gives none.
inline constexpr const char* kUnnamedProgram = "ZX81";

// The file a SAVE of the (converted) ZX81 name stores: in normal mode in filePath with the
// characters that file names cannot hold replaced by "-"; in PC-file-path mode where the path
// says; kUnnamedProgram when the name gives no base name. The extension is "." + the ZX81
// format.
ProgramFileName SaveFileName(const std::string& name, const std::string& filePath,
                             const TransferOptions& options);

// The file a LOAD of the (converted) ZX81 name asks for. The extension is set only when a
// PC-file-path name carries one; an empty base name asks for a listing of the directory.
ProgramFileName LoadFileName(const std::string& name, const std::string& filePath,
                             const TransferOptions& options);

// Whether a file of this extension starts with a name field.
bool HasNameField(const std::string& extension);

// A program file that a LOAD found. `extension` is the one it was looked up by, which decides
// how it is read; `path` is the file on disk, whose name may differ from the looked-up one in
// letter case.
struct FoundProgramFile {
    std::filesystem::path path;
    std::string extension;
    bool operator==(const FoundProgramFile&) const = default;
};

// Whether a file of this extension (in any letter case) holds a program as BASIC text, made into
// the program's image as it is read.
bool IsBasicText(const std::string& extension);

// Looks for the file under the name's extension, then under each format of the format list, then
// as BASIC text (".BAS").
// Only a file of exactly that name counts; failing that, on a file system that tells letter
// case apart, one whose name differs only in letter case. A name the file system refuses is
// taken as found, so that reading it reports the failure.
std::optional<FoundProgramFile> FindProgramFile(const ProgramFileName& name);

enum class ProgramFileError {
    None,
    Unreadable,   // the file could not be read
    NoNameEnd,    // a ".P81" name field without its end marker
    TooShort,     // fewer bytes than the program details show
    ELineTooLow,  // E_LINE before the start of the image
    TooLong,      // more than a ZX81 can hold
    BadText,      // BASIC text that makes no program
};

// A program file as read for sending: the image cut to its program length, and the details
// shown for it.
struct ProgramFileContent {
    ProgramFileError error = ProgramFileError::None;
    std::vector<std::uint8_t> image;  // at most E_LINE - start bytes
    // The detail bytes (system variables) as the file holds them, before the image is cut at
    // E_LINE, since the details show all of them whatever E_LINE says.
    std::vector<std::uint8_t> systemVariables;
    std::int32_t fileLength = 0;  // the image's length before the cut, name field excluded
    std::int32_t eLine = 0;
    std::string detail;  // BadText: where, as "FILE:LINE:COLUMN: message"
};

// Checks a bare image and cuts it to its program length. Larger images and E_LINE values than
// 32767 and 32768 do not fit the 16-bit details.
ProgramFileContent ParseImage(std::vector<std::uint8_t>::const_iterator begin,
                              std::vector<std::uint8_t>::const_iterator end,
                              const ImageLayout& layout);
// A ZX81 program file: the name field, when its extension has one, and then the image.
ProgramFileContent ParseProgramFile(const std::vector<std::uint8_t>& file,
                                    const std::string& extension);
// Reads the file only when it is a regular file that can hold a program: a larger one is
// Unreadable before it is read. BASIC text is made into the machine's program; any other file is
// a program file of the machine (a ZX80's is the bare image).
ProgramFileContent ReadProgramFile(FileSystem& files, const std::filesystem::path& path,
                                   const std::string& extension, Machine machine);

// Program details: "Filename: " and each name byte in hex, then one line "address=HH" for each
// system-variable byte. Every line ends in CR LF.
std::string NameInfoLine(const std::vector<std::uint8_t>& nameBytes);
std::string AddressInfoLine(std::int32_t address, std::uint8_t byte);
// The lines for the detail bytes the image holds.
std::string SystemVariableLines(const std::vector<std::uint8_t>& image,
                                const ImageLayout& layout = kZx81Layout);

}  // namespace brindle

#pragma once

#include <cstdint>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "link/Link.h"

namespace brindle {

// The name of the listing program: the name field of its ".P81" form, and the file name, with
// "." and the ZX81 format, that the details show while it is sent.
inline constexpr const char* kListingFileName = "Directory_Listing";

// A program file made for one LOAD only, removed again when it goes.
class TransientProgramFile {
public:
    virtual ~TransientProgramFile() = default;
    virtual const std::filesystem::path& path() const = 0;
};

// Makes the listing program of a directory (a text ending in the separator) for one LOAD;
// nothing when it cannot, the user having been told why.
using ListingMaker =
    std::function<std::unique_ptr<TransientProgramFile>(const std::string& directory)>;

// Answers a ZX81 LOAD: takes the requested name from the peer (request code 10, givenName
// empty), or sends the file chosen in the dialog (request code 2, givenName its base name and
// givenFormat its extension), finds the program file, falling back to the file dialog, and
// sends the name bytes followed by the program image, one byte every 10 ms. BASIC text is made
// into the program; text that makes none is "Invalid File" with where it fails. In PC-file-path
// mode a name without a file part gets the listing program makeListing makes of that directory,
// deleted again once sent. Reset stops it. Leaves the buffer empty.
void SendZX81Program(Link& link, RequestBuffer& buffer, const std::string& givenName,
                     const std::string& givenFormat, const ListingMaker& makeListing);

// The "Send ZX81 Program" file dialog. On a choice, sets FilePath and FileFormat (upper case)
// to the chosen file's directory and extension, moves the transfer directory there, fills
// nameBytes with the upper-cased base name in ZX81 codes and returns the base name as the file
// system spells it. On cancel or an unusable choice, nameBytes is left empty.
std::string ChooseZX81Program(Link& link, std::vector<std::uint8_t>& nameBytes);

}  // namespace brindle

#pragma once

#include <cstdint>
#include <filesystem>
#include <string>

#include "link/LinkTypes.h"
#include "platform/FileIo.h"

namespace brindle {

// The program's choices between runs, as kept in the seven-line settings file.
struct Settings {
    TransferOptions transfer;
    bool OptionsVisible = false;
    bool PrintoutVisible = false;
    std::string Port;

    bool operator==(const Settings&) const = default;
};

// The settings file's name in the program's own directory.
constexpr const char* kSettingsFileName = "Brindle.ini";

// Reads the file's text; missing lines keep their defaults (the transfer directory defaults to
// programDirectory, as it does for a directory the file cannot keep), and the two formats are
// checked against the values they may take.
Settings ParseSettings(const std::string& text, const std::string& programDirectory);

// The file's text: seven lines, each ended by CR LF.
std::string FormatSettings(const Settings& settings);

// Whether the settings file can keep this transfer directory: one line of UTF-8 text, which the
// program can turn back into a path.
bool KeepableDirectory(const std::string& directory);
// What the user is told when a chosen directory cannot be the transfer directory.
inline constexpr const char* kUnkeepableDirectoryText =
    "This folder cannot be the transfer directory: its name holds a line break or bytes that are "
    "not UTF-8 text, which the settings file cannot keep.";

// The largest settings file read; anything larger is not one this program wrote.
constexpr std::uintmax_t kMaxSettingsBytes = 64 * 1024;

// Reads the settings file; all defaults when it is missing, unreadable, not a regular file or
// larger than any settings file.
Settings LoadSettings(FileSystem& files, const std::filesystem::path& file,
                      const std::string& programDirectory);

// Writes the settings file beside the old one and puts it in place; failures are ignored, since
// nothing may stop the program from ending.
void SaveSettings(FileSystem& files, const std::filesystem::path& file, const Settings& settings);

}  // namespace brindle

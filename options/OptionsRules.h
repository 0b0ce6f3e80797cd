#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <vector>

#include "link/ProgramInfo.h"

namespace brindle {

// "Version 1.6.0": each part a plain decimal number.
std::string VersionText();

// The program files the options window lists, separated by ';'.
inline constexpr const char* kFileListPattern = "*.P81;*.P;*.81;*.O;*.P80;*.80";

// Whether a file name matches one of the ';'-separated wildcard patterns ('*' any run, '?' any
// one character), without regard to letter case.
bool MatchesFilePattern(const std::string& fileName, const std::string& patterns);

// The form in which the directory list holds a path: absolute, without "." or ".." steps, and
// without a trailing separator unless it is a root.
std::filesystem::path DirectoryForm(const std::filesystem::path& directory);

// A directory text as TransferDirectory keeps it: ending in the separator. A root such as "/"
// already does and is returned unchanged; an empty text stays empty.
std::string NormaliseDirectory(const std::string& directory);

// The directories from the root down to the given one, both included: the directory list shows
// them above the subdirectories so that the user can move upward.
std::vector<std::filesystem::path> PathChain(const std::filesystem::path& directory);

struct DirectoryContents {
    std::vector<std::string> subdirectories;
    std::vector<std::string> files;  // only those that match the pattern
};

// The names in a directory, each list sorted by name without regard to letter case; nothing
// when the directory cannot be read.
std::optional<DirectoryContents> ReadDirectory(const std::filesystem::path& directory,
                                               const std::string& filePatterns);

// The left edge of a window of the given width placed against the right side of the main
// window, pushed left so that it ends at the screen's right edge if it would pass it.
int PlaceBesideLeft(int mainLeft, int mainWidth, int ownWidth, int screenWidth);

}  // namespace brindle

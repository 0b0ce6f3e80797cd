#pragma once

#include <filesystem>
#include <functional>

namespace brindle {

// Whether files can be created in a directory: tries to create and remove a small file there.
bool IsWritableDirectory(const std::filesystem::path& dir);

// The program's own directory, where it keeps its settings and finds its companion files: the
// directory of the executable when the user can write there, else the per-user data directory,
// created when missing. When that cannot be created either, the executable's directory is still
// the best place to read from.
std::filesystem::path ChooseProgramDir(
    const std::filesystem::path& executableDir, const std::filesystem::path& userDataDir,
    const std::function<bool(const std::filesystem::path&)>& isWritable = IsWritableDirectory);

}  // namespace brindle

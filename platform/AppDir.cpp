#include "platform/AppDir.h"

#include <chrono>
#include <fstream>
#include <string>

namespace brindle {

namespace fs = std::filesystem;

bool IsWritableDirectory(const fs::path& dir) {
    std::error_code ec;
    if (!fs::is_directory(dir, ec)) return false;
    // A name no other file is likely to have, so the probe never touches a real file.
    const auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    const fs::path probe = dir / (".write-probe-" + std::to_string(stamp));
    if (fs::exists(probe, ec)) return false;
    bool created = false;
    {
        std::ofstream file(probe);
        created = file.is_open() && (file << 'x') && file.flush();
    }
    fs::remove(probe, ec);
    return created;
}

fs::path ChooseProgramDir(const fs::path& executableDir, const fs::path& userDataDir,
                          const std::function<bool(const fs::path&)>& isWritable) {
    if (isWritable(executableDir)) return executableDir;
    std::error_code ec;
    fs::create_directories(userDataDir, ec);
    if (!fs::is_directory(userDataDir, ec)) return executableDir;
    return userDataDir;
}

}  // namespace brindle

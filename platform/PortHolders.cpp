#include "platform/PortHolders.h"

#include <algorithm>
#include <fstream>

namespace brindle {

namespace fs = std::filesystem;

namespace {

// A process's number from its folder name; 0 for anything else.
int ProcessNumber(const std::string& name) {
    if (name.empty() || name.size() > 9) return 0;
    int pid = 0;
    for (char c : name) {
        if (c < '0' || c > '9') return 0;
        pid = pid * 10 + (c - '0');
    }
    return pid;
}

std::string CommandName(const fs::path& processDir) {
    std::ifstream comm(processDir / "comm");
    std::string name;
    std::getline(comm, name);
    return name;
}

bool HoldsAny(const fs::path& processDir, const std::vector<fs::path>& names) {
    std::error_code ec;
    for (fs::directory_iterator it(processDir / "fd", ec), end; !ec && it != end;
         it.increment(ec)) {
        std::error_code linkError;
        const fs::path target = fs::read_symlink(it->path(), linkError);
        if (!linkError && std::find(names.begin(), names.end(), target) != names.end()) return true;
    }
    return false;
}

}  // namespace

std::vector<PortHolder> FindPortHolders(const fs::path& device, const fs::path& procRoot) {
    // The links name the device node itself; the port may be known by a link to it.
    std::vector<fs::path> names{device};
    std::error_code ec;
    const fs::path node = fs::canonical(device, ec);
    if (!ec && node != device) names.push_back(node);

    std::vector<PortHolder> holders;
    for (fs::directory_iterator it(procRoot, ec), end; !ec && it != end; it.increment(ec)) {
        const int pid = ProcessNumber(it->path().filename().string());
        if (pid != 0 && HoldsAny(it->path(), names))
            holders.push_back({pid, CommandName(it->path())});
    }
    std::sort(holders.begin(), holders.end(),
              [](const PortHolder& a, const PortHolder& b) { return a.pid < b.pid; });
    return holders;
}

}  // namespace brindle

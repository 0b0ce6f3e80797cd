#pragma once

#include <filesystem>
#include <string>
#include <vector>

namespace brindle {

// A process that has a device open.
struct PortHolder {
    int pid = 0;
    std::string name;  // the process's command name

    bool operator==(const PortHolder&) const = default;
};

// The processes that hold the device open, found through the open-file links of every process,
// in process-number order. Processes whose files this user may not look at are not found.
// procRoot stands for /proc, so that the search can be tried on a made-up tree.
std::vector<PortHolder> FindPortHolders(const std::filesystem::path& device,
                                        const std::filesystem::path& procRoot = "/proc");

}  // namespace brindle

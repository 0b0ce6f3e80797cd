#pragma once

#include <filesystem>
#include <functional>
#include <vector>

#include "link/Link.h"

namespace brindle {

// What the program's requests report to the windows, and where the listing routine is looked for.
struct RequestHooks {
    // After a SAVE, so that the options window lists the file just stored.
    std::function<void()> refreshOptions;
    // After a printer line has been added to the printout, so that the printer window shows it.
    std::function<void()> printoutChanged;
    // Where the directory listing's machine-code routine may be found, in order.
    std::vector<std::filesystem::path> routineDirectories;
};

// The program's answer to every request code: the ZX81 and ZX80 transfers and the printer line.
RequestTable TransferRequests(Link& link, RequestHooks hooks);

}  // namespace brindle

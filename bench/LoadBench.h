#pragma once

#include <fstream>
#include <string>
#include <vector>

#include "app/Requests.h"
#include "tests/rig/Rig.h"

namespace brindle {

// The program's own handlers on the simulated link, answering from a transfer directory of
// their own: what the LOAD benchmarks share.
struct LoadBench {
    LoadBench() {
        r.options.TransferDirectory = dir.text();
        r.link.requests = TransferRequests(r.link, {});
    }
    // Puts a program file into the transfer directory and returns its path.
    std::string Put(const std::string& name, const std::vector<std::uint8_t>& bytes) {
        const std::string path = dir.text() + name;
        std::ofstream(path, std::ios::binary)
            .write(reinterpret_cast<const char*>(bytes.data()),
                   static_cast<std::streamsize>(bytes.size()));
        return path;
    }

    rig::TempDir dir;
    rig::Rig r;
};

}  // namespace brindle

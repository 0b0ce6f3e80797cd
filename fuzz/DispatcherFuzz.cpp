// Arbitrary peer streams through the dispatcher and every handler, the stream also deciding the
// dialog answers and the moments of Reset; each input must leave the link idle and the files as
// the rules of a transfer allow.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <memory>
#include <string>

#include "tests/reliability/HostileRun.h"

using namespace brindle::rig;

namespace {

// A folder of its own for the whole process, removed again when it ends.
TransferTree& Tree() {
    static std::unique_ptr<TransferTree> tree = [] {
        std::string pattern = std::filesystem::temp_directory_path() / "brindle-fuzz-XXXXXX";
        if (mkdtemp(pattern.data()) == nullptr) std::abort();
        static const std::filesystem::path root = pattern;
        std::atexit([] {
            std::error_code ec;
            std::filesystem::remove_all(root, ec);
        });
        return std::make_unique<TransferTree>(root, true);
    }();
    return *tree;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    std::vector<std::string> messages;
    std::vector<std::string> problems = RunHostileStream(Tree(), data, size, &messages);
    for (const std::string& message : messages) {
        if (message != "Error: Invalid File" && message != "Error: Invalid Filename")
            problems.push_back("unexpected message " + message);
    }
    if (problems.empty()) return 0;
    for (const std::string& problem : problems) std::fprintf(stderr, "%s\n", problem.c_str());
    std::abort();
}

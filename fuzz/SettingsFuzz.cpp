// Arbitrary settings files: the values read are ones the program can use, and what it writes
// back reads as the same settings.
#include <cstdio>
#include <cstdlib>
#include <string>

#include "link/Settings.h"

using brindle::Settings;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::string text(reinterpret_cast<const char*>(data), size);
    const Settings read = brindle::ParseSettings(text, "/program/");
    if (read.transfer.Zx81Format != "P81" && read.transfer.Zx81Format != "P")
        Fail("ZX81 format out of range");
    if (read.transfer.Zx80Format != "O") Fail("ZX80 format out of range");
    if (read.transfer.PcFilePathMode != 0 && read.transfer.PcFilePathMode != 1)
        Fail("mode out of range");
    if (read.transfer.TransferDirectory.empty()) Fail("no transfer directory");
    if (brindle::KeepableDirectory(read.transfer.TransferDirectory) &&
        brindle::ParseSettings(brindle::FormatSettings(read), "/elsewhere/") != read)
        Fail("settings written back read differently");
    return 0;
}

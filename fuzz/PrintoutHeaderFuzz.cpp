// Arbitrary old printout files: the picture reader keeps within the file, adding a line never
// loses an old row that the file holds whole, and what it writes is always a well-formed
// printout.
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <vector>

#include "printer/Printout.h"
#include "printer/PrintoutFile.h"
#include "tests/reliability/TransferTree.h"
#include "tests/rig/Rig.h"

using namespace brindle;

namespace {

void Fail(const char* what) {
    std::fprintf(stderr, "%s\n", what);
    std::abort();
}

// Reads the picture and touches every row, so that a row outside the file is found by the
// address sanitizer.
std::optional<int> PictureHeight(const std::vector<std::uint8_t>& file) {
    const auto picture = PrintoutPicture::Read(file);
    if (!picture) return std::nullopt;
    unsigned sum = 0;
    for (int y = 0; y < picture->height(); ++y)
        for (std::size_t x = 0; x < picture->stride(); ++x) sum += picture->row(y)[x];
    if (picture->width() <= 0 || picture->height() <= 0 || sum == 1u << 31)
        Fail("empty picture read");
    return picture->height();
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    static rig::TempDir dir;
    const std::vector<std::uint8_t> old(data, data + size);
    PictureHeight(old);

    rig::Rig rig;
    rig.options.TransferDirectory = dir.text();
    const std::filesystem::path path = PrintoutPath(dir.text());
    std::ofstream(path, std::ios::binary | std::ios::trunc)
        .write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
    const std::array<std::uint8_t, kPrinterColumns> line{0xFF, 0x81};
    const bool added = AddToBitmap(rig.link, PrinterLine(line), [] {});
    std::ifstream in(path, std::ios::binary);
    const std::vector<std::uint8_t> now{std::istreambuf_iterator<char>(in),
                                        std::istreambuf_iterator<char>()};

    if (!added) {
        if (now != old) Fail("a line that was not added changed the printout");
        return 0;
    }
    const std::size_t kept = PrintoutRowsKept(old) * kPrintoutRowBytes;
    if (now.size() != kPrintoutHeaderBytes + kBandBytes + kept ||
        (kept > 0 &&
         !std::equal(old.begin() + kPrintoutHeaderBytes,
                     old.begin() + static_cast<std::ptrdiff_t>(kPrintoutHeaderBytes + kept),
                     now.end() - static_cast<std::ptrdiff_t>(kept))))
        Fail("adding a line lost old rows");
    if (!rig::WellFormedPrintout(now) ||
        PictureHeight(now) != static_cast<int>(PrintoutRowsKept(old) + kBandRows))
        Fail("a printout written is not a well-formed one");
    if (rig::WellFormedPrintout(old) && PrintoutRowsKept(old) != PrintoutHeight(old))
        Fail("a well-formed printout lost rows");
    return 0;
}

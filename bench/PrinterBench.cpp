#include <benchmark/benchmark.h>

#include <filesystem>

#include "printer/PrintoutFile.h"
#include "printer/frmPrintout.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

// One printer line added to a printout of 10,000 lines (2.5 MB) and the printer window reloaded
// and repainted, as after every line from the peer.
void BM_PrinterLineOnLongPrintout(benchmark::State& state) {
    constexpr std::uint32_t kLines = 10'000;
    rig::TempDir dir;
    rig::Rig rig;
    rig.options.TransferDirectory = dir.text();
    const auto header = PrintoutHeader(kLines * kBandRows);
    std::vector<std::uint8_t> file(header.begin(), header.end());
    for (std::size_t i = 0; i < kLines * kBandBytes; ++i)
        file.push_back(static_cast<std::uint8_t>(i * 37));
    rig::WriteFile(PrintoutPath(dir.text()), file);

    frmPrintout window(rig.link);
    window.show();
    std::vector<std::uint8_t> line(kPrinterColumns);
    for (std::size_t x = 0; x < line.size(); ++x) line[x] = static_cast<std::uint8_t>(x);
    for (auto _ : state) {
        AddToBitmap(rig.link, PrinterLine(line.data(), kPrinterColumns),
                    [&] { window.LoadPrintout(); });
        window.Picture1->repaint();
    }
    const auto fileBytes = std::filesystem::file_size(PrintoutPath(dir.text()));
    state.counters["file_MB"] = static_cast<double>(fileBytes) / 1e6;
    state.counters["window_held_MB"] =
        static_cast<double>(window.Picture1->picture()->heldBytes()) / 1e6;
    state.counters["messages"] = static_cast<double>(rig.messages.shown.size());
}
BENCHMARK(BM_PrinterLineOnLongPrintout)->Unit(benchmark::kMillisecond)->Iterations(50);

}  // namespace
}  // namespace brindle

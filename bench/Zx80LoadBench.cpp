#include <benchmark/benchmark.h>

#include <chrono>

#include "bench/LoadBench.h"
#include "tests/rig/Images.h"

namespace brindle {
namespace {

// A whole ZX80 LOAD of a 16 KB program on the simulated link: the dialog (answered at once), the
// read and the 16384 bytes sent, each once the one before has left the wire. The wire time is
// virtual, so the real time measured is the program's own work. wire_fraction is the share of
// the wire's 872.7 bytes a second reached on the virtual clock; own_share_of_byte_time the
// program's own work per byte against the 1.146 ms a byte takes on the wire, which is what a real
// port loses between bytes.
void BM_Zx80Load16K(benchmark::State& state) {
    LoadBench bench;
    rig::Rig& r = bench.r;
    const std::vector<std::uint8_t> image = rig::Zx80Image(16384 - 41);  // E_LINE 32768
    const std::string file = bench.Put("GAME.O", image);

    double ownNs = 0;
    double wireFraction = 0;
    for (auto _ : state) {
        r.peer.clearWrites();
        r.dialogs.answers.push_back(file);
        r.peer.arrive({130});
        const auto start = std::chrono::steady_clock::now();
        r.run(400'000'000'000LL);
        ownNs += std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - start)
                     .count();
        const auto& writes = r.peer.writes();
        if (writes.size() != image.size()) {
            state.SkipWithError("the image was not sent whole");
            break;
        }
        const double sendingNs =
            static_cast<double>(writes.back().atNs - writes.front().atNs + rig::SimPeer::kByteNs);
        wireFraction = static_cast<double>(image.size() * rig::SimPeer::kByteNs) / sendingNs;
    }
    const double perByteNs =
        ownNs / static_cast<double>(state.iterations()) / static_cast<double>(image.size());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(image.size()));
    state.counters["own_ns_per_byte"] = perByteNs;
    state.counters["own_share_of_byte_time"] =
        perByteNs / static_cast<double>(rig::SimPeer::kByteNs);
    state.counters["wire_fraction"] = wireFraction;
}
BENCHMARK(BM_Zx80Load16K)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindle

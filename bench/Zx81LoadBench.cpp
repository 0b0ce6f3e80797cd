#include <benchmark/benchmark.h>

#include <cstdio>
#include <fstream>

#include "bench/LoadBench.h"
#include "listing/DirectoryListing.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

// A whole LOAD by name of a 16 KB program on the simulated link: the name phase, the lookup,
// the read and the reply of 16379 bytes. The 10 ms wait after each byte is virtual, so
// what is measured is the program's own work; per_byte gives it for one reply byte.
void BM_Zx81Load16K(benchmark::State& state) {
    LoadBench bench;
    rig::Rig& r = bench.r;
    const std::vector<std::uint8_t> name{0x2C, 0x26, 0x32, 0xAA};  // GAME
    std::vector<std::uint8_t> file = name;
    // The largest image whose E_LINE (32768) a 16 KB ZX81 can have.
    const std::vector<std::uint8_t> image = rig::Zx81Image(32768 - 16393 - 142);
    file.insert(file.end(), image.begin(), image.end());
    bench.Put("GAME.P81", file);

    std::vector<std::uint8_t> request{10};
    request.insert(request.end(), name.begin(), name.end());
    for (auto _ : state) {
        r.peer.clearWrites();
        r.peer.arrive(request);
        r.run(400'000'000'000LL);
        if (r.peer.writes().size() != file.size()) {
            state.SkipWithError("the reply was not sent whole");
            break;
        }
    }
    const double replyBytes = static_cast<double>(file.size());
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(file.size()));
    state.counters["per_byte"] = benchmark::Counter(
        replyBytes, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    state.counters["virtual_s_per_load"] =
        benchmark::Counter(r.clock.nowMs() / 1000.0, benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_Zx81Load16K)->Unit(benchmark::kMillisecond);

// The listing program of a directory of 1,000 program files, as a LOAD of a directory builds it:
// the scan, the program and the file written.
void BM_DirectoryListing1000(benchmark::State& state) {
    rig::TempDir dir;
    for (int i = 0; i < 1000; ++i) {
        char name[32];
        std::snprintf(name, sizeof name, "GAME%04d.%s", i, i % 3 == 0 ? "P" : "P81");
        std::ofstream(dir.path() / name) << 'x';
    }
    TransferOptions options;
    options.TransferDirectory = dir.text();
    rig::FakeMessages messages;
    DiskFiles files;
    for (auto _ : state) {
        if (!BuildDirectoryListing(files, dir.text(), options, {}, messages)) {
            state.SkipWithError("the listing was not built");
            break;
        }
    }
}
BENCHMARK(BM_DirectoryListing1000)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace brindle

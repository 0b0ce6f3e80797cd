#include <benchmark/benchmark.h>

#include "app/Requests.h"
#include "tests/rig/Rig.h"

namespace brindle {
namespace {

// One dispatcher run on the simulated link: the event, the settle wait, the read, a request
// handed to its handler, and the return to idle.
void BM_DispatcherRun(benchmark::State& state) {
    rig::Rig r;
    rig::RecordingRequests handlers;
    r.link.requests = TransferRequests(r.link, {});
    handlers.wrap(r.link.requests);
    for (auto _ : state) {
        r.peer.arrive({10, 0xA6});
        r.peer.raise(SerialEventKind::BytesReceived);
        handlers.calls.clear();
    }
    state.counters["virtual_ms_per_run"] =
        benchmark::Counter(r.clock.nowMs(), benchmark::Counter::kAvgIterations);
}
BENCHMARK(BM_DispatcherRun);

}  // namespace
}  // namespace brindle

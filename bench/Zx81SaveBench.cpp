#include <benchmark/benchmark.h>

#include <QApplication>

#include <algorithm>
#include <chrono>

#include "app/frmMain.h"
#include "tests/rig/Images.h"
#include "tests/rig/Rig.h"
#include "zx81/Charset.h"

namespace brindle {
namespace {

using Steady = std::chrono::steady_clock;

// A virtual clock that also notes, in real time, how long the program worked between two of its
// waits: the processing that one poll cycle adds.
class CycleTimer : public rig::VirtualClock {
public:
    void sleepMs(int ms) override {
        const auto now = Steady::now();
        if (last_)
            cycles.push_back(std::chrono::duration<double, std::micro>(now - *last_).count());
        rig::VirtualClock::sleepMs(ms);
        last_ = Steady::now();
    }
    std::vector<double> cycles;

private:
    std::optional<Steady::time_point> last_;
};

class QtPump : public EventPump {
public:
    void processEvents() override {
        QCoreApplication::processEvents();
        if (extra) extra();
    }
    std::function<void()> extra;
};

// A 16 KB SAVE received by the real main window (offscreen), paced by the simulated peer: on the
// line itself (argument 0), or behind a USB adapter that passes bytes on every that many ms and
// changes DTR 1 ms late.
void BM_Zx81Save16K(benchmark::State& state) {
    const Bytes image = rig::Zx81Image(16 * 1024 - 142);
    Bytes request{32};
    const Bytes name = TextToZX81("BENCH");
    request.insert(request.end(), name.begin(), name.end());
    request.insert(request.end(), image.begin(), image.end());

    double worst = 0, worstAfterFirst = 0, sum = 0;
    std::size_t cycles = 0;
    std::int64_t virtualNs = 0;
    for (auto _ : state) {
        rig::TempDir programDir;
        CycleTimer clock;
        rig::SimPeer peer{clock};
        QtPump pump;
        rig::FakeMessages messages;
        rig::FakeDialogs dialogs;
        DiskFiles files;
        frmMain w(
            {peer, peer, clock, pump, messages, dialogs, files, programDir.path(), nullptr, [] {}});
        w.Load();
        if (state.range(0) != 0) peer.useAdapter({state.range(0) * 1'000'000, 1'000'000});
        pump.extra = [&] { peer.deliverPendingEvent(); };
        peer.send(request);
        const std::int64_t start = clock.nowNs();
        while (peer.pendingBytes() > 0 || w.link.state.LinkBusy != 0) {
            clock.advanceNs(100'000);
            peer.deliverPendingEvent();
        }
        virtualNs += clock.nowNs() - start;
        for (std::size_t i = 0; i < clock.cycles.size(); ++i) {
            worst = std::max(worst, clock.cycles[i]);
            // The first cycle also paints the freshly shown window once.
            if (i > 0) worstAfterFirst = std::max(worstAfterFirst, clock.cycles[i]);
            sum += clock.cycles[i];
        }
        cycles += clock.cycles.size();
    }
    state.counters["cycles"] = static_cast<double>(cycles) / state.iterations();
    state.counters["avg_cycle_us"] = sum / static_cast<double>(cycles);
    state.counters["worst_cycle_us"] = worst;
    state.counters["worst_later_cycle_us"] = worstAfterFirst;
    state.counters["virtual_s"] = static_cast<double>(virtualNs) / 1e9 / state.iterations();
}
BENCHMARK(BM_Zx81Save16K)->Arg(0)->Arg(16)->Unit(benchmark::kMillisecond)->Iterations(3);

}  // namespace
}  // namespace brindle

// The sleep-blocker census over a flooded assertion table: 10,000 locks of 2,000 processes, in the
// order a system lists them (not by pid). The census runs when the menu opens and during the low-battery
// escalation; it should stay within a few milliseconds even then.
#include <benchmark/benchmark.h>

#include "Monitors/SleepBlockerMonitor.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSleepBlockers.h"

namespace torvel {
namespace {

void BM_CensusOfFloodedTable(benchmark::State& state) {
    constexpr int kProcesses = 2000;
    SimProcessInfo processes;
    std::vector<AssertionRecord> table;
    for (int lock = 0; lock < 5; ++lock) {
        for (int p = kProcesses; p > 0; --p) {
            const std::int64_t pid = 1000 + (p * 7919) % 30011;
            if (lock == 0) processes.addProcess(static_cast<std::int32_t>(pid), "process-" + std::to_string(p), 1000, "proc");
            table.push_back(AssertionRecord{pid, lock % 2 ? BlockerKind::idle : BlockerKind::systemSleep,
                                            true, "holding lock number " + std::to_string(lock)});
        }
    }
    CapturingLogSink sink;
    Logger log(sink, "SleepBlockers");
    for (auto _ : state) {
        auto blockers = SleepBlockerMonitor::blockers(table, 1, 1000, processes, log);
        benchmark::DoNotOptimize(blockers);
        sink.clear();
    }
}
BENCHMARK(BM_CensusOfFloodedTable)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace torvel

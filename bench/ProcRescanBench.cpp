// The running-applications scan behind "keep awake while an application runs", against a generated
// /proc of 2,000 processes and 500 installed desktop entries. The periodic rescan runs on the main loop
// every few seconds while the trigger is wanted, so it must stay far below a frame: we aim for 10 ms.
#include <benchmark/benchmark.h>
#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <filesystem>
#include <memory>
#include <string>
#include <system_error>
#include <vector>

#include "FakeSystemTree.h"
#include "Platform/Linux/Helpers/DesktopEntryIndex.h"
#include "Platform/Linux/Processes/ProcWorkspace.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimSystemLocale.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

constexpr int kProcesses = 2000;
constexpr int kDesktopEntries = 500;

// Generated once for the whole run (writing it takes longer than any measurement) and removed at exit.
const FakeSystemTree& tree() {
    static const FakeSystemTree shared(kProcesses, kDesktopEntries);
    return shared;
}

// A workspace on the generated tree, with the main loop on virtual time.
struct Machine {
    SimClock clock;
    VirtualScheduler scheduler{clock};
    SimSystemLocale locale;
    CapturingLogSink log;
    ProcWorkspace workspace{scheduler, locale, log,
                            ProcWorkspace::Options{tree().procRoot(), tree().applicationFolders(),
                                                   FakeSystemTree::kUser, /*usePidfd=*/false}};

    Machine() { locale.setPreferredLanguages({"cs_CZ", "cs"}); }
};

// Process folders under `procRoot`, so runs on different trees compare per process.
std::int64_t processCount(const std::filesystem::path& procRoot) {
    std::int64_t count = 0;
    std::error_code error;
    for (std::filesystem::directory_iterator it(procRoot, error), end; !error && it != end;
         it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos) ++count;
    }
    return count;
}

bool checkTree(benchmark::State& state) {
    if (!tree().valid()) state.SkipWithError("cannot make a temporary folder");
    return tree().valid();
}

// The steady state: the periodic rescan, each process already matched on an earlier pass, so only its
// stat is read again. One virtual rescan interval runs exactly one rescan.
void BM_periodicRescan(benchmark::State& state) {
    if (!checkTree(state)) return;
    Machine m;
    int changes = 0;
    const Connection listening =
        m.workspace.applicationsChanged.connect([&changes] { ++changes; });  // the first scan, untimed
    for (auto _ : state) m.scheduler.advance(ProcWorkspace::kRescanSeconds);
    if (changes != 0) state.SkipWithError("an unchanged tree was reported as changed");
    const auto listed = static_cast<int>(m.workspace.runningApplications().size());
    if (listed != tree().expectedApplications()) state.SkipWithError("the scan missed applications");
    state.counters["applications"] = listed;
    state.SetItemsProcessed(state.iterations() * processCount(tree().procRoot()));
}

// The same rescan over this machine's own /proc and applications folders, whatever they hold: shows
// how the cost per process of the generated tree compares with the kernel's files.
void BM_periodicRescanOfThisMachine(benchmark::State& state) {
    SimClock clock;
    VirtualScheduler scheduler{clock};
    SimSystemLocale locale;
    CapturingLogSink log;
    ProcWorkspace workspace{scheduler, locale, log, ProcWorkspace::Options{}};
    const Connection listening = workspace.applicationsChanged.connect([] {});
    for (auto _ : state) scheduler.advance(ProcWorkspace::kRescanSeconds);
    state.SetItemsProcessed(state.iterations() * processCount("/proc"));
}

// The least a rescan can cost: one open, read and close of one file per process, nothing parsed or
// matched. Compared with the rescan above it shows how much of it is the kernel's and how much ours.
void readOneFileEach(benchmark::State& state, bool generated, const char* file) {
    if (generated && !checkTree(state)) return;
    const std::filesystem::path root = generated ? tree().procRoot() : std::filesystem::path("/proc");
    std::vector<std::string> paths;
    std::error_code error;
    for (std::filesystem::directory_iterator it(root, error), end; !error && it != end; it.increment(error)) {
        const std::string name = it->path().filename().string();
        if (name.find_first_not_of("0123456789") == std::string::npos) paths.push_back(it->path() / file);
    }
    char buffer[4096];
    for (auto _ : state) {
        for (const auto& path : paths) {
            const int fd = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
            if (fd < 0) continue;
            benchmark::DoNotOptimize(::read(fd, buffer, sizeof buffer));
            ::close(fd);
        }
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(paths.size()));
}

// The first scan after launch (or after an application was installed): the desktop entries are read
// and every one of the user's processes is matched through its environment, cgroup and program.
void BM_firstScan(benchmark::State& state) {
    if (!checkTree(state)) return;
    std::size_t listed = 0;
    for (auto _ : state) {
        state.PauseTiming();
        auto m = std::make_unique<Machine>();
        state.ResumeTiming();
        listed = m->workspace.runningApplications().size();
        state.PauseTiming();
        m.reset();
        state.ResumeTiming();
    }
    if (static_cast<int>(listed) != tree().expectedApplications())
        state.SkipWithError("the scan missed applications");
}

// Reading the 500 desktop entries alone: the part of the first scan that is not about processes.
void BM_readDesktopEntries(benchmark::State& state) {
    if (!checkTree(state)) return;
    CapturingLogSink log;
    std::size_t entries = 0;
    for (auto _ : state) {
        DesktopEntryIndex index(tree().applicationFolders(), log);
        index.refresh({"cs_CZ", "cs"});
        entries = index.size();
    }
    if (static_cast<int>(entries) != kDesktopEntries) state.SkipWithError("entries were not read");
}

BENCHMARK(BM_periodicRescan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_periodicRescanOfThisMachine)->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOneFileEach, generatedStat, true, "stat")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOneFileEach, thisMachineStat, false, "stat")->Unit(benchmark::kMillisecond);
BENCHMARK_CAPTURE(readOneFileEach, thisMachineStatus, false, "status")->Unit(benchmark::kMillisecond);
BENCHMARK(BM_firstScan)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_readDesktopEntries)->Unit(benchmark::kMillisecond);

}  // namespace
}  // namespace torvel

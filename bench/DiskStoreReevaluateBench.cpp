// An unchanged re-evaluation of an active session with the settings on disk, as the application runs:
// the same simulated machine as torvel_core_bench, but the JSON file store in a temporary folder. Every
// write the state makes to its store is a rewrite of the file with fsync, so this shows what the
// main loop waits for on each heartbeat and each monitor reading.
#include <benchmark/benchmark.h>
#include <stdlib.h>

#include <filesystem>
#include <memory>
#include <string>
#include <system_error>

#include "State/AppState.h"
#include "Support/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Platform/Linux/Desktop/JsonFileDefaultsStore.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/DefaultsSessionPersistence.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

fs::path makeFolder() {
    std::string pattern = (fs::temp_directory_path() / "torvel-bench-store-XXXXXX").string();
    return ::mkdtemp(pattern.data()) ? fs::path(pattern) : fs::path();
}

// The application state with every service real except the machine, its settings in `folder`.
struct DiskMachine {
    explicit DiskMachine(const fs::path& folder) : defaults(folder / "torvel" / "defaults.json", log) {
        notifications.setup();
        scheduler.runPending();  // permission granted
        state = std::make_unique<AppState>(
            AppStateServices{clock, scheduler, log, texts, defaults, sleepPrevention, timer, notifications,
                             sessions, guardian},
            Calendar::utc());
    }

    SimClock clock{Date(818035200.0)};
    VirtualScheduler scheduler{clock};
    SimPowerAssertions assertions;
    CapturingLogSink log;
    Localization texts{log};
    JsonFileDefaultsStore defaults;
    SleepPreventionService sleepPrevention{assertions, scheduler, log};
    TimerManager timer{clock, scheduler};
    SimNotificationCenter center{scheduler};
    NotificationService notifications{center, scheduler, texts, log};
    DefaultsSessionPersistence sessions{defaults, clock, log};
    GuardianService guardian{clock, scheduler};
    std::unique_ptr<AppState> state;
};

void BM_reevaluateManualOnDiskStore(benchmark::State& state) {
    const fs::path folder = makeFolder();
    if (folder.empty()) {
        state.SkipWithError("cannot make a temporary folder");
        return;
    }
    {
        DiskMachine m(folder);
        m.state->toggle();
        const auto assertionID = m.sleepPrevention.assertionID();
        for (auto _ : state) m.state->reevaluateState();
        if (!m.state->isActive() || m.sleepPrevention.assertionID() != assertionID)
            state.SkipWithError("a re-evaluation changed the activation or the assertion");
    }
    std::error_code ignored;
    fs::remove_all(folder, ignored);
}

// Wall time: the main loop waits for the disk, which CPU time does not count.
BENCHMARK(BM_reevaluateManualOnDiskStore)->Unit(benchmark::kNanosecond)->UseRealTime();

}  // namespace
}  // namespace torvel

// One re-evaluation that changes nothing, on the simulated machine with every service real. Every
// command and every monitor reading ends in one, and the heartbeat adds one every 30 s, so the idle
// cost of an active session is mostly this figure; we aim for under 5 us.
#include <benchmark/benchmark.h>

#include <string>

#include "State/AppStateHarness.h"

namespace torvel {
namespace {

// Runs reevaluateState() on a harness prepared by `prepare`, checking afterwards that the rounds
// really changed nothing: the same activation and the same live assertion.
template <typename Prepare>
void reevaluateUnchanged(benchmark::State& state, Prepare prepare) {
    AppStateHarness h;
    prepare(h);
    h.state->reevaluateState();  // settle anything the preparation left for the next evaluation
    const bool wasActive = h.state->isActive();
    const auto assertionID = h.sleepPrevention.assertionID();
    const auto creates = h.assertions.createCount();
    const std::size_t linesBefore = h.log.lines().size();
    const int writesBefore = h.defaults.writeCount();

    for (auto _ : state) h.state->reevaluateState();

    if (h.state->isActive() != wasActive || h.sleepPrevention.assertionID() != assertionID ||
        h.assertions.createCount() != creates) {
        state.SkipWithError("a re-evaluation changed the activation or the assertion");
    }
    // Store writes are the costliest part on a real disk; show how many each round makes.
    state.counters["storeWritesPerRound"] = benchmark::Counter(
        static_cast<double>(h.defaults.writeCount() - writesBefore), benchmark::Counter::kAvgIterations);
    state.counters["logLinesPerRound"] = benchmark::Counter(
        static_cast<double>(h.log.lines().size() - linesBefore), benchmark::Counter::kAvgIterations);
    state.counters["reasons"] = static_cast<double>(h.state->activeReasons().size());
}

// Nothing keeps the computer awake: a monitor reading arrives and the answer stays "inactive".
void BM_reevaluateInactive(benchmark::State& state) {
    reevaluateUnchanged(state, [](AppStateHarness&) {});
}

// Kept awake by hand on the charger, the assertion held: the heartbeat's and most readings' case.
void BM_reevaluateManualOnCharger(benchmark::State& state) {
    reevaluateUnchanged(state, [](AppStateHarness& h) { h.state->toggle(); });
}

// A one-hour profile session on battery above the limit, with an external display and a watched
// application also holding, the display-sleep and screen-saver settings on and the predictive battery
// warning checked on every round.
void BM_reevaluateBusyOnBattery(benchmark::State& state) {
    reevaluateUnchanged(state, [](AppStateHarness& h) {
        h.onBattery(72);
        h.state->set(&SettingsValues::preventDisplaySleep, true);
        h.state->set(&SettingsValues::preventScreenSaver, true);
        h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
        const Profile meeting{Uuid::random(),
                              "Meeting",
                              Duration::preset(Duration::Kind::oneHour),
                              AssertionType::noDisplaySleep,
                              25,
                              {}};
        h.state->profileLibrary().setProfiles({defaultProfiles().front(), meeting});
        h.state->activateProfile(meeting);
        h.state->updateMonitorValues([](MonitorValues& m) {
            m.hasExternalDisplay = true;
            m.isProcessTriggerActive = true;
        });
    });
}

// The snapshot and the decision alone, without applying it, for the busy state above.
void BM_snapshotAndDecide(benchmark::State& state) {
    AppStateHarness h;
    h.onBattery(72);
    h.state->set(&SettingsValues::autoActivateOnExternalDisplay, true);
    h.state->updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    h.state->toggle();
    for (auto _ : state) {
        PriorityDecision decision = decideSleepPrevention(h.state->makePriorityChainInput());
        benchmark::DoNotOptimize(decision);
    }
}

BENCHMARK(BM_reevaluateInactive);
BENCHMARK(BM_reevaluateManualOnCharger);
BENCHMARK(BM_reevaluateBusyOnBattery);
BENCHMARK(BM_snapshotAndDecide);

}  // namespace
}  // namespace torvel

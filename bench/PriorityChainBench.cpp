// The keep-awake decision on its own: a pure function every re-evaluation calls twice, so it should
// cost well under 100 ns whatever the input.
#include <benchmark/benchmark.h>

#include "Core/PriorityChain.h"

namespace torvel {
namespace {

// A laptop on battery above its limit, kept awake by hand, by an external display and by a watched
// application, with the display-sleep setting on: the usual busy case.
PriorityChainInput typicalInput() {
    PriorityChainInput in;
    in.hasBattery = true;
    in.isOnACPower = false;
    in.batteryPercentage = 64;
    in.effectiveBatteryLimit = 20;
    in.isManuallyActivated = true;
    in.autoActivateOnExternalDisplay = true;
    in.hasExternalDisplay = true;
    in.isProcessTriggerActive = true;
    in.preventDisplaySleep = true;
    return in;
}

// Nothing asks to stay awake, on the charger: what most monitor readings re-evaluate.
PriorityChainInput idleInput() {
    return PriorityChainInput{};
}

// Every reason at once, the trusted network held by its lid-closed latch, a profile's type winning.
PriorityChainInput everyReasonInput() {
    PriorityChainInput in = typicalInput();
    in.isTimerRunning = true;
    in.autoActivateOnMirroring = true;
    in.isMirroring = true;
    in.profileAssertionType = AssertionType::noSystemSleep;
    in.trustedNetworkActivationEnabled = true;
    in.hasTrustedNetworks = true;
    in.trustedNetworkLatchedWhileLidClosed = true;
    in.isLidClosed = true;
    in.isTrustedNetworkLatchValid = true;
    return in;
}

// On battery below the soft limit: the chain stops before collecting any reason.
PriorityChainInput softLimitInput() {
    PriorityChainInput in = typicalInput();
    in.batteryPercentage = 15;
    return in;
}

void decide(benchmark::State& state, PriorityChainInput (*make)()) {
    PriorityChainInput input = make();
    for (auto _ : state) {
        // The input passes through memory each round so the call cannot be hoisted out of the loop.
        benchmark::DoNotOptimize(input);
        PriorityDecision decision = decideSleepPrevention(input);
        benchmark::DoNotOptimize(decision);
    }
}

BENCHMARK_CAPTURE(decide, typical, typicalInput);
BENCHMARK_CAPTURE(decide, idle, idleInput);
BENCHMARK_CAPTURE(decide, everyReason, everyReasonInput);
BENCHMARK_CAPTURE(decide, softLimitStop, softLimitInput);

}  // namespace
}  // namespace torvel

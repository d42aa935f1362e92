#include "Monitors/BatteryMonitor.h"

#include <cmath>
#include <functional>
#include <limits>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

// A battery state without an estimate.
BatteryState present(std::int64_t percent, bool onAC, bool charging) {
    return BatteryState{percent, onAC, charging, true, std::nullopt};
}

class BatteryMonitorTest : public ::testing::Test {
protected:
    BatteryMonitorTest() { sources.setEstimate(kTimeRemainingUnknown); }

    // A refresh on battery power at `percent`, `minutes` after the start on the wall clock.
    void sampleOnBattery(int percent, double minutes) {
        clock.setNow(Date(minutes * 60.0));
        sources.setOnAC(false);
        sources.setCharging(false);
        sources.setBatteryPercent(percent);
        monitor.refreshState();
    }

    SimClock clock{Date(0.0)};
    VirtualScheduler scheduler{clock};
    CapturingLogSink log;
    SimPowerSources sources{scheduler};
    BatteryMonitor monitor{sources, clock, log};
    std::vector<std::string> published;
    Connection publishing = monitor.stateChanged.connect(
        [this](const BatteryState& state) { published.push_back(state.toString()); });
};

TEST_F(BatteryMonitorTest, ReadsTypedKeysAndDefaultsMissingOrMistypedOnes) {
    using Value = std::optional<PowerSourceValue>;  // std::nullopt: the key is missing
    const Value none, battery = std::string(kBatteryPowerState);
    struct Case {
        const char* name;
        Value capacity, state, charging;
        BatteryState expected;
        ReadStatus status = ReadStatus::ok;
    } cases[] = {
        {"laptop on battery", std::int64_t{57}, battery, false, present(57, false, false)},
        {"charging on battery power", none, battery, true, present(100, false, true)},
        {"every key missing", none, none, none, present(100, true, false)},
        {"capacity as text", "57", battery, none, present(100, false, false)},
        {"capacity as a fraction", 57.0, battery, none, present(100, false, false)},
        {"state as a number", none, std::int64_t{0}, none, present(100, true, false)},
        {"state of another name", none, "UPS Power", none, present(100, false, false)},
        {"charging as a number", none, battery, std::int64_t{1}, present(100, false, false)},
        {"no power-source information", none, none, none, BatteryState::noBattery(), ReadStatus::noInfo},
        {"desktop without power sources", none, none, none, BatteryState::noBattery(), ReadStatus::noSources},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        SimPowerSources machine{scheduler};
        machine.setEstimate(kTimeRemainingUnknown);
        for (const auto& [key, value] :
             {std::pair{kCurrentCapacityKey, c.capacity}, std::pair{kPowerSourceStateKey, c.state},
              std::pair{kIsChargingKey, c.charging}}) {
            value ? machine.setRawValue(key, *value) : machine.removeValue(key);
        }
        if (c.status == ReadStatus::noInfo) machine.setNoPowerSource();
        if (c.status == ReadStatus::noSources) machine.setNoSources();
        BatteryMonitor fresh{machine, clock, log};
        std::vector<std::string> seen;
        auto connection =
            fresh.stateChanged.connect([&](const BatteryState& state) { seen.push_back(state.toString()); });

        fresh.refreshState();
        fresh.refreshState();  // an unchanged state is published again: consumers detect changes

        EXPECT_EQ(seen, std::vector<std::string>(2, c.expected.toString()));
    }
    EXPECT_TRUE(log.lines().empty());
}

TEST_F(BatteryMonitorTest, UnreadableSourceKeepsTheStateAndNoSourcesKeepTheHistory) {
    sampleOnBattery(80, 0);
    sampleOnBattery(78, 10);
    ASSERT_EQ(published.size(), 2u);

    sources.setNoDescription();
    monitor.refreshState();
    EXPECT_EQ(published.size(), 2u) << "a skipped refresh tells nobody";
    EXPECT_EQ(monitor.currentState(), present(78, false, false));

    sources.setNoSources();
    monitor.refreshState();
    EXPECT_EQ(published.back(), BatteryState::noBattery().toString());
    EXPECT_EQ(monitor.drainHistory().size(), 2u);
    EXPECT_EQ(monitor.drainRatePerMinute(), 0.2);
}

TEST_F(BatteryMonitorTest, TurnsOnlyPositiveFiniteEstimatesIntoWholeMinutes) {
    const double nan = std::nan("");
    const double inf = std::numeric_limits<double>::infinity();
    const std::pair<double, std::optional<std::int64_t>> cases[] = {
        {kTimeRemainingUnknown, std::nullopt},
        {kTimeRemainingUnlimited, std::nullopt},
        {0.0, std::nullopt},
        {59.0, 0},
        {61.0, 1},
        {5430.0, 90},
        {6e20, std::nullopt},
        {nan, std::nullopt},
        {inf, std::nullopt},
        {-inf, std::nullopt},
    };
    sources.setOnAC(false);
    for (const auto& [seconds, minutes] : cases) {
        SCOPED_TRACE(seconds);
        sources.setEstimate(seconds);
        monitor.refreshState();
        EXPECT_EQ(monitor.currentState().estimatedMinutesRemaining, minutes);
    }
}

TEST_F(BatteryMonitorTest, KeepsTheNewestTwentySamplesInOrder) {
    for (int i = 0; i <= 20; ++i) sampleOnBattery(100 - i, i);

    const auto& history = monitor.drainHistory();
    ASSERT_EQ(history.size(), BatteryMonitor::kMaxHistorySize);
    EXPECT_EQ(history.front(), (BatteryMonitor::Sample{Date(60.0), 99}));
    EXPECT_EQ(history.back(), (BatteryMonitor::Sample{Date(1200.0), 80}));
    EXPECT_EQ(monitor.drainRatePerMinute(), 1.0);
}

TEST_F(BatteryMonitorTest, ChargerOrChargingEmptiesTheHistoryUntilTwoNewSamples) {
    const std::function<void()> plugIns[] = {[&] { sources.setOnAC(true); },
                                             [&] { sources.setCharging(true); }};
    for (const auto& plugIn : plugIns) {
        sampleOnBattery(80, 0);
        sampleOnBattery(78, 10);
        ASSERT_TRUE(monitor.minutesUntilThreshold(20));

        plugIn();
        monitor.refreshState();
        EXPECT_TRUE(monitor.drainHistory().empty());
        EXPECT_EQ(monitor.minutesUntilThreshold(20), std::nullopt);

        sampleOnBattery(77, 20);
        EXPECT_EQ(monitor.drainRatePerMinute(), std::nullopt);
        sampleOnBattery(76, 25);
        EXPECT_EQ(monitor.drainRatePerMinute(), 0.2);

        sources.setOnAC(true);
        monitor.refreshState();
    }
}

TEST_F(BatteryMonitorTest, ForecastsFromTheOldestAndNewestSample) {
    constexpr auto kMin = std::numeric_limits<std::int64_t>::min();
    constexpr auto kMax = std::numeric_limits<std::int64_t>::max();
    std::vector<std::pair<double, int>> discharge;  // 1 % every 3 minutes, 90 % down to 80 %
    for (int i = 0; i <= 10; ++i) discharge.push_back({3.0 * i, 90 - i});
    struct Case {
        const char* name;
        std::vector<std::pair<double, int>> samples;  // (minutes, percent)
        std::int64_t threshold;
        std::optional<double> rate;
        std::optional<std::int64_t> minutes;
    } cases[] = {
        {"two samples", {{0, 80}, {10, 78}}, 20, 0.2, 290},
        {"steady discharge", discharge, 20, 1.0 / 3.0, 180},
        {"at the threshold", {{0, 80}, {10, 78}}, 78, 0.2, 0},
        {"below the threshold", {{0, 80}, {10, 78}}, 90, 0.2, 0},
        {"threshold far below", {{0, 80}, {10, 78}}, kMin, 0.2, kMax},
        {"threshold far above", {{0, 80}, {10, 78}}, kMax, 0.2, 0},
        {"one sample", {{0, 80}}, 20, std::nullopt, std::nullopt},
        {"flat", {{0, 80}, {5, 79}, {10, 80}}, 20, std::nullopt, std::nullopt},
        {"rising", {{0, 78}, {10, 80}}, 20, std::nullopt, std::nullopt},
        {"no time between", {{10, 80}, {10, 78}}, 20, std::nullopt, std::nullopt},
        {"clock set back", {{10, 80}, {0, 78}}, 20, std::nullopt, std::nullopt},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        sources.setOnAC(true);
        monitor.refreshState();
        for (const auto& [minutes, percent] : c.samples) sampleOnBattery(percent, minutes);

        const std::optional<double> rate = monitor.drainRatePerMinute();
        ASSERT_EQ(rate.has_value(), c.rate.has_value());
        if (rate) {
            EXPECT_DOUBLE_EQ(*rate, *c.rate);
        }
        EXPECT_EQ(monitor.minutesUntilThreshold(c.threshold), c.minutes);
    }
}

TEST_F(BatteryMonitorTest, RefreshesOnChangeNotificationsUntilDestroyed) {
    monitor.startMonitoring();
    EXPECT_EQ(sources.readCount(), 0) << "starting reads nothing";
    sources.setBatteryPercent(42);
    sources.setOnAC(false);
    sources.emitChange();
    EXPECT_TRUE(published.empty()) << "the change arrives on the main loop";
    scheduler.runPending();
    EXPECT_EQ(published, std::vector<std::string>{present(42, false, false).toString()});

    {
        BatteryMonitor shortLived{sources, clock, log};
        shortLived.startMonitoring();
        sources.emitChange();
    }
    EXPECT_FALSE(sources.isNotifying());
    scheduler.runPending();  // the delivery already posted must not reach the destroyed monitor
    EXPECT_EQ(sources.readCount(), 1);
}

TEST_F(BatteryMonitorTest, WithoutNotificationsStillRefreshesOnDemand) {
    sources.failNotificationSetup();
    monitor.startMonitoring();
    EXPECT_FALSE(sources.isNotifying());

    sources.setBatteryPercent(64);
    monitor.refreshState();
    EXPECT_EQ(monitor.currentState().percentage, 64);
}

}  // namespace
}  // namespace torvel

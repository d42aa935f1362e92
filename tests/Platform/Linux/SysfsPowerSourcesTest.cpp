#include "Platform/Linux/Power/SysfsPowerSources.h"

#include <gtest/gtest.h>

#include <optional>

#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;

// A laptop on battery with its charger unplugged, and a wireless mouse whose battery must not count.
class SysfsPowerSourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_FALSE(root_.empty());
        for (const auto& [file, text] : {std::pair{"BAT0/type", "Battery\n"},
                                         {"BAT0/status", "Discharging\n"},
                                         {"BAT0/capacity", "57\n"},
                                         {"BAT0/energy_now", "30000000\n"},
                                         {"BAT0/energy_full", "50000000\n"},
                                         {"BAT0/power_now", "10000000\n"},
                                         {"AC/type", "Mains\n"},
                                         {"AC/online", "0\n"},
                                         // sorts first, so only its scope keeps it out
                                         {"ACME_mouse/type", "Battery\n"},
                                         {"ACME_mouse/scope", "Device\n"},
                                         {"ACME_mouse/status", "Charging\n"},
                                         {"ACME_mouse/capacity", "90\n"}}) {
            write(file, text);
        }
    }
    void write(const std::string& file, const std::string& text) { test::writeFile(root_ / file, text); }
    std::optional<PowerSourceValue> value(const char* key) {
        const auto reading = sources_.readFirstSource();
        EXPECT_EQ(reading.status, ReadStatus::ok);
        const auto found = reading.description.values.find(key);
        if (found == reading.description.values.end()) return std::nullopt;
        return found->second;
    }

    test::TemporaryFolder folder_{"torvel-power"};
    fs::path root_ = folder_.path();
    SimClock clock_;
    VirtualScheduler scheduler_{clock_};
    CapturingLogSink log_;
    SysfsPowerSources sources_{scheduler_, log_, root_};
};

const PowerSourceValue kOnAC{std::string(kACPowerState)}, kOnBattery{std::string(kBatteryPowerState)};

TEST_F(SysfsPowerSourcesTest, ReadsTheSystemBatteryAndItsCharger) {
    EXPECT_EQ(value(kCurrentCapacityKey), PowerSourceValue{std::int64_t{57}});
    EXPECT_EQ(value(kPowerSourceStateKey), kOnBattery);
    EXPECT_EQ(value(kIsChargingKey), PowerSourceValue{false});
    EXPECT_DOUBLE_EQ(sources_.timeRemainingEstimate(), 3 * 3600.0);  // 30 Wh at 10 W
    // Drivers that count charge report the current, some of them signed.
    fs::remove(root_ / "BAT0/power_now");
    write("BAT0/charge_now", "2000000");
    write("BAT0/current_now", "-4000000");
    EXPECT_DOUBLE_EQ(sources_.timeRemainingEstimate(), 1800.0);

    write("AC/online", "1");
    write("BAT0/status", "Charging");
    EXPECT_EQ(value(kPowerSourceStateKey), kOnAC);
    EXPECT_EQ(value(kIsChargingKey), PowerSourceValue{true});
    EXPECT_EQ(sources_.timeRemainingEstimate(), kTimeRemainingUnlimited);

    // Without a charger supply the battery's status tells.
    fs::remove_all(root_ / "AC");
    write("BAT0/status", "Not charging");
    EXPECT_EQ(value(kPowerSourceStateKey), kOnAC);
    write("BAT0/status", "Unknown");
    EXPECT_EQ(value(kPowerSourceStateKey), std::nullopt);
    EXPECT_EQ(sources_.timeRemainingEstimate(), kTimeRemainingUnknown);
}

TEST_F(SysfsPowerSourcesTest, HostileContentsClampOrFallBack) {
    // Anything that is not a whole number falls back to 30 of 50 Wh.
    const std::pair<const char*, std::int64_t> capacities[] = {{"  61 \n", 61},
                                                               {"-5", 0},
                                                               {"250\n", 100},
                                                               {"abc", 60},
                                                               {"57abc", 60},
                                                               {"", 60},
                                                               {"99999999999999999999", 60}};
    for (const auto& [text, expected] : capacities) {
        write("BAT0/capacity", text);
        EXPECT_EQ(value(kCurrentCapacityKey), PowerSourceValue{expected}) << "capacity '" << text << "'";
    }
    write("BAT0/energy_full", "0");
    EXPECT_EQ(value(kCurrentCapacityKey), std::nullopt);
    write("BAT0/power_now", "0");
    EXPECT_EQ(sources_.timeRemainingEstimate(), kTimeRemainingUnknown);
    write("AC/online", "yes");  // no number: the battery status decides
    EXPECT_EQ(value(kPowerSourceStateKey), kOnBattery);

    fs::remove_all(root_ / "BAT0");
    write("BAT1/type", "Battery");
    write("BAT1/present", "0");
    EXPECT_EQ(sources_.readFirstSource().status, ReadStatus::noSources);
    SysfsPowerSources missing(scheduler_, log_, root_ / "nonexistent");
    EXPECT_EQ(missing.readFirstSource().status, ReadStatus::noInfo);
    EXPECT_EQ(missing.timeRemainingEstimate(), kTimeRemainingUnknown);
}

TEST_F(SysfsPowerSourcesTest, PollsOnlyWhileNotifyingAndReportsOnlyChanges) {
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    int changes = 0;
    ASSERT_TRUE(sources_.setOnChange([&] { ++changes; }));
    scheduler_.advance(SysfsPowerSources::kPollSeconds);
    EXPECT_EQ(changes, 0);
    write("BAT0/capacity", "56");
    scheduler_.advance(SysfsPowerSources::kPollSeconds);
    EXPECT_EQ(changes, 1);
    scheduler_.advance(3 * SysfsPowerSources::kPollSeconds);
    EXPECT_EQ(changes, 1);

    sources_.stopNotifications();
    EXPECT_EQ(scheduler_.activeTimerCount(), 0u);
    write("AC/online", "1");
    scheduler_.advance(2 * SysfsPowerSources::kPollSeconds);
    EXPECT_EQ(changes, 1);
}

}  // namespace
}  // namespace torvel

#include "Platform/Linux/Power/UPowerPowerSources.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <limits>

#include <signal.h>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Power/SysfsPowerSources.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

// dbusmock's upower template on the private system bus.
class UPowerPowerSourcesTest : public PrivateBusTest {
protected:
    // A laptop with a discharging battery at 42 % and 5430 s left.
    void startLaptop() {
        ASSERT_TRUE(buses.startTemplate(Bus::system, "upower", "org.freedesktop.UPower",
                                        R"({"DaemonVersion": "0.99", "OnBattery": true})"));
        call("org.freedesktop.DBus.Mock", "SetupDisplayDevice",
             {2u, 2u, 42.0, 42.0, 100.0, 10.0, qlonglong{5430}, qlonglong{0}, true, "battery-good", 1u});
    }
    // Changes the DisplayDevice; the mock emits PropertiesChanged for each property.
    void setDevice(const QVariantMap& properties) {
        call("org.freedesktop.DBus.Mock", "SetDeviceProperties",
             {QVariant::fromValue(QDBusObjectPath("/org/freedesktop/UPower/devices/DisplayDevice")),
              properties});
    }
    void setOnBattery(bool onBattery) {
        call("org.freedesktop.DBus.Properties", "Set",
             {"org.freedesktop.UPower", "OnBattery", QVariant::fromValue(QDBusVariant(onBattery))});
    }
    void call(const char* interface, const char* method, const QVariantList& arguments) {
        const auto reply = buses.call(Bus::system, "org.freedesktop.UPower", "/org/freedesktop/UPower",
                                      interface, method, arguments);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }
    void signalDaemon(int signal) {
        ASSERT_TRUE(buses.signalOwner(Bus::system, "org.freedesktop.UPower", signal));
    }
    // Waits until the cached properties show what UPower has.
    static bool loaded(UPowerPowerSources& sources) {
        return PrivateBuses::waitFor([&] { return sources.readFirstSource().status == ReadStatus::ok; });
    }
    static std::optional<PowerSourceValue> capacity(UPowerPowerSources& sources) {
        const auto values = sources.readFirstSource().description.values;
        const auto found = values.find(kCurrentCapacityKey);
        return found == values.end() ? std::nullopt : std::optional(found->second);
    }
};

TEST_F(UPowerPowerSourcesTest, ReadsADischargingBatteryFromItsCacheAndFollowsItsChanges) {
    startLaptop();
    UPowerPowerSources sources(system(), log);
    ASSERT_TRUE(loaded(sources));
    // A UPower that cannot answer (stopped) does not hold the reads up, nor change what they say.
    signalDaemon(SIGSTOP);
    const auto reading = sources.readFirstSource();
    const double estimate = sources.timeRemainingEstimate();
    signalDaemon(SIGCONT);
    EXPECT_EQ(reading.description.values, (std::map<std::string, PowerSourceValue>{
                                              {kCurrentCapacityKey, std::int64_t{42}},
                                              {kPowerSourceStateKey, std::string(kBatteryPowerState)},
                                              {kIsChargingKey, false}}));
    EXPECT_DOUBLE_EQ(estimate, 5430.0);

    // Percentages UPower should never send: clamped, or left out rather than guessed.
    const std::pair<double, std::optional<PowerSourceValue>> percentages[] = {
        {42.5, std::int64_t{43}},
        {-3.0, std::int64_t{0}},
        {142.0, std::int64_t{100}},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt}};
    for (const auto& [percent, expectedCapacity] : percentages) {
        setDevice({{"Percentage", percent}});
        const auto& want = expectedCapacity;  // clang 14 cannot capture a structured binding
        EXPECT_TRUE(PrivateBuses::waitFor([&] { return capacity(sources) == want; })) << percent;
    }

    // Still learning the rate: no estimate. Pending charge is on the charger, not charging.
    setDevice({{"TimeToEmpty", qlonglong{0}}, {"State", 5u}});
    ASSERT_TRUE(
        PrivateBuses::waitFor([&] { return sources.timeRemainingEstimate() == kTimeRemainingUnknown; }));
    EXPECT_EQ(sources.readFirstSource().description.values.at(kIsChargingKey), PowerSourceValue{false});
    // Both the device's properties and the daemon's OnBattery are followed.
    setOnBattery(false);
    EXPECT_TRUE(
        PrivateBuses::waitFor([&] { return sources.timeRemainingEstimate() == kTimeRemainingUnlimited; }));
    setDevice({{"State", 1u}});
    EXPECT_TRUE(PrivateBuses::waitFor([&] {
        return sources.readFirstSource().description.values.at(kIsChargingKey) == PowerSourceValue{true};
    }));
}

TEST_F(UPowerPowerSourcesTest, FollowsUPowerComingAndGoingAndFallsBackWithoutIt) {
    SimClock clock;
    VirtualScheduler scheduler(clock);
    EXPECT_NE(dynamic_cast<SysfsPowerSources*>(makeLinuxPowerSources(system(), scheduler, log).get()),
              nullptr);
    UPowerPowerSources sources(system(), log);
    int announced = 0;
    ASSERT_TRUE(sources.setOnChange([&] { ++announced; }));
    EXPECT_EQ(sources.readFirstSource().status, ReadStatus::noInfo);

    // UPower starts later, on a machine whose only battery is a UPS.
    ASSERT_TRUE(buses.startTemplate(Bus::system, "upower", "org.freedesktop.UPower",
                                    R"({"DaemonVersion": "0.99", "OnBattery": true})"));
    call("org.freedesktop.DBus.Mock", "SetupDisplayDevice",
         {3u, 2u, 64.0, 64.0, 100.0, 10.0, qlonglong{1200}, qlonglong{0}, true, "battery-good", 1u});
    ASSERT_TRUE(
        PrivateBuses::waitFor([&] { return capacity(sources) == PowerSourceValue{std::int64_t{64}}; }));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return announced > 0; }));
    EXPECT_DOUBLE_EQ(sources.timeRemainingEstimate(), 1200.0);

    // Gone: nothing is known any more, and that is announced too.
    announced = 0;
    signalDaemon(SIGKILL);
    ASSERT_TRUE(
        PrivateBuses::waitFor([&] { return sources.readFirstSource().status == ReadStatus::noInfo; }));
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return announced > 0; }));
    EXPECT_EQ(sources.timeRemainingEstimate(), kTimeRemainingUnknown);

    // A desktop: the DisplayDevice stays absent.
    ASSERT_TRUE(buses.startTemplate(Bus::system, "upower", "org.freedesktop.UPower"));
    call("org.freedesktop.DBus.Mock", "AddAC", {"line_power_AC", "Mains"});
    auto desktop = makeLinuxPowerSources(system(), scheduler, log);
    ASSERT_NE(dynamic_cast<UPowerPowerSources*>(desktop.get()), nullptr);
    EXPECT_TRUE(
        PrivateBuses::waitFor([&] { return desktop->readFirstSource().status == ReadStatus::noSources; }));
    EXPECT_TRUE(
        PrivateBuses::waitFor([&] { return desktop->timeRemainingEstimate() == kTimeRemainingUnlimited; }));
}

}  // namespace
}  // namespace torvel

#include "Platform/Linux/UPowerPowerSources.h"

#include <gtest/gtest.h>

#include <QDBusObjectPath>
#include <QDBusVariant>
#include <limits>

#include "Monitors/BatteryMonitor.h"
#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/SysfsPowerSources.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

// dbusmock's upower template on the private system bus.
class UPowerPowerSourcesTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses_.unavailableReason().empty()) GTEST_SKIP() << buses_.unavailableReason();
    }

    // A laptop with a discharging battery at 42 % and 5430 s left.
    void startLaptop() {
        ASSERT_TRUE(buses_.startTemplate(Bus::system, "upower", "org.freedesktop.UPower",
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
        auto message = QDBusMessage::createMethodCall("org.freedesktop.UPower", "/org/freedesktop/UPower",
                                                      interface, method);
        message.setArguments(arguments);
        const auto reply = buses_.connection(Bus::system).call(message, QDBus::Block, 5000);
        ASSERT_EQ(reply.type(), QDBusMessage::ReplyMessage) << reply.errorMessage().toStdString();
    }

    PrivateBuses buses_;
    CapturingLogSink log_;
};

TEST_F(UPowerPowerSourcesTest, ReadsADischargingBattery) {
    startLaptop();
    UPowerPowerSources sources(buses_.connection(Bus::system), log_);
    const auto reading = sources.readFirstSource();
    ASSERT_EQ(reading.status, ReadStatus::ok);
    const std::map<std::string, PowerSourceValue> expected = {
        {kCurrentCapacityKey, std::int64_t{42}},
        {kPowerSourceStateKey, std::string(kBatteryPowerState)},
        {kIsChargingKey, false}};
    EXPECT_EQ(reading.description.values, expected);
    EXPECT_DOUBLE_EQ(sources.timeRemainingEstimate(), 5430.0);

    // Percentages UPower should never send: clamped, or left out rather than guessed.
    const std::pair<double, std::optional<PowerSourceValue>> percentages[] = {
        {42.5, std::int64_t{43}},
        {-3.0, std::int64_t{0}},
        {142.0, std::int64_t{100}},
        {std::numeric_limits<double>::quiet_NaN(), std::nullopt}};
    for (const auto& [percent, capacity] : percentages) {
        setDevice({{"Percentage", percent}});
        const auto values = sources.readFirstSource().description.values;
        const auto found = values.find(kCurrentCapacityKey);
        EXPECT_EQ(found == values.end() ? std::nullopt : std::optional(found->second), capacity) << percent;
    }

    // Still learning the rate: no estimate. Pending charge is on the charger, not charging.
    setDevice({{"TimeToEmpty", qlonglong{0}}, {"State", 5u}});
    EXPECT_EQ(sources.timeRemainingEstimate(), kTimeRemainingUnknown);
    EXPECT_EQ(sources.readFirstSource().description.values.at(kIsChargingKey), PowerSourceValue{false});
    setOnBattery(false);
    EXPECT_EQ(sources.timeRemainingEstimate(), kTimeRemainingUnlimited);
}

TEST_F(UPowerPowerSourcesTest, ChangesArriveAsNotificationsAndReachTheMonitor) {
    startLaptop();
    UPowerPowerSources sources(buses_.connection(Bus::system), log_);
    SimClock clock;
    BatteryMonitor monitor(sources, clock, log_);
    monitor.startMonitoring();

    // Both the device's properties and the daemon's OnBattery are watched.
    setDevice({{"Percentage", 37.0}, {"TimeToEmpty", qlonglong{3600}}});
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().percentage == 37; }));
    EXPECT_FALSE(monitor.currentState().isOnACPower);
    EXPECT_EQ(monitor.currentState().estimatedMinutesRemaining, 60);
    setDevice({{"State", 1u}});
    setOnBattery(false);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return monitor.currentState().isOnACPower; }));
    EXPECT_TRUE(monitor.currentState().isCharging);
}

TEST_F(UPowerPowerSourcesTest, NoDaemonIsNoInfoAndLinePowerAloneIsNoSources) {
    SimClock clock;
    VirtualScheduler scheduler(clock);
    const auto system = buses_.connection(Bus::system);
    EXPECT_EQ(UPowerPowerSources(system, log_).readFirstSource().status, ReadStatus::noInfo);
    EXPECT_NE(dynamic_cast<SysfsPowerSources*>(makeLinuxPowerSources(system, scheduler, log_).get()),
              nullptr);

    // A desktop: the DisplayDevice stays absent.
    ASSERT_TRUE(buses_.startTemplate(Bus::system, "upower", "org.freedesktop.UPower"));
    call("org.freedesktop.DBus.Mock", "AddAC", {"line_power_AC", "Mains"});
    auto desktop = makeLinuxPowerSources(system, scheduler, log_);
    ASSERT_NE(dynamic_cast<UPowerPowerSources*>(desktop.get()), nullptr);
    EXPECT_EQ(desktop->readFirstSource().status, ReadStatus::noSources);
    EXPECT_EQ(desktop->timeRemainingEstimate(), kTimeRemainingUnlimited);
}

}  // namespace
}  // namespace torvel

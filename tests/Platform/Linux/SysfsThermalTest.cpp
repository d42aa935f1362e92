#include "Platform/Linux/Power/SysfsThermal.h"

#include <gtest/gtest.h>

#include <string>

#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

namespace fs = std::filesystem;
using T = ThermalState;

TEST(SysfsThermalTest, TripsMapSoThatEveryStateCanBeSeen) {
    // A laptop zone: two fan steps, throttling at 90 °C, power-off at 105 °C with no hot trip.
    const auto laptop = SysfsThermal::thresholds({{"active", 70000, 2000},
                                                  {"active", 55000, 3000},
                                                  {"passive", 90000, 4000},
                                                  {"critical", 105000, 0}});
    const struct {
        long temperature;
        T previous;
        T expected;
    } rows[] = {
        {54999, T::nominal, T::nominal},
        {55000, T::nominal, T::fair},
        {89999, T::fair, T::fair},
        {90000, T::fair, T::serious},
        {99999, T::serious, T::serious},
        {100000, T::serious, T::critical},
        // Leaving a state takes falling below its trip minus the hysteresis.
        {99999, T::critical, T::serious},
        {86000, T::serious, T::serious},
        {85999, T::serious, T::fair},
        {52000, T::fair, T::fair},
        {51999, T::fair, T::nominal},
        // The band below a state only keeps a state the zone was in.
        {86000, T::fair, T::fair},
    };
    for (const auto& row : rows)
        EXPECT_EQ(SysfsThermal::classify(laptop, row.temperature, row.previous), row.expected)
            << row.temperature << " from " << toString(row.previous);

    // A hot trip wins over the critical margin; trips at or below 0 °C and unknown types are ignored.
    const auto zone = SysfsThermal::thresholds({{"hot", 95000, 0},
                                                {"critical", 105000, 0},
                                                {"active", 0, 0},
                                                {"passive", -5000, 0},
                                                {"fan", 40000, 0}});
    EXPECT_EQ(SysfsThermal::classify(zone, 94000, T::nominal), T::nominal);
    EXPECT_EQ(SysfsThermal::classify(zone, 95000, T::nominal), T::critical);
}

class SysfsThermalTreeTest : public ::testing::Test {
protected:
    void write(const std::string& file, const std::string& text) { test::writeFile(root_ / file, text); }
    void zone(const std::string& name, const std::string& temperature) {
        write(name + "/temp", temperature);
        write(name + "/trip_point_0_type", "active\n");
        write(name + "/trip_point_0_temp", "50000\n");
        write(name + "/trip_point_1_type", "passive\n");
        write(name + "/trip_point_1_temp", "80000\n");
        write(name + "/trip_point_1_hyst", "5000\n");
        write(name + "/trip_point_2_type", "critical\n");
        write(name + "/trip_point_2_temp", "100000\n");
    }

    test::TemporaryFolder folder_{"torvel-thermal"};
    fs::path root_ = folder_.path();
    SysfsThermal thermal_{root_};
};

TEST_F(SysfsThermalTreeTest, WorstEnabledZoneWinsAndHostileFilesAreIgnored) {
    ASSERT_FALSE(root_.empty());
    EXPECT_EQ(thermal_.readState(), std::nullopt);  // no zone at all

    zone("thermal_zone0", "45000\n");
    zone("thermal_zone1", "60000\n");
    zone("thermal_zone2", "99000\n");
    write("thermal_zone2/mode", "disabled\n");
    zone("thermal_zone3", "ninety\n");
    zone("thermal_zone4", std::string(4096, '9'));
    write("cooling_device0/temp", "120000\n");
    EXPECT_EQ(thermal_.readState(), T::fair);

    // The hysteresis is kept per zone between readings.
    write("thermal_zone0/temp", "81000\n");
    EXPECT_EQ(thermal_.readState(), T::serious);
    write("thermal_zone0/temp", "76000\n");
    EXPECT_EQ(thermal_.readState(), T::serious);
    write("thermal_zone0/temp", "74999\n");
    EXPECT_EQ(thermal_.readState(), T::fair);

    // 5 °C under the critical trip, as there is no hot trip.
    write("thermal_zone1/temp", "95000\n");
    EXPECT_EQ(thermal_.readState(), T::critical);
}

TEST_F(SysfsThermalTreeTest, AZoneThatStopsReadingStaysAsHotAsItWasLastRead) {
    ASSERT_FALSE(root_.empty());
    zone("thermal_zone0", "45000\n");
    zone("thermal_zone1", "97000\n");
    zone("thermal_zone2", "error\n");  // never readable: left out
    EXPECT_EQ(thermal_.readState(), T::critical);

    // A sensor failing is no cooling down, whether its file is gone or holds garbage.
    fs::remove(root_ / "thermal_zone1/temp");
    EXPECT_EQ(thermal_.readState(), T::critical);
    write("thermal_zone1/temp", "");
    EXPECT_EQ(thermal_.readState(), T::critical);
    write("thermal_zone0/temp", "zzz\n");
    EXPECT_EQ(thermal_.readState(), T::critical);

    // Readable again, it counts as read, from the state it kept.
    write("thermal_zone1/temp", "76000\n");
    EXPECT_EQ(thermal_.readState(), T::serious);
    // A zone gone from the tree (its device removed) is no longer counted.
    fs::remove_all(root_ / "thermal_zone1");
    EXPECT_EQ(thermal_.readState(), T::nominal);
}

}  // namespace
}  // namespace torvel

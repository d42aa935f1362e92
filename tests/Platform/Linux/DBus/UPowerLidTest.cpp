#include "Platform/Linux/Power/UPowerLid.h"

#include <gtest/gtest.h>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/TestSupport.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/VirtualScheduler.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

// dbusmock's upower template on the private system bus, and an ACPI button folder of our own.
class UPowerLidTest : public PrivateBusTest {
protected:
    void SetUp() override {
        PrivateBusTest::SetUp();
        writeState("state:      open\n");
    }
    void startUPower(bool lidPresent) {
        const QString parameters =
            QString(R"({"LidIsPresent": %1, "LidIsClosed": false})").arg(lidPresent ? "true" : "false");
        ASSERT_TRUE(buses.startTemplate(Bus::system, "upower", "org.freedesktop.UPower", parameters));
    }
    void setLidClosed(bool closed) {
        ASSERT_TRUE(buses.setProperty(Bus::system, "org.freedesktop.UPower", "/org/freedesktop/UPower",
                                      "org.freedesktop.UPower", "LidIsClosed", closed));
    }
    void writeState(const QByteArray& text, const char* button = "LID0") {
        test::writeFile(dir_ / button / "state", text.toStdString());
    }
    std::string root() const { return dir_.path().string(); }

    test::TemporaryFolder dir_{"torvel-lid"};
    SimClock clock_{Date(0)};
    VirtualScheduler scheduler_{clock_};
};

TEST_F(UPowerLidTest, FollowsUPowersLidAndNeverReadsTheButtonWhileItKnowsOne) {
    startUPower(true);
    UPowerLid lid(system(), scheduler_, log, root());
    int changes = 0;
    const Connection changed = lid.changed.connect([&] { ++changes; });
    lid.setReadingNeeded(true);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return lid.readClosed() == false; }));
    EXPECT_FALSE(lid.isPolling());

    writeState("state:      closed\n");  // the button disagrees: it is not the source here
    const int before = changes;
    setLidClosed(true);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return lid.readClosed() == true; }));
    EXPECT_GT(changes, before);
    EXPECT_FALSE(lid.isPolling());
    setLidClosed(false);
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return lid.readClosed() == false; }));
}

TEST_F(UPowerLidTest, ReadsTheButtonOnlyWhileNeededWhereUPowerKnowsNoLid) {
    startUPower(false);
    UPowerLid lid(system(), scheduler_, log, root());
    int changes = 0;
    const Connection changed = lid.changed.connect([&] { ++changes; });
    // Not needed: UPower's answer arrives, and still nothing is read.
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes >= 1; }));
    const int answered = changes;
    EXPECT_FALSE(lid.isPolling());
    EXPECT_EQ(lid.readClosed(), std::nullopt);

    lid.setReadingNeeded(true);
    EXPECT_TRUE(lid.isPolling());
    EXPECT_EQ(changes, answered) << "the first reading waits for the next turn of the loop";
    scheduler_.advance(0);
    EXPECT_EQ(lid.readClosed(), false);
    writeState("state:      closed\n");
    const int before = changes;
    scheduler_.advance(UPowerLid::kPollSeconds);
    EXPECT_EQ(lid.readClosed(), true);
    EXPECT_EQ(changes, before + 1);
    scheduler_.advance(UPowerLid::kPollSeconds);
    EXPECT_EQ(changes, before + 1);  // the same state again is no change

    lid.setReadingNeeded(false);
    EXPECT_FALSE(lid.isPolling());
    EXPECT_EQ(lid.readClosed(), std::nullopt);

    // A machine without any lid button is not read every few seconds for nothing.
    UPowerLid noLid(system(), scheduler_, log, root() + "/absent");
    noLid.setReadingNeeded(true);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return noLid.isPolling(); }));  // once UPower has answered
    scheduler_.advance(0);
    EXPECT_FALSE(noLid.isPolling());
    EXPECT_EQ(noLid.readClosed(), std::nullopt);
}

TEST_F(UPowerLidTest, TheButtonFileIsCheckedBeforeItIsBelieved) {
    EXPECT_EQ(UPowerLid::readButtonState(root()), false);
    writeState("state: closed");
    EXPECT_EQ(UPowerLid::readButtonState(root()), true);
    for (const QByteArray& hostile : {QByteArray("state: ajar\n"), QByteArray("closed\n"), QByteArray(),
                                      QByteArray("state: closed") + QByteArray(200, ' ')}) {
        writeState(hostile);
        EXPECT_EQ(UPowerLid::readButtonState(root()), std::nullopt) << hostile.left(20).toStdString();
    }
    EXPECT_EQ(UPowerLid::readButtonState(root() + "/missing"), std::nullopt);
    // An unreadable first button leaves the next one to tell.
    writeState("state:      open\n", "LID1");
    EXPECT_EQ(UPowerLid::readButtonState(root()), false);
}

}  // namespace
}  // namespace torvel

#include "Platform/Linux/Helpers/BusPropertyFollower.h"

#include <gtest/gtest.h>

#include <QDBusVariant>

#include "Platform/Linux/DBus/PrivateBuses.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

constexpr const char* kService = "org.torvel.FollowerTest";
constexpr const char* kPath = "/org/torvel/FollowerTest";
constexpr const char* kInterface = "org.torvel.FollowerTest.Gauge";

// A dbusmock object with one property: the follower knows it from GetAll, follows the changes the
// object signals, and reports a GetAll the service refuses.
TEST(BusPropertyFollower, KnowsThePropertiesFollowsTheirChangesAndReportsARefusal) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    ASSERT_TRUE(buses.startMock(Bus::session, kService, kPath, kInterface));
    const QDBusConnection bus = buses.connection(Bus::session);
    ASSERT_EQ(buses
                  .call(Bus::session, kService, kPath, "org.freedesktop.DBus.Mock", "AddProperty",
                        {QString(kInterface), QString("Level"), QVariant::fromValue(QDBusVariant(7))})
                  .type(),
              QDBusMessage::ReplyMessage);

    BusService service(bus, kService);
    int changes = 0;
    BusPropertyFollower follower(service, kPath, kInterface, [&] { ++changes; });
    EXPECT_TRUE(follower.subscribed());
    EXPECT_FALSE(follower.properties());
    EXPECT_FALSE(follower.value("Level").isValid());
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return follower.properties().has_value(); }));
    EXPECT_EQ(follower.value("Level").toInt(), 7);
    EXPECT_FALSE(follower.fetching());
    EXPECT_EQ(changes, 1);

    // Set through the bus: dbusmock signals PropertiesChanged, which the follower lays over what it knows.
    ASSERT_TRUE(buses.setProperty(Bus::session, kService, kPath, kInterface, "Level", 3));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return follower.value("Level").toInt() == 3; }));
    EXPECT_EQ(changes, 2);

    // An interface the object does not have: GetAll fails, and nothing is known.
    std::optional<QString> refusal;
    BusPropertyFollower missing(
        service, kPath, "org.torvel.FollowerTest.Missing", [] {},
        [&](const QDBusMessage& error) { refusal = error.errorName(); });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return refusal.has_value(); }));
    EXPECT_FALSE(refusal->isEmpty());
    EXPECT_FALSE(missing.properties());
    EXPECT_FALSE(missing.fetching());
}

}  // namespace
}  // namespace torvel

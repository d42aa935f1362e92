#include <gtest/gtest.h>

#include <QDBusMessage>
#include <string>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Power/LogindSleepEvents.h"
#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

bool emitPrepareForSleep(PrivateBuses& buses, bool start) {
    auto message = QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                                  "org.freedesktop.DBus.Mock", "EmitSignal");
    message << QString("org.freedesktop.login1.Manager") << QString("PrepareForSleep") << QString("b")
            << QVariantList{start};
    return buses.connection(Bus::system).call(message, QDBus::Block, 5000).type() ==
           QDBusMessage::ReplyMessage;
}

TEST(LogindSleepEvents, PrepareForSleepTrueIsSleepAndFalseIsWake) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    ASSERT_TRUE(buses.startTemplate(Bus::system, "logind", "org.freedesktop.login1"));
    CapturingLogSink log;
    LogindSleepEvents events(buses.connection(Bus::system), log);
    std::vector<std::string> seen;
    ASSERT_TRUE(events.setOnSleep([&] { seen.push_back("sleep"); }));
    ASSERT_TRUE(events.setOnWake([&] { seen.push_back("wake"); }));

    ASSERT_TRUE(emitPrepareForSleep(buses, true));
    ASSERT_TRUE(emitPrepareForSleep(buses, false));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.size() == 2; }));
    EXPECT_EQ(seen, (std::vector<std::string>{"sleep", "wake"}));

    // An empty callback stops that event only.
    ASSERT_TRUE(events.setOnSleep({}));
    ASSERT_TRUE(emitPrepareForSleep(buses, true));
    ASSERT_TRUE(emitPrepareForSleep(buses, false));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return seen.size() == 3; }));
    EXPECT_EQ(seen.back(), "wake");
}

TEST(LogindSleepEvents, WithoutLogindTheSettersFailAndSayWhy) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    CapturingLogSink log;
    LogindSleepEvents events(buses.connection(Bus::system), log);
    EXPECT_FALSE(events.setOnSleep([] {}));
    EXPECT_FALSE(events.setOnWake([] {}));
    EXPECT_TRUE(log.contains("SystemSleepEvents", "logind"));
}

}  // namespace
}  // namespace torvel

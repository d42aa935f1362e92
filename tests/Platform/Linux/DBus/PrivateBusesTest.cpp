#include <gtest/gtest.h>

#include <QDBusInterface>
#include <QDBusReply>
#include <QDBusUnixFileDescriptor>

#include "Platform/Linux/DBus/PrivateBuses.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;

// The harness itself: a template comes up on the private system bus and records calls.
TEST(PrivateBuses, RunsATemplateAndRecordsItsCalls) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    ASSERT_TRUE(buses.startTemplate(Bus::system, "logind", "org.freedesktop.login1"));
    QDBusInterface manager("org.freedesktop.login1", "/org/freedesktop/login1",
                           "org.freedesktop.login1.Manager", buses.connection(Bus::system));
    QDBusReply<QDBusUnixFileDescriptor> fd = manager.call("Inhibit", "sleep", "Torvel", "test", "block");
    ASSERT_TRUE(fd.isValid()) << fd.error().message().toStdString();
    const auto calls = buses.calls(Bus::system, "org.freedesktop.login1", "/org/freedesktop/login1");
    ASSERT_FALSE(calls.empty());
    EXPECT_EQ(calls.back().first, "Inhibit");
    EXPECT_EQ(calls.back().second.value(0).toString(), "sleep");
}

}  // namespace
}  // namespace torvel

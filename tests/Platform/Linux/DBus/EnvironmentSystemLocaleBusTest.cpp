#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusVariant>

#include <string>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"
#include "Platform/Linux/TestSupport.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
using EnvironmentSystemLocaleBus = PrivateBusTest;
constexpr const char* kLocaled = "org.freedesktop.locale1";
constexpr const char* kPath = "/org/freedesktop/locale1";

TEST_F(EnvironmentSystemLocaleBus, FollowsLocaledsLocaleButNotItsKeyboardLayouts) {
    // A session that inherited no locale variables.
    const test::ScopedEnv env({{"LANGUAGE", std::nullopt},
                               {"LC_ALL", std::nullopt},
                               {"LC_MESSAGES", std::nullopt},
                               {"LANG", std::nullopt}});
    ASSERT_TRUE(buses.startMock(Bus::system, kLocaled, kPath, kLocaled));
    const auto add = [&](const char* property, const QVariant& value) {
        return buses
                   .call(Bus::system, kLocaled, kPath, "org.freedesktop.DBus.Mock", "AddProperty",
                         {QString(kLocaled), QString(property), QVariant::fromValue(QDBusVariant(value))})
                   .type() == QDBusMessage::ReplyMessage;
    };
    ASSERT_TRUE(add("Locale", QStringList{"LANG=cs_CZ.UTF-8"}) && add("X11Layout", QString("us")));

    EnvironmentSystemLocale locale;
    int changes = 0;
    locale.followSystemSettings(system(), [&] { ++changes; });
    EXPECT_EQ(changes, 0) << "read asynchronously";
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 1; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"cs_CZ.UTF-8"});

    ASSERT_TRUE(buses.setProperty(Bus::system, kLocaled, kPath, kLocaled, "X11Layout", QString("cz")));
    ASSERT_TRUE(
        buses.setProperty(Bus::system, kLocaled, kPath, kLocaled, "Locale", QStringList{"LANG=en_US.UTF-8"}));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 2; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"en_US.UTF-8"});

    // A server that only says the Locale is stale: it is read again.
    ASSERT_TRUE(buses.addMethod(
        Bus::system, kLocaled, kPath, kLocaled, "ChangeQuietly", "", "",
        "self.props['org.freedesktop.locale1']['Locale'] = dbus.Array(['LANG=sk_SK.UTF-8'], signature='s')"));
    ASSERT_EQ(buses.call(Bus::system, kLocaled, kPath, kLocaled, "ChangeQuietly").type(),
              QDBusMessage::ReplyMessage);
    ASSERT_TRUE(buses.emitSignal(Bus::system, kLocaled, kPath, "org.freedesktop.DBus.Properties",
                                 "PropertiesChanged", "sa{sv}as",
                                 {QString(kLocaled), QVariantMap{}, QStringList{"Locale"}}));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 3; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"sk_SK.UTF-8"});
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace torvel

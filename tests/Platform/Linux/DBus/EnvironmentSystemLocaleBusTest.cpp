#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusMessage>
#include <QDBusVariant>

#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
constexpr const char* kLocaled = "org.freedesktop.locale1";
constexpr const char* kPath = "/org/freedesktop/locale1";

/// Unsets the locale variables for one test, as in a session that inherited none.
class NoLocaleEnvironment {
public:
    NoLocaleEnvironment() {
        for (const char* name : {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"}) {
            if (const char* old = std::getenv(name)) saved_.emplace_back(name, old);
            ::unsetenv(name);
        }
    }
    ~NoLocaleEnvironment() {
        for (const auto& [name, value] : saved_) ::setenv(name.c_str(), value.c_str(), 1);
    }

private:
    std::vector<std::pair<std::string, std::string>> saved_;
};

bool mockCall(PrivateBuses& buses, const char* interface, const char* method, const QVariantList& args) {
    auto message = QDBusMessage::createMethodCall(kLocaled, kPath, interface, method);
    message.setArguments(args);
    return buses.connection(Bus::system).call(message, QDBus::Block, 5000).type() ==
           QDBusMessage::ReplyMessage;
}

TEST(EnvironmentSystemLocaleBus, FollowsLocaledsLocaleButNotItsKeyboardLayouts) {
    PrivateBuses buses;
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    NoLocaleEnvironment env;
    ASSERT_TRUE(buses.startMock(Bus::system, kLocaled, kPath, kLocaled));
    ASSERT_TRUE(mockCall(buses, "org.freedesktop.DBus.Mock", "AddProperty",
                         {QString(kLocaled), QString("Locale"),
                          QVariant::fromValue(QDBusVariant(QStringList{"LANG=cs_CZ.UTF-8"}))}));
    ASSERT_TRUE(mockCall(
        buses, "org.freedesktop.DBus.Mock", "AddProperty",
        {QString(kLocaled), QString("X11Layout"), QVariant::fromValue(QDBusVariant(QString("us")))}));

    EnvironmentSystemLocale locale;
    int changes = 0;
    locale.followSystemSettings(buses.connection(Bus::system), [&] { ++changes; });
    EXPECT_EQ(changes, 0) << "read asynchronously";
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 1; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"cs_CZ.UTF-8"});

    auto set = [&](const char* property, const QVariant& value) {
        return mockCall(buses, "org.freedesktop.DBus.Properties", "Set",
                        {QString(kLocaled), QString(property), QVariant::fromValue(QDBusVariant(value))});
    };
    ASSERT_TRUE(set("X11Layout", QString("cz")));
    ASSERT_TRUE(set("Locale", QStringList{"LANG=en_US.UTF-8"}));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 2; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"en_US.UTF-8"});

    // A server that only says the Locale is stale: it is read again.
    ASSERT_TRUE(buses.addMethod(
        Bus::system, kLocaled, kPath, kLocaled, "ChangeQuietly", "", "",
        "self.props['org.freedesktop.locale1']['Locale'] = dbus.Array(['LANG=sk_SK.UTF-8'], signature='s')"));
    ASSERT_TRUE(mockCall(buses, kLocaled, "ChangeQuietly", {}));
    ASSERT_TRUE(mockCall(
        buses, "org.freedesktop.DBus.Mock", "EmitSignal",
        {QString("org.freedesktop.DBus.Properties"), QString("PropertiesChanged"), QString("sa{sv}as"),
         QVariant(QVariantList{QString(kLocaled), QVariantMap{}, QStringList{"Locale"}})}));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return changes == 3; }));
    EXPECT_EQ(locale.preferredLanguages(), std::vector<std::string>{"sk_SK.UTF-8"});
    QCoreApplication::processEvents();
    EXPECT_EQ(changes, 3);
}

}  // namespace
}  // namespace torvel

// The desktop's colour scheme read from a mocked XDG desktop portal on a private session bus.
#include <gtest/gtest.h>

#include <QDBusVariant>
#include <algorithm>
#include <optional>

#include "Platform/Linux/Desktop/PortalColorScheme.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "PrivateBuses.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
constexpr const char* kService = PortalColorScheme::kService;
constexpr const char* kPath = PortalColorScheme::kPath;
constexpr const char* kInterface = PortalColorScheme::kInterface;

std::size_t errors(const CapturingLogSink& log) {
    return static_cast<std::size_t>(
        std::count_if(log.lines().begin(), log.lines().end(),
                      [](const auto& line) { return line.level == LogLevel::error; }));
}

TEST(PortalColorSchemeTest, ReadsAtStartFollowsChangesAndIgnoresWhatIsNotAColourScheme) {
    PrivateBuses buses(true);
    if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    CapturingLogSink log;
    const auto bus = buses.connection(Bus::session);

    // No portal: nothing known, and no error (a desktop without a portal is common).
    PortalColorScheme none(bus, log);
    int noneChanges = 0;
    auto noneConnection = none.changed.connect([&] { ++noneChanges; });
    none.start();
    EXPECT_FALSE(PrivateBuses::waitFor([&] { return none.colorScheme().has_value(); }, 300));
    EXPECT_EQ(errors(log), 0u);

    // An older portal knows Read only, which wraps the value in a second variant.
    ASSERT_TRUE(buses.startMock(Bus::session, kService, kPath, kInterface));
    ASSERT_TRUE(buses.addMethod(Bus::session, kService, kPath, kInterface, "ReadOne", "ss", "v",
                                PrivateBuses::raising("org.freedesktop.DBus.Error.UnknownMethod")));
    ASSERT_TRUE(buses.addMethod(Bus::session, kService, kPath, kInterface, "Read", "ss", "v",
                                "ret = dbus.UInt32(1, variant_level=1) if args == "
                                "['org.freedesktop.appearance', 'color-scheme'] else 0"));
    {
        PortalColorScheme older(bus, log);
        older.start();
        EXPECT_TRUE(PrivateBuses::waitFor([&] { return older.colorScheme() == 1u; }));
    }

    ASSERT_TRUE(buses.addMethod(Bus::session, kService, kPath, kInterface, "ReadOne", "ss", "v",
                                "ret = dbus.UInt32(2)"));
    PortalColorScheme scheme(bus, log);
    int changes = 0;
    auto connection = scheme.changed.connect([&] { ++changes; });
    scheme.start();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return scheme.colorScheme() == 2u; }));
    EXPECT_EQ(changes, 1);

    const auto announce = [&](const QString& ns, const QString& key, const QVariant& value) {
        return buses.emitSignal(Bus::session, kService, kPath, kInterface, "SettingChanged", "ssv",
                                {ns, key, QVariant::fromValue(QDBusVariant(value))});
    };
    // Other settings, a value that is no number and one this version does not know; then a real change.
    ASSERT_TRUE(announce("org.freedesktop.appearance", "accent-color", 1u));
    ASSERT_TRUE(announce("org.gnome.desktop.interface", "color-scheme", 1u));
    ASSERT_TRUE(announce("org.freedesktop.appearance", "color-scheme", QString("dark")));
    ASSERT_TRUE(announce("org.freedesktop.appearance", "color-scheme", 1u));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return scheme.colorScheme() == 1u; }));
    EXPECT_EQ(changes, 2) << "only the real change counts";
    EXPECT_EQ(errors(log), 2u) << "each listening adapter reports the value that is no number";
    ASSERT_TRUE(announce("org.freedesktop.appearance", "color-scheme", 7u));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !scheme.colorScheme().has_value(); }));
    ASSERT_TRUE(announce("org.freedesktop.appearance", "color-scheme", 0u));
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return scheme.colorScheme() == 0u; }));
    EXPECT_EQ(changes, 4);
    // The adapter that found no portal at start hears it once it runs.
    EXPECT_EQ(none.colorScheme(), 0u);
    EXPECT_GE(noneChanges, 1);
}

}  // namespace
}  // namespace torvel

#include "Platform/Linux/Power/DBusSessionRelays.h"

#include <QDBusMessage>
#include <QElapsedTimer>

#include <algorithm>
#include <array>
#include <limits>
#include <utility>

namespace torvel {

namespace {

// The names through which applications ask a desktop to stay awake, and the session managers that take
// the system's lock for them.
constexpr std::array<const char*, 14> kRelayNames{
    "org.gnome.SessionManager",    "org.freedesktop.PowerManagement", "org.freedesktop.PowerManagement.Inhibit",
    "org.freedesktop.ScreenSaver", "org.gnome.ScreenSaver",           "org.kde.ksmserver",
    "org.kde.Solid.PowerManagement", "org.xfce.SessionManager",       "org.xfce.PowerManager",
    "org.mate.SessionManager",     "org.mate.ScreenSaver",            "org.cinnamon.ScreenSaver",
    "org.lxqt.session",            "org.budgie_desktop.Session"};

constexpr auto kNoOwner = "org.freedesktop.DBus.Error.NameHasNoOwner";

QDBusMessage askBus(const QDBusConnection& bus, const char* method, const QString& name, int timeoutMs) {
    auto call = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                               "org.freedesktop.DBus", method);
    call << name;
    return bus.call(call, QDBus::Block, timeoutMs);
}

}  // namespace

DBusSessionRelays::DBusSessionRelays(QDBusConnection session) : session_(std::move(session)) {}

std::vector<std::int32_t> DBusSessionRelays::ownerPids(std::string* error) {
    std::vector<std::int32_t> pids;
    // No session bus: no desktop session whose services could relay anything.
    if (!session_.isConnected()) return pids;
    QElapsedTimer clock;
    clock.start();
    QStringList failures;
    const auto budget = [&clock] {
        return std::min<qint64>(kCallTimeoutMs, kTotalTimeoutMs - clock.elapsed());
    };
    for (const char* name : kRelayNames) {
        if (budget() <= 0) {
            failures << "out of time";
            break;
        }
        const QDBusMessage owner = askBus(session_, "GetNameOwner", name, static_cast<int>(budget()));
        if (owner.type() == QDBusMessage::ErrorMessage && owner.errorName() == kNoOwner) continue;
        if (owner.type() != QDBusMessage::ReplyMessage || owner.signature() != "s") {
            failures << QString("%1: %2").arg(name, owner.errorName());
            continue;
        }
        const QString unique = owner.arguments().at(0).toString();
        if (!unique.startsWith(':') || budget() <= 0) {
            failures << QString("%1: no owner to ask").arg(name);
            continue;
        }
        const QDBusMessage pid =
            askBus(session_, "GetConnectionUnixProcessID", unique, static_cast<int>(budget()));
        if (pid.type() != QDBusMessage::ReplyMessage || pid.signature() != "u") {
            failures << QString("%1: %2").arg(name, pid.errorName());
            continue;
        }
        const uint value = pid.arguments().at(0).toUInt();
        if (value == 0 || value > static_cast<uint>(std::numeric_limits<std::int32_t>::max())) {
            failures << QString("%1: pid %2").arg(name).arg(value);
            continue;
        }
        const auto found = static_cast<std::int32_t>(value);
        if (std::find(pids.begin(), pids.end(), found) == pids.end()) pids.push_back(found);
    }
    if (error && !failures.isEmpty()) *error = failures.join("; ").toStdString();
    return pids;
}

}  // namespace torvel

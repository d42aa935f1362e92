#include "Platform/Linux/Doctor/Doctor.h"

#include "Platform/Linux/Helpers/BusNames.h"
#include "Platform/Linux/Power/LinuxStayguardHelper.h"
#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Linux/Power/PolkitAuthority.h"
#include "Platform/Linux/Power/ScreenWay.h"
#include "Platform/Linux/Power/SysfsThermal.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QStringList>
#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <filesystem>

namespace torvel {

namespace {

bool available(const QDBusConnection& bus, const char* name) {
    return busNameAvailable(bus, name);
}

bool trayHostPresent(const QDBusConnection& session) {
    if (!available(session, "org.kde.StatusNotifierWatcher")) return false;
    QDBusInterface watcher("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                           "org.kde.StatusNotifierWatcher", session);
    const QVariant registered = watcher.property("IsStatusNotifierHostRegistered");
    return !registered.isValid() || registered.toBool();
}

/// A server that is only activatable may fail to start: only one that answers counts.
bool notificationServerAnswers(const QDBusConnection& session) {
    if (!session.isConnected()) return false;
    constexpr int kAnswerTimeoutMs = 2000;  // a starting server answers well within this
    const auto call =
        QDBusMessage::createMethodCall("org.freedesktop.Notifications", "/org/freedesktop/Notifications",
                                       "org.freedesktop.Notifications", "GetServerInformation");
    const QDBusMessage reply = session.call(call, QDBus::Block, kAnswerTimeoutMs);
    return reply.type() == QDBusMessage::ReplyMessage && reply.signature() == "ssss";
}

const char* yesNo(bool granted) {
    return granted ? "yes" : "no";
}

// Each of the helper's permissions stands alone and is named on its own; the lid lock is what makes it
// count as installed.
DoctorFinding stayguardFinding(const std::optional<PowerGrants>& grants) {
    DoctorFinding finding{"Stayguard (polkit grants)", grants && grants->lidSwitch, {}};
    if (!grants) {
        finding.consequence = "polkit could not be asked: the lid lock and power saver on lid close are off";
        return finding;
    }
    finding.consequence = std::string("granted without a password: lid lock ") + yesNo(grants->lidSwitch) +
                          ", power saver " +
                          (grants->powerSaverAbsent ? "not available here (no power-profiles-daemon)"
                                                    : yesNo(grants->powerSaver)) +
                          ", suspend " + yesNo(grants->suspend);
    if (!grants->lidSwitch || !grants->suspend || !(grants->powerSaver || grants->powerSaverAbsent))
        finding.consequence += "; install Stayguard from the settings for what is refused";
    return finding;
}

// Whether another process holds the lid switch, and so decides alone what a closed lid does.
DoctorFinding lidSwitchFinding(const QDBusConnection& system) {
    DoctorFinding finding{"Lid switch (logind)", false, {}};
    const auto inhibitors = inhibitorsFromReply(system.call(listInhibitorsCall(), QDBus::Block, 5000));
    if (!inhibitors) {
        finding.consequence = "who holds it could not be read";
        return finding;
    }
    const auto holders = LinuxStayguardHelper::otherLidHolders(
        *inhibitors, static_cast<std::uint32_t>(QCoreApplication::applicationPid()));
    if (holders.empty()) {
        finding.found = true;
        finding.consequence = "no other process holds it: with the lid lock, a closed lid stays awake";
        return finding;
    }
    const auto& holder = holders.front();
    finding.consequence =
        holder.who + " (pid " + std::to_string(holder.pid) +
        ") holds it and decides what a closed lid does: set the lid action to do nothing in " +
        holder.desktop + "'s power settings";
    return finding;
}

}  // namespace

std::vector<DoctorFinding> examineDesktop(const QDBusConnection& system, const QDBusConnection& session) {
    return examineDesktop(system, session, static_cast<std::uint32_t>(::getuid()));
}

std::vector<DoctorFinding> examineDesktop(const QDBusConnection& system, const QDBusConnection& session,
                                          std::uint32_t uid) {
    std::vector<DoctorFinding> out;
    auto add = [&out](const char* facility, bool found, const char* with, const char* without) {
        out.push_back({facility, found, found ? with : without});
    };
    add("System bus", system.isConnected(), "reachable", "not reachable: no system services can be used");
    add("Session bus", session.isConnected(), "reachable",
        "not reachable (no desktop session here?): no desktop services, no single-instance control");
    const bool logind = available(system, "org.freedesktop.login1");
    add("systemd-logind (system bus)", logind,
        "sleep and idle inhibitors; lid state; suspend on request; wake-up events",
        "no system-wide inhibitors: only the desktop's own inhibit services keep the machine awake, the lid "
        "state comes from /proc if at all, and sleeping on request is not possible");
    const bool gnome = available(session, "org.gnome.SessionManager");
    add("GNOME session manager", gnome, "idle and screen-blanking inhibit, which GNOME honours",
        "not a GNOME session (fine elsewhere)");
    const bool kde = available(session, "org.freedesktop.PowerManagement");
    add("Freedesktop power management (KDE)", kde, "suspend inhibit, which Plasma honours",
        "not a Plasma session (fine elsewhere)");
    const bool screensaver = available(session, "org.freedesktop.ScreenSaver");
    add("Freedesktop screen saver", screensaver,
        "screen inhibit (or simulated activity where that is refused)",
        "the screen is kept on another way, if there is one (below)");
    const ScreenWay way = screenWayFor(gnome, screensaver, SessionDisplays::fromEnvironment());
    add("Keeping the screen on", way != ScreenWay::none, describe(way), describe(way));
    add("UPower (system bus)", available(system, "org.freedesktop.UPower"),
        "battery level, charger and time estimate with change events",
        "battery read from /sys/class/power_supply once a minute");
    add("Thermal zones (/sys/class/thermal)", SysfsThermal().readState().has_value(),
        "the heat kill switch, read only while a session runs or the machine is warm",
        "no temperature readings: the heat kill switch never acts");
    add("Desktop notifications", notificationServerAnswers(session), "notifications with action buttons",
        "no pop-ups: the last message is shown in the tray menu instead");
    add("udev", std::filesystem::exists("/run/udev/control"), "screens and mirroring followed as they change",
        "screens and mirroring read only at start");
    add("NetworkManager (system bus)", available(system, "org.freedesktop.NetworkManager"),
        "the current Wi-Fi network for trusted networks",
        "Wi-Fi counts as off: trusted networks never match");
    const bool polkit = available(system, "org.freedesktop.PolicyKit1");
    add("polkit (system bus)", polkit, "asks before sleeping the machine and installing the lid helper",
        "emergency sleep and the lid helper are unavailable");
    out.push_back(stayguardFinding(polkit ? PolkitAuthority(system).checkGrantsNow() : std::nullopt));
    add("Quitting apps that block sleep", uid != 0,
        "this user's apps holding a sleep lock may be asked to quit when the battery runs out",
        "off: running as root, every system daemon holding a lock would count as one of this user's apps "
        "(a package manager in mid-transaction among them); run Torvel as the desktop's user");
    const bool profiles = available(system, "net.hadess.PowerProfiles") ||
                          available(system, "org.freedesktop.UPower.PowerProfiles");
    add("power-profiles-daemon (system bus)", profiles, "power saver on lid close",
        "power saver cannot be switched on");
    if (logind) out.push_back(lidSwitchFinding(system));
    // Torvel's GNOME Shell extension owns this name while it shows Torvel in the quick settings.
    const bool shellExtension = available(session, "com.torvel.Torvel.ShellExtension");
    add("Tray host (StatusNotifierItem)", shellExtension || trayHostPresent(session),
        shellExtension ? "not needed: Torvel's GNOME Shell extension shows it in the quick settings"
                       : "the tray icon and its menu",
        desktopIsGnome(std::getenv("XDG_CURRENT_DESKTOP"))
            ? "no tray icon: turn on Torvel's GNOME Shell extension (gnome-extensions enable torvel@torvel.com, "
              "then log in again) or the AppIndicator extension; meanwhile use the command line, torvel: links "
              "or D-Bus"
            : "no tray icon unless an XEmbed tray runs: use the command line, torvel: links or D-Bus");
    if (!gnome && !kde && !logind) {
        out.push_back({"Keeping awake", false, "nothing on this machine can hold the system awake"});
    }
    return out;
}

bool desktopIsGnome(const char* xdgCurrentDesktop) {
    if (!xdgCurrentDesktop) return false;
    const QStringList desktops = QString::fromUtf8(xdgCurrentDesktop).split(':', Qt::SkipEmptyParts);
    return std::any_of(desktops.begin(), desktops.end(),
                       [](const QString& desktop) { return desktop.contains("GNOME", Qt::CaseInsensitive); });
}

std::string formatDoctorReport(const std::vector<DoctorFinding>& findings) {
    std::string text = "Torvel: what this session offers\n\n";
    std::size_t width = 0;
    for (const auto& f : findings) width = std::max(width, f.facility.size());
    int missing = 0;
    for (const auto& f : findings) {
        text += f.found ? "  [ok] " : "  [--] ";
        text += f.facility + std::string(width - f.facility.size() + 2, ' ') + f.consequence + "\n";
        missing += f.found ? 0 : 1;
    }
    text += missing == 0 ? "\nEverything Torvel uses is here.\n"
                         : "\n" + std::to_string(missing) + " of " + std::to_string(findings.size()) +
                               " not found; Torvel runs without them as described.\n";
    return text;
}

}  // namespace torvel

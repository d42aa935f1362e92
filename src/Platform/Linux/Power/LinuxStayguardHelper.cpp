#include "Platform/Linux/Power/LinuxStayguardHelper.h"

#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>
#include <QStringList>

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cctype>
#include <fstream>
#include <string_view>
#include <utility>
#include <vector>

#include "Platform/Linux/Power/PowerProfilesDaemon.h"

namespace torvel {

namespace {

constexpr int kCallTimeoutMs = 5000;
constexpr const char* kLidLockReason =
    "Torvel keeps the computer awake with the lid closed on a trusted network";
constexpr const char* kPowerSaverReason = "Torvel saves power while the lid is closed";

QDBusMessage logindCall(const char* method) {
    return QDBusMessage::createMethodCall("org.freedesktop.login1", "/org/freedesktop/login1",
                                          "org.freedesktop.login1.Manager", method);
}

// A name another process chose, made fit to show: at most 64 bytes, valid UTF-8, nothing unprintable.
std::string shownName(std::string_view raw) {
    return ssidFromBytes(raw.substr(0, 64));
}

// The process's own name (/proc/PID/comm, at most 16 bytes), lower case; empty when unreadable.
std::string commandOf(std::uint32_t pid) {
    if (pid == 0) return {};
    std::ifstream file("/proc/" + std::to_string(pid) + "/comm");
    char buffer[32] = {};
    file.read(buffer, sizeof buffer - 1);
    std::string name(buffer, static_cast<std::size_t>(std::max<std::streamsize>(file.gcount(), 0)));
    if (const auto end = name.find('\n'); end != std::string::npos) name.resize(end);
    for (auto& c : name) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    return name;
}

// The desktop whose power settings decide the lid, from the lock's name and the holder's command.
std::string desktopOf(const std::string& who, const std::string& command) {
    std::string lowerWho = who;
    for (auto& c : lowerWho) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
    const auto says = [&](const char* word) {
        return lowerWho.find(word) != std::string::npos || command.find(word) != std::string::npos;
    };
    if (says("powerdevil") || says("org_kde") || says("plasma")) return "KDE Plasma";
    if (says("xfce")) return "Xfce";
    if (says("mate-power") || lowerWho == "mate") return "MATE";
    if (says("cinnamon") || says("csd-power")) return "Cinnamon";
    if (says("gnome") || says("gsd-power")) return "GNOME";
    if (says("lxqt")) return "LXQt";
    return who.empty() ? shownName(command) : who;
}

}  // namespace

LinuxStayguardHelper::LinuxStayguardHelper(QDBusConnection system, PowerProfilesDaemon& profiles,
                                           ProcessRunner& runner, Scheduler& scheduler, LogSink& log,
                                           std::string user, PolkitRuleInstaller::Options options)
    : system_(system),
      profiles_(profiles),
      scheduler_(scheduler),
      log_(log, "Stayguard"),
      user_(std::move(user)),
      lidLock_(system, log),
      authority_(system),
      installer_(runner, scheduler, log, std::move(options)),
      context_(std::make_unique<QObject>()),
      holdDropped_(profiles_.holdDropped.connect([this] { powerSaverDropped.emit(); })) {}

LinuxStayguardHelper::~LinuxStayguardHelper() = default;

std::string LinuxStayguardHelper::currentUserName() {
    std::vector<char> buffer(16384);
    passwd entry{};
    passwd* found = nullptr;
    if (::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found) != 0 || !found ||
        !found->pw_name)
        return {};
    return found->pw_name;
}

void LinuxStayguardHelper::setLidLock(bool held, std::function<void(bool ok)> done) {
    if (!held || lidLock_.held()) {
        // Closing our descriptor is the whole release; logind forgets the lock when it closes.
        if (!held) lidLock_.release();
        scheduler_.post([done = std::move(done)] { done(true); });
        return;
    }
    lidLock_.take(kLidLockReason, std::move(done));
}

void LinuxStayguardHelper::setPowerSaver(bool held, std::function<void(bool ok)> done) {
    if (held) {
        profiles_.hold(kPowerSaverReason, std::move(done));
    } else if (profiles_.holding()) {
        profiles_.release(std::move(done));
    } else {
        scheduler_.post([done = std::move(done)] { done(true); });
    }
}

std::vector<LidHolder> LinuxStayguardHelper::otherLidHolders(const std::vector<LogindInhibitor>& inhibitors,
                                                             std::uint32_t ownPid) {
    std::vector<LidHolder> out;
    for (const auto& entry : inhibitors) {
        // A delay lock cannot stop logind; only a block lock takes the lid away from it.
        if (entry.mode != QStringLiteral("block") || entry.pid == ownPid ||
            !entry.what.split(':').contains(QStringLiteral("handle-lid-switch")))
            continue;
        const std::string who = shownName(entry.who.toStdString());
        out.push_back({who, entry.pid, desktopOf(who, commandOf(entry.pid))});
        if (out.size() == 8) break;  // enough to name; a list that long is no desktop's
    }
    return out;
}

void LinuxStayguardHelper::readLidHolders(std::function<void(std::optional<std::vector<LidHolder>>)> done) {
    auto* call =
        new QDBusPendingCallWatcher(system_.asyncCall(listInhibitorsCall(), kCallTimeoutMs), context_.get());
    QObject::connect(call, &QDBusPendingCallWatcher::finished, context_.get(),
                     [done = std::move(done)](QDBusPendingCallWatcher* answer) {
                         answer->deleteLater();
                         const auto inhibitors = inhibitorsFromReply(answer->reply());
                         if (!inhibitors) {
                             done(std::nullopt);
                             return;
                         }
                         done(otherLidHolders(*inhibitors, static_cast<std::uint32_t>(::getpid())));
                     });
}

void LinuxStayguardHelper::checkGrants(std::function<void(std::optional<PowerGrants>)> done) {
    authority_.checkGrants(std::move(done));
}

void LinuxStayguardHelper::readSuspendVetoed(std::function<void(std::optional<SuspendAnswer>)> done) {
    // logind's answer is the whole veto: it already counts every lock, another user's included, and
    // whether polkit would let our Suspend pass them. Second-guessing it from the lock list vetoed
    // sleeps that would have landed.
    auto* call = new QDBusPendingCallWatcher(system_.asyncCall(logindCall("CanSuspend"), kCallTimeoutMs),
                                             context_.get());
    QObject::connect(call, &QDBusPendingCallWatcher::finished, context_.get(),
                     [done = std::move(done)](QDBusPendingCallWatcher* answer) {
                         answer->deleteLater();
                         const QDBusMessage reply = answer->reply();
                         if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "s") {
                             done(std::nullopt);
                             return;
                         }
                         const QString verdict = reply.arguments().value(0).toString();
                         if (verdict == QStringLiteral("yes")) {
                             done(SuspendAnswer::yes);
                         } else if (verdict == QStringLiteral("challenge")) {
                             done(SuspendAnswer::challenge);
                         } else if (verdict == QStringLiteral("no") || verdict == QStringLiteral("na")) {
                             done(SuspendAnswer::no);
                         } else {
                             done(std::nullopt);  // a word logind does not use: nothing to go on
                         }
                     });
}

void LinuxStayguardHelper::installRule(std::function<void(RuleChange)> done) {
    installer_.install(user_, std::move(done));
}

void LinuxStayguardHelper::removeRule(std::function<void(RuleChange)> done) {
    installer_.remove(std::move(done));
}

}  // namespace torvel

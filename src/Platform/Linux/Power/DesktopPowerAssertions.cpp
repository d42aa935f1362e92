#include "Platform/Linux/Power/DesktopPowerAssertions.h"

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QObject>
#include <QStringList>

#include <algorithm>
#include <utility>

namespace torvel {

namespace {

constexpr const char* kGnomeService = "org.gnome.SessionManager";
constexpr const char* kGnomePath = "/org/gnome/SessionManager";
constexpr std::uint32_t kGnomeInhibitSuspend = 4;  // idle suspend only; the screen may blank
constexpr std::uint32_t kGnomeInhibitIdle = 8;     // the idle timers: dimming, blanking and suspend
constexpr const char* kPowerManagementService = "org.freedesktop.PowerManagement";
constexpr const char* kPowerManagementPath = "/org/freedesktop/PowerManagement/Inhibit";
constexpr const char* kPowerManagementInterface = "org.freedesktop.PowerManagement.Inhibit";
constexpr const char* kScreenSaverService = "org.freedesktop.ScreenSaver";
// KDE serves the screen saver on both paths; some lockers only on the short one.
constexpr const char* kScreenSaverPath = "/org/freedesktop/ScreenSaver";
constexpr const char* kScreenSaverShortPath = "/ScreenSaver";
constexpr const char* kLogindService = "org.freedesktop.login1";
constexpr const char* kLogindPath = "/org/freedesktop/login1";
constexpr const char* kLogindInterface = "org.freedesktop.login1.Manager";

}  // namespace

DesktopPowerAssertions::DesktopPowerAssertions(QDBusConnection system, QDBusConnection session, LogSink& log,
                                               SessionDisplays displays)
    : system_(std::move(system)),
      session_(std::move(session)),
      log_(log, "PowerAssertions"),
      displays_(std::move(displays)),
      screenSaverPath_(kScreenSaverPath),
      listing_(std::make_unique<LogindInhibitorListing>(system_, log)),
      context_(std::make_unique<QObject>()) {
    // Watching first, so that no owner change between the look below and a later Inhibit is missed.
    watch_ = std::make_unique<InhibitServiceWatch>(
        system_, session_, QStringList{kLogindService},
        QStringList{kGnomeService, kPowerManagementService, kScreenSaverService});
    ownerChanged_ = watch_->ownerChanged.connect(
        [this](const QString& name, const QString& owner) { serviceOwnerChanged(name, owner); });
    detect();
}

DesktopPowerAssertions::~DesktopPowerAssertions() {
    for (const auto& entry : held_) {
        for (auto it = entry.second.taken.rbegin(); it != entry.second.taken.rend(); ++it) give(*it);
    }
}

void DesktopPowerAssertions::detect() {
    QDBusConnectionInterface* bus = session_.isConnected() ? session_.interface() : nullptr;
    const auto has = [bus](const char* name) { return bus && bus->isServiceRegistered(name).value(); };
    const Desktop found{has(kGnomeService), has(kPowerManagementService), has(kScreenSaverService)};
    if (detected_ && found == desktop_) return;
    detected_ = true;
    desktop_ = found;
    log_.info(
        "Inhibit services on the session bus: GNOME session manager {}, PowerManagement {}, ScreenSaver {}",
        found.gnomeSession ? "yes" : "no", found.powerManagement ? "yes" : "no",
        found.screenSaver ? "yes" : "no");
}

std::vector<DesktopPowerAssertions::Part> DesktopPowerAssertions::plan(AssertionType type) const {
    const bool idleOnly = type == AssertionType::noIdleSleep;
    const bool display = type == AssertionType::noDisplaySleep;
    std::vector<Part> parts;
    if (desktop_.gnomeSession) {
        const std::uint32_t flags = display ? kGnomeInhibitSuspend | kGnomeInhibitIdle : kGnomeInhibitSuspend;
        parts.push_back({Backend::gnomeSession, true, flags, {}});
    } else {
        if (desktop_.powerManagement) parts.push_back({Backend::powerManagement, true, 0, {}});
        if (desktop_.screenSaver && display) parts.push_back({Backend::screenSaver, true, 0, {}});
    }
    // Where the desktop already blocks idle suspend, logind "idle" only adds logind's own idle action.
    const bool desktopBlocksIdleSuspend = desktop_.gnomeSession || desktop_.powerManagement;
    parts.push_back({Backend::logind, !(idleOnly && desktopBlocksIdleSuspend), 0,
                     idleOnly ? QStringLiteral("idle") : QStringLiteral("idle:sleep")});
    return parts;
}

AssertionResult DesktopPowerAssertions::create(AssertionType type, std::string_view name) {
    const QString why = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    AssertionResult result = tryCreate(type, why);
    if (result.status == kServiceUnknown) {
        // A desktop service went away or came since we looked: look again and retry once.
        const Desktop before = desktop_;
        detect();
        if (desktop_ != before) result = tryCreate(type, why);
    }
    return result;
}

AssertionResult DesktopPowerAssertions::tryCreate(AssertionType type, const QString& why) {
    Held held;
    held.why = why;
    held.takenAt = listing_->requestsSent();
    for (const Part& part : plan(type)) {
        Taken taken{part.backend, 0, {}, {}};
        const std::int32_t status = take(part, why, taken);
        if (status == 0) {
            if (part.backend == Backend::logind) held.logindWhat = part.logindWhat;
            held.taken.push_back(std::move(taken));
        } else if (!part.required) {
            log_.info("Holding {} without logind \"{}\", which failed with {}", rawValue(type),
                      part.logindWhat.toStdString(), status);
        } else {
            // All or nothing: give back what this attempt took (descriptors close with `held`).
            for (auto it = held.taken.rbegin(); it != held.taken.rend(); ++it) give(*it);
            log_.error("Taking a {} assertion failed: {}", rawValue(type), status);
            return AssertionResult{status, 0};
        }
    }
    const std::uint32_t id = nextId();
    log_.debug("Took a {} assertion with {} inhibitors (ID: {})", rawValue(type), held.taken.size(), id);
    held_.emplace(id, std::move(held));
    return AssertionResult{0, id};
}

std::int32_t DesktopPowerAssertions::take(const Part& part, const QString& why, Taken& taken) {
    const QString who = QString::fromLatin1(kWho);
    QVariantList args;
    switch (part.backend) {
        case Backend::gnomeSession:  // app id, toplevel X window (none), reason, flags
            args = {who, QVariant::fromValue(std::uint32_t{0}), why, QVariant::fromValue(part.gnomeFlags)};
            break;
        case Backend::powerManagement:
        case Backend::screenSaver:
            args = {who, why};
            break;
        case Backend::logind:
            args = {part.logindWhat, who, why, QStringLiteral("block")};
            break;
    }
    QDBusMessage reply;
    if (const std::int32_t status = call(part.backend, QStringLiteral("Inhibit"), args, reply); status != 0) {
        return status;
    }
    const QVariant value = reply.arguments().value(0);
    taken.owner = reply.service();  // a reply's sender: the unique name that issued the cookie
    watch_->noteOwner(address(part.backend).service, taken.owner);
    if (part.backend == Backend::logind) {
        taken.fd = qvariant_cast<QDBusUnixFileDescriptor>(value);
        if (taken.fd.isValid()) return 0;
    } else if (value.metaType() == QMetaType::fromType<std::uint32_t>()) {
        taken.cookie = value.toUInt();
        return 0;
    }
    log_.error("Inhibit answered with \"{}\" instead of a {}", reply.signature().toStdString(),
               part.backend == Backend::logind ? "descriptor" : "cookie");
    return kBadReply;
}

std::int32_t DesktopPowerAssertions::give(const Taken& taken) {
    // logind's inhibitor ends when its descriptor closes, which happens as `taken` goes away.
    if (taken.backend == Backend::logind) return 0;
    // A cookie dies with the service process that issued it: nothing to give back to its successor.
    if (watch_->owner(address(taken.backend).service) != taken.owner) return 0;
    const QString method =
        taken.backend == Backend::gnomeSession ? QStringLiteral("Uninhibit") : QStringLiteral("UnInhibit");
    QDBusMessage reply;
    return call(taken.backend, method, {QVariant::fromValue(taken.cookie)}, reply);
}

DesktopPowerAssertions::Address DesktopPowerAssertions::address(Backend backend) const {
    switch (backend) {
        case Backend::gnomeSession:
            return {kGnomeService, kGnomePath, kGnomeService};
        case Backend::powerManagement:
            return {kPowerManagementService, kPowerManagementPath, kPowerManagementInterface};
        case Backend::screenSaver:
            return {kScreenSaverService, screenSaverPath_, kScreenSaverService};
        case Backend::logind:
            break;
    }
    return {kLogindService, kLogindPath, kLogindInterface};
}

std::int32_t DesktopPowerAssertions::statusOf(const QDBusError& error) {
    switch (error.type()) {
        case QDBusError::ServiceUnknown:
        case QDBusError::NoServer:
        case QDBusError::Disconnected:
            return kServiceUnknown;
        case QDBusError::AccessDenied:
            return kAccessDenied;
        case QDBusError::NoReply:
        case QDBusError::Timeout:
        case QDBusError::TimedOut:
            return kTimeout;
        case QDBusError::UnknownObject:
        case QDBusError::UnknownInterface:
        case QDBusError::UnknownMethod:
        case QDBusError::NotSupported:
            return kUnsupported;
        default:
            break;
    }
    // polkit's answer when it would have to ask the user, which a background inhibitor never does.
    if (error.name() == "org.freedesktop.DBus.Error.InteractiveAuthorizationRequired") return kAccessDenied;
    return kFailed;
}

std::int32_t DesktopPowerAssertions::call(Backend backend, const QString& method, const QVariantList& args,
                                          QDBusMessage& reply) const {
    const QDBusConnection& bus = backend == Backend::logind ? system_ : session_;
    const Address target = address(backend);
    const auto send = [&](const QString& objectPath) {
        auto message = QDBusMessage::createMethodCall(target.service, objectPath, target.interface, method);
        message.setArguments(args);
        reply = bus.call(message, QDBus::Block, kCallTimeoutMs);
        if (reply.type() == QDBusMessage::ReplyMessage) return std::int32_t{0};
        const QDBusError error(reply);
        return error.isValid() ? statusOf(error) : kFailed;
    };
    std::int32_t status = send(target.path);
    if (status == kUnsupported && backend == Backend::screenSaver) {
        const QString other = target.path == kScreenSaverPath ? kScreenSaverShortPath : kScreenSaverPath;
        status = send(other);
        if (status == 0) screenSaverPath_ = other;
    }
    if (status != 0) {
        log_.error("{} {} failed with {}: {} {}", target.service.toStdString(), method.toStdString(), status,
                   reply.errorName().toStdString(), reply.errorMessage().toStdString());
    }
    return status;
}

std::int32_t DesktopPowerAssertions::release(std::uint32_t id) {
    auto node = held_.extract(id);
    if (node.empty()) {
        log_.error("Release of assertion {}, which is not held", id);
        return kUnknownId;
    }
    if (node.mapped().way == ScreenWay::x11Suspend && --x11Holders_ == 0) x11_->resume();
    std::int32_t status = 0;  // the first failure, though every inhibitor is given back
    const auto& taken = node.mapped().taken;
    for (auto it = taken.rbegin(); it != taken.rend(); ++it) {
        const std::int32_t given = give(*it);
        if (status == 0) status = given;
    }
    return status;  // the descriptors close as `node` goes away
}

bool DesktopPowerAssertions::isAlive(std::uint32_t id) const {
    const auto it = held_.find(id);
    if (it == held_.end()) return false;
    const Held& held = it->second;
    // A desktop service that left or restarted took our cookie with it.
    for (const Taken& taken : held.taken) {
        if (taken.backend != Backend::logind &&
            watch_->owner(address(taken.backend).service) != taken.owner) {
            return false;
        }
    }
    if (held.logindWhat.isEmpty()) return true;
    // Answered from the last list; the fresh one answers the next question.
    listing_->refresh();
    return listing_->find(held.logindWhat, kWho, held.why, held.takenAt) !=
           LogindInhibitorListing::Answer::missing;
}

std::uint32_t DesktopPowerAssertions::nextId() {
    do {
        ++lastId_;
    } while (lastId_ == 0 || held_.count(lastId_) > 0);
    return lastId_;
}

}  // namespace torvel

// The screen-saver prevention and the watch on the inhibit services: the half of
// DesktopPowerAssertions that keeps the screen on.
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QObject>

#include "Platform/Linux/Power/DesktopPowerAssertions.h"

namespace torvel {

namespace {

constexpr std::uint32_t kGnomeInhibitIdle = 8;  // the idle timers: dimming, blanking and suspend

}  // namespace

ScreenWay DesktopPowerAssertions::screenWay() const {
    const ScreenWay way = screenWayFor(desktop_.gnomeSession, desktop_.screenSaver, displays_);
    return way == ScreenWay::screenSaverInhibit && screenSaverRefusesInhibit_ ? ScreenWay::simulatedActivity
                                                                              : way;
}

AssertionResult DesktopPowerAssertions::startUserActivity(std::string_view name) {
    Held held;
    held.why = QString::fromUtf8(name.data(), static_cast<qsizetype>(name.size()));
    held.userActivity = true;
    std::int32_t status = startScreenWay(screenWay(), held);
    if (status == kServiceUnknown) {
        // The service went away or another came since we looked: look again and retry once.
        const Desktop before = desktop_;
        detect();
        if (desktop_ != before) status = startScreenWay(screenWay(), held);
    }
    if (status != 0) return AssertionResult{status, 0};
    const std::uint32_t id = nextId();
    log_.info("Keeping the screen on: {} (ID: {})", describe(held.way), id);
    held_.emplace(id, std::move(held));
    return AssertionResult{0, id};
}

std::int32_t DesktopPowerAssertions::startScreenWay(ScreenWay way, Held& held) {
    held.way = way;
    held.taken.clear();
    switch (way) {
        case ScreenWay::gnomeInhibit:
        case ScreenWay::screenSaverInhibit: {
            const Backend backend =
                way == ScreenWay::gnomeInhibit ? Backend::gnomeSession : Backend::screenSaver;
            Taken taken{backend, 0, {}, {}};
            const std::int32_t status = take({backend, true, kGnomeInhibitIdle, {}}, held.why, taken);
            // GNOME's screen-saver proxy and some lockers only know SimulateUserActivity.
            if (status == kUnsupported && way == ScreenWay::screenSaverInhibit) {
                screenSaverRefusesInhibit_ = true;
                return startScreenWay(ScreenWay::simulatedActivity, held);
            }
            if (status == 0) held.taken.push_back(std::move(taken));
            return status;
        }
        case ScreenWay::simulatedActivity: {
            QDBusMessage reply;
            const std::int32_t status = call(Backend::screenSaver, "SimulateUserActivity", {}, reply);
            held.activityOwner = reply.service();
            watch_->noteOwner(address(Backend::screenSaver).service, held.activityOwner);
            return status;
        }
        case ScreenWay::x11Suspend:
            if (!x11_) x11_ = std::make_unique<X11ScreenSaver>(displays_.x11);
            if (!x11_->suspend()) {
                log_.error("The X server on \"{}\" cannot suspend its screen saver", displays_.x11);
                return kUnsupported;
            }
            ++x11Holders_;
            return 0;
        case ScreenWay::nothingToDo:
            return 0;
        case ScreenWay::none:
            break;
    }
    log_.error("Nothing in this Wayland session keeps the screen on (no screen-saver service)");
    return kNoScreenWay;
}

std::int32_t DesktopPowerAssertions::confirmUserActivity(std::uint32_t id) {
    const auto it = held_.find(id);
    if (it == held_.end() || !it->second.userActivity) return kUnknownId;
    Held& held = it->second;
    if (held.lost != 0) return held.lost;
    // A cookie is only good with the process that issued it.
    for (const Taken& taken : held.taken) {
        if (watch_->owner(address(taken.backend).service) != taken.owner) {
            log_.error("{} left the bus or restarted: the screen-saver prevention is lost",
                       address(taken.backend).service.toStdString());
            return held.lost = kServiceUnknown;
        }
    }
    switch (held.way) {
        case ScreenWay::simulatedActivity:
            if (watch_->owner(address(Backend::screenSaver).service) != held.activityOwner) {
                return held.lost = kServiceUnknown;
            }
            renewActivity(id);  // its failure shows at the next confirmation
            return 0;
        case ScreenWay::x11Suspend:
            if (!x11_->holds()) return held.lost = kServiceUnknown;
            return 0;
        default:
            return 0;
    }
}

void DesktopPowerAssertions::renewActivity(std::uint32_t id) {
    const auto [service, path, interface] = address(Backend::screenSaver);
    const auto message = QDBusMessage::createMethodCall(service, path, interface, "SimulateUserActivity");
    auto* watcher = new QDBusPendingCallWatcher(session_.asyncCall(message, kCallTimeoutMs), context_.get());
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context_.get(),
                     [this, id](QDBusPendingCallWatcher* done) {
                         done->deleteLater();
                         const auto it = held_.find(id);
                         if (!done->isError() || it == held_.end() || it->second.lost != 0) return;
                         it->second.lost = statusOf(done->error());
                         log_.error("SimulateUserActivity failed with {}: {}", it->second.lost,
                                    done->error().name().toStdString());
                     });
}

void DesktopPowerAssertions::serviceOwnerChanged(const QString& name, const QString& owner) {
    // The signal says all there is to know: no need to ask the bus again.
    const bool present = !owner.isEmpty();
    const Desktop before = desktop_;
    if (name == address(Backend::gnomeSession).service) desktop_.gnomeSession = present;
    if (name == address(Backend::powerManagement).service) desktop_.powerManagement = present;
    if (name == address(Backend::screenSaver).service) {
        desktop_.screenSaver = present;
        screenSaverRefusesInhibit_ = false;  // a new service may well honour Inhibit
    }
    if (desktop_ != before) detected_ = true;
    log_.info("{} {} the bus", name.toStdString(), present ? "is on" : "left");
    servicesChanged.emit();
}

}  // namespace torvel

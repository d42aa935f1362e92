#include "Platform/Linux/Power/PowerProfilesDaemon.h"

#include <QDBusPendingCallWatcher>

#include <algorithm>
#include <utility>

namespace torvel {

namespace {
constexpr const char* kInterface = "net.hadess.PowerProfiles";
constexpr int kCallTimeoutMs = BusService::kCallTimeoutMs;
// Dropped cookies remembered while holds are on their way; one hold is ever asked for at a time.
constexpr std::size_t kDroppedEarlyLimit = 8;
}  // namespace

PowerProfilesDaemon::PowerProfilesDaemon(QDBusConnection system, LogSink& log)
    : log_(log, "LowPowerMode"),
      service_(std::move(system), kService),
      owner_(service_.ownerChanged.connect([this](const QString&) {
          // A daemon that went took our hold with it; a new one is read afresh.
          if (cookie_) dropped("the daemon went away");
      })),
      daemon_(
          service_, kPath, kInterface, [this] { store(daemon_.value("ActiveProfile")); },
          [this](const QDBusMessage&) { store(QVariant()); }) {
    // Before any HoldProfile: the daemon may drop a hold the moment it grants it, and says so only to
    // the holder, once.
    QDBusConnection bus = service_.bus();
    bus.connect(kService, kPath, kInterface, "ProfileReleased", this, SLOT(onProfileReleased(QDBusMessage)));
}

PowerProfilesDaemon::~PowerProfilesDaemon() {
    QDBusConnection bus = service_.bus();
    bus.disconnect(kService, kPath, kInterface, "ProfileReleased", this, SLOT(onProfileReleased(QDBusMessage)));
}

void PowerProfilesDaemon::onProfileReleased(const QDBusMessage& message) {
    if (message.signature() != "u") return;
    const std::uint32_t cookie = message.arguments().value(0).toUInt();
    if (cookie_ == cookie) {
        dropped("a profile was picked");
    } else if (holdsPending_ > 0 && droppedEarly_.size() < kDroppedEarlyLimit) {
        droppedEarly_.push_back(cookie);
    }
}

void PowerProfilesDaemon::dropped(const char* why) {
    cookie_.reset();
    log_.info("power-profiles-daemon dropped the power-saver hold ({})", why);
    holdDropped.emit();
}

void PowerProfilesDaemon::store(const QVariant& activeProfile) {
    // Only a text is a profile name; anything else is not believed.
    std::optional<bool> next;
    if (activeProfile.metaType().id() == QMetaType::QString)
        next = activeProfile.toString() == QStringLiteral("power-saver");
    if (next == enabled_) return;
    enabled_ = next;
    log_.info("power saver {}", next ? (*next ? "on" : "off") : "unknown");
    changed.emit();
}

void PowerProfilesDaemon::hold(const std::string& reason, std::function<void(bool ok)> done) {
    auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "HoldProfile");
    message << QStringLiteral("power-saver") << QString::fromStdString(reason)
            << QStringLiteral("com.torvel.Torvel");
    ++holdsPending_;
    auto* call = new QDBusPendingCallWatcher(service_.bus().asyncCall(message, kCallTimeoutMs), this);
    QObject::connect(
        call, &QDBusPendingCallWatcher::finished, this,
        [this, generation = service_.generation(), done = std::move(done)](QDBusPendingCallWatcher* answer) {
            answer->deleteLater();
            const QDBusMessage reply = answer->reply();
            std::vector<std::uint32_t> droppedMeanwhile;
            if (--holdsPending_ == 0) droppedMeanwhile.swap(droppedEarly_);
            if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "u" ||
                generation != service_.generation()) {
                log_.error("power-profiles-daemon refused the power saver: {} {}",
                           reply.errorName().toStdString(), reply.errorMessage().toStdString());
                done(false);
                return;
            }
            const auto cookie = reply.arguments().value(0).toUInt();
            if (std::find(droppedMeanwhile.begin(), droppedMeanwhile.end(), cookie) !=
                droppedMeanwhile.end()) {
                log_.info("power-profiles-daemon dropped the power-saver hold before granting it was heard");
                done(false);
                return;
            }
            // A hold replaced by a newer one is released, not forgotten on the daemon.
            if (cookie_ && *cookie_ != cookie) release(nullptr);
            cookie_ = cookie;
            done(true);
        });
}

void PowerProfilesDaemon::release(std::function<void(bool ok)> done) {
    if (!cookie_) {
        if (done) done(true);
        return;
    }
    auto message = QDBusMessage::createMethodCall(kService, kPath, kInterface, "ReleaseProfile");
    message << *cookie_;
    const std::uint32_t cookie = *cookie_;
    auto* call = new QDBusPendingCallWatcher(service_.bus().asyncCall(message, kCallTimeoutMs), this);
    QObject::connect(call, &QDBusPendingCallWatcher::finished, this,
                     [this, cookie, done = std::move(done)](QDBusPendingCallWatcher* answer) {
                         answer->deleteLater();
                         const QDBusMessage reply = answer->reply();
                         // A cookie the daemon no longer knows is a hold already gone: released.
                         const bool unknown =
                             reply.errorName() == QStringLiteral("org.freedesktop.DBus.Error.InvalidArgs");
                         const bool ok = reply.type() == QDBusMessage::ReplyMessage || unknown;
                         if (ok && cookie_ == cookie) cookie_.reset();
                         if (unknown)
                             log_.info("power-profiles-daemon held nothing under our cookie any more");
                         if (!ok)
                             log_.error("power-profiles-daemon did not release the power saver: {}",
                                        reply.errorName().toStdString());
                         if (done) done(ok);
                     });
}

}  // namespace torvel

#include "Platform/Linux/Power/LogindSleepEvents.h"

#include "Platform/Linux/Helpers/BusNames.h"

#include <QDBusConnectionInterface>
#include <utility>

namespace torvel {

namespace {
const QString kService = QStringLiteral("org.freedesktop.login1");
}  // namespace

LogindSleepEvents::LogindSleepEvents(QDBusConnection system, LogSink& log)
    : system_(std::move(system)), log_(log, "SystemSleepEvents") {
    if (!system_.isConnected()) {
        log_.error("No system bus ({}): sleep and wake go unnoticed",
                   system_.lastError().message().toStdString());
        return;
    }
    if (!busNameAvailable(system_, kService)) {
        log_.error("logind is not on the system bus: sleep and wake go unnoticed");
        return;
    }
    subscribed_ = system_.connect(kService, QStringLiteral("/org/freedesktop/login1"),
                                  QStringLiteral("org.freedesktop.login1.Manager"),
                                  QStringLiteral("PrepareForSleep"), this, SLOT(prepareForSleep(bool)));
    if (!subscribed_) {
        log_.error("Cannot subscribe to PrepareForSleep ({}): sleep and wake go unnoticed",
                   system_.lastError().message().toStdString());
    }
}

bool LogindSleepEvents::setOnSleep(std::function<void()> onSleep) {
    onSleep_ = subscribed_ ? std::move(onSleep) : nullptr;
    return subscribed_;
}

bool LogindSleepEvents::setOnWake(std::function<void()> onWake) {
    onWake_ = subscribed_ ? std::move(onWake) : nullptr;
    return subscribed_;
}

void LogindSleepEvents::prepareForSleep(bool start) {
    log_.info("{}", start ? "The system is going to sleep" : "The system woke up");
    // A copy, since the callback may replace itself while it runs.
    const auto callback = start ? onSleep_ : onWake_;
    if (callback) callback();
}

}  // namespace torvel

#pragma once

#include <QDBusConnection>
#include <QObject>
#include <functional>

#include "Platform/Log.h"
#include "Platform/SystemSleepEvents.h"

namespace torvel {

/// Sleep and wake from logind's PrepareForSleep signal on the system bus: true just before the machine
/// sleeps, false once it has resumed.
class LogindSleepEvents : public QObject, public SystemSleepEvents {
    Q_OBJECT

public:
    /// Subscribes at once; without logind on `system` the setters return false (and say why in the log).
    LogindSleepEvents(QDBusConnection system, LogSink& log);

    bool setOnSleep(std::function<void()> onSleep) override;
    bool setOnWake(std::function<void()> onWake) override;

private Q_SLOTS:
    void prepareForSleep(bool start);

private:
    QDBusConnection system_;
    Logger log_;
    bool subscribed_ = false;
    std::function<void()> onSleep_, onWake_;
};

}  // namespace torvel

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <QObject>
#include <QString>

#include <cstdint>
#include <functional>

#include "Support/Signal.h"

namespace torvel {

/// One service on a bus (UPower, NetworkManager, ...) as its clients follow it: who owns its name, and
/// calls to it whose answers come on the main loop, never waited for. A daemon that restarts starts from
/// scratch, so an answer from an owner that has gone since the call is dropped.
class BusService : public QObject {
public:
    /// Longest wait for an answer; nothing waits for it on the main loop.
    static constexpr int kCallTimeoutMs = 5000;

    BusService(QDBusConnection bus, QString name);

    const QDBusConnection& bus() const { return bus_; }
    const QString& name() const { return name_; }
    /// Counts the owner changes, for calls that must know whether their owner is still there.
    std::uint64_t generation() const { return generation_; }

    /// Sends `call` and hands its reply (an error reply too) to `answer` on the main loop; not at all when
    /// the service changed owner meanwhile, or `context` (the Qt object the answer is for, which must not
    /// outlive this one) is gone.
    void ask(const QDBusMessage& call, QObject* context, std::function<void(const QDBusMessage& reply)> answer);

    /// The name has a new owner; empty when the service left the bus. generation() has moved on by then.
    Signal<QString> ownerChanged;

private:
    QDBusConnection bus_;
    QString name_;
    std::uint64_t generation_ = 0;
    QDBusServiceWatcher watcher_;
};

}  // namespace torvel

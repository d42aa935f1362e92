#include "Platform/Linux/Helpers/BusService.h"

#include <QDBusPendingCallWatcher>

#include <utility>

namespace torvel {

BusService::BusService(QDBusConnection bus, QString name)
    : bus_(std::move(bus)), name_(std::move(name)), watcher_(name_, bus_, QDBusServiceWatcher::WatchForOwnerChange) {
    QObject::connect(&watcher_, &QDBusServiceWatcher::serviceOwnerChanged, this,
                     [this](const QString&, const QString&, const QString& newOwner) {
                         ++generation_;
                         ownerChanged.emit(newOwner);
                     });
}

void BusService::ask(const QDBusMessage& call, QObject* context,
                     std::function<void(const QDBusMessage& reply)> answer) {
    // The watcher is the context's child: a context that goes takes its calls along.
    auto* watcher = new QDBusPendingCallWatcher(bus_.asyncCall(call, kCallTimeoutMs), context);
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, context,
                     [this, watcher, answer = std::move(answer), generation = generation_] {
                         watcher->deleteLater();
                         if (generation != generation_) return;  // asked of an owner that is gone
                         answer(watcher->reply());
                     });
}

}  // namespace torvel

#include "Platform/Linux/Power/InhibitServiceWatch.h"

#include <QDBusServiceWatcher>

#include <utility>

namespace torvel {

InhibitServiceWatch::InhibitServiceWatch(QDBusConnection system, QDBusConnection session,
                                         const QStringList& systemNames, const QStringList& sessionNames) {
    const auto watch = [this](const QDBusConnection& bus, const QStringList& names) {
        auto watcher = std::make_unique<QDBusServiceWatcher>();
        watcher->setConnection(bus);
        watcher->setWatchMode(QDBusServiceWatcher::WatchForOwnerChange);
        // Exact names only: a wildcard would wake us for every client of a busy bus.
        for (const QString& name : names) watcher->addWatchedService(name);
        QObject::connect(watcher.get(), &QDBusServiceWatcher::serviceOwnerChanged, watcher.get(),
                         [this](const QString& name, const QString&, const QString& newOwner) {
                             owners_[name] = newOwner;
                             ownerChanged.emit(name, newOwner);
                         });
        return watcher;
    };
    if (system.isConnected()) system_ = watch(system, systemNames);
    if (session.isConnected()) session_ = watch(session, sessionNames);
}

InhibitServiceWatch::~InhibitServiceWatch() = default;

void InhibitServiceWatch::noteOwner(const QString& name, const QString& owner) {
    // A reply always comes from the current owner, except when the owner changed after it answered;
    // that change's signal then comes later and overwrites this.
    if (!owner.isEmpty()) owners_[name] = owner;
}

QString InhibitServiceWatch::owner(const QString& name) const {
    const auto it = owners_.find(name);
    return it == owners_.end() ? QString() : it->second;
}

}  // namespace torvel

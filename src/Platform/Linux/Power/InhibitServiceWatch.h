#pragma once

#include <QDBusConnection>
#include <QString>

#include <map>
#include <memory>

#include "Support/Signal.h"

class QDBusServiceWatcher;

namespace torvel {

/// Who owns each inhibit service, kept from the bus's owner-change signals. A cookie is only good with
/// the process that issued it, so a held inhibitor is confirmed by comparing owners: no call to the
/// service, and a service that restarted (or left) shows as a changed owner.
class InhibitServiceWatch {
public:
    /// Watches `sessionNames` on `session` and `systemNames` on `system`.
    InhibitServiceWatch(QDBusConnection system, QDBusConnection session, const QStringList& systemNames,
                        const QStringList& sessionNames);
    ~InhibitServiceWatch();
    InhibitServiceWatch(const InhibitServiceWatch&) = delete;
    InhibitServiceWatch& operator=(const InhibitServiceWatch&) = delete;

    /// Records who just answered for `name` (a reply's sender); a later owner change overwrites it.
    void noteOwner(const QString& name, const QString& owner);
    /// The owner last seen for `name`; empty when it left the bus or was never seen.
    QString owner(const QString& name) const;
    /// Emitted on the main loop with the name and its new owner (empty: it left) on every change.
    Signal<const QString&, const QString&> ownerChanged;

private:
    std::unique_ptr<QDBusServiceWatcher> system_, session_;
    std::map<QString, QString> owners_;
};

}  // namespace torvel

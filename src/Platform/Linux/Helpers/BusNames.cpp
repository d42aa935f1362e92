#include "Platform/Linux/Helpers/BusNames.h"

#include <QDBusConnectionInterface>
#include <QStringList>

namespace torvel {

bool busNameAvailable(const QDBusConnection& bus, const QString& name) {
    if (!bus.isConnected()) return false;
    auto* iface = bus.interface();
    if (!iface) return false;
    if (iface->isServiceRegistered(name).value()) return true;
    const QDBusReply<QStringList> activatable = iface->activatableServiceNames();
    return activatable.isValid() && activatable.value().contains(name);
}

}  // namespace torvel

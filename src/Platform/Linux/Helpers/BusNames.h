#pragma once

#include <QDBusConnection>
#include <QString>

namespace torvel {

/// True when `name` is owned on `bus` now or the bus can start its service on demand (logind, UPower
/// and polkit usually are started that way). False on a bus that is not connected.
bool busNameAvailable(const QDBusConnection& bus, const QString& name);

}  // namespace torvel

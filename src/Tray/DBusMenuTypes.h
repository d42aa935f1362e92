#pragma once

#include <QDBusArgument>
#include <QDBusVariant>
#include <QList>
#include <QString>
#include <QStringList>
#include <QVariantMap>

namespace torvel {

/// One node of dbusmenu's GetLayout answer: (ia{sv}av), children as variants of the same structure.
struct DBusMenuLayoutItem {
    int id = 0;
    QVariantMap properties;
    QList<DBusMenuLayoutItem> children;
};
/// One item of GetGroupProperties' answer: (ia{sv}).
struct DBusMenuItemProperties {
    int id = 0;
    QVariantMap properties;
};
/// The properties an item no longer has, in ItemsPropertiesUpdated: (ias).
struct DBusMenuItemPropertyNames {
    int id = 0;
    QStringList names;
};
/// One event of EventGroup: (isvu).
struct DBusMenuEvent {
    int id = 0;
    QString name;
    QDBusVariant data;
    uint timestamp = 0;
};

QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuLayoutItem& item);
/// Reads the node alone: a layout is only ever sent, but the type system wants a reader.
const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuLayoutItem& item);
QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuItemProperties& item);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuItemProperties& item);
QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuItemPropertyNames& item);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuItemPropertyNames& item);
QDBusArgument& operator<<(QDBusArgument& out, const DBusMenuEvent& event);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusMenuEvent& event);

/// Registers the structures with Qt's D-Bus type system; safe to call again.
void registerDBusMenuTypes();

}  // namespace torvel

Q_DECLARE_METATYPE(torvel::DBusMenuLayoutItem)
Q_DECLARE_METATYPE(torvel::DBusMenuItemProperties)
Q_DECLARE_METATYPE(torvel::DBusMenuItemPropertyNames)
Q_DECLARE_METATYPE(torvel::DBusMenuEvent)

#pragma once

#include <QDBusArgument>
#include <QList>
#include <QMap>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <QVariantMap>
#include <functional>
#include <vector>

#include "Support/Signal.h"
#include "UI/StatusItemPresenter.h"

namespace torvel {

class AppDelegate;

/// A sleep blocker as the Blockers property sends it: (i pid, s name, s kind, s reason, b sessionRelay,
/// b terminable).
struct DBusBlocker {
    qint32 pid = 0;
    /// The name the menu shows.
    QString name;
    /// "systemSleep" or "idle".
    QString kind;
    /// Why the process holds the lock; empty when it gave no reason.
    QString reason;
    /// The desktop's own service holding the lock for its applications.
    bool sessionRelay = false;
    /// The emergency would ask it to quit before putting the machine to sleep.
    bool terminable = false;
    friend bool operator==(const DBusBlocker&, const DBusBlocker&) = default;
};
QDBusArgument& operator<<(QDBusArgument& out, const DBusBlocker& blocker);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusBlocker& blocker);

/// Another program holding the lid switch as the LidHolders property sends it: (s who, u pid, s desktop).
struct DBusLidHolder {
    QString who;
    quint32 pid = 0;
    /// The desktop whose power settings say what the lid does; `who` when not known.
    QString desktop;
    friend bool operator==(const DBusLidHolder&, const DBusLidHolder&) = default;
};
QDBusArgument& operator<<(QDBusArgument& out, const DBusLidHolder& holder);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusLidHolder& holder);
/// Text keyed by text (a{ss}): the Settings and WatchedAppNames properties.
using DBusStringMap = QMap<QString, QString>;

/// The read-only properties of com.torvel.Torvel1 and their change signal: reads each property from the
/// application's state in the bus's types, and after every change in the state compares all of them with
/// what was last sent, once per turn of the event loop, handing on only those that differ. The status
/// item's values come from the tray's own presenter, so the bus and the tray never disagree. Main loop
/// only; the delegate outlives it.
class DBusProperties : public QObject {
    Q_OBJECT
public:
    /// Receives the properties that changed (name -> value), never empty.
    using Sink = std::function<void(const QVariantMap& changed)>;

    DBusProperties(AppDelegate& app, Sink sink);
    ~DBusProperties() override;

    /// Every property's name, in the order the interface lists them.
    static QStringList names();
    /// Property `name` as it stands now; an invalid QVariant for an unknown name. A value that differs
    /// from the one last sent asks for a comparison, so the change signal follows what a reader saw.
    QVariant value(const QString& name);
    /// Every property as it stands now (RunningApps as last heard of, without reading /proc again).
    QVariantMap snapshot();
    /// Asks for one comparison at the end of this turn of the event loop; more calls in the same turn
    /// add nothing.
    void schedule();
    /// Starting at login was switched (through the bus): `holds` is what holds now. The login item is
    /// read once at start and then only told, never read from disk at every change.
    void loginItemSwitched(bool holds);

private:
    struct Entry;
    static const std::vector<Entry>& entries();
    void compare();
    /// What the countdown wakes for without a tray: the remaining time while it is shown.
    void followCountdown();

    AppDelegate& app_;
    Sink sink_;
    StatusItemPresenter presenter_;
    QVariantMap lastSent_;
    QVariant runningApps_;
    bool runningAppsStale_ = true;
    bool startsAtLogin_ = false;
    bool scheduled_ = false;
    std::vector<Connection> connections_;
};

}  // namespace torvel

Q_DECLARE_METATYPE(torvel::DBusBlocker)
Q_DECLARE_METATYPE(torvel::DBusLidHolder)

#pragma once

#include <QDBusConnection>
#include <QIcon>
#include <QMenu>
#include <QObject>
#include <QPoint>
#include <map>

#include "Platform/Log.h"
#include "XEmbedHost/DBusMenuLayout.h"

namespace torvel {

/// The item's menu (com.canonical.dbusmenu), drawn as a QMenu. It is read afresh each time it opens:
/// AboutToShow and GetLayout, then shown; the owner hears "opened" and "closed", and "clicked" for the
/// entry chosen. While it is open a change the owner announces is read and drawn at once. Nothing waits
/// on the bus: the menu shows when the layout arrives.
class TrayMenu : public QObject {
    Q_OBJECT
public:
    TrayMenu(QDBusConnection bus, QString service, LogSink& log);

    /// The menu object at the item's owner; empty: no menu.
    void setMenuPath(const QString& path);
    /// The icon theme folder the item names, searched for the entries' icon names first.
    void setIconThemePath(const QString& folder) { iconThemePath_ = folder; }
    /// Reads the menu and shows it at `at` (global coordinates).
    void popUp(QPoint at);

private Q_SLOTS:
    void onMenuChanged();

private:
    /// Asks for the layout; its answer fills the menu, and shows it when `show`.
    void readLayout(bool show);
    void fill(QMenu& menu, const std::vector<HostMenuEntry>& entries);
    /// Shows `entry`'s text, state and icon on its action.
    void dress(QAction& action, const HostMenuEntry& entry);
    /// Takes the texts and states of `entries` onto the actions shown, when they are the same entries
    /// in the same places; false when the menu must be built anew.
    bool updateInPlace(const std::vector<HostMenuEntry>& entries);
    QIcon iconOf(const HostMenuEntry& entry);
    void sendEvent(int id, const QString& name);

    QDBusConnection bus_;
    QString service_;
    QString path_;
    QString iconThemePath_;
    Logger log_;
    QMenu menu_;
    QPoint at_;
    unsigned reading_ = 0;  // an answer to an older reading is stale
    std::map<QString, QIcon> icons_;
    /// The actions shown, by entry id, and the shape of the menu they make (ids and nesting, in order).
    std::map<int, QAction*> actions_;
    std::vector<std::pair<int, int>> shape_;
};

}  // namespace torvel

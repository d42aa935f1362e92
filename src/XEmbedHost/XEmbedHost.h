#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QObject>
#include <QRect>
#include <QSystemTrayIcon>
#include <memory>

#include "Platform/Log.h"
#include "XEmbedHost/StatusItemLook.h"
#include "XEmbedHost/TrayMenu.h"

class QDBusServiceWatcher;

namespace torvel {

/// Shows Torvel's StatusNotifierItem in an XEmbed system tray (an X11 panel without a StatusNotifier
/// host), through QSystemTrayIcon: the icon and tooltip follow the item's properties, a left click is
/// the item's Activate, a middle click its SecondaryActivate, a right click (or Ctrl with a left one)
/// opens the item's menu. Where the tray docked the icon is announced on the bus (IconPlaced), for the
/// first-start hint. Ends the application when the item's connection leaves the bus or a StatusNotifier
/// host appears, which then shows the item itself, or when the item's owner calls Quit (its item was
/// taken by a watcher that does not say it has a host).
class XEmbedHost : public QDBusVirtualObject {
    Q_OBJECT
public:
    /// The name the helper owns while it runs (one at a time), its object and interface.
    static constexpr const char* kService = "com.torvel.Torvel.XEmbedTray";
    static constexpr const char* kPath = "/XEmbedTray";
    static constexpr const char* kInterface = "com.torvel.XEmbedTray1";
    /// The item shown: Torvel's, on the connection it offers its tray icon on (closed when Torvel
    /// withdraws the icon).
    static constexpr const char* kItemService = "com.torvel.Torvel.Tray";
    static constexpr const char* kItemPath = "/StatusNotifierItem";

    XEmbedHost(QDBusConnection bus, LogSink& log);
    ~XEmbedHost() override;

    /// Follows the item and the tray hosts, exports the object and reads the item; the icon shows once
    /// the item answered. False when the object cannot be exported.
    bool start();

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void onItemChanged();
    void onHostRegistered();

private:
    /// Reads the item's properties; a change announced meanwhile makes one more reading after it.
    void readItem();
    void show(const StatusItemLook& look);
    /// Asks the watcher whether a StatusNotifier host runs; ends the helper when one does.
    void askForHost();
    /// Announces where the icon is when that changed.
    void checkPlace();
    void quit(const char* why);

    QDBusConnection bus_;
    Logger log_;
    QSystemTrayIcon icon_;
    TrayMenu menu_;
    std::unique_ptr<QDBusServiceWatcher> owner_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    bool exported_ = false;
    bool reading_ = false;
    bool readAgain_ = false;
    bool shown_ = false;
    bool placeQueued_ = false;
    QRect place_;
    /// The unique name of the item's owner, once it answered: the one caller Quit is taken from.
    QString itemOwner_;
};

}  // namespace torvel

// torvel-xembed-tray: Torvel's icon in an XEmbed system tray. The resident Torvel links no GUI, so it
// starts this helper when no StatusNotifier host takes its item and an X display is there. The helper
// shows that item (read over the session bus) with QSystemTrayIcon and ends with Torvel, or when a
// StatusNotifier host appears.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusReply>
#include <QDBusVariant>
#include <cstdio>

#include "Platform/Linux/Desktop/JournalLogSink.h"
#include "XEmbedHost/XEmbedHost.h"

namespace {

/// Whether the StatusNotifier watcher says a host runs: then Qt's own tray icon would register a
/// StatusNotifierItem instead of docking in the tray, and Torvel's own item is shown anyway.
bool statusNotifierHostRuns(const QDBusConnection& bus) {
    auto call = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                               "org.freedesktop.DBus.Properties", "Get");
    call << QString("org.kde.StatusNotifierWatcher") << QString("IsStatusNotifierHostRegistered");
    call.setAutoStartService(false);
    constexpr int kTimeoutMs = 2000;
    const QDBusMessage reply = bus.call(call, QDBus::Block, kTimeoutMs);
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "v") return false;
    const QVariant value = reply.arguments().at(0).value<QDBusVariant>().variant();
    return value.metaType() == QMetaType::fromType<bool>() && value.toBool();
}

}  // namespace

int main(int argc, char** argv) {
    // Before the application object, which needs the display.
    if (argc > 1) {
        std::fprintf(stderr, "usage: torvel-xembed-tray (started by torvel, takes no arguments)\n");
        return 2;
    }
    QApplication app(argc, argv);
    QApplication::setApplicationName("torvel-xembed-tray");
    // The menu is a window: its closing must not end the helper.
    QApplication::setQuitOnLastWindowClosed(false);
    torvel::JournalLogSink sink;
    const torvel::Logger log(sink, "XEmbedTray");
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        log.error("No session bus: there is no Torvel to show");
        return 1;
    }
    if (!bus.interface()->isServiceRegistered(torvel::XEmbedHost::kItemService).value()) {
        log.error("Torvel offers no tray icon (it is not running, or the shell shows it): nothing to show");
        return 1;
    }
    if (statusNotifierHostRuns(bus)) {
        log.info("A StatusNotifier host shows Torvel's icon; no XEmbed tray icon needed");
        return 0;
    }
    const auto claim = bus.interface()->registerService(torvel::XEmbedHost::kService,
                                                        QDBusConnectionInterface::DontQueueService,
                                                        QDBusConnectionInterface::DontAllowReplacement);
    if (!claim.isValid() || claim.value() != QDBusConnectionInterface::ServiceRegistered) {
        log.info("Another XEmbed tray icon of Torvel runs already");
        return 0;
    }
    torvel::XEmbedHost host(bus, sink);
    if (!host.start()) {
        log.error("Cannot export {} on the session bus", torvel::XEmbedHost::kPath);
        return 1;
    }
    return QApplication::exec();
}

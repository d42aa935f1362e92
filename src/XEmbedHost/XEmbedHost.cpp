#include "XEmbedHost/XEmbedHost.h"

#include <QApplication>
#include <QCursor>
#include <QDBusConnectionInterface>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>
#include <QDBusVariant>
#include <QEvent>
#include <QFile>
#include <QGuiApplication>
#include <QPixmap>
#include <QTextDocument>
#include <QWidget>
#include <algorithm>

#include "Platform/Linux/Helpers/BusObjectProperties.h"

namespace torvel {
namespace {

constexpr const char* kItemInterface = "org.kde.StatusNotifierItem";
constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";
constexpr const char* kWatcherPath = "/StatusNotifierWatcher";
constexpr int kTimeoutMs = 5000;

const char* const kIntrospection =
    "  <interface name=\"com.torvel.XEmbedTray1\">\n"
    "    <signal name=\"IconPlaced\"><arg name=\"x\" type=\"i\"/><arg name=\"y\" type=\"i\"/>"
    "<arg name=\"width\" type=\"i\"/><arg name=\"height\" type=\"i\"/></signal>\n"
    "    <method name=\"Quit\"/>\n"
    "  </interface>\n";

}  // namespace

XEmbedHost::XEmbedHost(QDBusConnection bus, LogSink& log)
    : bus_(std::move(bus)), log_(log, "XEmbedTray"), menu_(bus_, kItemService, log) {
    connect(&icon_, &QSystemTrayIcon::activated, this, [this](QSystemTrayIcon::ActivationReason reason) {
        const QPoint at = QCursor::pos();
        const bool control = QGuiApplication::keyboardModifiers().testFlag(Qt::ControlModifier);
        if (reason == QSystemTrayIcon::Context || (reason == QSystemTrayIcon::Trigger && control)) {
            menu_.popUp(at);
            return;
        }
        if (reason != QSystemTrayIcon::Trigger && reason != QSystemTrayIcon::MiddleClick) return;
        auto call = QDBusMessage::createMethodCall(
            kItemService, kItemPath, kItemInterface,
            reason == QSystemTrayIcon::Trigger ? "Activate" : "SecondaryActivate");
        call << at.x() << at.y();
        call.setAutoStartService(false);
        bus_.asyncCall(call, kTimeoutMs);
    });
}

XEmbedHost::~XEmbedHost() {
    qApp->removeEventFilter(this);
    if (exported_) bus_.unregisterObject(kPath);
}

bool XEmbedHost::start() {
    exported_ = bus_.registerVirtualObject(kPath, this);
    if (!exported_) return false;
    owner_ = std::make_unique<QDBusServiceWatcher>(kItemService, bus_,
                                                   QDBusServiceWatcher::WatchForUnregistration);
    connect(owner_.get(), &QDBusServiceWatcher::serviceUnregistered, this,
            [this] { quit("Torvel withdrew its tray icon or left the bus"); });
    // A watcher that starts later may come with a host, or have one register with it.
    watcher_ = std::make_unique<QDBusServiceWatcher>(kWatcherService, bus_,
                                                     QDBusServiceWatcher::WatchForRegistration);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceRegistered, this, [this] { askForHost(); });
    bus_.connect(kWatcherService, kWatcherPath, kWatcherService, "StatusNotifierHostRegistered", this,
                 SLOT(onHostRegistered()));
    for (const char* name : {"NewIcon", "NewToolTip", "NewStatus", "NewTitle"})
        bus_.connect(kItemService, kItemPath, kItemInterface, name, this, SLOT(onItemChanged()));
    // The tray's window for the icon is made when a tray appears, and moved as the tray lays itself
    // out: its drawing is when its place is known.
    qApp->installEventFilter(this);
    askForHost();
    readItem();
    return true;
}

void XEmbedHost::onItemChanged() {
    readItem();
}

void XEmbedHost::onHostRegistered() {
    quit("A StatusNotifier host shows Torvel's icon now");
}

void XEmbedHost::askForHost() {
    auto call = QDBusMessage::createMethodCall(kWatcherService, kWatcherPath,
                                               "org.freedesktop.DBus.Properties", "Get");
    call << QString(kWatcherService) << QString("IsStatusNotifierHostRegistered");
    call.setAutoStartService(false);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        const QDBusMessage reply = done->reply();
        if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "v") return;
        const QVariant value = reply.arguments().at(0).value<QDBusVariant>().variant();
        if (value.metaType() == QMetaType::fromType<bool>() && value.toBool()) onHostRegistered();
    });
}

void XEmbedHost::readItem() {
    if (reading_) {
        readAgain_ = true;
        return;
    }
    reading_ = true;
    auto call =
        QDBusMessage::createMethodCall(kItemService, kItemPath, "org.freedesktop.DBus.Properties", "GetAll");
    call << QString(kItemInterface);
    call.setAutoStartService(false);
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        reading_ = false;
        const QVariantMap properties = propertiesFrom(done->reply());
        if (!properties.isEmpty()) itemOwner_ = done->reply().service();
        if (properties.isEmpty()) {
            log_.error("Torvel's tray item could not be read: {}",
                       done->isError() ? done->error().message().toStdString() : "not a property map");
            if (!shown_) return quit("There is no item to show");
        } else {
            show(statusItemLookFrom(properties));
        }
        if (readAgain_) {
            readAgain_ = false;
            readItem();
        }
    });
}

void XEmbedHost::show(const StatusItemLook& look) {
    QIcon icon;
    for (const QImage& image : look.pixmaps) icon.addPixmap(QPixmap::fromImage(image));
    if (icon.isNull() && !look.iconName.isEmpty()) {
        const QString svg = look.iconThemePath + "/hicolor/scalable/status/" + look.iconName + ".svg";
        if (!look.iconThemePath.isEmpty() && QFile::exists(svg)) icon = QIcon(svg);
        if (icon.isNull()) icon = QIcon::fromTheme(look.iconName);
    }
    if (icon.isNull()) log_.info("The item offers no icon that can be drawn");
    icon_.setIcon(icon);
    // Plain text: an outside name ("<b>x</b>") shows as it is written; line breaks kept.
    icon_.setToolTip(look.toolTip.isEmpty() ? QString()
                                            : Qt::convertFromPlainText(look.toolTip, Qt::WhiteSpaceNormal));
    menu_.setIconThemePath(look.iconThemePath);
    menu_.setMenuPath(look.menuPath);
    icon_.setVisible(!look.passive);
    if (!shown_) log_.info("Showing Torvel's icon; it docks once an XEmbed tray is there");
    shown_ = true;
}

bool XEmbedHost::eventFilter(QObject* watched, QEvent* event) {
    const auto type = event->type();
    const bool moved = type == QEvent::Paint || type == QEvent::Move || type == QEvent::Resize ||
                       type == QEvent::Show || type == QEvent::Hide;
    if (moved && !placeQueued_ && watched->inherits("QSystemTrayIconSys")) {
        placeQueued_ = true;
        // Not from inside the icon's painting.
        QMetaObject::invokeMethod(this, &XEmbedHost::checkPlace, Qt::QueuedConnection);
    }
    return QObject::eventFilter(watched, event);
}

void XEmbedHost::checkPlace() {
    placeQueued_ = false;
    bool docked = false;
    for (QWidget* widget : QApplication::topLevelWidgets())
        if (widget->inherits("QSystemTrayIconSys") && widget->isVisible()) docked = true;
    const QRect place = docked ? icon_.geometry() : QRect();
    if (place == place_ || (docked && (!place.isValid() || place.isEmpty()))) return;
    place_ = place;
    if (place.isValid())
        log_.info("Icon docked at {},{} ({}x{})", place.x(), place.y(), place.width(), place.height());
    else
        log_.info("The tray let go of the icon");
    auto signal = QDBusMessage::createSignal(kPath, kInterface, "IconPlaced");
    signal << place.x() << place.y() << std::max(place.width(), 0) << std::max(place.height(), 0);
    bus_.send(signal);
}

void XEmbedHost::quit(const char* why) {
    log_.info("Ending: {}", why);
    QCoreApplication::exit(0);
}

QString XEmbedHost::introspect(const QString&) const {
    return QString::fromLatin1(kIntrospection);
}

bool XEmbedHost::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (answerIntrospection(message, connection, introspect(kPath))) return true;
    const bool ours = message.interface().isEmpty() || message.interface() == QLatin1String(kInterface);
    if (!ours || message.member() != QLatin1String("Quit") || !message.signature().isEmpty()) {
        replyBadCall(connection, message, {"Quit"});
        return true;
    }
    // Only Torvel, whose item this shows, may end it.
    if (itemOwner_.isEmpty() || message.service() != itemOwner_) {
        replyError(connection, message, QStringLiteral("org.freedesktop.DBus.Error.AccessDenied"),
                   QStringLiteral("Only the item's owner ends the XEmbed tray icon"));
        return true;
    }
    replyWith(connection, message);
    quit("Torvel's item is shown by a StatusNotifier host");
    return true;
}

}  // namespace torvel

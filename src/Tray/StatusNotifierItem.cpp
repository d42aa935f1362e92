#include "Tray/StatusNotifierItem.h"

#include <unistd.h>

#include <QDBusArgument>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMetaType>
#include <QDBusObjectPath>
#include <QDBusPendingCallWatcher>
#include <QDBusServiceWatcher>

#include "Platform/Linux/Desktop/PortalColorScheme.h"
#include "Platform/Linux/Helpers/BusObjectProperties.h"

namespace torvel {
namespace {

/// One icon image as the protocol sends it: (iiay), ARGB32 pixels in network byte order.
struct SniPixmap {
    int width = 0;
    int height = 0;
    QByteArray data;
};
/// The tooltip: (s icon name, a(iiay) icon images, s title, s body).
struct SniToolTip {
    QString iconName;
    QList<SniPixmap> pixmaps;
    QString title;
    QString body;
};

}  // namespace
}  // namespace torvel

Q_DECLARE_METATYPE(torvel::SniPixmap)
Q_DECLARE_METATYPE(torvel::SniToolTip)

namespace torvel {
namespace {

QDBusArgument& operator<<(QDBusArgument& out, const SniPixmap& pixmap) {
    out.beginStructure();
    out << pixmap.width << pixmap.height << pixmap.data;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, SniPixmap& pixmap) {
    in.beginStructure();
    in >> pixmap.width >> pixmap.height >> pixmap.data;
    in.endStructure();
    return in;
}

QDBusArgument& operator<<(QDBusArgument& out, const SniToolTip& tip) {
    out.beginStructure();
    out << tip.iconName << tip.pixmaps << tip.title << tip.body;
    out.endStructure();
    return out;
}

const QDBusArgument& operator>>(const QDBusArgument& in, SniToolTip& tip) {
    in.beginStructure();
    in >> tip.iconName >> tip.pixmaps >> tip.title >> tip.body;
    in.endStructure();
    return in;
}

const char* const kIntrospection =
    "  <interface name=\"org.kde.StatusNotifierItem\">\n"
    "    <property name=\"Category\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"Id\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"Title\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"WindowId\" type=\"i\" access=\"read\"/>\n"
    "    <property name=\"IconName\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"IconThemePath\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"IconPixmap\" type=\"a(iiay)\" access=\"read\"/>\n"
    "    <property name=\"OverlayIconName\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"AttentionIconName\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"ToolTip\" type=\"(sa(iiay)ss)\" access=\"read\"/>\n"
    "    <property name=\"ItemIsMenu\" type=\"b\" access=\"read\"/>\n"
    "    <property name=\"Menu\" type=\"o\" access=\"read\"/>\n"
    "    <property name=\"XAyatanaLabel\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"XAyatanaLabelGuide\" type=\"s\" access=\"read\"/>\n"
    "    <method name=\"Activate\"><arg type=\"i\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/></method>\n"
    "    <method name=\"SecondaryActivate\"><arg type=\"i\" direction=\"in\"/>"
    "<arg type=\"i\" direction=\"in\"/></method>\n"
    "    <method name=\"ContextMenu\"><arg type=\"i\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/></method>\n"
    "    <method name=\"Scroll\"><arg type=\"i\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/></method>\n"
    "    <method name=\"XAyatanaSecondaryActivate\"><arg type=\"u\" direction=\"in\"/></method>\n"
    "    <method name=\"ProvideXdgActivationToken\"><arg type=\"s\" direction=\"in\"/></method>\n"
    "    <signal name=\"NewTitle\"/>\n"
    "    <signal name=\"NewIcon\"/>\n"
    "    <signal name=\"NewAttentionIcon\"/>\n"
    "    <signal name=\"NewOverlayIcon\"/>\n"
    "    <signal name=\"NewToolTip\"/>\n"
    "    <signal name=\"NewStatus\"><arg type=\"s\"/></signal>\n"
    "    <signal name=\"XAyatanaNewLabel\"><arg type=\"s\"/><arg type=\"s\"/></signal>\n"
    "  </interface>\n";

}  // namespace

StatusNotifierItem::StatusNotifierItem(QDBusConnection bus, std::filesystem::path iconThemeFolder, LogSink& log)
    : bus_(std::move(bus)),
      iconThemeFolder_(std::move(iconThemeFolder)),
      logSink_(log),
      log_(log, "Tray"),
      serviceName_(QString("org.kde.StatusNotifierItem-%1-1").arg(::getpid())) {
    static const bool registered = [] {
        qDBusRegisterMetaType<SniPixmap>();
        qDBusRegisterMetaType<QList<SniPixmap>>();
        qDBusRegisterMetaType<SniToolTip>();
        return true;
    }();
    (void)registered;
}

StatusNotifierItem::~StatusNotifierItem() {
    if (exported_) bus_.unregisterObject(kPath);
    // Watchers forget the item when its connection closes, which follows; the name is let go without
    // waiting for the bus's answer.
    if (ownsName_) bus_.interface()->asyncCall(QStringLiteral("ReleaseName"), serviceName_);
}

bool StatusNotifierItem::start() {
    if (!bus_.isConnected()) return false;
    exported_ = bus_.registerVirtualObject(kPath, this);
    const auto reply = bus_.interface()->registerService(serviceName_, QDBusConnectionInterface::DontQueueService,
                                                         QDBusConnectionInterface::DontAllowReplacement);
    ownsName_ = reply.isValid() && reply.value() == QDBusConnectionInterface::ServiceRegistered;
    if (!exported_ || !ownsName_) {
        log_.error("Cannot offer the tray icon on the session bus (object {}, name {})", exported_, ownsName_);
        return false;
    }
    watcher_ = std::make_unique<QDBusServiceWatcher>(kWatcherService, bus_, QDBusServiceWatcher::WatchForOwnerChange);
    connect(watcher_.get(), &QDBusServiceWatcher::serviceOwnerChanged, this,
            [this](const QString&, const QString&, const QString& owner) {
                if (owner.isEmpty()) {
                    ++attempt_;
                    log_.info("The tray host's watcher went away");
                    setRegistered(false);
                } else {
                    registerWithWatcher();
                }
            });
    bus_.connect(kWatcherService, "/StatusNotifierWatcher", kWatcherService, "StatusNotifierItemRegistered", this,
                 SLOT(onItemRegistered(QString)));
    registerWithWatcher();
    colorScheme_ = std::make_unique<PortalColorScheme>(bus_, logSink_);
    colorSchemeChanged_ = colorScheme_->changed.connect([this] { onColorSchemeChanged(); });
    colorScheme_->start();
    return true;
}

void StatusNotifierItem::onItemRegistered(const QString& service) {
    // Registered by path, the item is announced as "<unique name>/StatusNotifierItem" by most watchers,
    // by the bare unique name or the well-known name by others.
    const QString unique = bus_.baseService();
    const bool ours = service == unique || service == serviceName_ || service == unique + kPath;
    if (!ours || registered_) return;
    ++attempt_;  // an answer still on its way is older news
    log_.info("The tray host took the icon (announced)");
    setRegistered(true);
}

void StatusNotifierItem::registerWithWatcher() {
    if (!ownsName_) return;
    const unsigned attempt = ++attempt_;
    auto call = QDBusMessage::createMethodCall(kWatcherService, "/StatusNotifierWatcher", kWatcherService,
                                               "RegisterStatusNotifierItem");
    // By object path, as the Ayatana items do: the item is then known by this connection's unique name.
    // GNOME's AppIndicator extension (Debian 12 ships version 46) also watches a registered well-known
    // name, and when that watch reports after the item's properties arrived it clears them and drops the
    // item from the top bar. Watchers take a path because every Ayatana (GTK) item sends one.
    call << QString(kPath);
    constexpr int kTimeoutMs = 5000;  // a watcher answers at once; a hung one must not hold the item
    auto* pending = new QDBusPendingCallWatcher(bus_.asyncCall(call, kTimeoutMs), this);
    connect(pending, &QDBusPendingCallWatcher::finished, this, [this, attempt](QDBusPendingCallWatcher* done) {
        done->deleteLater();
        if (attempt != attempt_) return;
        if (done->isError()) {
            log_.info("No tray host took the icon: {}", done->error().name().toStdString());
            setRegistered(false);
        } else {
            log_.info("The tray host took the icon");
            setRegistered(true);
        }
    });
}

void StatusNotifierItem::setRegistered(bool registered) {
    registered_ = registered;
    // Every answer is news, a refusal as much as a re-registration after a watcher restart.
    registration.emit(registered);
}

GlyphShade StatusNotifierItem::glyphShade() const {
    return glyphShadeForColorScheme(colorScheme_ ? colorScheme_->colorScheme() : std::nullopt);
}

void StatusNotifierItem::onColorSchemeChanged() {
    // "No preference" after "prefers light" keeps the dark glyph: hosts need not redraw.
    if (presentation_.iconName.empty() || glyphShade() == shownShade_) return;
    log_.info("The desktop's colour scheme asks for the {} glyph", toString(glyphShade()));
    pixmapsOf(presentation_.iconName);
    emitSignal("NewIcon");
    emitSignal("NewToolTip");
}

QVariant StatusNotifierItem::pixmapsOf(const std::string& iconName) {
    if (iconName.empty()) return QVariant::fromValue(QList<SniPixmap>());
    // Drawn at build time in a dark and a light glyph; the shade follows the desktop's colour scheme.
    // Cached per name and shade; the name alone holds what properties() sends.
    const GlyphShade shade = glyphShade();
    shownShade_ = shade;
    const std::string key = iconName + "@" + toString(shade);
    if (auto found = pixmaps_.find(key); found != pixmaps_.end()) return pixmaps_[iconName] = found->second;
    QList<SniPixmap> out;
    const auto folder = trayPixmapFolder(iconThemeFolder_);
    const auto images = loadTrayPixmaps(folder, iconName, shade);
    if (images.empty())
        log_.error("No drawn tray icon {} ({}) in {}; hosts get its name only", iconName, toString(shade),
                   folder.string());
    // Stored in the order and byte layout IconPixmap sends.
    for (const TrayPixmap& image : images) {
        const QByteArray argb(image.argb.data(), static_cast<qsizetype>(image.argb.size()));
        out << SniPixmap{image.size, image.size, argb};
    }
    return pixmaps_[iconName] = pixmaps_[key] = QVariant::fromValue(out);
}

QString StatusNotifierItem::title() const {
    return presentation_.tooltipTitle.empty() ? QStringLiteral("Torvel")
                                              : QString::fromStdString(presentation_.tooltipTitle);
}

QString StatusNotifierItem::status() const {
    return presentation_.needsAttention ? QStringLiteral("NeedsAttention") : QStringLiteral("Active");
}

QString StatusNotifierItem::toolTipBody() const {
    // Below the title: what the state is, then the label's pieces for hosts that show no label.
    QString body = QString::fromStdString(presentation_.accessibleText);
    if (!label().isEmpty()) body += "\n" + label();
    return body;
}

QString StatusNotifierItem::label() const {
    // The leading space separates the title from the icon where the title is drawn inside the icon's
    // button; panel hosts leave their own gap.
    return QString::fromStdString(presentation_.title).trimmed();
}

void StatusNotifierItem::setPresentation(const StatusItemPresentation& presentation) {
    const QString titleBefore = title(), statusBefore = status(), labelBefore = label(), bodyBefore = toolTipBody();
    const std::string iconBefore = presentation_.iconName;
    presentation_ = presentation;
    pixmapsOf(presentation.iconName);
    if (iconBefore != presentation.iconName) emitSignal("NewIcon");
    if (titleBefore != title()) emitSignal("NewTitle");
    if (titleBefore != title() || bodyBefore != toolTipBody() || iconBefore != presentation.iconName)
        emitSignal("NewToolTip");
    if (statusBefore != status()) emitSignal("NewStatus", {status()});
    if (labelBefore != label()) emitSignal("XAyatanaNewLabel", {label(), label()});
}

void StatusNotifierItem::emitSignal(const char* name, const QList<QVariant>& arguments) {
    if (!exported_) return;
    auto signal = QDBusMessage::createSignal(kPath, kInterface, name);
    signal.setArguments(arguments);
    bus_.send(signal);
}

QVariantMap StatusNotifierItem::properties() const {
    const QString icon = QString::fromStdString(presentation_.iconName);
    const auto found = pixmaps_.find(presentation_.iconName);
    const QVariant pixmaps = found != pixmaps_.end() ? found->second : QVariant::fromValue(QList<SniPixmap>());
    const SniToolTip tip{icon, pixmaps.value<QList<SniPixmap>>(), title(), toolTipBody()};
    return {{"Category", "ApplicationStatus"},
            {"Id", "torvel"},
            {"Title", title()},
            {"Status", status()},
            {"WindowId", 0},
            {"IconName", icon},
            {"IconThemePath", QString::fromStdString(iconThemeFolder_.string())},
            {"IconPixmap", pixmaps},
            {"OverlayIconName", QString()},
            {"AttentionIconName", QString()},
            {"ToolTip", QVariant::fromValue(tip)},
            {"ItemIsMenu", false},
            {"Menu", QVariant::fromValue(QDBusObjectPath(kMenuPath))},
            {"XAyatanaLabel", label()},
            {"XAyatanaLabelGuide", label()}};
}

QString StatusNotifierItem::introspect(const QString&) const {
    return QString::fromLatin1(kIntrospection) + QString::fromLatin1(kPropertiesIntrospection);
}

bool StatusNotifierItem::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (answerIntrospection(message, connection, introspect(kPath))) return true;
    if (answerPropertiesCall(message, connection, kInterface, properties())) return true;
    if (!message.interface().isEmpty() && message.interface() != kInterface) {
        replyError(connection, message, QDBusError::errorString(QDBusError::UnknownInterface), "No such interface");
        return true;
    }
    const QString member = message.member();
    const QString signature = message.signature();
    const bool point = signature == "ii";
    // A middle click comes as XAyatanaSecondaryActivate from GNOME's host, as SecondaryActivate from
    // others; both toggle, as a left click does.
    if (((member == "Activate" || member == "SecondaryActivate") && point) ||
        (member == "XAyatanaSecondaryActivate" && signature == "u")) {
        // Answered first: the host must not wait for the keep-awake change.
        replyWith(connection, message);
        activated.emit();
    } else if (member == "ProvideXdgActivationToken" && signature == "s") {
        // Sent just before the click it is for, so that a window this click raises may take focus.
        replyWith(connection, message);
        activationToken.emit(message.arguments().at(0).toString().toStdString());
    } else if ((member == "ContextMenu" && point) || (member == "Scroll" && signature == "is")) {
        // Hosts open the menu from the Menu property themselves; scrolling means nothing here.
        replyWith(connection, message);
    } else {
        // Hosts fall back on an older method only when told the newer one is unknown.
        replyBadCall(connection, message,
                     {"Activate", "SecondaryActivate", "XAyatanaSecondaryActivate", "ContextMenu", "Scroll",
                      "ProvideXdgActivationToken"});
    }
    return true;
}

}  // namespace torvel

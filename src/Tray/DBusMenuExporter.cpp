#include "Tray/DBusMenuExporter.h"

#include <QDBusError>
#include <QDBusVariant>
#include <QFile>
#include <QFileInfo>
#include <QStandardPaths>
#include <climits>

#include "Platform/Linux/Helpers/BusObjectProperties.h"
#include "Tray/TrayIconArt.h"

namespace torvel {
namespace {

// Hosts read '_' as the mnemonic marker; a title's own underscores are doubled to show as themselves.
QString label(const std::string& title) {
    return QString::fromStdString(title).replace('_', "__");
}

// Two layouts with the same items in the same places: ids may be kept, and with them what a click on
// each id does. How an item looks (greyed, checked, its text) is a property hosts take as an update.
bool sameItems(const MenuItem& a, const MenuItem& b) {
    const bool separator = a.style == MenuItemStyle::separator;
    return separator == (b.style == MenuItemStyle::separator) && a.action == b.action && a.object == b.object;
}

const char* const kIntrospection =
    "  <interface name=\"com.canonical.dbusmenu\">\n"
    "    <property name=\"Version\" type=\"u\" access=\"read\"/>\n"
    "    <property name=\"TextDirection\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"Status\" type=\"s\" access=\"read\"/>\n"
    "    <property name=\"IconThemePath\" type=\"as\" access=\"read\"/>\n"
    "    <method name=\"GetLayout\"><arg type=\"i\" direction=\"in\"/><arg type=\"i\" direction=\"in\"/>"
    "<arg type=\"as\" direction=\"in\"/><arg type=\"u\" direction=\"out\"/>"
    "<arg type=\"(ia{sv}av)\" direction=\"out\"/></method>\n"
    "    <method name=\"GetGroupProperties\"><arg type=\"ai\" direction=\"in\"/><arg type=\"as\" direction=\"in\"/>"
    "<arg type=\"a(ia{sv})\" direction=\"out\"/></method>\n"
    "    <method name=\"GetProperty\"><arg type=\"i\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
    "<arg type=\"v\" direction=\"out\"/></method>\n"
    "    <method name=\"Event\"><arg type=\"i\" direction=\"in\"/><arg type=\"s\" direction=\"in\"/>"
    "<arg type=\"v\" direction=\"in\"/><arg type=\"u\" direction=\"in\"/></method>\n"
    "    <method name=\"EventGroup\"><arg type=\"a(isvu)\" direction=\"in\"/>"
    "<arg type=\"ai\" direction=\"out\"/></method>\n"
    "    <method name=\"AboutToShow\"><arg type=\"i\" direction=\"in\"/><arg type=\"b\" direction=\"out\"/></method>\n"
    "    <method name=\"AboutToShowGroup\"><arg type=\"ai\" direction=\"in\"/><arg type=\"ai\" direction=\"out\"/>"
    "<arg type=\"ai\" direction=\"out\"/></method>\n"
    "    <signal name=\"ItemsPropertiesUpdated\"><arg type=\"a(ia{sv})\"/><arg type=\"a(ias)\"/></signal>\n"
    "    <signal name=\"LayoutUpdated\"><arg type=\"u\"/><arg type=\"i\"/></signal>\n"
    "    <signal name=\"ItemActivationRequested\"><arg type=\"i\"/><arg type=\"u\"/></signal>\n"
    "  </interface>\n";

}  // namespace

DBusMenuExporter::DBusMenuExporter(QDBusConnection bus, std::function<MenuModel()> build,
                                   std::function<void(const MenuItem&)> perform,
                                   std::filesystem::path iconThemeFolder, LogSink& log)
    : bus_(std::move(bus)),
      build_(std::move(build)),
      perform_(std::move(perform)),
      iconThemeFolder_(std::move(iconThemeFolder)),
      log_(log, "Tray") {
    registerDBusMenuTypes();
    // Installed icons are best sent by name: hosts then draw them in the menu's own colours. Hosts
    // look names up in the desktop's data folders only (few read IconThemePath), so a build tree's
    // icons go as images.
    const QString folder = QFileInfo(QString::fromStdString(iconThemeFolder_.string())).canonicalFilePath();
    for (const QString& data : QStandardPaths::standardLocations(QStandardPaths::GenericDataLocation)) {
        if (!folder.isEmpty() && QFileInfo(data + "/icons").canonicalFilePath() == folder) iconsFoundByName_ = true;
    }
}

DBusMenuExporter::~DBusMenuExporter() {
    if (exported_) bus_.unregisterObject(kPath);
}

bool DBusMenuExporter::exportOn() {
    exported_ = bus_.registerVirtualObject(kPath, this);
    return exported_;
}

const QByteArray& DBusMenuExporter::iconData(const std::string& name) {
    if (auto found = icons_.find(name); found != icons_.end()) return found->second;
    QByteArray& png = icons_[name];
    // The build draws Torvel's own icons as PNG files; any other name has none and goes by name. The
    // menu's background is the host's and may be light or dark whatever the desktop's windows are:
    // the mid-grey glyph reads on both.
    const auto file = trayPixmapFile(trayPixmapFolder(iconThemeFolder_), name, GlyphShade::mid, kIconPixels);
    QFile in(QString::fromStdString(file.string()));
    if (iconThemeFolder_.empty() || !in.exists()) return png;
    constexpr qint64 kMaxBytes = 64 * 1024;  // a 32-pixel PNG is a few hundred bytes
    if (in.open(QIODevice::ReadOnly) && in.size() <= kMaxBytes) png = in.readAll();
    if (!png.startsWith("\x89PNG")) {
        log_.error("Cannot read the menu icon {}; hosts get its name only", file.string());
        png.clear();
    }
    return png;
}

QVariantMap DBusMenuExporter::propertiesOf(const MenuItem& item) {
    if (item.style == MenuItemStyle::separator) return {{"type", "separator"}};
    QVariantMap out{{"label", label(item.title)}};
    // Info lines and headers are read-outs: panel menus show them as disabled items.
    if (!item.enabled || item.style != MenuItemStyle::normal) out["enabled"] = false;
    if (!item.iconName.empty()) {
        // A host prefers a name to image data and draws a name it cannot find as a broken image.
        const QByteArray& png = iconsFoundByName_ ? QByteArray() : iconData(item.iconName);
        if (png.isEmpty()) {
            out["icon-name"] = QString::fromStdString(item.iconName);
        } else {
            out["icon-data"] = png;
        }
    }
    if (item.checkable) {
        out["toggle-type"] = "checkmark";
        out["toggle-state"] = item.checked ? 1 : 0;
    }
    if (!item.submenu.empty()) out["children-display"] = "submenu";
    return out;
}

void DBusMenuExporter::flatten(const std::vector<MenuItem>& items, int parent, std::vector<Entry>& out) {
    for (const auto& item : items) {
        const int index = static_cast<int>(out.size());
        out.push_back({parent, propertiesOf(item), item, {}});
        if (parent >= 0) out[static_cast<std::size_t>(parent)].children.push_back(index);
        if (!item.submenu.empty()) flatten(item.submenu, index, out);
    }
}

DBusMenuExporter::Update DBusMenuExporter::rebuild() {
    std::vector<Entry> fresh;
    flatten(build_ ? build_().items : std::vector<MenuItem>{}, -1, fresh);
    // In the same order with the same parents, the trees are alike too.
    bool sameLayout = built_ && fresh.size() == entries_.size();
    for (std::size_t i = 0; sameLayout && i < fresh.size(); ++i)
        sameLayout = fresh[i].parent == entries_[i].parent && sameItems(fresh[i].item, entries_[i].item);
    Update update;
    if (!sameLayout) {
        update.kind = Update::Kind::layout;
        // Past every id handed out so far, so a host's stale id cannot hit a new item.
        const long long next = static_cast<long long>(firstId_) + static_cast<long long>(entries_.size());
        firstId_ = next + static_cast<long long>(fresh.size()) >= INT_MAX ? 1 : static_cast<int>(next);
        ++revision_;
    } else {
        for (std::size_t i = 0; i < fresh.size(); ++i) {
            const QVariantMap& before = entries_[i].properties;
            const QVariantMap& now = fresh[i].properties;
            if (before == now) continue;
            const int id = idOf(static_cast<int>(i));
            DBusMenuItemProperties changed{id, {}};
            DBusMenuItemPropertyNames removed{id, {}};
            for (auto it = now.constBegin(); it != now.constEnd(); ++it)
                if (before.value(it.key()) != it.value()) changed.properties[it.key()] = it.value();
            for (auto it = before.constBegin(); it != before.constEnd(); ++it)
                if (!now.contains(it.key())) removed.names << it.key();
            if (!changed.properties.isEmpty()) update.changed << changed;
            if (!removed.names.isEmpty()) update.removed << removed;
        }
        if (!update.changed.isEmpty() || !update.removed.isEmpty()) update.kind = Update::Kind::properties;
    }
    // The items are taken even when they look the same: what they act on may have changed.
    entries_ = std::move(fresh);
    rootChildren_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].parent < 0) rootChildren_.push_back(static_cast<int>(i));
    built_ = true;
    return update;
}

void DBusMenuExporter::announce(const Update& update) {
    if (update.kind == Update::Kind::none || !exported_) return;
    if (update.kind == Update::Kind::layout) {
        auto signal = QDBusMessage::createSignal(kPath, kInterface, "LayoutUpdated");
        signal << revision_ << 0;
        bus_.send(signal);
        return;
    }
    auto signal = QDBusMessage::createSignal(kPath, kInterface, "ItemsPropertiesUpdated");
    signal << QVariant::fromValue(update.changed) << QVariant::fromValue(update.removed);
    bus_.send(signal);
}

void DBusMenuExporter::menuMayHaveChanged() {
    if (!built_ || checkQueued_) return;
    checkQueued_ = true;
    // After the change that called has run its course, and once for all that called meanwhile.
    QMetaObject::invokeMethod(
        this,
        [this] {
            checkQueued_ = false;
            announce(rebuild());
        },
        Qt::QueuedConnection);
}

int DBusMenuExporter::indexOf(int id) const {
    if (id == 0) return -1;
    const long long index = static_cast<long long>(id) - firstId_;
    if (id < 0 || index < 0 || index >= static_cast<long long>(entries_.size())) return -2;
    return static_cast<int>(index);
}

QVariantMap DBusMenuExporter::filtered(const QVariantMap& properties, const QStringList& names) const {
    if (names.isEmpty()) return properties;
    QVariantMap out;
    for (const auto& name : names)
        if (properties.contains(name)) out[name] = properties[name];
    return out;
}

QVariant DBusMenuExporter::layoutOf(int index, int depth, const QStringList& names) const {
    DBusMenuLayoutItem node;
    const std::vector<int>* children = &rootChildren_;
    if (index < 0) {
        node.properties = filtered({{"children-display", "submenu"}}, names);
    } else {
        const auto& entry = entries_[static_cast<std::size_t>(index)];
        node.id = idOf(index);
        node.properties = filtered(entry.properties, names);
        children = &entry.children;
    }
    if (depth != 0) {
        for (int child : *children)
            node.children << layoutOf(child, depth < 0 ? -1 : depth - 1, names).value<DBusMenuLayoutItem>();
    }
    return QVariant::fromValue(node);
}

bool DBusMenuExporter::handleEvent(int id, const QString& name) {
    const int index = indexOf(id);
    if (index == -2) return false;
    if (index == -1) {
        if (name == "opened" && !refreshedForOpening_) {
            // A host that asked no AboutToShow first: the readings are refreshed now, and it hears of
            // any change while the menu is open.
            opening.emit();
            menuMayHaveChanged();
        }
        if (name == "opened" || name == "closed") {
            refreshedForOpening_ = false;
            openChanged.emit(name == "opened");
        }
        return true;
    }
    if (name != "clicked") return true;
    const auto& entry = entries_[static_cast<std::size_t>(index)];
    const MenuItem& item = entry.item;
    if (item.style != MenuItemStyle::normal || !item.enabled || !item.submenu.empty()) return true;
    log_.debug("Menu item '{}' chosen", item.title);
    const MenuItem chosen = item;  // the action may rebuild the menu
    if (perform_) perform_(chosen);
    return true;
}

QString DBusMenuExporter::introspect(const QString&) const {
    return QString::fromLatin1(kIntrospection) + QString::fromLatin1(kPropertiesIntrospection);
}

bool DBusMenuExporter::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (answerIntrospection(message, connection, introspect(kPath))) return true;
    const QString iconFolder = QString::fromStdString(iconThemeFolder_.string());
    const QVariantMap properties{{"Version", 3u},
                                 {"TextDirection", "ltr"},
                                 {"Status", "normal"},
                                 {"IconThemePath", iconFolder.isEmpty() ? QStringList() : QStringList{iconFolder}}};
    if (answerPropertiesCall(message, connection, kInterface, properties)) return true;
    const QString invalid = QDBusError::errorString(QDBusError::InvalidArgs);
    if (!message.interface().isEmpty() && message.interface() != kInterface) {
        replyError(connection, message, QDBusError::errorString(QDBusError::UnknownInterface), "No such interface");
        return true;
    }
    const auto args = message.arguments();
    const QString member = message.member();
    const QString signature = message.signature();
    if (member == "GetLayout" && signature == "iias") {
        const int parent = args.at(0).toInt();
        if (parent == 0 || !built_) rebuild();
        const int index = indexOf(parent);
        if (index == -2) return replyError(connection, message, invalid, "No such menu item"), true;
        replyWith(connection, message,
                  {QVariant::fromValue(revision_), layoutOf(index, args.at(1).toInt(), args.at(2).toStringList())});
    } else if (member == "GetGroupProperties" && signature == "aias") {
        const auto ids = qdbus_cast<QList<int>>(args.at(0));
        const auto names = args.at(1).toStringList();
        if (!built_) rebuild();
        QList<DBusMenuItemProperties> out;
        for (std::size_t i = 0; i < entries_.size(); ++i) {
            const int id = idOf(static_cast<int>(i));
            if (ids.isEmpty() || ids.contains(id)) out.push_back({id, filtered(entries_[i].properties, names)});
        }
        replyWith(connection, message, {QVariant::fromValue(out)});
    } else if (member == "GetProperty" && signature == "is") {
        const int index = indexOf(args.at(0).toInt());
        const QVariantMap props = index >= 0 ? entries_[static_cast<std::size_t>(index)].properties : QVariantMap();
        const auto found = props.constFind(args.at(1).toString());
        if (index < 0 || found == props.constEnd())
            return replyError(connection, message, invalid, "No such menu item or property"), true;
        replyWith(connection, message, {QVariant::fromValue(QDBusVariant(*found))});
    } else if (member == "Event" && signature == "isvu") {
        // Answered first: the action may take a while, or end the program.
        replyWith(connection, message);
        if (!handleEvent(args.at(0).toInt(), args.at(1).toString()))
            log_.debug("Menu event for item {} of an earlier layout ignored", args.at(0).toInt());
    } else if (member == "EventGroup" && signature == "a(isvu)") {
        const auto events = qdbus_cast<QList<DBusMenuEvent>>(args.at(0));
        QList<int> unknown;
        for (const auto& e : events)
            if (indexOf(e.id) == -2) unknown << e.id;
        replyWith(connection, message, {QVariant::fromValue(unknown)});
        for (const auto& e : events) handleEvent(e.id, e.name);
    } else if (member == "AboutToShow" && signature == "i") {
        // The menu was announced as it changed; this catches what no change announced (time passing).
        Update update;
        if (args.at(0).toInt() == 0) {
            opening.emit();
            refreshedForOpening_ = true;
            update = rebuild();
        }
        replyWith(connection, message, {update.kind != Update::Kind::none});
        announce(update);
    } else if (member == "AboutToShowGroup" && signature == "ai") {
        const auto ids = qdbus_cast<QList<int>>(args.at(0));
        Update update;
        if (ids.contains(0)) {
            opening.emit();
            refreshedForOpening_ = true;
            update = rebuild();
        }
        QList<int> updates, unknown;
        if (update.kind != Update::Kind::none) updates << 0;
        for (int id : ids)
            if (indexOf(id) == -2) unknown << id;
        replyWith(connection, message, {QVariant::fromValue(updates), QVariant::fromValue(unknown)});
        announce(update);
    } else {
        replyBadCall(connection, message,
                     {"GetLayout", "GetGroupProperties", "GetProperty", "Event", "EventGroup", "AboutToShow",
                      "AboutToShowGroup"});
    }
    return true;
}

}  // namespace torvel

#include "Platform/Linux/DBusMenuExporter.h"

#include <QDBusError>
#include <QDBusVariant>
#include <climits>

#include "Platform/Linux/BusObjectProperties.h"
#include "Platform/Linux/DBusMenuTypes.h"

namespace torvel {
namespace {

// Hosts read '_' as the mnemonic marker; a title's own underscores are doubled to show as themselves.
QString label(const std::string& title) {
    return QString::fromStdString(title).replace('_', "__");
}

QVariantMap propertiesOf(const MenuItem& item) {
    if (item.style == MenuItemStyle::separator) return {{"type", "separator"}};
    QVariantMap out{{"label", label(item.title)}};
    // Info lines and headers are read-outs: panel menus show them as disabled items.
    if (!item.enabled || item.style != MenuItemStyle::normal) out["enabled"] = false;
    if (!item.iconName.empty()) out["icon-name"] = QString::fromStdString(item.iconName);
    if (item.checkable) {
        out["toggle-type"] = "checkmark";
        out["toggle-state"] = item.checked ? 1 : 0;
    }
    const auto keys = DBusMenuExporter::shortcutKeys(item.shortcut);
    if (!keys.isEmpty()) out["shortcut"] = QVariant::fromValue(keys);
    if (!item.submenu.empty()) out["children-display"] = "submenu";
    return out;
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
                                   std::function<void(const MenuItem&)> perform, LogSink& log)
    : bus_(std::move(bus)), build_(std::move(build)), perform_(std::move(perform)), log_(log, "Tray") {
    registerDBusMenuTypes();
}

DBusMenuExporter::~DBusMenuExporter() {
    if (exported_) bus_.unregisterObject(kPath);
}

bool DBusMenuExporter::exportOn() {
    exported_ = bus_.registerVirtualObject(kPath, this);
    return exported_;
}

QList<QStringList> DBusMenuExporter::shortcutKeys(const std::string& portable) {
    if (portable.empty()) return {};
    QStringList keys;
    QString text = QString::fromStdString(portable);
    // "Ctrl++" ends in the plus key itself.
    const bool plusKey = text.endsWith("++") || text == "+";
    if (plusKey) text.chop(text == "+" ? 1 : 2);
    for (const QString& part : text.split('+', Qt::SkipEmptyParts)) {
        if (part == "Ctrl") {
            keys << "Control";
        } else if (part == "Meta") {
            keys << "Super";
        } else if (part == "Alt" || part == "Shift") {
            keys << part;
        } else if (part == ",") {
            keys << "comma";
        } else if (part == ".") {
            keys << "period";
        } else {
            keys << (part.size() == 1 ? part.toLower() : part);
        }
    }
    if (plusKey) keys << "plus";
    return {keys};
}

void DBusMenuExporter::flatten(const std::vector<MenuItem>& items, int parent, std::vector<Entry>& out) const {
    for (const auto& item : items) {
        const int index = static_cast<int>(out.size());
        out.push_back({parent, propertiesOf(item), item, {}});
        if (parent >= 0) out[static_cast<std::size_t>(parent)].children.push_back(index);
        if (!item.submenu.empty()) flatten(item.submenu, index, out);
    }
}

bool DBusMenuExporter::rebuild() {
    std::vector<Entry> fresh;
    flatten(build_ ? build_().items : std::vector<MenuItem>{}, -1, fresh);
    bool same = built_ && fresh.size() == entries_.size();
    for (std::size_t i = 0; same && i < fresh.size(); ++i)
        same = fresh[i].parent == entries_[i].parent && fresh[i].properties == entries_[i].properties;
    if (!same) {
        // Past every id handed out so far, so a host's stale id cannot hit a new item.
        const long long next = static_cast<long long>(firstId_) + static_cast<long long>(entries_.size());
        firstId_ = next + static_cast<long long>(fresh.size()) >= INT_MAX ? 1 : static_cast<int>(next);
        ++revision_;
    }
    // The items are taken even when they look the same: what they act on may have changed.
    entries_ = std::move(fresh);
    rootChildren_.clear();
    for (std::size_t i = 0; i < entries_.size(); ++i)
        if (entries_[i].parent < 0) rootChildren_.push_back(static_cast<int>(i));
    built_ = true;
    return !same;
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
        if (onOpenChanged_ && (name == "opened" || name == "closed")) onOpenChanged_(name == "opened");
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

void DBusMenuExporter::emitLayoutUpdated() {
    auto signal = QDBusMessage::createSignal(kPath, kInterface, "LayoutUpdated");
    signal << revision_ << 0;
    bus_.send(signal);
}

QString DBusMenuExporter::introspect(const QString&) const {
    return QString::fromLatin1(kIntrospection) + QString::fromLatin1(kPropertiesIntrospection);
}

bool DBusMenuExporter::handleMessage(const QDBusMessage& message, const QDBusConnection& connection) {
    if (answerIntrospection(message, connection, introspect(kPath))) return true;
    const QVariantMap properties{{"Version", 3u},
                                 {"TextDirection", "ltr"},
                                 {"Status", "normal"},
                                 {"IconThemePath", QStringList()}};
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
        const bool changed = args.at(0).toInt() == 0 && rebuild();
        replyWith(connection, message, {changed});
        if (changed) emitLayoutUpdated();
    } else if (member == "AboutToShowGroup" && signature == "ai") {
        const auto ids = qdbus_cast<QList<int>>(args.at(0));
        const bool changed = ids.contains(0) && rebuild();
        QList<int> updates, unknown;
        if (changed) updates << 0;
        for (int id : ids)
            if (indexOf(id) == -2) unknown << id;
        replyWith(connection, message, {QVariant::fromValue(updates), QVariant::fromValue(unknown)});
        if (changed) emitLayoutUpdated();
    } else {
        replyError(connection, message, invalid, "Unknown method or wrong arguments");
    }
    return true;
}

}  // namespace torvel

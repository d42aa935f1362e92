#include "XEmbedHost/DBusMenuLayout.h"

#include <QDBusArgument>
#include <QDBusVariant>

namespace torvel {
namespace {

template <typename T>
bool holds(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<T>();
}

/// Reads the node at `in` into `out`; false when it is not a layout node. `budget` counts the entries
/// still allowed.
bool readNode(const QDBusArgument& in, int depth, int& budget, HostMenuEntry& out) {
    if (in.currentSignature() != QLatin1String("(ia{sv}av)")) return false;
    int id = 0;
    QVariantMap properties;
    in.beginStructure();
    in >> id >> properties;
    out = menuEntryFrom(id, properties);
    in.beginArray();
    while (!in.atEnd()) {
        QDBusVariant child;
        in >> child;  // read even when left out, to reach the end of the array
        const QVariant value = child.variant();
        if (depth >= kMaxMenuDepth || budget <= 0 || !holds<QDBusArgument>(value)) continue;
        HostMenuEntry entry;
        if (!readNode(value.value<QDBusArgument>(), depth + 1, budget, entry) || entry.id <= 0) continue;
        --budget;
        out.children.push_back(std::move(entry));
    }
    in.endArray();
    in.endStructure();
    if (!out.children.empty()) out.submenu = true;
    return true;
}

}  // namespace

bool isPlainIconName(const QString& name) {
    if (name.isEmpty() || name.size() > 255 || name.startsWith('.')) return false;
    for (const QChar c : name) {
        const bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') ||
                           c == '-' || c == '_' || c == '.';
        if (!plain) return false;
    }
    return true;
}

QString qtMenuLabel(const QString& dbusLabel) {
    QString out;
    out.reserve(dbusLabel.size());
    bool keyTaken = false;
    for (qsizetype i = 0; i < dbusLabel.size(); ++i) {
        const QChar c = dbusLabel[i];
        if (c == '&') {
            out += "&&";
        } else if (c == '_' && i + 1 < dbusLabel.size() && dbusLabel[i + 1] == '_') {
            out += '_';
            ++i;
        } else if (c == '_' && i + 1 < dbusLabel.size() && !keyTaken) {
            // Only the first marks the access key, as in GTK; a later one shows as it is.
            out += '&';
            keyTaken = true;
        } else {
            out += c;
        }
    }
    return out;
}

HostMenuEntry menuEntryFrom(int id, const QVariantMap& properties) {
    HostMenuEntry entry;
    entry.id = id;
    auto string = [&](const char* name) {
        const QVariant value = properties.value(QLatin1String(name));
        return holds<QString>(value) ? value.toString() : QString();
    };
    auto flag = [&](const char* name, bool fallback) {
        const QVariant value = properties.value(QLatin1String(name));
        return holds<bool>(value) ? value.toBool() : fallback;
    };
    entry.separator = string("type") == QLatin1String("separator");
    entry.label = qtMenuLabel(string("label").left(kMaxMenuLabelLength));
    entry.enabled = flag("enabled", true);
    entry.visible = flag("visible", true);
    const QString toggle = string("toggle-type");
    entry.toggle = toggle == QLatin1String("checkmark") ? HostMenuEntry::Toggle::checkmark
                   : toggle == QLatin1String("radio")   ? HostMenuEntry::Toggle::radio
                                                        : HostMenuEntry::Toggle::none;
    const QVariant state = properties.value(QStringLiteral("toggle-state"));
    // 1 is on, 0 off, anything else indeterminate, which a Qt action cannot show: off.
    entry.checked = entry.toggle != HostMenuEntry::Toggle::none && holds<int>(state) && state.toInt() == 1;
    if (const QString icon = string("icon-name"); isPlainIconName(icon)) entry.iconName = icon;
    const QVariant data = properties.value(QStringLiteral("icon-data"));
    if (holds<QByteArray>(data)) {
        const QByteArray png = data.toByteArray();
        if (png.size() <= kMaxMenuIconBytes && png.startsWith("\x89PNG\r\n\x1a\n")) entry.iconData = png;
    }
    entry.submenu = string("children-display") == QLatin1String("submenu");
    return entry;
}

std::optional<HostMenuLayout> menuLayoutFrom(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("u(ia{sv}av)"))
        return std::nullopt;
    const QList<QVariant> args = reply.arguments();
    if (args.size() != 2 || !holds<QDBusArgument>(args[1])) return std::nullopt;
    HostMenuLayout layout;
    layout.revision = args[0].toUInt();
    int budget = kMaxMenuEntries;
    if (!readNode(args[1].value<QDBusArgument>(), 0, budget, layout.root)) return std::nullopt;
    return layout;
}

}  // namespace torvel

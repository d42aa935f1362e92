#pragma once

#include <QByteArray>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>
#include <optional>
#include <vector>

namespace torvel {

/// One entry of a com.canonical.dbusmenu layout, as the XEmbed tray's menu shows it. Read from a menu
/// the helper does not trust: every property of the wrong type or out of bounds is left at its default.
struct HostMenuEntry {
    enum class Toggle { none, checkmark, radio };
    int id = 0;
    bool separator = false;
    /// As Qt writes it: '&' marks the access key, "&&" is an ampersand.
    QString label;
    bool enabled = true;
    bool visible = true;
    Toggle toggle = Toggle::none;
    bool checked = false;
    /// A plain icon name (no path), or empty.
    QString iconName;
    /// PNG bytes, or empty.
    QByteArray iconData;
    /// The entry opens a submenu (it says so, or has children).
    bool submenu = false;
    std::vector<HostMenuEntry> children;
};

/// A whole menu: the root entry (id 0) and the revision it was read at.
struct HostMenuLayout {
    uint revision = 0;
    HostMenuEntry root;
};

/// Bounds on what a menu may hold; what lies beyond them is left out.
inline constexpr int kMaxMenuDepth = 8;
inline constexpr int kMaxMenuEntries = 1000;
inline constexpr int kMaxMenuLabelLength = 500;
inline constexpr int kMaxMenuIconBytes = 64 * 1024;

/// A dbusmenu label ('_' marks the access key, "__" is an underscore) as a Qt action's text.
QString qtMenuLabel(const QString& dbusLabel);

/// The entry `id` with `properties` as GetLayout sends them; wrong types and sizes are ignored.
HostMenuEntry menuEntryFrom(int id, const QVariantMap& properties);

/// The layout in a GetLayout reply (u(ia{sv}av)); nothing when the reply is an error or has another
/// signature. Children of the wrong type, entries past kMaxMenuDepth or kMaxMenuEntries and entries
/// with an id that is not positive are left out.
std::optional<HostMenuLayout> menuLayoutFrom(const QDBusMessage& reply);

/// Whether `name` is a plain icon name: letters, digits, '-', '_' and '.', not leading, at most 255.
bool isPlainIconName(const QString& name);

}  // namespace torvel

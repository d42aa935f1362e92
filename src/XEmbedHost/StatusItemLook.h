#pragma once

#include <QDBusMessage>
#include <QImage>
#include <QString>
#include <QVariantMap>
#include <vector>

namespace torvel {

/// What the XEmbed tray shows of a StatusNotifierItem, read from its properties. The item is not
/// trusted: a property of the wrong type is as good as absent, an image of the wrong size is dropped.
struct StatusItemLook {
    /// The icon at each size the item offers (IconPixmap), ARGB32.
    std::vector<QImage> pixmaps;
    /// The icon's name for the theme, when no image is usable; a plain name or empty.
    QString iconName;
    /// An absolute folder holding an icon theme the name is looked up in first, or empty.
    QString iconThemePath;
    /// The tooltip as plain text: its title, then its body.
    QString toolTip;
    /// The item asks not to be shown (Status "Passive").
    bool passive = false;
    /// The item's menu object (com.canonical.dbusmenu), or empty.
    QString menuPath;
};

/// Bounds on the images an item may send: at most this many, each at most kMaxItemPixels square.
inline constexpr int kMaxItemPixmaps = 16;
inline constexpr int kMaxItemPixels = 256;
/// Longer tooltips are cut here.
inline constexpr int kMaxToolTipLength = 2000;

/// The look from the item's properties (GetAll of org.kde.StatusNotifierItem).
StatusItemLook statusItemLookFrom(const QVariantMap& properties);

/// The properties in a GetAll reply (a{sv}); nothing (empty) for an error or another signature.
QVariantMap propertiesFrom(const QDBusMessage& reply);

}  // namespace torvel

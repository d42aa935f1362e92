#pragma once

#include <QDBusConnection>
#include <QDBusVirtualObject>
#include <QVariantMap>
#include <filesystem>
#include <functional>
#include <map>
#include <memory>
#include <string>

#include "Platform/Log.h"
#include "Support/Signal.h"
#include "Tray/TrayIconArt.h"
#include "UI/StatusItemPresentation.h"

class QDBusServiceWatcher;

namespace torvel {
class PortalColorScheme;
}

namespace torvel {

/// Torvel's tray icon as an org.kde.StatusNotifierItem: the panel hosts of KDE, Xfce, Cinnamon, MATE,
/// LXQt and GNOME (with the AppIndicator extension) draw it, its label and tooltip, and open its menu
/// (exported separately at kMenuPath) themselves. The item registers with the
/// org.kde.StatusNotifierWatcher whenever one appears, also one that starts after Torvel or restarts.
/// Incoming calls are checked before use; nothing here runs on a timer.
class StatusNotifierItem : public QDBusVirtualObject {
    Q_OBJECT
public:
    static constexpr const char* kPath = "/StatusNotifierItem";
    static constexpr const char* kInterface = "org.kde.StatusNotifierItem";
    static constexpr const char* kMenuPath = "/MenuBar";
    static constexpr const char* kWatcherService = "org.kde.StatusNotifierWatcher";

    /// Icons are looked up by name in `iconThemeFolder` (a folder holding hicolor/), which hosts are
    /// also told, so a build-tree run finds them.
    StatusNotifierItem(QDBusConnection bus, std::filesystem::path iconThemeFolder, LogSink& log);
    ~StatusNotifierItem() override;

    /// Takes the item's bus name, exports the object and registers with a watcher if one runs (and
    /// with every one that appears later); follows the desktop's colour scheme through the portal on
    /// the same bus. False when the name or the path cannot be taken.
    bool start();
    /// Shows `presentation`; hosts are told only what changed.
    void setPresentation(const StatusItemPresentation& presentation);
    /// A left or middle click on the icon.
    Signal<> activated;
    /// The XDG activation token a host hands over before a click (unchecked: the receiver checks it).
    Signal<const std::string&> activationToken;
    /// Emitted after every answer of a watcher (true: it holds the item) and when it goes away (false).
    Signal<bool> registration;
    /// True while a watcher holds the item.
    bool isRegistered() const { return registered_; }
    /// Registers again with the watcher, if one runs (it may have forgotten the item).
    void registerWithWatcher();
    /// The well-known name the item owns ("org.kde.StatusNotifierItem-PID-1"); watchers know it by
    /// the connection's unique name, as it registers by path.
    const QString& serviceName() const { return serviceName_; }

    QString introspect(const QString& path) const override;
    bool handleMessage(const QDBusMessage& message, const QDBusConnection& connection) override;

private Q_SLOTS:
    /// A watcher announced an item: when it is this one, the watcher holds it even if its answer to the
    /// registration never arrived (a busy shell answers after the call timed out).
    void onItemRegistered(const QString& service);

private:
    void setRegistered(bool registered);
    void emitSignal(const char* name, const QList<QVariant>& arguments = {});
    QVariantMap properties() const;
    /// The icon's pixmaps (ARGB32 in network byte order), read once per icon name and glyph shade.
    QVariant pixmapsOf(const std::string& iconName);
    /// The glyph that suits the desktop's colour scheme (dark until the portal says otherwise).
    GlyphShade glyphShade() const;
    /// Hosts redraw the icon in the glyph of a new colour scheme.
    void onColorSchemeChanged();
    QString label() const;
    /// The item's title and its tooltip's: "Torvel", or with the remaining time.
    QString title() const;
    QString status() const;
    QString toolTipBody() const;

    QDBusConnection bus_;
    std::filesystem::path iconThemeFolder_;
    LogSink& logSink_;
    Logger log_;
    QString serviceName_;
    StatusItemPresentation presentation_;
    std::map<std::string, QVariant> pixmaps_;
    std::unique_ptr<QDBusServiceWatcher> watcher_;
    std::unique_ptr<PortalColorScheme> colorScheme_;
    Connection colorSchemeChanged_;
    GlyphShade shownShade_ = GlyphShade::dark;  // of the pixmaps last read
    bool registered_ = false;
    bool exported_ = false;
    bool ownsName_ = false;
    unsigned attempt_ = 0;  // a registration answer for an older attempt is stale
};

}  // namespace torvel

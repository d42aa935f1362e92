#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QRect>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

#include "Core/TimerManager.h"
#include "Platform/Log.h"
#include "Support/Signal.h"
#include "UI/MenuModel.h"
#include "UI/StatusItemPresentation.h"

class QDBusServiceWatcher;

namespace torvel {

class DBusMenuExporter;
class StatusNotifierItem;

/// Where the first-start hint can go, told once a host first shows the icon.
struct TrayHostPlace {
    enum class Kind { statusNotifier, xembed };
    Kind kind = Kind::statusNotifier;
    /// Where the icon is on the screen now. A StatusNotifier host never says (absent); an XEmbed tray
    /// does once it has docked the icon, which happens a moment after the icon is offered.
    std::function<QRect()> iconArea;
};

/// What the tray shows and does, given by the application.
struct TrayFunctions {
    /// Builds the menu as the state is now, reading only; called as a menu opens and whenever what it
    /// shows may have changed.
    std::function<MenuModel()> buildMenu;
    /// A menu is opening: asks for fresh readings of what it shows (their answers come as changes).
    std::function<void()> menuWillOpen;
    /// Carries out a chosen menu item.
    std::function<void(const MenuItem&)> perform;
    /// The icon and texts as they are now.
    std::function<StatusItemPresentation()> present;
    /// A click on the icon.
    std::function<void()> toggle;
    /// Whether the label beside the icon shows the remaining time (then the countdown wakes each
    /// minute to keep it right); absent: never.
    std::function<bool()> labelShowsTime;
    /// Tells the user that no tray can show Torvel's icon.
    std::function<void()> tellNoTray;
    /// Shows the first-start hint if it is due; called once, when a host first shows the icon (not
    /// before its answer: until then nobody knows where the icon is, or whether it shows). Absent: none.
    std::function<void(const TrayHostPlace&)> showOnboarding;
};

/// Opens a new connection to the bus the tray's item lives on, named `connectionName` among the
/// process's connections (QDBusConnection::connectToBus); an unconnected one when it cannot.
using TrayBusOpener = std::function<QDBusConnection(const QString& connectionName)>;

/// Chooses where Torvel's icon lives and keeps it current: a StatusNotifierItem when a watcher takes
/// it, otherwise, on an X display, the same item shown in an XEmbed tray by the helper
/// torvel-xembed-tray (started here, one at a time); when neither is there tells the user once and
/// shows the icon as soon as a host appears. While the desktop's own panel shows Torvel (a shell
/// extension owns kShellExtensionService) no icon is offered at all. Needs no GUI. Nothing here runs
/// on a timer but the one grace period after each offer, which lets a panel that starts with the
/// session come up first.
class TrayController : public QObject {
    Q_OBJECT
public:
    enum class Host { none, statusNotifier, xembed, shellExtension };
    /// How long after an offer a missing tray is reported.
    static constexpr int kGraceMs = 3000;

    /// `bus` is the resident's own connection, on which the shell extension and the XEmbed helper are
    /// followed; the item and its menu live on a connection of their own, opened by `openItemBus` for
    /// each offer and closed when the icon is withdrawn, since watchers forget an item only when its
    /// connection goes.
    TrayController(TrayFunctions functions, TimerManager& timer, QDBusConnection bus,
                   TrayBusOpener openItemBus, std::filesystem::path iconThemeFolder, LogSink& log);
    ~TrayController() override;

    /// Opens connections to the session bus.
    static TrayBusOpener sessionBusOpener();

    /// Asks whether the shell extension shows Torvel and offers the icon once it answered no; false
    /// when `bus` is not connected (then the icon is offered at once, if it can be).
    bool start();
    /// Redraws the icon, label and tooltip from the state, and has a panel host's copy of the menu
    /// brought up to date; call on every change that shows in either.
    void refresh();
    /// Asked to show the tray (a second launch): offers the icon again and says where it shows; with
    /// no host, tells the user again. True when a host or the shell extension shows it.
    bool show();
    Host host() const { return host_; }

    /// Owned by a shell extension while it shows Torvel in the desktop's own panel.
    static constexpr const char* kShellExtensionService = "com.torvel.Torvel.ShellExtension";
    /// Owned by the connection the item lives on, where the XEmbed helper reads it.
    static constexpr const char* kItemService = "com.torvel.Torvel.Tray";
    /// The XEmbed tray helper's bus name, object, interface and program name.
    static constexpr const char* kXEmbedService = "com.torvel.Torvel.XEmbedTray";
    static constexpr const char* kXEmbedPath = "/XEmbedTray";
    static constexpr const char* kXEmbedInterface = "com.torvel.XEmbedTray1";
    static constexpr const char* kXEmbedProgram = "torvel-xembed-tray";

private Q_SLOTS:
    /// The helper's IconPlaced(x, y, width, height): where the tray docked the icon; all 0 once it
    /// let go of it.
    void onXEmbedIconPlaced(const QDBusMessage& message);

private:
    /// Follows kShellExtensionService; the first answer decides whether the icon is offered at all.
    void followShellExtension();
    /// The extension's name got an owner, or lost it.
    void setExtensionShows(bool shows);
    /// Opens the item's connection, exports the item and its menu there and registers with a watcher.
    void offer();
    /// Closes the item's connection: watchers forget the item, and the XEmbed helper ends.
    void withdraw();
    /// Picks the host; starts the XEmbed helper when it is wanted and not running (`mayStartHelper`).
    void choose(bool mayStartHelper = true);
    /// Starts torvel-xembed-tray without waiting for it; it claims kXEmbedService once it runs.
    void startXEmbedHelper();
    void followXEmbedHelper();
    void holdSeconds(bool open);
    void updateShownText();
    /// Hands the host's place to showOnboarding the first time a host shows the icon.
    void offerOnboarding();

    TrayFunctions functions_;
    TimerManager& timer_;
    QDBusConnection bus_;
    TrayBusOpener openItemBus_;
    /// The item's connection while the icon is offered.
    std::optional<QDBusConnection> itemBus_;
    unsigned offers_ = 0;
    std::filesystem::path iconThemeFolder_;
    LogSink& sink_;
    Logger log_;
    std::unique_ptr<DBusMenuExporter> menu_;
    std::unique_ptr<StatusNotifierItem> item_;
    std::unique_ptr<QDBusServiceWatcher> xembedWatcher_;
    std::unique_ptr<QDBusServiceWatcher> extensionWatcher_;
    /// Whether the shell extension shows Torvel; absent until the bus first answered.
    std::optional<bool> extensionShows_;
    bool xembedOnBus_ = false;
    /// Started and not yet seen on the bus; cleared when it appears or leaves, and by show().
    bool xembedStarting_ = false;
    /// Where the helper's icon is docked; absent while it is not docked.
    std::optional<QRect> xembedPlace_;
    TimerManager::SecondsDemand seconds_;
    Host host_ = Host::none;
    bool itemAnswered_ = false;
    bool told_ = false;
    bool onboardingOffered_ = false;
    /// The menu's and the item's events.
    std::vector<Connection> connections_;
};

}  // namespace torvel

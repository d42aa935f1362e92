#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <functional>
#include <string>

#include "Platform/Log.h"
#include "Tray/TrayController.h"

namespace torvel {

class AppState;
class Localization;
class NotificationCenter;
class WindowLauncher;

/// The first-start hint, once a tray host shows the icon. Only an XEmbed tray says where the icon is:
/// there the hint sits beside it. A StatusNotifier host never does, so there it is a notification that
/// says what a click on the icon does with that host (GNOME's opens the menu, the others toggle). The
/// user has seen it once "Got it" is pressed, or once the notification server took the notice.
class OnboardingHint : public QObject {
    Q_OBJECT
public:
    /// `bus` is where the tray host's watcher runs; `windows` (outliving this) shows the hint by the icon
    /// in the window process.
    OnboardingHint(AppState& state, NotificationCenter& notifications, const Localization& texts,
                   WindowLauncher& windows, QDBusConnection bus, LogSink& log);

    /// Shows the hint for the host at `place`, unless the user has seen it.
    void show(const TrayHostPlace& place);

private:
    /// Shows the hint beside the XEmbed icon where the tray docked it, or moves it there.
    void showBesideIcon(const std::function<QRect()>& iconArea);
    /// Sends the notice for the host whose watcher runs in `watcherProgram` (empty: unknown).
    void notify(const std::string& watcherProgram, bool xembed);

    AppState& state_;
    NotificationCenter& notifications_;
    const Localization& texts_;
    WindowLauncher& windows_;
    QDBusConnection bus_;
    Logger log_;
    QPoint shownAt_;  // where the hint was last asked for
    bool shown_ = false;
    bool notifiedInstead_ = false;  // no place was known: the hint went as a notification
};

}  // namespace torvel

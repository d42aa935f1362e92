#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QPoint>
#include <QPointer>
#include <QRect>
#include <QWidget>
#include <functional>
#include <string>

#include "Platform/Log.h"
#include "Views/TrayController.h"

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

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    /// Shows the hint beside the XEmbed icon once the tray has docked it.
    void showBesideDockedIcon(std::function<QRect()> iconArea);
    /// Shows the hint where the icon is now, or moves it there.
    void placeBesideIcon();
    /// Sends the notice for the host whose watcher runs in `watcherProgram` (empty: unknown).
    void notify(const std::string& watcherProgram, bool xembed);

    AppState& state_;
    NotificationCenter& notifications_;
    const Localization& texts_;
    WindowLauncher& windows_;
    QDBusConnection bus_;
    Logger log_;
    QPointer<QWidget> iconWindow_;  // Qt's window of the XEmbed icon, while waiting for it to dock
    std::function<QRect()> iconArea_;
    QPoint shownAt_;  // where the hint was last asked for
    bool shown_ = false;
    bool placing_ = false;
};

}  // namespace torvel

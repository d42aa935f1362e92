#pragma once

#include <memory>

#include "UI/MenuBuilder.h"
#include "UI/StatusItemPresenter.h"
#include "Tray/TrayController.h"
#include "App/WindowLauncher.h"

namespace torvel {

class AppDelegate;

/// What the user sees of a Torvel with a display: the tray's menu and icon drawn from the state, and the
/// windows they open, each in the window process (torvel-windows). Built once the delegate has launched;
/// everything it refers to outlives it.
class TrayFace {
public:
    explicit TrayFace(AppDelegate& delegate);

    /// The menu, the icon, the click and the onboarding, for the tray controller.
    TrayFunctions functions();
    /// Opens windows in the window process.
    WindowLauncher& windows() { return launcher_; }

private:
    AppDelegate& delegate_;
    WindowLauncher launcher_;
    MenuBuilder menu_;
    StatusItemPresenter presenter_;
};

}  // namespace torvel

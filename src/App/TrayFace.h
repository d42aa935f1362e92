#pragma once

#include <memory>

#include "UI/MenuBuilder.h"
#include "UI/StateWindowModel.h"
#include "UI/StatusItemPresenter.h"
#include "Views/TrayController.h"
#include "Views/Windows.h"

namespace torvel {

class AppDelegate;

/// What the user sees of a Torvel with a display: the tray's menu and icon drawn from the state, and the
/// windows they open. Built once the delegate has launched; everything it refers to outlives it.
class TrayFace {
public:
    explicit TrayFace(AppDelegate& delegate);

    /// The menu, the icon, the click and the onboarding, for the tray controller.
    TrayFunctions functions();
    Windows& windows() { return windows_; }

private:
    AppDelegate& delegate_;
    /// What the windows see of the state; before them, which use it.
    StateWindowModel windowModel_;
    Windows windows_;
    MenuBuilder menu_;
    StatusItemPresenter presenter_;
};

}  // namespace torvel

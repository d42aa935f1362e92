#pragma once

#include <string_view>

#include "Models/Date.h"
#include "Models/RunningAppInfo.h"
#include "Models/TrustedNetwork.h"
#include "Models/Uuid.h"
#include "Models/WatchedApp.h"

namespace torvel {

class AppState;
class WindowModel;

/// The two lists of the settings window's activation tab without their widgets: the trusted networks
/// and the applications the computer stays awake for while they run. The window (through its model) and
/// D-Bus change them only through here. Main thread only.
namespace ActivationLists {

/// The trusted network that names the same network as `ssid` (compared as the trusted list compares
/// names); nullptr when there is none.
const TrustedNetwork* trustedNetworkNamed(const AppState& state, std::string_view ssid);
const TrustedNetwork* trustedNetworkNamed(const WindowModel& model, std::string_view ssid);
/// Drops the trusted network `id`; false, changing nothing, when the list has none.
bool removeTrustedNetwork(AppState& state, const Uuid& id);

/// The watched entry for `desktopId`; nullptr when it is not watched.
const WatchedApp* watchedApp(const AppState& state, std::string_view desktopId);
const WatchedApp* watchedApp(const WindowModel& model, std::string_view desktopId);
/// Watches the running application `app` under its name (its id when nameless), added at `now`. False,
/// changing nothing, when it has no desktop id or is watched already.
bool watchApp(AppState& state, const RunningAppInfo& app, Date now);
bool watchApp(WindowModel& model, const RunningAppInfo& app, Date now);
/// Stops watching the entry `id`; false, changing nothing, when there is none.
bool unwatchApp(AppState& state, const Uuid& id);
bool unwatchApp(WindowModel& model, const Uuid& id);

}  // namespace ActivationLists

}  // namespace torvel

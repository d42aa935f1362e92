#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "Models/RunningAppInfo.h"

namespace torvel {

class AppState;
class SystemLocale;

/// What an automation action answers: a value (the status action's), and a dialog to show or speak,
/// as a text key. `ready` is false when there is no application state to act on; the dialog is then
/// "intent.error.not_ready" and nothing was done.
struct AutomationReply {
    bool ready = true;
    bool value = false;
    std::string dialogKey;
};

/// The four actions other programs automate (D-Bus, the command line): keep the computer awake, let it
/// sleep, ask whether it is held awake, and hold it awake while a running application runs. Each
/// acts on the state it is given (nullptr: none yet, not ready). Main thread only.
namespace AutomationActions {

AutomationReply activate(AppState* state);
AutomationReply deactivate(AppState* state);
AutomationReply status(AppState* state);
/// Holds the computer awake while the application `desktopId` runs, alongside the watched ones. An
/// application that is not running (any more) changes nothing.
AutomationReply keepAwakeWhileAppRuns(AppState* state, std::string_view desktopId);

/// The running applications to choose from, in list order; empty without an application state.
std::vector<RunningAppInfo> suggestedApps(AppState* state);
/// The running applications whose desktop id is among `desktopIds`, in list order.
std::vector<RunningAppInfo> appsWithIdentifiers(AppState* state, const std::vector<std::string>& desktopIds);
/// The running applications whose name contains `text`, ignoring case as the user's language does.
std::vector<RunningAppInfo> appsMatching(AppState* state, std::string_view text, const SystemLocale& locale);

}  // namespace AutomationActions

}  // namespace torvel

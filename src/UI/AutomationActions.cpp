#include "UI/AutomationActions.h"

#include <algorithm>

#include "State/AppState.h"
#include "Models/Duration.h"
#include "Platform/SystemLocale.h"

namespace torvel {

namespace {

AutomationReply notReady() {
    return {false, false, "intent.error.not_ready"};
}

AutomationReply awakeOrVetoed(const AppState& state) {
    if (state.isRequestPending()) return {true, false, "intent.dialog.pending"};
    return {true, state.isActive(),
            state.isActive() ? "intent.dialog.awake" : "intent.activate.dialog.vetoed"};
}

}  // namespace

AutomationReply AutomationActions::activate(AppState* state) {
    if (!state) return notReady();
    state->activate(Duration::indefinite());  // the activation core may refuse it
    return awakeOrVetoed(*state);
}

AutomationReply AutomationActions::deactivate(AppState* state) {
    if (!state) return notReady();
    state->deactivateAll();
    return {true, state->isActive(), "intent.dialog.off"};
}

AutomationReply AutomationActions::status(AppState* state) {
    if (!state) return notReady();
    if (state->isRequestPending()) return {true, false, "intent.dialog.pending"};
    return {true, state->isActive(), state->isActive() ? "intent.dialog.awake" : "intent.dialog.off"};
}

AutomationReply AutomationActions::keepAwakeWhileAppRuns(AppState* state, std::string_view desktopId) {
    if (!state) return notReady();
    const auto apps = state->processTrigger().runningApplications();
    const bool running = !desktopId.empty() &&
                         std::any_of(apps.begin(), apps.end(),
                                     [&](const RunningAppInfo& app) { return app.desktopId == desktopId; });
    if (!running) return {true, state->isActive(), "intent.keep_awake_app.not_running"};
    state->automationPause().overrideForExplicitKeepAwake();
    state->processTrigger().watchTransientDesktopId(std::string(desktopId));
    return awakeOrVetoed(*state);
}

std::vector<RunningAppInfo> AutomationActions::suggestedApps(AppState* state) {
    return state ? state->processTrigger().runningApplications() : std::vector<RunningAppInfo>{};
}

std::vector<RunningAppInfo> AutomationActions::appsWithIdentifiers(
    AppState* state, const std::vector<std::string>& desktopIds) {
    auto apps = suggestedApps(state);
    std::erase_if(apps, [&](const RunningAppInfo& app) {
        return std::find(desktopIds.begin(), desktopIds.end(), app.desktopId) == desktopIds.end();
    });
    return apps;
}

std::vector<RunningAppInfo> AutomationActions::appsMatching(AppState* state, std::string_view text,
                                                            const SystemLocale& locale) {
    auto apps = suggestedApps(state);
    std::erase_if(apps,
                  [&](const RunningAppInfo& app) { return !locale.containsIgnoringCase(app.name, text); });
    return apps;
}

}  // namespace torvel

#include "UI/ActivationLists.h"

#include <algorithm>
#include <optional>
#include <vector>

#include "Models/SSIDText.h"
#include "State/AppState.h"
#include "UI/WindowModel.h"

namespace torvel {

namespace {

const TrustedNetwork* networkNamed(const std::vector<TrustedNetwork>& networks, std::string_view ssid) {
    // A typed name carries a backslash as it is, a seen one escaped: both stand for the same bytes.
    const std::string wanted = canonicalSSID(ssid);
    for (const auto& network : networks)
        if (canonicalSSID(network.ssid) == wanted) return &network;
    return nullptr;
}

const WatchedApp* appWithId(const std::vector<WatchedApp>& apps, std::string_view desktopId) {
    const auto it =
        std::find_if(apps.begin(), apps.end(), [&](const WatchedApp& w) { return w.desktopId == desktopId; });
    return it == apps.end() ? nullptr : &*it;
}

/// The list with `app` added; nothing when it cannot be added.
std::optional<std::vector<WatchedApp>> withApp(const std::vector<WatchedApp>& apps, const RunningAppInfo& app,
                                               Date now) {
    // Without a desktop id there is nothing to recognise the application by once it runs again.
    if (app.desktopId.empty() || appWithId(apps, app.desktopId)) return std::nullopt;
    auto changed = apps;
    changed.push_back({Uuid::random(), app.desktopId, app.name.empty() ? app.desktopId : app.name, now});
    return changed;
}

/// The list without the entry `id`; nothing when it has none.
std::optional<std::vector<WatchedApp>> withoutApp(const std::vector<WatchedApp>& apps, const Uuid& id) {
    auto changed = apps;
    if (std::erase_if(changed, [&id](const WatchedApp& w) { return w.id == id; }) == 0) return std::nullopt;
    return changed;
}

}  // namespace

const TrustedNetwork* ActivationLists::trustedNetworkNamed(const AppState& state, std::string_view ssid) {
    return networkNamed(state.settings().trustedNetworks, ssid);
}

const TrustedNetwork* ActivationLists::trustedNetworkNamed(const WindowModel& model, std::string_view ssid) {
    return networkNamed(model.trustedNetworks(), ssid);
}

bool ActivationLists::removeTrustedNetwork(AppState& state, const Uuid& id) {
    auto networks = state.settings().trustedNetworks;
    if (std::erase_if(networks, [&id](const TrustedNetwork& n) { return n.id == id; }) == 0) return false;
    state.trustedNetworks().setTrustedNetworks(std::move(networks));
    return true;
}

const WatchedApp* ActivationLists::watchedApp(const AppState& state, std::string_view desktopId) {
    return appWithId(state.processTrigger().watchedApps(), desktopId);
}

const WatchedApp* ActivationLists::watchedApp(const WindowModel& model, std::string_view desktopId) {
    return appWithId(model.watchedApps(), desktopId);
}

bool ActivationLists::watchApp(AppState& state, const RunningAppInfo& app, Date now) {
    auto apps = withApp(state.processTrigger().watchedApps(), app, now);
    if (apps) state.processTrigger().setWatchedApps(std::move(*apps));
    return apps.has_value();
}

bool ActivationLists::watchApp(WindowModel& model, const RunningAppInfo& app, Date now) {
    auto apps = withApp(model.watchedApps(), app, now);
    if (apps) model.setWatchedApps(std::move(*apps));
    return apps.has_value();
}

bool ActivationLists::unwatchApp(AppState& state, const Uuid& id) {
    auto apps = withoutApp(state.processTrigger().watchedApps(), id);
    if (apps) state.processTrigger().setWatchedApps(std::move(*apps));
    return apps.has_value();
}

bool ActivationLists::unwatchApp(WindowModel& model, const Uuid& id) {
    auto apps = withoutApp(model.watchedApps(), id);
    if (apps) model.setWatchedApps(std::move(*apps));
    return apps.has_value();
}

}  // namespace torvel

#include "UI/ActivationLists.h"

#include <algorithm>

#include "Models/SSIDText.h"
#include "State/AppState.h"

namespace torvel {

const TrustedNetwork* ActivationLists::trustedNetworkNamed(const AppState& state, std::string_view ssid) {
    // A typed name carries a backslash as it is, a seen one escaped: both stand for the same bytes.
    const std::string wanted = canonicalSSID(ssid);
    for (const auto& network : state.settings().trustedNetworks)
        if (canonicalSSID(network.ssid) == wanted) return &network;
    return nullptr;
}

bool ActivationLists::removeTrustedNetwork(AppState& state, const Uuid& id) {
    auto networks = state.settings().trustedNetworks;
    if (std::erase_if(networks, [&id](const TrustedNetwork& n) { return n.id == id; }) == 0) return false;
    state.trustedNetworks().setTrustedNetworks(std::move(networks));
    return true;
}

const WatchedApp* ActivationLists::watchedApp(const AppState& state, std::string_view desktopId) {
    const auto& apps = state.processTrigger().watchedApps();
    const auto it =
        std::find_if(apps.begin(), apps.end(), [&](const WatchedApp& w) { return w.desktopId == desktopId; });
    return it == apps.end() ? nullptr : &*it;
}

bool ActivationLists::watchApp(AppState& state, const RunningAppInfo& app, Date now) {
    // Without a desktop id there is nothing to recognise the application by once it runs again.
    if (app.desktopId.empty() || watchedApp(state, app.desktopId)) return false;
    auto apps = state.processTrigger().watchedApps();
    apps.push_back({Uuid::random(), app.desktopId, app.name.empty() ? app.desktopId : app.name, now});
    state.processTrigger().setWatchedApps(std::move(apps));
    return true;
}

bool ActivationLists::unwatchApp(AppState& state, const Uuid& id) {
    auto apps = state.processTrigger().watchedApps();
    if (std::erase_if(apps, [&id](const WatchedApp& w) { return w.id == id; }) == 0) return false;
    state.processTrigger().setWatchedApps(std::move(apps));
    return true;
}

}  // namespace torvel

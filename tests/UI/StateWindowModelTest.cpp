// The resident's window model: what it adds to a pass-through of the state.
#include <gtest/gtest.h>

#include <map>
#include <memory>
#include <string>

#include "State/AppStateHarness.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "UI/ActivationLists.h"
#include "UI/StateWindowModel.h"

namespace torvel {
namespace {

TEST(StateWindowModel, PassesOnEveryChangeOfTheStateAndStopsWhenGone) {
    AppStateHarness h;
    auto model = std::make_unique<StateWindowModel>(*h.state);
    std::map<std::string, int> told;
    std::string lastKey;
    const auto count = [&told](const char* name) { return [&told, name] { ++told[name]; }; };
    const Connection connections[] = {
        model->settingChanged.connect([&](std::string_view key) {
            ++told["setting"];
            lastKey = key;
        }),
        model->activationChanged.connect(count("activation")),
        model->profilesChanged.connect(count("profiles")),
        model->wifiStateChanged.connect(count("wifi")),
        model->runningAppsChanged.connect(count("running")),
        model->stayguardChanged.connect(count("stayguard")),
        model->emergencyChanged.connect(count("emergency")),
    };

    EXPECT_FALSE(model->set(&SettingsValues::showRemainingTime, false));
    EXPECT_EQ(lastKey, "showRemainingTime");
    model->activate(Duration::preset(Duration::Kind::fifteenMinutes));
    ASSERT_TRUE(h.state->isActive());
    auto profiles = model->profiles();
    profiles.pop_back();
    model->setProfiles(std::move(profiles));
    h.state->trustedNetworks().handleWiFiStateChanged(true, std::string("Office"),
                                                      WiFiAuthorization::authorized);
    h.state->processTrigger().runningAppsChanged.emit();
    h.state->lidLock().changed.emit();
    h.state->emergency().changed.emit();
    for (const char* name :
         {"setting", "activation", "profiles", "wifi", "running", "stayguard", "emergency"})
        EXPECT_GE(told[name], 1) << name << " was not passed on";

    // The windows' model may go before the state: the state then tells nobody.
    model.reset();
    const auto before = told;
    h.state->set(&SettingsValues::showRemainingTime, true);
    h.state->processTrigger().runningAppsChanged.emit();
    h.state->lidLock().changed.emit();
    h.state->emergency().changed.emit();
    EXPECT_EQ(told, before);
}

TEST(StateWindowModel, ListsChangeByNameAndIdAsTheWindowsAsk) {
    AppStateHarness h;
    StateWindowModel model(*h.state);

    // Trusted networks go by name: a name not in the list changes nothing.
    ASSERT_TRUE(model.addTrustedNetwork("Office"));
    ASSERT_TRUE(model.addTrustedNetwork("Home"));
    EXPECT_FALSE(model.addTrustedNetwork("Office"));
    model.removeTrustedNetwork("Cafe");
    EXPECT_EQ(model.trustedNetworks().size(), 2u);
    model.removeTrustedNetwork("Office");
    ASSERT_EQ(model.trustedNetworks().size(), 1u);
    EXPECT_EQ(model.trustedNetworks()[0].ssid, "Home");
    EXPECT_TRUE(ActivationLists::trustedNetworkNamed(model, "Home"));

    // A profile is duplicated by id, under a name of its own; an unknown id changes nothing.
    const auto first = model.profiles().front();
    const auto count = model.profiles().size();
    model.duplicateProfile(first.id);
    ASSERT_EQ(model.profiles().size(), count + 1);
    EXPECT_NE(model.profiles().back().id, first.id);
    EXPECT_NE(model.profiles().back().name, first.name);
    model.duplicateProfile(Uuid::random());
    EXPECT_EQ(model.profiles().size(), count + 1);

    // Watched applications through the model: once each, never without a desktop id.
    const Date now = h.clock.now();
    EXPECT_TRUE(ActivationLists::watchApp(model, {"org.gnome.Builder", "", 42}, now));
    EXPECT_FALSE(ActivationLists::watchApp(model, {"org.gnome.Builder", "Builder", 43}, now));
    EXPECT_FALSE(ActivationLists::watchApp(model, {"", "Nameless", 44}, now));
    ASSERT_EQ(model.watchedApps().size(), 1u);
    EXPECT_EQ(model.watchedApps()[0].name, "org.gnome.Builder") << "a nameless one goes by its id";
    const Uuid id = model.watchedApps()[0].id;
    EXPECT_TRUE(ActivationLists::unwatchApp(model, id));
    EXPECT_FALSE(ActivationLists::unwatchApp(model, id));
    EXPECT_TRUE(h.state->processTrigger().watchedApps().empty());
}

}  // namespace
}  // namespace torvel

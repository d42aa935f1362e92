#include "UI/StateWindowModel.h"

#include "Services/LoginItemService.h"
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"
#include "UI/ActivationLists.h"

namespace torvel {

StateWindowModel::StateWindowModel(AppState& state, LoginItemService* loginItems)
    : state_(state),
      loginItems_(loginItems),
      forwards_{
          state.settingChanged.connect([this](std::string_view key) { settingChanged.emit(key); }),
          state.activationChanged.connect([this] { activationChanged.emit(); }),
          state.profileLibrary().profilesChanged.connect([this] { profilesChanged.emit(); }),
          state.trustedNetworks().wifiStateChanged.connect([this] { wifiStateChanged.emit(); }),
          state.processTrigger().runningAppsChanged.connect([this] { runningAppsChanged.emit(); }),
          state.lidLock().changed.connect([this] { stayguardChanged.emit(); }),
          state.emergency().changed.connect([this] { emergencyChanged.emit(); }),
      } {}

const SettingsValues& StateWindowModel::settings() const {
    return state_.settings();
}

std::optional<SettingRefusal> StateWindowModel::set(bool SettingsValues::*member, bool value) {
    return state_.set(member, value);
}

std::optional<SettingRefusal> StateWindowModel::set(std::int64_t SettingsValues::*member,
                                                    std::int64_t value) {
    return state_.set(member, value);
}

std::optional<SettingRefusal> StateWindowModel::set(float SettingsValues::*member, float value) {
    return state_.set(member, value);
}

std::optional<SettingRefusal> StateWindowModel::set(AssertionType SettingsValues::*member,
                                                    AssertionType value) {
    return state_.set(member, value);
}

std::optional<SettingRefusal> StateWindowModel::set(AppLanguage SettingsValues::*member, AppLanguage value) {
    return state_.set(member, value);
}

void StateWindowModel::activate(const Duration& duration) {
    state_.activate(duration);
}

std::optional<Uuid> StateWindowModel::activeProfileID() const {
    return state_.activeProfileID();
}

const std::vector<Profile>& StateWindowModel::profiles() const {
    return state_.profileLibrary().profiles();
}

void StateWindowModel::saveEditedProfile(const Profile& profile) {
    state_.profileLibrary().saveEditedProfile(profile);
}

void StateWindowModel::duplicateProfile(const Uuid& id) {
    auto& library = state_.profileLibrary();
    // A copy: duplicating appends to the list the found profile lives in.
    if (const Profile* profile = library.profileWithID(id)) library.duplicateProfile(Profile(*profile));
}

void StateWindowModel::deleteProfile(const Uuid& id) {
    state_.profileLibrary().deleteProfile(id);
}

void StateWindowModel::setProfiles(std::vector<Profile> profiles) {
    state_.profileLibrary().setProfiles(std::move(profiles));
}

const std::vector<TrustedNetwork>& StateWindowModel::trustedNetworks() const {
    return state_.settings().trustedNetworks;
}

bool StateWindowModel::addTrustedNetwork(const std::string& ssid) {
    return state_.trustedNetworks().addTrustedSSID(ssid);
}

void StateWindowModel::removeTrustedNetwork(const std::string& ssid) {
    const TrustedNetwork* network = ActivationLists::trustedNetworkNamed(state_, ssid);
    if (!network) return;
    const Uuid id = network->id;  // the entry goes with the list it is removed from
    ActivationLists::removeTrustedNetwork(state_, id);
}

TrustedWiFiStatus StateWindowModel::wifiStatus() const {
    return state_.trustedNetworks().status();
}

std::string StateWindowModel::wifiStatusText() const {
    return state_.trustedNetworks().statusText(false);
}

std::optional<std::string> StateWindowModel::currentSSID() const {
    return state_.monitorValues().currentSSID;
}

void StateWindowModel::refreshWiFiState() {
    state_.trustedNetworks().refreshWiFiState();
}

const std::vector<WatchedApp>& StateWindowModel::watchedApps() const {
    return state_.processTrigger().watchedApps();
}

void StateWindowModel::setWatchedApps(std::vector<WatchedApp> apps) {
    state_.processTrigger().setWatchedApps(std::move(apps));
}

std::vector<RunningAppInfo> StateWindowModel::runningApplications() const {
    return state_.processTrigger().runningApplications();
}

void StateWindowModel::setRunningAppsShown(bool shown) {
    state_.processTrigger().setRunningAppsShown(shown);
}

bool StateWindowModel::isStayguardInstalled() const {
    return state_.lidLock().isInstalled();
}

bool StateWindowModel::isStayguardInstallInProgress() const {
    return state_.lidLock().isInstallInProgress();
}

std::optional<StayguardInstallResult> StateWindowModel::lastStayguardInstallResult() const {
    return state_.lidLock().lastInstallResult();
}

PowerGrants StateWindowModel::powerGrants() const {
    return state_.lidLock().grants();
}

std::optional<std::vector<LidHolder>> StateWindowModel::otherLidHolders() const {
    return state_.lidLock().otherLidHolders();
}

void StateWindowModel::installStayguard() {
    state_.lidLock().install();
}

void StateWindowModel::checkLidHolders() {
    state_.lidLock().checkLidHolders();
}

std::optional<bool> StateWindowModel::startsAtLogin() const {
    return loginItems_ ? std::optional(loginItems_->isEnabled()) : std::nullopt;
}

void StateWindowModel::setStartsAtLogin(bool enabled) {
    if (!loginItems_) return;
    // The service tells a refusal itself; the switch follows what holds either way.
    loginItems_->setEnabled(enabled);
    loginItemChanged.emit();
}

AutomationConsent StateWindowModel::automationConsent() const {
    return state_.emergency().automationConsent();
}

void StateWindowModel::resolveAutomationConsent() {
    state_.emergency().resolveAutomationConsent();
}

}  // namespace torvel

#pragma once

#include <array>

#include "Support/Signal.h"
#include "UI/WindowModel.h"

namespace torvel {

class AppState;
class LoginItemService;

/// The windows' model in the resident itself: every read and change goes straight to the application
/// state, and the state's change signals are passed on as the model's. Main thread only; the state
/// outlives it.
class StateWindowModel final : public WindowModel {
public:
    /// `loginItems` (outliving the model) starts Torvel at login; without it the switch is left out.
    explicit StateWindowModel(AppState& state, LoginItemService* loginItems = nullptr);
    StateWindowModel(const StateWindowModel&) = delete;
    StateWindowModel& operator=(const StateWindowModel&) = delete;

    const SettingsValues& settings() const override;
    std::optional<SettingRefusal> set(bool SettingsValues::*member, bool value) override;
    std::optional<SettingRefusal> set(std::int64_t SettingsValues::*member, std::int64_t value) override;
    std::optional<SettingRefusal> set(float SettingsValues::*member, float value) override;
    std::optional<SettingRefusal> set(AssertionType SettingsValues::*member, AssertionType value) override;
    std::optional<SettingRefusal> set(AppLanguage SettingsValues::*member, AppLanguage value) override;

    void activate(const Duration& duration) override;
    std::optional<Uuid> activeProfileID() const override;

    const std::vector<Profile>& profiles() const override;
    void saveEditedProfile(const Profile& profile) override;
    void duplicateProfile(const Uuid& id) override;
    void deleteProfile(const Uuid& id) override;
    void setProfiles(std::vector<Profile> profiles) override;

    const std::vector<TrustedNetwork>& trustedNetworks() const override;
    bool addTrustedNetwork(const std::string& ssid) override;
    void removeTrustedNetwork(const std::string& ssid) override;
    TrustedWiFiStatus wifiStatus() const override;
    std::string wifiStatusText() const override;
    std::optional<std::string> currentSSID() const override;
    void refreshWiFiState() override;

    const std::vector<WatchedApp>& watchedApps() const override;
    void setWatchedApps(std::vector<WatchedApp> apps) override;
    std::vector<RunningAppInfo> runningApplications() const override;
    void setRunningAppsShown(bool shown) override;

    bool isStayguardInstalled() const override;
    bool isStayguardInstallInProgress() const override;
    std::optional<StayguardInstallResult> lastStayguardInstallResult() const override;
    PowerGrants powerGrants() const override;
    std::optional<std::vector<LidHolder>> otherLidHolders() const override;
    void installStayguard() override;
    void checkLidHolders() override;

    std::optional<bool> startsAtLogin() const override;
    void setStartsAtLogin(bool enabled) override;

    AutomationConsent automationConsent() const override;
    void resolveAutomationConsent() override;

private:
    AppState& state_;
    LoginItemService* loginItems_;
    /// The state's signals, each passed on as this model's.
    std::array<Connection, 7> forwards_;
};

}  // namespace torvel

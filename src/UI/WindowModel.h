#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Core/Settings.h"
#include "Core/SettingsValues.h"
#include "Models/AutomationConsent.h"
#include "Models/Duration.h"
#include "Models/Profile.h"
#include "Models/RunningAppInfo.h"
#include "Models/TrustedNetwork.h"
#include "Models/TrustedWiFiStatus.h"
#include "Models/Uuid.h"
#include "Models/WatchedApp.h"
#include "Platform/StayguardHelper.h"
#include "Services/StayguardServiceProtocol.h"
#include "Support/Signal.h"

namespace torvel {

/// Everything Torvel's windows (settings and its sheets, the custom-duration panel, about, the
/// first-start hint) read and change, and the changes they follow. The windows know Torvel only through
/// this: in the resident it is the application state itself, in the window process a client of the
/// running Torvel's D-Bus interface. Every call returns at once; a change made elsewhere (or the answer
/// to one made here) arrives through the signals. Main thread only.
class WindowModel {
public:
    virtual ~WindowModel() = default;

    // ---- Settings ----
    virtual const SettingsValues& settings() const = 0;
    /// Sets a scalar setting as AppState::set does; a refusal (bad input, not saved) leaves it unchanged.
    virtual std::optional<SettingRefusal> set(bool SettingsValues::*member, bool value) = 0;
    virtual std::optional<SettingRefusal> set(std::int64_t SettingsValues::*member, std::int64_t value) = 0;
    virtual std::optional<SettingRefusal> set(float SettingsValues::*member, float value) = 0;
    virtual std::optional<SettingRefusal> set(AssertionType SettingsValues::*member, AssertionType value) = 0;
    virtual std::optional<SettingRefusal> set(AppLanguage SettingsValues::*member, AppLanguage value) = 0;
    /// The key of every setting that changed (or was assigned), wherever the change came from.
    Signal<std::string_view> settingChanged;
    /// A write that set() accepted for sending was refused later (the running Torvel's answer over the
    /// bus); the setting has its stored value again by then. A model that answers at once never emits it.
    Signal<const SettingRefusal&> settingRefused;

    // ---- Sessions ----
    /// Starts a session of `duration` (the custom-duration panel).
    virtual void activate(const Duration& duration) = 0;
    virtual std::optional<Uuid> activeProfileID() const = 0;
    /// A session started, ended or changed (its profile among others).
    Signal<> activationChanged;

    // ---- Profiles ----
    virtual const std::vector<Profile>& profiles() const = 0;
    /// Adds a new profile or replaces the one with the same id, as the profile editor saves it.
    virtual void saveEditedProfile(const Profile& profile) = 0;
    virtual void duplicateProfile(const Uuid& id) = 0;
    virtual void deleteProfile(const Uuid& id) = 0;
    /// The whole list in a new order (the profiles tab's reordering).
    virtual void setProfiles(std::vector<Profile> profiles) = 0;
    Signal<> profilesChanged;

    // ---- Trusted Wi-Fi ----
    virtual const std::vector<TrustedNetwork>& trustedNetworks() const = 0;
    /// False, changing nothing, when `ssid` is empty or already trusted.
    virtual bool addTrustedNetwork(const std::string& ssid) = 0;
    /// Drops the trusted network that names the same network as `ssid`; none: nothing.
    virtual void removeTrustedNetwork(const std::string& ssid) = 0;
    virtual TrustedWiFiStatus wifiStatus() const = 0;
    /// The status as the settings window words it.
    virtual std::string wifiStatusText() const = 0;
    /// The network the computer is on now, if any (offered for adding).
    virtual std::optional<std::string> currentSSID() const = 0;
    /// Asks for a fresh Wi-Fi reading (its answer comes through wifiStateChanged).
    virtual void refreshWiFiState() = 0;
    Signal<> wifiStateChanged;

    // ---- Watched applications ----
    virtual const std::vector<WatchedApp>& watchedApps() const = 0;
    virtual void setWatchedApps(std::vector<WatchedApp> apps) = 0;
    virtual std::vector<RunningAppInfo> runningApplications() const = 0;
    /// The running applications are on screen: follow them (false: stop when nothing else needs them).
    virtual void setRunningAppsShown(bool shown) = 0;
    Signal<> runningAppsChanged;

    // ---- The lid helper (Stayguard) ----
    virtual bool isStayguardInstalled() const = 0;
    virtual bool isStayguardInstallInProgress() const = 0;
    virtual std::optional<StayguardInstallResult> lastStayguardInstallResult() const = 0;
    virtual PowerGrants powerGrants() const = 0;
    /// Other programs that hold the lid switch; absent until checked.
    virtual std::optional<std::vector<LidHolder>> otherLidHolders() const = 0;
    virtual void installStayguard() = 0;
    virtual void checkLidHolders() = 0;
    Signal<> stayguardChanged;

    // ---- Starting at login ----
    /// Whether Torvel starts at the next login; absent where there is nothing to start it (the switch
    /// is left out).
    virtual std::optional<bool> startsAtLogin() const = 0;
    /// Switches starting at login; what holds afterwards comes through loginItemChanged (a refusal is
    /// told to the user by Torvel, and the switch goes back).
    virtual void setStartsAtLogin(bool enabled) = 0;
    Signal<> loginItemChanged;

    // ---- The low-battery emergency's permission to act ----
    virtual AutomationConsent automationConsent() const = 0;
    virtual void resolveAutomationConsent() = 0;
    Signal<> emergencyChanged;
};

}  // namespace torvel

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QString>
#include <QVariantList>
#include <functional>

#include "Platform/Clock.h"
#include "UI/WindowModel.h"
#include "Windows/BusModelValues.h"

namespace torvel {

class Localization;

/// The windows' model in the window process: a client of the running Torvel's com.torvel.Torvel1. It
/// reads every property once (load()), keeps a copy that PropertiesChanged brings up to date, and
/// turns each change the windows make into the matching method call, sent without waiting. A setting is
/// shown changed at once; when Torvel refuses it, it goes back to the stored value and settingRefused
/// says why. Main thread only.
class BusWindowModel : public QObject, public WindowModel {
    Q_OBJECT
public:
    /// `texts` words the Wi-Fi status; `clock` turns an end time into a length for Activate.
    BusWindowModel(QDBusConnection bus, const Localization& texts, const Clock& clock, LogSink& log,
                   QObject* parent = nullptr);

    /// Follows the changes and reads every property; false (with `error` set) when no Torvel answers.
    bool load(QString& error);
    /// The language of Torvel's texts ("en", "cs"); empty before load().
    const std::string& language() const { return values_.language; }
    /// Torvel's language changed (after the model's own copy).
    std::function<void()> languageChanged;

    const SettingsValues& settings() const override { return values_.settings; }
    std::optional<SettingRefusal> set(bool SettingsValues::*member, bool value) override;
    std::optional<SettingRefusal> set(std::int64_t SettingsValues::*member, std::int64_t value) override;
    std::optional<SettingRefusal> set(float SettingsValues::*member, float value) override;
    std::optional<SettingRefusal> set(AssertionType SettingsValues::*member, AssertionType value) override;
    std::optional<SettingRefusal> set(AppLanguage SettingsValues::*member, AppLanguage value) override;

    void activate(const Duration& duration) override;
    std::optional<Uuid> activeProfileID() const override { return values_.activeProfileID; }

    const std::vector<Profile>& profiles() const override { return values_.profiles; }
    void saveEditedProfile(const Profile& profile) override;
    void duplicateProfile(const Uuid& id) override;
    void deleteProfile(const Uuid& id) override;
    void setProfiles(std::vector<Profile> profiles) override;

    const std::vector<TrustedNetwork>& trustedNetworks() const override {
        return values_.settings.trustedNetworks;
    }
    bool addTrustedNetwork(const std::string& ssid) override;
    void removeTrustedNetwork(const std::string& ssid) override;
    TrustedWiFiStatus wifiStatus() const override { return values_.wifiStatus; }
    std::string wifiStatusText() const override;
    std::optional<std::string> currentSSID() const override { return values_.currentSSID; }
    void refreshWiFiState() override;

    const std::vector<WatchedApp>& watchedApps() const override { return values_.watchedApps; }
    void setWatchedApps(std::vector<WatchedApp> apps) override;
    std::vector<RunningAppInfo> runningApplications() const override { return values_.runningApps; }
    void setRunningAppsShown(bool shown) override;

    bool isStayguardInstalled() const override { return values_.stayguardInstalled; }
    bool isStayguardInstallInProgress() const override { return values_.stayguardInstalling; }
    std::optional<StayguardInstallResult> lastStayguardInstallResult() const override {
        return values_.installResult;
    }
    PowerGrants powerGrants() const override { return values_.grants; }
    std::optional<std::vector<LidHolder>> otherLidHolders() const override { return values_.lidHolders; }
    void installStayguard() override;
    void checkLidHolders() override;

    std::optional<bool> startsAtLogin() const override { return values_.startsAtLogin; }
    void setStartsAtLogin(bool enabled) override;

    AutomationConsent automationConsent() const override { return values_.consent; }
    void resolveAutomationConsent() override;

private Q_SLOTS:
    void handlePropertiesChanged(const QString& interface, const QVariantMap& changed,
                                 const QStringList& invalidated);

private:
    /// Takes `properties` into the copy and emits the model's signals for what changed.
    void take(const QVariantMap& properties);
    /// Calls `method` on Torvel without waiting; `failed` gets the error's name and message.
    void call(const char* method, const QVariantList& args,
              std::function<void(const QString&, const QString&)> failed = {});
    /// Shows `member` as `value` at once and sends it; a refusal puts back the stored value.
    template <typename T>
    std::optional<SettingRefusal> write(T SettingsValues::*member, T value);

    QDBusConnection bus_;
    const Localization& texts_;
    const Clock& clock_;
    Logger log_;
    BusModelValues values_;
    /// The settings as Torvel last sent them, which a refused write goes back to.
    SettingsValues stored_;
};

}  // namespace torvel

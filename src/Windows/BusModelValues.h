#pragma once

#include <QVariant>
#include <QVariantMap>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Core/SettingsValues.h"
#include "Models/AutomationConsent.h"
#include "Models/Profile.h"
#include "Models/RunningAppInfo.h"
#include "Models/TrustedWiFiStatus.h"
#include "Models/Uuid.h"
#include "Models/WatchedApp.h"
#include "Platform/Log.h"
#include "Platform/StayguardHelper.h"
#include "Services/StayguardServiceProtocol.h"

namespace torvel {

/// The window process's copy of the running Torvel's properties (com.torvel.Torvel1), read from what
/// GetAll and PropertiesChanged send. Every value is checked: one of the wrong D-Bus type, an unknown
/// enumeration string or a damaged entry leaves the value it would replace as it was, and is logged once
/// per property. Properties the windows do not use are ignored.
class BusModelValues {
public:
    /// What one apply() changed, by the model's signals.
    struct Changes {
        /// The keys of the settings whose value differs now.
        std::vector<std::string> settingKeys;
        /// A session started, ended or changed.
        bool activation = false;
        bool profiles = false;
        bool wifi = false;
        bool runningApps = false;
        bool watchedApps = false;
        bool stayguard = false;
        bool emergency = false;
        bool language = false;
        bool loginItem = false;
    };

    explicit BusModelValues(Logger log);

    /// Takes every property in `properties` (name -> value as the bus delivered it) that reads.
    Changes apply(const QVariantMap& properties);

    SettingsValues settings;
    std::vector<Profile> profiles;
    std::optional<Uuid> activeProfileID;
    TrustedWiFiStatus wifiStatus;
    std::optional<std::string> currentSSID;
    std::vector<RunningAppInfo> runningApps;
    std::vector<WatchedApp> watchedApps;
    bool stayguardInstalled = false;
    bool stayguardInstalling = false;
    PowerGrants grants;
    std::optional<StayguardInstallResult> installResult;
    std::optional<std::vector<LidHolder>> lidHolders;
    AutomationConsent consent = AutomationConsent::granted;
    /// "en" or "cs"; empty until the property was read.
    std::string language;
    /// Absent until Torvel has said (an older one does not): the switch is left out.
    std::optional<bool> startsAtLogin;

private:
    void applySettings(const QVariant& value, Changes& changes);
    void applyWatchedApps(const QVariantMap& properties, Changes& changes);
    void applyLidHolders(const QVariantMap& properties, Changes& changes);
    /// Logs that `property` did not read (`why`), the first time only.
    void reject(const QString& property, const std::string& why);

    Logger log_;
    std::set<QString> rejected_;
    /// The last WatchedApps and WatchedAppNames read, which together make watchedApps.
    std::vector<std::string> watchedIds_;
    std::vector<std::pair<std::string, std::string>> watchedNames_;
    /// The last values of the properties that tell a session's changes.
    QVariantMap activation_;
    bool lidHoldersKnown_ = false;
    std::vector<LidHolder> lidHolderList_;
};

}  // namespace torvel

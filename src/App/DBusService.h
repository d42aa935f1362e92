#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QDBusServiceWatcher>
#include <QList>
#include <QMap>
#include <QObject>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstddef>
#include <memory>
#include <optional>

#include "App/DBusProperties.h"
#include "Support/Signal.h"

namespace torvel {

class AppDelegate;
class AppState;

/// A running application as RunningApps() sends it: (s id, s name, i pid).
struct DBusRunningApp {
    QString id;
    QString name;
    qint32 pid = 0;
    friend bool operator==(const DBusRunningApp&, const DBusRunningApp&) = default;
};
/// A setting as ListSettings() sends it: (s key, s value, s type, s help).
struct DBusSetting {
    QString key;
    QString value;
    QString type;
    /// What the setting does, in one line of the user's language.
    QString help;
};
QDBusArgument& operator<<(QDBusArgument& out, const DBusRunningApp& app);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusRunningApp& app);
QDBusArgument& operator<<(QDBusArgument& out, const DBusSetting& setting);
const QDBusArgument& operator>>(const QDBusArgument& in, DBusSetting& setting);
/// The texts GetTexts() sends: key -> text (a{ss}).
using DBusTexts = QMap<QString, QString>;
/// Every profile as the Profiles property sends it (aa{sv}).
using DBusProfiles = QList<QVariantMap>;
/// Registers the structures with Qt's D-Bus type system; call once before a bus is used.
void registerDBusTypes();

/// The running Torvel on the session bus: exports kInterface at kObjectPath for the `torvel` client
/// commands, the faces (windows, panel modules) and other programs (start-up takes kServiceName first and
/// holds early calls until this object is exported). Every call acts on the delegate's application
/// state, which outlives this object. Error messages repeat at most a short, cleaned excerpt of the
/// input. docs/DBUS.md describes every method, property and signal; resources/dbus/com.torvel.Torvel1.xml
/// is the interface as introspection shows it (a test keeps the two alike).
class DBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.torvel.Torvel1")
    // Read-only; every change is announced through org.freedesktop.DBus.Properties.PropertiesChanged,
    // once per turn of the event loop (DBusProperties).
    Q_PROPERTY(bool Active READ active)
    Q_PROPERTY(QStringList Reasons READ reasons)
    Q_PROPERTY(QString AssertionType READ assertionType)
    Q_PROPERTY(qlonglong CountdownEnd READ countdownEnd)
    Q_PROPERTY(QString RemainingText READ remainingText)
    Q_PROPERTY(QString StatusText READ statusText)
    Q_PROPERTY(QString TooltipTitle READ tooltipTitle)
    Q_PROPERTY(QString IconName READ iconName)
    Q_PROPERTY(bool NeedsAttention READ needsAttention)
    Q_PROPERTY(QString ProfileID READ profileID)
    Q_PROPERTY(QString Profile READ profile)
    Q_PROPERTY(torvel::DBusProfiles Profiles READ profiles)
    Q_PROPERTY(bool OnACPower READ onACPower)
    Q_PROPERTY(qint32 BatteryPercent READ batteryPercent)
    Q_PROPERTY(qint32 BatteryMinutesRemaining READ batteryMinutesRemaining)
    Q_PROPERTY(bool AutomationPaused READ automationPaused)
    Q_PROPERTY(qlonglong AutomationPausedUntil READ automationPausedUntil)
    Q_PROPERTY(QString EmergencyAlarm READ emergencyAlarm)
    Q_PROPERTY(bool RequestPending READ requestPending)
    Q_PROPERTY(bool ScreenSaverPrevented READ screenSaverPrevented)
    Q_PROPERTY(QString StatusMessage READ statusMessage)
    Q_PROPERTY(QString WiFiStatus READ wifiStatus)
    Q_PROPERTY(QStringList TrustedNetworks READ trustedNetworks)
    Q_PROPERTY(QList<torvel::DBusRunningApp> RunningApps READ runningApps)
    Q_PROPERTY(QStringList WatchedApps READ watchedApps)
    Q_PROPERTY(QList<torvel::DBusBlocker> Blockers READ blockers)
    Q_PROPERTY(QString Stayguard READ stayguard)
    Q_PROPERTY(QString Language READ language)
    Q_PROPERTY(bool StartsAtLogin READ startsAtLogin)
    Q_PROPERTY(torvel::DBusStringMap Settings READ settings)
    Q_PROPERTY(torvel::DBusStringMap WatchedAppNames READ watchedAppNames)
    Q_PROPERTY(QString CurrentSSID READ currentSSID)
    Q_PROPERTY(QString AutomationConsent READ automationConsent)
    Q_PROPERTY(QStringList StayguardGrants READ stayguardGrants)
    Q_PROPERTY(QString StayguardInstallResult READ stayguardInstallResult)
    Q_PROPERTY(QList<torvel::DBusLidHolder> LidHolders READ lidHolders)
    Q_PROPERTY(bool LidHoldersKnown READ lidHoldersKnown)
public:
    static constexpr const char* kServiceName = "com.torvel.Torvel";
    static constexpr const char* kObjectPath = "/com/torvel/Torvel";
    static constexpr const char* kInterface = "com.torvel.Torvel1";
    static constexpr const char* kErrorNotReady = "com.torvel.Torvel1.Error.NotReady";
    static constexpr const char* kErrorInvalidArgument = "com.torvel.Torvel1.Error.InvalidArgument";
    static constexpr const char* kErrorRefused = "com.torvel.Torvel1.Error.Refused";
    static constexpr const char* kErrorNotSaved = "com.torvel.Torvel1.Error.NotSaved";
    /// The instance runs without windows (headless): there is nothing to show.
    static constexpr const char* kErrorNoWindows = "com.torvel.Torvel1.Error.NoWindows";
    /// Longest error message sent back; longer ones are cut.
    static constexpr std::size_t kMaxErrorLength = 512;
    /// Most keys one GetTexts() call may ask for.
    static constexpr qsizetype kMaxTextKeys = 500;

    explicit DBusService(AppDelegate& app);
    ~DBusService() override;

    /// Takes kServiceName on `bus` without queueing, before anything is built, so that of two
    /// instances started together the loser learns it at once. False (with `error` set) when the name
    /// has another owner or the bus refuses.
    static bool claimName(QDBusConnection bus, QString& error);
    /// Exports the object at kObjectPath (methods, properties and signals); false when the path is taken.
    bool exportOn(QDBusConnection bus);

    // The properties' readers, each reading the state as it is now.
    bool active() { return properties_->value("Active").toBool(); }
    QStringList reasons() { return properties_->value("Reasons").toStringList(); }
    QString assertionType() { return properties_->value("AssertionType").toString(); }
    qlonglong countdownEnd() { return properties_->value("CountdownEnd").toLongLong(); }
    QString remainingText() { return properties_->value("RemainingText").toString(); }
    QString statusText() { return properties_->value("StatusText").toString(); }
    QString tooltipTitle() { return properties_->value("TooltipTitle").toString(); }
    QString iconName() { return properties_->value("IconName").toString(); }
    bool needsAttention() { return properties_->value("NeedsAttention").toBool(); }
    QString profileID() { return properties_->value("ProfileID").toString(); }
    QString profile() { return properties_->value("Profile").toString(); }
    DBusProfiles profiles() { return qvariant_cast<DBusProfiles>(properties_->value("Profiles")); }
    bool onACPower() { return properties_->value("OnACPower").toBool(); }
    qint32 batteryPercent() { return properties_->value("BatteryPercent").toInt(); }
    qint32 batteryMinutesRemaining() { return properties_->value("BatteryMinutesRemaining").toInt(); }
    bool automationPaused() { return properties_->value("AutomationPaused").toBool(); }
    qlonglong automationPausedUntil() { return properties_->value("AutomationPausedUntil").toLongLong(); }
    QString emergencyAlarm() { return properties_->value("EmergencyAlarm").toString(); }
    bool requestPending() { return properties_->value("RequestPending").toBool(); }
    bool screenSaverPrevented() { return properties_->value("ScreenSaverPrevented").toBool(); }
    QString statusMessage() { return properties_->value("StatusMessage").toString(); }
    QString wifiStatus() { return properties_->value("WiFiStatus").toString(); }
    QStringList trustedNetworks() { return properties_->value("TrustedNetworks").toStringList(); }
    QList<DBusRunningApp> runningApps() {
        return qvariant_cast<QList<DBusRunningApp>>(properties_->value("RunningApps"));
    }
    QStringList watchedApps() { return properties_->value("WatchedApps").toStringList(); }
    QList<DBusBlocker> blockers() {
        return qvariant_cast<QList<DBusBlocker>>(properties_->value("Blockers"));
    }
    QString stayguard() { return properties_->value("Stayguard").toString(); }
    QString language() { return properties_->value("Language").toString(); }
    bool startsAtLogin() { return properties_->value("StartsAtLogin").toBool(); }
    DBusStringMap settings() { return qvariant_cast<DBusStringMap>(properties_->value("Settings")); }
    DBusStringMap watchedAppNames() {
        return qvariant_cast<DBusStringMap>(properties_->value("WatchedAppNames"));
    }
    QString currentSSID() { return properties_->value("CurrentSSID").toString(); }
    QString automationConsent() { return properties_->value("AutomationConsent").toString(); }
    QStringList stayguardGrants() { return properties_->value("StayguardGrants").toStringList(); }
    QString stayguardInstallResult() { return properties_->value("StayguardInstallResult").toString(); }
    QList<DBusLidHolder> lidHolders() {
        return qvariant_cast<QList<DBusLidHolder>>(properties_->value("LidHolders"));
    }
    bool lidHoldersKnown() { return properties_->value("LidHoldersKnown").toBool(); }

public Q_SLOTS:
    bool Activate(const QString& mode, const QString& value, QString& message);
    QString Deactivate();
    QVariantMap GetStatus();
    void OpenURL(const QString& url);
    bool KeepAwakeWhileAppRuns(const QString& app, QString& message, QString& bundleID);
    QList<DBusRunningApp> RunningApps();
    QList<DBusSetting> ListSettings();
    QString GetSetting(const QString& key);
    QString SetSetting(const QString& key, const QString& value);
    bool ShowTray();
    void ShowSettings(const QString& tab);
    void ShowAbout();
    DBusTexts GetTexts(const QStringList& keys);
    bool Toggle(QString& message);
    bool SetStartsAtLogin(bool enabled);

    // Actions the menu and windows offer (DBusServiceActions.cpp); each acts as its item or button does.
    bool Extend(int minutes, QString& message);
    bool ToggleProfile(const QString& id, QString& message);
    void PauseAutomation(const QString& how);
    void ResumeAutomation();
    QString CreateProfile(const QVariantMap& fields);
    void EditProfile(const QString& id, const QVariantMap& fields);
    QString DuplicateProfile(const QString& id);
    void DeleteProfile(const QString& id);
    void AddTrustedNetwork(const QString& name);
    void RemoveTrustedNetwork(const QString& name);
    void WatchApp(const QString& desktopId);
    void UnwatchApp(const QString& desktopId);
    void SleepNow();
    void SilenceAlarm();
    QString InstallStayguard();

    // What the windows need besides (DBusService.cpp).
    void SetProfileOrder(const QStringList& ids);
    void CheckLidHolders();
    void RefreshWiFi();
    void ResolveAutomationConsent();
    void SetRunningAppsShown(bool shown);

Q_SIGNALS:
    /// A notice Torvel gave the user (shown as a desktop notification where a server shows it).
    void Notice(const QString& id, const QString& title, const QString& body);

private:
    /// Answers the call with an error; the message is cleaned and cut to kMaxErrorLength.
    void fail(const char* name, const QString& message);
    /// The dialog text after an activation: awake, refused, or accepted but not held.
    QString activationText(const AppState& state) const;
    QString text(const char* key) const;
    /// Fails the call with kErrorNoWindows.
    void failWithoutWindows();
    /// Sends PropertiesChanged with `changed` once the object is exported.
    void announce(const QVariantMap& changed);

    /// A client that showed the running applications left the bus: it shows them no more.
    void forgetRunningAppsViewer(const QString& name);

    AppDelegate& app_;
    AppState& state_;
    std::optional<QDBusConnection> bus_;
    /// The unique names of the clients that show the running applications now.
    QSet<QString> runningAppsViewers_;
    QDBusServiceWatcher* viewerWatcher_ = nullptr;
    std::unique_ptr<DBusProperties> properties_;
    Connection noticeConnection_;
};

}  // namespace torvel

Q_DECLARE_METATYPE(torvel::DBusRunningApp)
Q_DECLARE_METATYPE(torvel::DBusSetting)

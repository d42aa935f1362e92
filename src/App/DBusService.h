#pragma once

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusContext>
#include <QList>
#include <QObject>
#include <QString>
#include <QStringList>
#include <QVariantMap>
#include <cstddef>

namespace torvel {

class AppDelegate;
class AppState;

/// A running application as RunningApps() sends it: (s id, s name, i pid).
struct DBusRunningApp {
    QString id;
    QString name;
    qint32 pid = 0;
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
/// Registers the two structures with Qt's D-Bus type system; call once before a bus is used.
void registerDBusTypes();

/// The running Torvel on the session bus: exports kInterface at kObjectPath for the `torvel` client
/// commands and other programs (start-up takes kServiceName first and holds early calls until this
/// object is exported). Every call acts on the delegate's application state, which outlives this
/// object. Error messages repeat at most a short, cleaned excerpt of the input.
///
///   Activate(s mode, s value) -> (b ok, s message)
///       mode "indefinite" (value ignored), "duration" (value: seconds, positive), "until" (value:
///       "HH:MM", the next such time), "profile" (value: the profile's name). ok is whether the
///       computer is kept awake afterwards; message says so or why not. A mode or value that does not
///       read fails with kErrorInvalidArgument and changes nothing.
///   Deactivate() -> (s message)          ends every user-started session
///   GetStatus() -> a{sv}                 the fields README.md lists under `torvel status --json`
///   OpenURL(s url)                       carries out a torvel: URL as the URL handler does; a
///                                        malformed URL fails with kErrorInvalidArgument (the error
///                                        notification still goes out), a refused activation with
///                                        kErrorRefused; other schemes are ignored
///   KeepAwakeWhileAppRuns(s app) -> (b ok, s message, s bundleID)
///       app: a running application's id, or a part of its name that only one running application
///       has. ok as for Activate; not running: ok false and the not-running message. Several
///       matches fail with kErrorInvalidArgument naming them.
///   RunningApps() -> a(ssi)              (id, name, pid) of the running applications, sorted by name
///   ListSettings() -> a(ssss)            (key, value, type, help) of every setting
///   GetSetting(s key) -> (s value)       an unknown key fails with kErrorInvalidArgument
///   SetSetting(s key, s value) -> (s value)  as the settings window sets it; an unknown key or a
///                                        value of the wrong type or range fails with
///                                        kErrorInvalidArgument; one the settings file cannot take
///                                        fails with kErrorNotSaved (the file and the reason) and
///                                        leaves the setting as it was
///   ShowTray() -> (b shown)              offers the tray icon again (what a second `torvel` asks);
///                                        false when this instance runs without a tray or no tray
///                                        shows the icon (the user is told how to get one)
///   ShowSettings(s tab)                  opens the settings window on `tab` ("general", "activation",
///                                        "battery", "audio" or "profiles"; empty: general), or brings
///                                        the open one to the front on it. An unknown tab fails with
///                                        kErrorInvalidArgument, an instance without windows (headless)
///                                        with kErrorNoWindows
///   ShowAbout()                          opens the about window the same way
///   Toggle() -> (b active, s message)    what a left click on the tray icon does: ends the session
///                                        started by hand or by a profile, pauses the automatic
///                                        triggers for an hour when only they hold, and otherwise
///                                        keeps the computer awake until told otherwise. active is
///                                        whether it is kept awake afterwards; message says so. A
///                                        start that is refused (a low battery, the desktop said no)
///                                        fails with kErrorRefused and the reason
class DBusService : public QObject, protected QDBusContext {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.torvel.Torvel1")
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

    explicit DBusService(AppDelegate& app);

    /// Takes kServiceName on `bus` without queueing, before anything is built, so that of two
    /// instances started together the loser learns it at once. False (with `error` set) when the name
    /// has another owner or the bus refuses.
    static bool claimName(QDBusConnection bus, QString& error);
    /// Exports the object at kObjectPath; false when the path is taken.
    bool exportOn(QDBusConnection bus);

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
    bool Toggle(QString& message);

private:
    /// Answers the call with an error; the message is cleaned and cut to kMaxErrorLength.
    void fail(const char* name, const QString& message);
    /// The dialog text after an activation: awake, refused, or accepted but not held.
    QString activationText(const AppState& state) const;
    QString text(const char* key) const;
    /// Fails the call with kErrorNoWindows.
    void failWithoutWindows();

    AppDelegate& app_;
    AppState& state_;
};

}  // namespace torvel

Q_DECLARE_METATYPE(torvel::DBusRunningApp)
Q_DECLARE_METATYPE(torvel::DBusSetting)

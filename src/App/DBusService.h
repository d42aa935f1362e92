#pragma once

#include <QDBusConnection>
#include <QObject>
#include <QString>
#include <QVariantMap>

namespace torvel {

class AppDelegate;

/// The running Torvel on the session bus: owns kServiceName and exports kInterface at kObjectPath for
/// the `torvel` client commands and other programs.
///
///   Activate(s mode, s value) -> (b ok, s message)
///       mode "indefinite" (value ignored), "duration" (value: seconds, positive), "until" (value:
///       "HH:MM", the next such time), "profile" (value: the profile's name). ok is whether the
///       computer is kept awake afterwards; message says so, or why not (also for an unknown mode,
///       a value that does not read or an unknown profile, which change nothing).
///   Deactivate() -> (s message)          ends every user-started session
///   GetStatus() -> a{sv}                 "active" b, "reasons" as (raw values, sorted), "message" s,
///                                        "assertionType" s (raw value; only while one is held),
///                                        "remainingSeconds" d (only while a countdown runs),
///                                        "profile" s (only while a profile's session runs)
///   OpenURL(s url)                       carries out a torvel: URL as the URL handler does
class DBusService : public QObject {
    Q_OBJECT
    Q_CLASSINFO("D-Bus Interface", "com.torvel.Torvel1")
public:
    static constexpr const char* kServiceName = "com.torvel.Torvel";
    static constexpr const char* kObjectPath = "/com/torvel/Torvel";
    static constexpr const char* kInterface = "com.torvel.Torvel1";

    explicit DBusService(AppDelegate& app);

    /// Exports the object, then takes the name without queueing. False (with `error` set) when the
    /// name has another owner or the bus refuses; the object is then withdrawn again.
    bool registerOn(QDBusConnection bus, QString& error);

public Q_SLOTS:
    bool Activate(const QString& mode, const QString& value, QString& message);
    QString Deactivate();
    QVariantMap GetStatus();
    void OpenURL(const QString& url);

private:
    AppDelegate& app_;
};

}  // namespace torvel

#pragma once

#include <QDBusConnection>
#include <QProcess>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

/// Two private dbus-daemons standing in for the system and the session bus, with python3-dbusmock
/// services on them. Everything is stopped when the object goes away.
class PrivateBuses {
public:
    enum class Bus { system, session };

    PrivateBuses();
    ~PrivateBuses();

    /// Empty when the buses run; otherwise why not (dbus-daemon or dbusmock missing), for GTEST_SKIP.
    const std::string& unavailableReason() const { return unavailable_; }

    QDBusConnection connection(Bus bus) const;
    /// The bus's address, for a process of the test's own to connect to.
    QString address(Bus bus) const;

    /// Starts a dbusmock template ("logind", "upower", "notification_daemon") with optional
    /// parameters as a JSON object text; waits until `busName` is owned. False on failure.
    bool startTemplate(Bus bus, const QString& name, const QString& busName, const QString& parameters = {});
    /// Starts a plain mock object `path` with `interface` under `busName`; methods are added with
    /// addMethod(). False on failure.
    bool startMock(Bus bus, const QString& busName, const QString& path, const QString& interface);
    /// Adds a method to a mock: `code` is Python run by dbusmock (for example "ret = 42").
    bool addMethod(Bus bus, const QString& busName, const QString& path, const QString& interface,
                   const QString& method, const QString& inSig, const QString& outSig, const QString& code);
    /// The calls the mock at `path` received: each as (method name, arguments).
    std::vector<std::pair<QString, QVariantList>> calls(Bus bus, const QString& busName,
                                                        const QString& path) const;
    /// Runs the Qt event loop until `done` or `timeoutMs`; true when done.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);

private:
    struct Daemon;
    std::unique_ptr<Daemon> system_, session_;
    std::vector<std::unique_ptr<QProcess>> mocks_;
    std::string unavailable_;

    Daemon* daemon(Bus bus) const { return bus == Bus::system ? system_.get() : session_.get(); }
    bool startDbusmock(Bus bus, const QStringList& arguments, const QString& busName);
};

}  // namespace torvel

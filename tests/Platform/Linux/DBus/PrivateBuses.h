#pragma once

#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusMessage>
#include <QMap>
#include <QProcess>
#include <QString>
#include <QVariantList>

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Sim/CapturingLogSink.h"

namespace torvel {

/// Two private dbus-daemons standing in for the system and the session bus, with python3-dbusmock
/// services on them. Everything is stopped when the object goes away.
class PrivateBuses {
public:
    enum class Bus { system, session };

    /// `withDbusmock` false: the buses alone, for tests that offer services rather than mock them.
    explicit PrivateBuses(bool withDbusmock = true);
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
    /// The same calls as "method arg0 arg1 ...", for readable comparisons.
    std::vector<std::string> callLines(Bus bus, const QString& busName, const QString& path) const;
    /// Calls `method` and waits (at most 5 s) for the answer.
    QDBusMessage call(Bus bus, const QString& busName, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {}) const;
    /// Sets a property through org.freedesktop.DBus.Properties; dbusmock announces the change. True on
    /// success.
    bool setProperty(Bus bus, const QString& busName, const QString& path, const QString& interface,
                     const QString& name, const QVariant& value) const;
    /// Has the mock at `path` emit signal `name` of `interface`. True on success.
    bool emitSignal(Bus bus, const QString& busName, const QString& path, const QString& interface,
                    const QString& name, const QString& signature, const QVariantList& arguments) const;
    /// The mock at `path` gives up `busName`, as a service that quits or restarts does. True on success.
    bool releaseName(Bus bus, const QString& busName, const QString& path, const QString& interface);
    /// Sends `signal` to the process that owns `busName`. True when it was sent.
    bool signalOwner(Bus bus, const QString& busName, int signal) const;
    /// Sets the answers of the polkitd_verdicts.py template (action -> yes, no, challenge, error, silent).
    bool setPolkitVerdicts(const QMap<QString, QString>& verdicts) const;
    /// Starts the polkitd_verdicts.py template on the system bus with `verdicts`. False on failure.
    bool startPolkit(const QMap<QString, QString>& verdicts = {});
    /// Gives logind on the system bus (a plain mock, started unless a logind runs already) `method`.
    bool logindMethod(const QString& method, const QString& inSig, const QString& outSig,
                      const QString& code);
    /// logind lists `inhibitors` (Python, "[('sleep', 'who', 'why', 'block', uid, pid)]").
    bool logindInhibitors(const QString& inhibitors) {
        return logindMethod("ListInhibitors", "", "a(ssssuu)", "ret = " + inhibitors);
    }
    /// Python for a mock method that fails with D-Bus error `name`.
    static QString raising(const QString& name, const QString& message = "no") {
        return QString("raise dbus.exceptions.DBusException('%1', name='%2')").arg(message, name);
    }
    /// Runs the Qt event loop until `done` or `timeoutMs`; true when done.
    static bool waitFor(const std::function<bool()>& done, int timeoutMs = 5000);
    /// Asks through `ask` and runs the event loop until its callback answers; the answer, or T{}.
    template <typename T>
    static T await(const std::function<void(std::function<void(T)>)>& ask, int timeoutMs = 5000) {
        std::optional<T> answer;
        ask([&](T value) { answer = std::move(value); });
        EXPECT_TRUE(waitFor([&] { return answer.has_value(); }, timeoutMs));
        return answer.value_or(T{});
    }

private:
    struct Daemon;
    std::unique_ptr<Daemon> system_, session_;
    std::vector<std::unique_ptr<QProcess>> mocks_;
    std::string unavailable_;

    Daemon* daemon(Bus bus) const { return bus == Bus::system ? system_.get() : session_.get(); }
    bool startDbusmock(Bus bus, const QStringList& arguments, const QString& busName);
};

/// A connection of its own to one of the private buses, as another program has; closed when it goes.
class BusPeer {
public:
    BusPeer(const PrivateBuses& buses, PrivateBuses::Bus bus, const QString& name)
        : name_(name), connection_(QDBusConnection::connectToBus(buses.address(bus), name)) {}
    ~BusPeer() {
        connection_ = QDBusConnection(QString());
        QDBusConnection::disconnectFromBus(name_);
    }
    BusPeer(const BusPeer&) = delete;
    BusPeer& operator=(const BusPeer&) = delete;

    const QDBusConnection& connection() const { return connection_; }
    /// Calls `method` and waits (at most 5 s) for the answer, running the event loop meanwhile.
    QDBusMessage call(const QString& service, const QString& path, const QString& interface,
                      const QString& method, const QVariantList& arguments = {}) const {
        auto message = QDBusMessage::createMethodCall(service, path, interface, method);
        message.setArguments(arguments);
        return connection_.call(message, QDBus::BlockWithGui, 5000);
    }

private:
    QString name_;
    QDBusConnection connection_;
};

/// A test on the private buses, skipped where they cannot run.
class PrivateBusTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!buses.unavailableReason().empty()) GTEST_SKIP() << buses.unavailableReason();
    }
    QDBusConnection system() const { return buses.connection(PrivateBuses::Bus::system); }
    QDBusConnection session() const { return buses.connection(PrivateBuses::Bus::session); }

    PrivateBuses buses;
    CapturingLogSink log;
};

}  // namespace torvel

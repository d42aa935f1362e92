// The way into Torvel's windows where no tray shows its icon (GNOME without the AppIndicator extension):
// torvel settings, torvel about and a second torvel, against the real executable on the simulated
// machine, a private session bus without any tray host, and Qt drawing offscreen.
#include <gtest/gtest.h>
#include <signal.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDeadlineTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <memory>

#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

struct Result {
    int exitCode = -1;
    QString err;
};

class WindowCommandsEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        bus_.start("dbus-daemon", {"--session", "--nofork", "--print-address=1"});
        if (!bus_.waitForStarted(5000) || !bus_.waitForReadyRead(5000))
            GTEST_SKIP() << "dbus-daemon did not start";
        const QString address = QString::fromUtf8(bus_.readLine()).trimmed();
        connection_ =
            std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "torvel-windows-e2e"));
        ASSERT_TRUE(connection_->isConnected());
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", address);
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.insert("TORVEL_LOG_CONSOLE", "1");
        environment_.insert("TORVEL_PLATFORM", "sim");
        environment_.insert("QT_QPA_PLATFORM", "offscreen");
        for (const char* name : {"DISPLAY", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP"})
            environment_.remove(name);
    }

    void TearDown() override {
        // An instance a command started is not ours to wait for: end it through its bus name.
        if (connection_ && nameOwned()) {
            const auto pid = connection_->interface()->servicePid("com.torvel.Torvel").value();
            if (pid > 0) ::kill(static_cast<pid_t>(pid), SIGTERM);
            waitUntil([this] { return !nameOwned(); });
        }
        if (instance_.state() != QProcess::NotRunning) {
            instance_.kill();
            instance_.waitForFinished(5000);
        }
        connection_.reset();
        QDBusConnection::disconnectFromBus("torvel-windows-e2e");
        bus_.kill();
        bus_.waitForFinished(5000);
    }

    bool nameOwned() { return connection_->interface()->isServiceRegistered("com.torvel.Torvel").value(); }

    Result run(const QStringList& args) {
        QProcess process;
        process.setProcessEnvironment(environment_);
        process.start(TORVEL_EXECUTABLE, args);
        EXPECT_TRUE(process.waitForFinished(20000)) << args.join(' ').toStdString();
        return {process.exitStatus() == QProcess::NormalExit ? process.exitCode() : -1,
                QString::fromUtf8(process.readAllStandardError())};
    }

    void startInstance(const QStringList& args) {
        instance_.setProcessEnvironment(environment_);
        instance_.start(TORVEL_EXECUTABLE, args);
        ASSERT_TRUE(instance_.waitForStarted(5000));
        ASSERT_TRUE(waitUntil([this] { return nameOwned(); })) << "the instance never took its bus name";
    }

    /// Waits until the instance has logged `text`, keeping what it read.
    bool logged(const QString& text) {
        QDeadlineTimer deadline(10000);
        while (!log_.contains(text)) {
            if (deadline.hasExpired()) return false;
            instance_.waitForReadyRead(50);
            log_ += QString::fromUtf8(instance_.readAllStandardError());
        }
        return true;
    }

    QTemporaryDir config_;
    QProcess bus_, instance_;
    std::unique_ptr<QDBusConnection> connection_;
    QProcessEnvironment environment_;
    QString log_;
};

TEST_F(WindowCommandsEndToEndTest, OpenTheWindowsWhereNoTrayShowsTheIcon) {
    startInstance({});
    auto result = run({"settings", "--tab", "battery"});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(logged("Settings window shown on the battery tab")) << log_.toStdString();
    EXPECT_EQ(run({"about"}).exitCode, 0);
    EXPECT_TRUE(logged("About window shown")) << log_.toStdString();
    // The desktop entry opened again: no tray shows the icon, so the settings come instead.
    result = run({});
    EXPECT_EQ(result.exitCode, 0) << result.err.toStdString();
    EXPECT_TRUE(logged("Settings window shown on the general tab")) << log_.toStdString();
    // A tab the window does not have is refused by the command and by the instance alike.
    EXPECT_EQ(run({"settings", "--tab", "wifi"}).exitCode, 2);
    auto call = QDBusMessage::createMethodCall("com.torvel.Torvel", "/com/torvel/Torvel",
                                               "com.torvel.Torvel1", "ShowSettings");
    call << QString("\x1b[2Jwifi");
    const QDBusMessage reply = connection_->call(call, QDBus::Block, 10000);
    EXPECT_EQ(reply.errorName(), "com.torvel.Torvel1.Error.InvalidArgument");
    EXPECT_FALSE(reply.errorMessage().contains('\x1b'));
    EXPECT_EQ(instance_.state(), QProcess::Running);
}

TEST_F(WindowCommandsEndToEndTest, SettingsStartTorvelAndAHeadlessOneSaysItHasNoWindows) {
    const auto started = run({"settings"});
    EXPECT_EQ(started.exitCode, 0) << started.err.toStdString();
    EXPECT_TRUE(nameOwned()) << "torvel settings starts Torvel when none runs";
    const auto pid = connection_->interface()->servicePid("com.torvel.Torvel").value();
    ASSERT_GT(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    ASSERT_TRUE(waitUntil([this] { return !nameOwned(); }));

    startInstance({"--headless"});
    for (const QStringList& args : {QStringList{"settings"}, QStringList{"about"}, QStringList{}}) {
        const auto refused = run(args);
        EXPECT_EQ(refused.exitCode, 1) << args.join(' ').toStdString();
        EXPECT_TRUE(refused.err.contains("without windows")) << refused.err.toStdString();
    }
}

}  // namespace

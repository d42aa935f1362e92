// The tray of the real torvel executable seen by GNOME's own StatusNotifier host: a headless
// gnome-shell with Debian's AppIndicator extension, on private session and system buses (logind and
// upower from dbusmock), Torvel drawing on the shell's Wayland socket. What the top bar shows is read
// through the shell's Eval, which a two-line extension of the test's own unlocks.
#include <gtest/gtest.h>

#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusVariant>
#include <QDeadlineTimer>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <optional>

#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

constexpr const char* kShell = "/usr/bin/gnome-shell";
constexpr const char* kExtension = "ubuntu-appindicators@ubuntu.com";
constexpr const char* kEvalExtension = "eval-unlock@torvel-tests";

// Only what the test starts may own names on these buses: no service activation.
constexpr const char* kBusConfig = R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
)";

class GnomeShellHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!QFile::exists(kShell) ||
            !QDir(QString("/usr/share/gnome-shell/extensions/") + kExtension).exists()) {
            if (qEnvironmentVariableIsSet("CI")) FAIL() << "gnome-shell or its AppIndicator extension is missing";
            GTEST_SKIP() << "gnome-shell or gnome-shell-extension-appindicator is not installed";
        }
        ASSERT_TRUE(root_.isValid());
        write("bus.conf", kBusConfig);
        write("config/glib-2.0/settings/keyfile",
              QString("[org/gnome/shell]\nenabled-extensions=['%1', '%2']\ndisable-user-extensions=false\n"
                      "disable-extension-version-validation=true\n")
                  .arg(kExtension, kEvalExtension));
        const QString extension = QString("data/gnome-shell/extensions/%1/").arg(kEvalExtension);
        write(extension + "metadata.json",
              QString(R"({"uuid": "%1", "name": "Eval for tests", "description": "-", "shell-version": ["43"]})")
                  .arg(kEvalExtension));
        write(extension + "extension.js",
              "function init() {}\n"
              "function enable() { global.context.unsafe_mode = true; }\n"
              "function disable() {}\n");
        ASSERT_TRUE(QDir(root_.path()).mkpath("run") && QDir(root_.path()).mkpath("torvel"));
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);

        system_.emplace("gnome-host-system", path("bus.conf"));
        session_.emplace("gnome-host-session", path("bus.conf"));
        ASSERT_TRUE(system_->connected() && session_->connected()) << "dbus-daemon did not start";
        QProcessEnvironment mockEnvironment = QProcessEnvironment::systemEnvironment();
        mockEnvironment.insert("DBUS_SYSTEM_BUS_ADDRESS", system_->address());
        for (const char* name : {"logind", "upower"})
            start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", name}, mockEnvironment);
        ASSERT_TRUE(waitUntil([this] {
            return system_->owns("org.freedesktop.login1") && system_->owns("org.freedesktop.UPower");
        })) << "the dbusmock templates did not start";

        QProcessEnvironment shell;
        shell.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
        shell.insert("LANG", "C.UTF-8");
        shell.insert("GSETTINGS_BACKEND", "keyfile");
        shell.insert("DBUS_SYSTEM_BUS_ADDRESS", system_->address());
        const std::pair<const char*, const char*> folders[] = {{"HOME", "home"},           {"XDG_RUNTIME_DIR", "run"},
                                                               {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
                                                               {"XDG_CACHE_HOME", "cache"}};
        for (const auto& [name, folder] : folders) shell.insert(name, path(folder));
        shell.insert("DBUS_SESSION_BUS_ADDRESS", session_->address());
        start(kShell,
              {"--headless", "--wayland", "--no-x11", "--virtual-monitor", "1280x800", "--wayland-display",
               "wayland-torvel"},
              shell);
        ASSERT_TRUE(waitUntil(
            [this] { return session_->owns("org.kde.StatusNotifierWatcher") && eval("1") == QJsonValue(1); },
            30000))
            << "gnome-shell never offered the watcher with Eval: " << logTail("gnome-shell");

        torvelEnvironment_ = QProcessEnvironment::systemEnvironment();
        torvelEnvironment_.insert("DBUS_SESSION_BUS_ADDRESS", session_->address());
        torvelEnvironment_.insert("XDG_RUNTIME_DIR", path("run"));
        torvelEnvironment_.insert("WAYLAND_DISPLAY", "wayland-torvel");
        torvelEnvironment_.insert("XDG_CURRENT_DESKTOP", "GNOME");
        torvelEnvironment_.insert("XDG_CONFIG_HOME", path("torvel"));
        torvelEnvironment_.insert("TORVEL_LOG_CONSOLE", "1");
        torvelEnvironment_.insert("LANGUAGE", "en");
        for (const char* name : {"TORVEL_PLATFORM", "DISPLAY", "QT_QPA_PLATFORM"}) torvelEnvironment_.remove(name);
    }

    QString path(const QString& relative) const { return root_.filePath(relative); }

    /// The end of what `program` wrote, for a failure message.
    std::string logTail(const QString& program) const {
        QFile file(path(program + ".log"));
        return file.open(QIODevice::ReadOnly) ? "\n" + file.readAll().right(4000).toStdString() : std::string();
    }

    void write(const QString& relative, const QString& text) {
        QDir(root_.path()).mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        ASSERT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size());
    }

    /// Starts `program` with its output in PROGRAM.log.
    QProcess& start(const QString& program, const QStringList& args, const QProcessEnvironment& environment) {
        QProcess& process = processes_.add(environment);
        process.setProcessChannelMode(QProcess::MergedChannels);
        process.setStandardOutputFile(path(QFileInfo(program).fileName() + ".log"), QIODevice::Append);
        process.start(program, args);
        EXPECT_TRUE(process.waitForStarted(5000)) << program.toStdString();
        return process;
    }

    /// The value of a JavaScript expression evaluated inside the shell; undefined when it failed.
    QJsonValue eval(const QString& code) {
        auto call = QDBusMessage::createMethodCall("org.gnome.Shell", "/org/gnome/Shell", "org.gnome.Shell", "Eval");
        call << code;
        const QDBusMessage reply = session_->connection().call(call, QDBus::Block, 5000);
        if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != "bs" || !reply.arguments()[0].toBool())
            return QJsonValue::Undefined;
        return QJsonDocument::fromJson("[" + reply.arguments()[1].toString().toUtf8() + "]").array().at(0);
    }

    /// `code` evaluated with `i` bound to the top-bar button the extension made for `item`.
    QJsonValue onButton(const QString& item, const QString& code) {
        return eval(QString("const i = Main.panel.statusArea['appindicator-%1']; %2").arg(item, code));
    }

    int run(const QStringList& args) { return torvel::apptest::runTorvel(torvelEnvironment_, args).exitCode; }
    bool active() { return torvel::apptest::statusOf(torvelEnvironment_)["active"].toBool(); }

    QTemporaryDir root_;
    std::optional<torvel::apptest::PrivateBus> system_, session_;
    QProcessEnvironment torvelEnvironment_;
    torvel::apptest::Processes processes_;  // ended before the buses, Torvel first
};

TEST_F(GnomeShellHostTest, TopBarShowsTheItemWithItsLabelAndDrivesTorvel) {
    QProcess& torvel = start(TORVEL_EXECUTABLE, {"--platform", "sim"}, torvelEnvironment_);
    ASSERT_TRUE(waitUntil([this] { return session_->owns("com.torvel.Torvel"); }))
        << "torvel did not start" << logTail("torvel");
    // The item is known by the connection it lives on, com.torvel.Torvel.Tray's, and its path.
    ASSERT_TRUE(waitUntil([this] { return session_->owns("com.torvel.Torvel.Tray"); }))
        << "torvel offered no tray icon" << logTail("torvel");
    const QString item =
        session_->connection().interface()->serviceOwner("com.torvel.Torvel.Tray").value() + "@/StatusNotifierItem";
    ASSERT_TRUE(waitUntil([&] {
        auto get = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                  "org.freedesktop.DBus.Properties", "Get");
        get << "org.kde.StatusNotifierWatcher"
            << "RegisteredStatusNotifierItems";
        const QDBusMessage reply = session_->connection().call(get, QDBus::Block, 2000);
        return reply.arguments().value(0).value<QDBusVariant>().variant().toStringList().contains(item);
    })) << "GNOME's watcher never listed Torvel's item "
        << item.toStdString() << logTail("gnome-shell");

    // The button appears in the top bar once the extension has read the item; no label while off.
    ASSERT_TRUE(waitUntil([&] { return onButton(item, "i.isReady() && i.visible") == QJsonValue(true); }))
        << "the top bar shows no button for " << item.toStdString() << logTail("gnome-shell");
    // The first-start hint says what a click does with this host: GNOME's opens the menu.
    EXPECT_TRUE(waitUntil([this] {
        QFile log(path("torvel.log"));
        return log.open(QIODevice::ReadOnly) &&
               log.readAll().contains("First-start hint as a notification (gnome-shell: onboarding.notice_menu_on_click)");
    })) << logTail("torvel");
    EXPECT_EQ(onButton(item, "i._indicator.title"), QJsonValue("Torvel"));
    EXPECT_EQ(onButton(item, "i._label ? i._label.text : ''"), QJsonValue(""));

    // A timed session shows its remaining minutes beside the icon.
    ASSERT_EQ(run({"activate", "--duration", "1800"}), 0);
    QJsonValue label;
    EXPECT_TRUE(waitUntil([&] {
        label = onButton(item, "i._label ? i._label.text : ''");
        return QRegularExpression("^(29|30) min$").match(label.toString()).hasMatch();
    })) << "label in the top bar: "
        << label.toString().toStdString();

    // The shell's menu, filled from the item's menu as it opens: its "Cancel timer" ends the session.
    const QString labels = "i.menu._getMenuItems().map(m => m.label ? m.label.text : '')";
    onButton(item, "i.menu.open(); 0");
    ASSERT_TRUE(waitUntil([&] {
        return onButton(item, labels).toArray().contains(QJsonValue("Cancel timer"));
    })) << "the menu in the top bar: "
        << QJsonDocument(onButton(item, labels).toArray()).toJson().toStdString() << logTail("gnome-shell");
    onButton(item,
             "i.menu._getMenuItems().find(m => m.label && m.label.text === 'Cancel timer')"
             ".activate(imports.gi.Clutter.Event.new(imports.gi.Clutter.EventType.BUTTON_RELEASE)); 0");
    EXPECT_TRUE(waitUntil([this] { return !active(); }));
    EXPECT_TRUE(waitUntil([&] { return onButton(item, "i._label ? i._label.text : ''") == QJsonValue(""); }))
        << "the label stayed after the session ended";

    // A double click on the button, through the shell's own input path, activates the item: it toggles.
    // The events carry their own times, so the double click does not depend on how fast the shell is.
    // The button has just lost its label and may not be laid out again yet: asking for its allocation
    // lays it out now, so that the click aims at where the button is, not where it was.
    onButton(item,
             "i.menu.close(); const C = imports.gi.Clutter; i.get_allocation_box();"
             "const [x, y] = i.get_transformed_position(); const [w, h] = i.get_transformed_size();"
             "const d = C.get_default_backend().get_default_seat()"
             "  .create_virtual_device(C.InputDeviceType.POINTER_DEVICE);"
             "globalThis.testPointer = d;"  // kept alive until the shell has taken its events
             "const t = GLib.get_monotonic_time(); d.notify_absolute_motion(t, x + w / 2, y + h / 2);"
             "for (const k of [0, 1]) {"
             "  d.notify_button(t + 1000 + k * 40000, C.BUTTON_PRIMARY, C.ButtonState.PRESSED);"
             "  d.notify_button(t + 20000 + k * 40000, C.BUTTON_PRIMARY, C.ButtonState.RELEASED);"
             "} 0");
    EXPECT_TRUE(waitUntil([this] { return active(); })) << "the double click did not reach the item";
    EXPECT_EQ(torvel.state(), QProcess::Running);
}

}  // namespace

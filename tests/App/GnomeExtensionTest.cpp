// Torvel's GNOME Shell extension in a real headless gnome-shell: installed from its zip with
// gnome-extensions, enabled and disabled through the shell's extension manager, driven through the
// shell's own objects, with Torvel started by the bus when the toggle is clicked.
#include <gtest/gtest.h>

#include <QDBusArgument>
#include <QDBusMetaType>
#include <QDBusReply>
#include <QDBusVariant>
#include <QRegularExpression>
#include <csignal>
#include <utility>

#include "GnomeShellSession.h"

namespace {

using torvel::apptest::GnomeShellSession;
using torvel::apptest::waitUntil;

constexpr const char* kUuid = "torvel@torvel.com";
// The extension's toggle and top-bar indicator, found by their classes, bound as `t` and `i`.
constexpr const char* kFind =
    "const qs = Main.panel.statusArea.quickSettings;"
    "const t = qs.menu._grid.get_children().find(c => c.constructor.name === 'TorvelToggle');"
    "const i = qs._indicators.get_children().find(c => c.constructor.name === 'TorvelIndicator');";
// How many actors the quick settings hold: what the extension adds and must take away again.
constexpr const char* kShape =
    "const qs = Main.panel.statusArea.quickSettings;"
    "[qs.menu._overlay.get_n_children(), qs.menu._grid.get_n_children(), qs._indicators.get_n_children()]";

class GnomeExtensionTest : public ::testing::Test {
protected:
    GnomeExtensionTest() : shell_(true) {}

    void SetUp() override {
        if (!GnomeShellSession::available() || !QFile::exists("/usr/bin/gnome-extensions")) {
            if (qEnvironmentVariableIsSet("CI")) FAIL() << "gnome-shell is missing";
            GTEST_SKIP() << "gnome-shell is not installed";
        }
        // The extension as a user installs it: its zip, into the session's own data folder.
        QProcess install;
        QProcessEnvironment environment;
        environment.insert("PATH", "/usr/bin:/bin");
        environment.insert("HOME", shell_.path("home"));
        environment.insert("XDG_DATA_HOME", shell_.path("data"));
        install.setProcessEnvironment(environment);
        install.start("/usr/bin/gnome-extensions", {"install", "--force", TORVEL_EXTENSION_ZIP});
        ASSERT_TRUE(install.waitForFinished(20000) && install.exitCode() == 0)
            << "gnome-extensions install refused the zip: " << install.readAllStandardError().toStdString();
        ASSERT_TRUE(QFile::exists(shell_.path(QString("data/gnome-shell/extensions/%1/metadata.json").arg(kUuid))));

        // Torvel as the bus starts it, on the simulated machine, its log beside the shell's.
        const auto torvel = shell_.torvelEnvironment();
        QStringList variables;
        for (const char* name : {"XDG_RUNTIME_DIR", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "XDG_CONFIG_HOME",
                                 "TORVEL_LOG_CONSOLE", "LANGUAGE"})
            variables << QString("%1=%2").arg(name, torvel.value(name));
        shell_.write("services/com.torvel.Torvel.service",
                     QString("[D-BUS Service]\nName=com.torvel.Torvel\n"
                             "Exec=/bin/sh -c 'exec env -u DISPLAY -u QT_QPA_PLATFORM -u TORVEL_PLATFORM %1 %2 "
                             "--platform sim >>%3 2>&1'\n")
                         .arg(variables.join(' '), TORVEL_EXECUTABLE, shell_.path("torvel.log")));
        std::string error;
        ASSERT_TRUE(shell_.start({}, error)) << error;
    }

    QJsonValue onExtension(const QString& code) { return shell_.eval(kFind + code); }

    int run(const QStringList& args) {
        return torvel::apptest::runTorvel(shell_.torvelEnvironment(), args).exitCode;
    }

    /// A property of the running Torvel, read over the bus.
    QVariant property(const char* name) {
        auto get = QDBusMessage::createMethodCall("com.torvel.Torvel", "/com/torvel/Torvel",
                                                  "org.freedesktop.DBus.Properties", "Get");
        get << "com.torvel.Torvel1" << name;
        get.setAutoStartService(false);
        const QDBusMessage reply = shell_.session().connection().call(get, QDBus::Block, 5000);
        return reply.arguments().value(0).value<QDBusVariant>().variant();
    }

    /// The match rules the shell's bus connection holds.
    uint shellMatchRules() {
        auto& bus = shell_.session().connection();
        const QString shell = bus.interface()->serviceOwner("org.gnome.Shell").value();
        auto call = QDBusMessage::createMethodCall("org.freedesktop.DBus", "/org/freedesktop/DBus",
                                                   "org.freedesktop.DBus.Debug.Stats", "GetConnectionStats");
        call << shell;
        const QDBusMessage reply = bus.call(call, QDBus::Block, 5000);
        const auto stats = qdbus_cast<QVariantMap>(reply.arguments().value(0));
        if (reply.type() != QDBusMessage::ReplyMessage) ADD_FAILURE() << reply.errorMessage().toStdString();
        return stats.value("MatchRules").toUInt();
    }

    /// Opens the quick settings with the toggle's menu and saves the picture of them to `file`.
    bool screenshot(const QString& file) {
        onExtension("qs.menu.open(); t.menu.open(); 0");
        // Where the quick settings are, once they stopped growing.
        const QString where =
            "const [x, y] = qs.menu._boxPointer.get_transformed_position();"
            "const [w, h] = qs.menu._boxPointer.get_transformed_size(); [x, y, w, h].map(Math.round)";
        QJsonArray area, before;
        waitUntil([&] {
            before = std::exchange(area, onExtension(where).toArray());
            return area.size() == 4 && area[3].toInt() > 0 && area == before && onExtension("t.menu.box.opacity") == 255;
        });
        if (area.size() != 4) return false;
        auto call = QDBusMessage::createMethodCall("org.gnome.Shell.Screenshot", "/org/gnome/Shell/Screenshot",
                                                   "org.gnome.Shell.Screenshot", "ScreenshotArea");
        call << area[0].toInt() << area[1].toInt() << area[2].toInt() << area[3].toInt() << false << file;
        const QDBusMessage reply = shell_.session().connection().call(call, QDBus::Block, 10000);
        onExtension("qs.menu.close(); 0");
        return reply.type() == QDBusMessage::ReplyMessage && reply.arguments().value(0).toBool();
    }

    GnomeShellSession shell_;
};

TEST_F(GnomeExtensionTest, TheToggleShowsAndDrivesTorvelAndLeavesNothingBehind) {
    auto& bus = shell_.session();
    const QJsonValue shapeBefore = shell_.eval(kShape);
    const uint rulesBefore = shellMatchRules();
    ASSERT_TRUE(shapeBefore.isArray() && rulesBefore > 0)
        << "quick settings " << QJsonDocument(QJsonArray{shapeBefore}).toJson().toStdString() << ", match rules "
        << rulesBefore;

    // Enabled with Torvel not running: the toggle is there, off, and nothing started Torvel.
    shell_.eval(QString("Main.extensionManager.enableExtension('%1'); 0").arg(kUuid));
    ASSERT_TRUE(waitUntil([&] {
        return shell_.eval(QString("Main.extensionManager.lookup('%1').state").arg(kUuid)) == QJsonValue(1);
    })) << "the extension is not enabled: "
        << shell_.eval(QString("String(Main.extensionManager.lookup('%1').error)").arg(kUuid)).toString().toStdString();
    ASSERT_EQ(onExtension("[t.label, t.checked, t.menuEnabled, i.visible]"),
              QJsonValue(QJsonArray{"Torvel", false, false, false}));
    EXPECT_TRUE(waitUntil([&] { return bus.owns("com.torvel.Torvel.ShellExtension"); }));
    EXPECT_FALSE(bus.owns("com.torvel.Torvel"));

    // A click on the toggle starts Torvel through the bus, and the session with it.
    onExtension("t.emit('clicked', 1); 0");
    ASSERT_TRUE(waitUntil([&] { return bus.owns("com.torvel.Torvel"); }, 20000))
        << "the click did not start Torvel" << shell_.logTail("torvel");
    EXPECT_TRUE(waitUntil([&] { return property("Active").toBool(); })) << shell_.logTail("torvel");
    EXPECT_TRUE(waitUntil([&] {
        return onExtension("[t.label, t.checked, t.menuEnabled]") ==
               QJsonValue(QJsonArray{"Keep awake", true, true});
    })) << QJsonDocument(onExtension("[t.label, t.checked, t.menuEnabled]").toArray()).toJson().toStdString();

    // A countdown puts its time in the menu's header and in the top bar.
    ASSERT_EQ(run({"activate", "--duration", "1500"}), 0);
    const QRegularExpression minutes("^(24|25) min$");
    QJsonValue shown;
    EXPECT_TRUE(waitUntil([&] {
        shown = onExtension("[t.menu._headerSubtitle.text, i._label.text, i.visible]");
        const QJsonArray values = shown.toArray();
        return minutes.match(values[0].toString()).hasMatch() && values[1] == values[0] && values[2].toBool();
    })) << QJsonDocument(shown.toArray()).toJson().toStdString();

    // On the lock screen the extension stays (Torvel's icon does not come back): the top bar still says
    // the computer is kept awake, and the toggle is not offered.
    shell_.eval("Main.sessionMode.pushMode('unlock-dialog'); 0");
    EXPECT_TRUE(waitUntil([&] {
        return onExtension("[Main.sessionMode.isLocked, t.visible, i.visible]") == QJsonValue(QJsonArray{true, false, true});
    })) << QJsonDocument(onExtension("[Main.sessionMode.isLocked, t.visible, i.visible]").toArray()).toJson().toStdString();
    EXPECT_TRUE(bus.owns("com.torvel.Torvel.ShellExtension"));
    shell_.eval("Main.sessionMode.popMode('unlock-dialog'); 0");
    EXPECT_TRUE(waitUntil([&] { return onExtension("[Main.sessionMode.isLocked, t.visible]") == QJsonValue(QJsonArray{false, true}); }));

    // A running application, listed while the menu is open, keeps the computer awake until it quits.
    const QString click = ".activate(imports.gi.Clutter.Event.new(imports.gi.Clutter.EventType.BUTTON_RELEASE)); 0";
    ASSERT_EQ(run({"sim", "launch=org.example.Editor:Editor"}), 0);
    onExtension("t.menu.open(); 0");
    const QString apps = "(t.menu._getMenuItems().find(m => m.label && m.label.text === 'Keep awake until an app quits')"
                         "?.menu._getMenuItems() ?? [])";
    EXPECT_TRUE(waitUntil([&] { return onExtension(apps + ".map(m => m.label.text)") == QJsonValue(QJsonArray{"Editor"}); }))
        << QJsonDocument(onExtension(apps + ".map(m => m.label.text)").toArray()).toJson().toStdString();
    onExtension(apps + "[0]" + click);
    EXPECT_TRUE(waitUntil([&] { return property("Reasons").toStringList().contains("processRunning"); }));
    onExtension("t.menu.close(); 0");

    // A profile chosen from the menu runs, and the menu checks it.
    const QString profileItem = "t.menu._getMenuItems().find(m => m.label && m.label.text === 'Presentation')";
    ASSERT_EQ(onExtension(profileItem + " !== undefined"), QJsonValue(true))
        << QJsonDocument(onExtension("t.menu._getMenuItems().map(m => m.label ? m.label.text : '-')").toArray())
               .toJson()
               .toStdString();
    onExtension(profileItem + click);
    EXPECT_TRUE(waitUntil([&] { return property("Profile").toString() == "Presentation"; }));
    EXPECT_TRUE(waitUntil([&] { return onExtension(profileItem + "._ornament") == QJsonValue(2); }))
        << "the running profile is not checked";

    // The texts follow Torvel's language; the pictures of the menu in both.
    const QString pictures = qEnvironmentVariable("TORVEL_GNOME_SCREENSHOTS", shell_.path("screenshots"));
    QDir().mkpath(pictures);
    for (const auto& [language, expected] : {std::pair{"cs", "Nespat"}, std::pair{"en", "Keep awake"}}) {
        const QJsonValue title(expected);  // a copy: lambdas cannot capture a structured binding in C++20
        ASSERT_EQ(run({"config", "set", "language", language}), 0);
        EXPECT_TRUE(waitUntil([&] { return onExtension("t.label") == title; }))
            << language << ": " << onExtension("t.label").toString().toStdString();
        const QString file = QString("%1/gnome-quick-settings-%2.png").arg(pictures, language);
        EXPECT_TRUE(screenshot(file) && QFileInfo(file).size() > 1000) << file.toStdString();
    }

    // Torvel quits: the toggle goes back to off, and the shell logs no error of the extension's.
    const uint pid = bus.connection().interface()->servicePid("com.torvel.Torvel").value();
    ASSERT_GT(pid, 0u);
    ::kill(static_cast<pid_t>(pid), SIGTERM);
    ASSERT_TRUE(waitUntil([&] { return !bus.owns("com.torvel.Torvel"); }));
    EXPECT_TRUE(waitUntil([&] {
        return onExtension("[t.label, t.checked, t.menuEnabled, i.visible, t.menu._headerSubtitle.text]") ==
               QJsonValue(QJsonArray{"Torvel", false, false, false, ""});
    }));
    for (const QByteArray& line : shell_.log("gnome-shell").split('\n'))
        EXPECT_FALSE(line.contains(kUuid) || line.contains("Torvel")) << line.toStdString();

    // Disabled: the quick settings and the shell's bus connection are as they were before.
    shell_.eval(QString("Main.extensionManager.disableExtension('%1'); 0").arg(kUuid));
    EXPECT_TRUE(waitUntil([&] { return shell_.eval(kShape) == shapeBefore; }))
        << QJsonDocument(shell_.eval(kShape).toArray()).toJson().toStdString();
    EXPECT_TRUE(waitUntil([&] { return shellMatchRules() == rulesBefore; }))
        << shellMatchRules() << " match rules, " << rulesBefore << " before the extension";
    EXPECT_TRUE(waitUntil([&] { return !bus.owns("com.torvel.Torvel.ShellExtension"); }));
}

}  // namespace

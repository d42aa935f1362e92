// The tray of the real torvel executable on the simulated machine, under its own X server and private
// session bus, seen by real tray hosts: a StatusNotifier host written for these tests in Python
// (sni_host.py) and Debian's trayer as an XEmbed tray (through Torvel's helper torvel-xembed-tray),
// clicked with xdotool.
#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDeadlineTimer>
#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include <signal.h>

#include "TorvelProcess.h"

namespace {

using torvel::apptest::waitUntil;

constexpr const char* kHost = TORVEL_TEST_SOURCE_DIR "/App/sni_host.py";
constexpr const char* kTrayName = "com.torvel.Torvel.Tray";
constexpr const char* kExtensionName = "com.torvel.Torvel.ShellExtension";
constexpr const char* kWithdrawn = "Tray icon withdrawn: Torvel is shown by the GNOME Shell extension";

class TrayEndToEndTest : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_TRUE(config_.isValid());
        if (!QFile::exists("/usr/bin/Xvfb")) GTEST_SKIP() << "Xvfb is not installed";
        ASSERT_TRUE(bus_.connected()) << "dbus-daemon did not start";
        // First started, last ended: Torvel leaves through its quit path while its display is there.
        QProcess& xvfb = processes_.start("/usr/bin/Xvfb", {"-displayfd", "1", "-nolisten", "tcp", "-screen", "0",
                                                            "800x600x24"},
                                          QProcessEnvironment::systemEnvironment());
        ASSERT_TRUE(xvfb.waitForReadyRead(10000)) << "Xvfb did not start";
        environment_ = QProcessEnvironment::systemEnvironment();
        environment_.insert("DBUS_SESSION_BUS_ADDRESS", bus_.address());
        environment_.insert("DISPLAY", ":" + QString::fromUtf8(xvfb.readLine()).trimmed());
        environment_.insert("XDG_CONFIG_HOME", config_.path());
        environment_.insert("TORVEL_LOG_CONSOLE", "1");
        environment_.insert("LANGUAGE", "en");
        for (const char* name : {"TORVEL_PLATFORM", "WAYLAND_DISPLAY", "XDG_CURRENT_DESKTOP", "QT_QPA_PLATFORM"})
            environment_.remove(name);
    }

    QProcess& start(const QString& program, const QStringList& args) {
        return processes_.start(program, args, environment_);
    }

    QProcess& startTorvel() {
        QProcess& torvel = start(TORVEL_EXECUTABLE, {"--platform", "sim"});
        EXPECT_TRUE(waitUntil([this] { return bus_.owns("com.torvel.Torvel"); }))
            << "torvel never took its bus name: " << torvel.readAllStandardError().toStdString();
        return torvel;
    }

    /// The host's name for Torvel's item: the connection the item lives on (apart from the one that owns
    /// com.torvel.Torvel), as the item registers by its path.
    QString torvelConnection() { return bus_.connection().interface()->serviceOwner(kTrayName).value(); }

    /// Whether Torvel logged `text` so far (its log is kept, as reading it empties the pipe).
    bool logged(QProcess& torvel, const QString& text) {
        QCoreApplication::processEvents();  // the process's pipes are read on the event loop
        log_ += QString::fromUtf8(torvel.readAllStandardError());
        return log_.contains(text);
    }

    /// One command to the StatusNotifier host and its one-line answer.
    QJsonObject ask(QProcess& host, const QString& command) {
        host.write((command + "\n").toUtf8());
        QDeadlineTimer deadline(15000);
        while (!host.canReadLine() && !deadline.hasExpired()) host.waitForReadyRead(100);
        const auto answer = QJsonDocument::fromJson(host.readLine()).object();
        EXPECT_FALSE(answer.isEmpty()) << command.toStdString() << ": no answer from the host";
        return answer;
    }

    /// The signals the host heard so far, by name.
    QJsonObject heardSignals(QProcess& host) { return ask(host, "signals")["signals"].toObject(); }

    /// The first line xdotool prints for `args` on Torvel's display, trimmed.
    QString xdotool(const QStringList& args) {
        QProcess tool;
        tool.setProcessEnvironment(environment_);
        tool.start("/usr/bin/xdotool", args);
        tool.waitForFinished(5000);
        return QString::fromUtf8(tool.readAllStandardOutput()).split('\n').first().trimmed();
    }

    int run(const QStringList& args) { return torvel::apptest::runTorvel(environment_, args).exitCode; }
    bool active() { return torvel::apptest::statusOf(environment_)["active"].toBool(); }

    /// The id of the top-level menu item labelled `label`; 0 when there is none.
    static int itemLabelled(const QJsonObject& layout, const QString& label) {
        for (const auto& child : layout["layout"].toObject()["children"].toArray())
            if (child.toObject()["props"].toObject()["label"].toString() == label) return child.toObject()["id"].toInt();
        return 0;
    }

    QTemporaryDir config_;
    QString log_;
    torvel::apptest::PrivateBus bus_{"torvel-tray-e2e"};
    QProcessEnvironment environment_;
    torvel::apptest::Processes processes_;
};

TEST_F(TrayEndToEndTest, StatusNotifierHostShowsTheItemAndDrivesTorvelThroughIt) {
    QProcess& host = start("/usr/bin/python3", {kHost});
    QProcess& torvel = startTorvel();
    const QString item = ask(host, "wait-item")["item"].toString();
    ASSERT_EQ(item, torvelConnection());

    auto props = ask(host, "props");
    EXPECT_EQ(props["IconName"].toString(), "torvel-inactive-symbolic");
    EXPECT_TRUE(QFile::exists(props["IconThemePath"].toString() + "/hicolor/scalable/status/torvel-inactive-symbolic.svg"))
        << "hosts could not find the icon by name: " << props["IconThemePath"].toString().toStdString();
    ASSERT_FALSE(props["IconPixmap"].toArray().isEmpty()) << "hosts that ignore the theme path get no icon";
    for (const auto& pixmap : props["IconPixmap"].toArray()) {
        const auto size = pixmap.toArray();
        EXPECT_EQ(size[0].toInt() * size[1].toInt() * 4, size[2].toInt());
    }
    EXPECT_EQ(props["Menu"].toString(), "/MenuBar");
    EXPECT_FALSE(props["ItemIsMenu"].toBool(true));
    EXPECT_EQ(props["ToolTip"].toArray()[2].toString(), "Torvel");
    EXPECT_EQ(props["ToolTip"].toArray()[3].toString(), "Torvel is off");
    EXPECT_EQ(props["XAyatanaLabel"].toString(), "");

    // A click on the icon toggles; so does GNOME's middle click.
    ask(host, "middle-click");
    ASSERT_TRUE(waitUntil([this] { return active(); }));
    ask(host, "middle-click");
    ASSERT_TRUE(waitUntil([this] { return !active(); }));
    ask(host, "activate");
    ASSERT_TRUE(waitUntil([this] { return active(); }));
    EXPECT_EQ(ask(host, "props")["IconName"].toString(), "torvel-active-symbolic");

    // A timed session shows its remaining minutes as the label, and hosts hear of it.
    ASSERT_EQ(run({"activate", "--duration", "1800"}), 0);
    ASSERT_TRUE(waitUntil([&] { return ask(host, "props")["XAyatanaLabel"].toString().endsWith(" min"); }));
    EXPECT_FALSE(heardSignals(host)["XAyatanaNewLabel"].toArray().isEmpty());

    // Another language reaches the tooltip at once, without waiting for the next toggle.
    const auto tooltip = [&] {
        const auto tip = ask(host, "props")["ToolTip"].toArray();
        return tip[2].toString() + "\n" + tip[3].toString();
    };
    ASSERT_EQ(run({"config", "set", "language", "cs"}), 0);
    EXPECT_TRUE(waitUntil([&] { return tooltip().contains("vzhůru") || tooltip().contains("zbývá"); }))
        << tooltip().toStdString();
    ASSERT_EQ(run({"config", "set", "language", "en"}), 0);
    EXPECT_TRUE(waitUntil([&] { return tooltip().contains("awake") || tooltip().contains("left"); }))
        << tooltip().toStdString();

    // The menu, built as it opens: "Cancel timer" ends the timed session.
    EXPECT_TRUE(ask(host, "about-to-show")["needUpdate"].toBool());
    const int turnOff = itemLabelled(ask(host, "layout"), "Cancel timer");
    ASSERT_NE(turnOff, 0);
    EXPECT_FALSE(heardSignals(host)["LayoutUpdated"].toArray().isEmpty()) << "hosts must hear of a changed menu";
    ask(host, "click " + QString::number(turnOff));
    ASSERT_TRUE(waitUntil([this] { return !active(); }));

    // The host heard of the shorter menu as it changed.
    EXPECT_FALSE(ask(host, "about-to-show")["needUpdate"].toBool()) << "the host holds the current menu";
    EXPECT_EQ(itemLabelled(ask(host, "layout"), "Cancel timer"), 0);

    // Turned on, the host hears of the new layout at once (one signal for the burst of changes behind
    // it), before it sends AboutToShow.
    auto heard = [&](const char* name) { return heardSignals(host)[name].toArray().size(); };
    const auto layouts = heard("LayoutUpdated");
    ASSERT_EQ(run({"activate"}), 0);
    ASSERT_TRUE(waitUntil([&] { return heard("LayoutUpdated") > layouts; })) << "the host was not told";
    ask(host, "props");  // a round trip: anything sent before it has arrived
    EXPECT_EQ(heard("LayoutUpdated"), layouts + 1);
    const auto activeMenu = ask(host, "layout");
    const auto items = activeMenu["layout"].toObject()["children"].toArray();
    ASSERT_FALSE(items.isEmpty());
    // Its status line carries Torvel's own icon as an image: a build tree's icon has no name hosts find.
    const auto status = items[0].toObject()["props"].toObject();
    EXPECT_GT(status["icon-data"].toInt(), 0) << QJsonDocument(status).toJson().toStdString();
    EXPECT_FALSE(status.contains("icon-name"));

    // "Settings…" opens the settings window on Torvel's display.
    ask(host, "click " + QString::number(itemLabelled(activeMenu, "Settings…")));
    EXPECT_TRUE(waitUntil([this] {
        return !xdotool({"search", "--onlyvisible", "--name", "^Torvel settings$"}).isEmpty();
    })) << "no settings window appeared";

    // Quit from the menu runs the quit path.
    ask(host, "click " + QString::number(itemLabelled(activeMenu, "Quit Torvel")));
    ASSERT_TRUE(torvel.waitForFinished(10000));
    EXPECT_EQ(torvel.exitCode(), 0);
    EXPECT_TRUE(QString::fromUtf8(torvel.readAllStandardError()).contains("0 keep-awake assertions held at exit"));
}

TEST_F(TrayEndToEndTest, HostStartingAfterTorvelGetsTheItemAndASecondLaunchShowsIt) {
    startTorvel();
    EXPECT_EQ(run({"--platform", "sim"}), 0) << "with no tray at all a second launch opens the settings";
    // With a display but no host, the XEmbed helper waits for a tray; the host's watcher ends it.
    EXPECT_TRUE(waitUntil([this] { return bus_.owns("com.torvel.Torvel.XEmbedTray"); }));
    QProcess& host = start("/usr/bin/python3", {kHost});
    const QString item = ask(host, "wait-item")["item"].toString();
    ASSERT_EQ(item, torvelConnection());
    EXPECT_TRUE(waitUntil([this] { return !bus_.owns("com.torvel.Torvel.XEmbedTray"); }))
        << "the icon would show twice";
    EXPECT_EQ(ask(host, "props")["IconName"].toString(), "torvel-inactive-symbolic");
    EXPECT_EQ(run({"--platform", "sim"}), 0);
    ask(host, "activate");
    EXPECT_TRUE(waitUntil([this] { return active(); }));
}

TEST_F(TrayEndToEndTest, XEmbedTrayHelperDocksTheIconAndDrivesTorvelThroughItsClickAndMenu) {
    if (!QFile::exists("/usr/bin/trayer") || !QFile::exists("/usr/bin/xdotool"))
        GTEST_SKIP() << "trayer or xdotool is not installed";
    QProcess& torvel = startTorvel();
    // No StatusNotifier host takes the item: Torvel starts its XEmbed helper, which waits for a tray.
    const QString helperName = "com.torvel.Torvel.XEmbedTray";
    ASSERT_TRUE(waitUntil([&] { return bus_.owns(helperName); }))
        << "the helper never came: " << torvel.readAllStandardError().toStdString();
    const uint helper = bus_.connection().interface()->servicePid(helperName).value();
    ASSERT_NE(helper, 0u);
    start("/usr/bin/trayer", {"--edge", "top", "--align", "left", "--widthtype", "request", "--height", "24",
                              "--SetDockType", "false"});
    // The docked icon is the helper's one visible window; Torvel itself has none.
    const auto visibleWindows = [this](uint pid) {
        QProcess tool;
        tool.setProcessEnvironment(environment_);
        tool.start("/usr/bin/xdotool", {"search", "--onlyvisible", "--pid", QString::number(pid)});
        tool.waitForFinished(5000);
        return QString::fromUtf8(tool.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    QString window;
    ASSERT_TRUE(waitUntil([&] {
        const auto windows = visibleWindows(helper);
        window = windows.isEmpty() ? QString() : windows.first().trimmed();
        return !window.isEmpty();
    })) << "the icon never appeared in the tray";
    EXPECT_TRUE(visibleWindows(static_cast<uint>(torvel.processId())).isEmpty());

    // A left click is the item's Activate: it toggles.
    xdotool({"mousemove", "--window", window, "5", "5", "click", "1"});
    EXPECT_TRUE(waitUntil([this] { return active(); }));

    // A right click opens the menu Torvel exports, read as it opens; its last entry quits Torvel.
    xdotool({"mousemove", "--window", window, "5", "5", "click", "3"});
    ASSERT_TRUE(waitUntil([&] { return visibleWindows(helper).size() == 2; })) << "no menu opened";
    xdotool({"key", "Up", "Return"});
    ASSERT_TRUE(torvel.waitForFinished(10000)) << "the menu's Quit did not reach Torvel";
    EXPECT_EQ(torvel.exitCode(), 0);
    const QString log = QString::fromUtf8(torvel.readAllStandardError());
    EXPECT_TRUE(log.contains("Tray icon shown in the XEmbed tray")) << log.toStdString();
    EXPECT_TRUE(log.contains("0 keep-awake assertions held at exit")) << log.toStdString();

    // The helper ends with Torvel.
    EXPECT_TRUE(waitUntil([&] { return !bus_.owns(helperName) && ::kill(static_cast<pid_t>(helper), 0) != 0; }))
        << "the helper outlived Torvel";
}

// A shell extension that shows Torvel in the desktop's own panel owns its name: meanwhile no tray icon.
TEST_F(TrayEndToEndTest, TheIconGivesWayWhileTheShellExtensionShowsTorvelAndComesBackAfter) {
    QProcess& host = start("/usr/bin/python3", {kHost});
    QProcess& torvel = startTorvel();
    const QString first = ask(host, "wait-item")["item"].toString();
    ASSERT_FALSE(first.isEmpty());
    EXPECT_EQ(first, torvelConnection());
    EXPECT_NE(first, bus_.connection().interface()->serviceOwner("com.torvel.Torvel").value())
        << "the item must not live on the connection that holds Torvel's own interface";

    QDBusConnection extension = QDBusConnection::connectToBus(bus_.address(), "torvel-shell-extension");
    ASSERT_TRUE(extension.interface()->registerService(kExtensionName).isValid());
    // The watcher forgets the item only when its connection goes: Torvel closed it.
    EXPECT_TRUE(ask(host, "wait-gone")["items"].toArray().isEmpty());
    EXPECT_FALSE(bus_.owns(kTrayName));
    EXPECT_TRUE(waitUntil([&] { return logged(torvel, kWithdrawn); })) << log_.toStdString();
    EXPECT_TRUE(bus_.owns("com.torvel.Torvel")) << "the resident itself stays";
    // A second launch finds Torvel shown: by the extension.
    const auto shown = bus_.connection().call(
        QDBusMessage::createMethodCall("com.torvel.Torvel", "/com/torvel/Torvel", "com.torvel.Torvel1", "ShowTray"));
    EXPECT_TRUE(shown.arguments().value(0).toBool()) << shown.errorMessage().toStdString();
    EXPECT_EQ(ask(host, "registrations")["count"].toInt(), 1);

    // The extension turned off: the icon is offered again, on a new connection.
    ASSERT_TRUE(extension.interface()->unregisterService(kExtensionName).isValid());
    const QString again = ask(host, "wait-item")["item"].toString();
    ASSERT_FALSE(again.isEmpty()) << "the icon was not offered again";
    EXPECT_NE(again, first);
    EXPECT_EQ(again, torvelConnection());
    EXPECT_EQ(ask(host, "props")["IconName"].toString(), "torvel-inactive-symbolic");
    EXPECT_TRUE(waitUntil([&] { return logged(torvel, "Tray icon shown as a StatusNotifierItem"); }));
    ask(host, "activate");
    EXPECT_TRUE(waitUntil([this] { return active(); }));
    QDBusConnection::disconnectFromBus("torvel-shell-extension");
}

TEST_F(TrayEndToEndTest, StartedWhileTheShellExtensionShowsTorvelItOffersNoIconAndTellsOfNoMissingTray) {
    std::optional<QDBusConnection> extension =
        QDBusConnection::connectToBus(bus_.address(), "torvel-shell-extension");
    ASSERT_TRUE(extension->interface()->registerService(kExtensionName).isValid());
    QProcess& host = start("/usr/bin/python3", {kHost});
    ask(host, "registrations");  // the watcher is up before Torvel
    QProcess& torvel = startTorvel();
    ASSERT_TRUE(waitUntil([&] { return logged(torvel, kWithdrawn); })) << log_.toStdString();
    // Not even offered for a moment: the watcher took no registration. Past the grace period nobody
    // was told of a missing tray, and the first-start hint waits for an icon it can point at.
    constexpr int kPastTheGracePeriodMs = 4500;  // Torvel reports a missing tray 3 s after an offer
    waitUntil([] { return false; }, kPastTheGracePeriodMs);
    EXPECT_EQ(ask(host, "registrations")["count"].toInt(), 0);
    EXPECT_FALSE(bus_.owns(kTrayName));
    EXPECT_FALSE(bus_.owns("com.torvel.Torvel.XEmbedTray"));
    EXPECT_FALSE(logged(torvel, "No tray shows Torvel's icon")) << log_.toStdString();
    EXPECT_FALSE(logged(torvel, "First-start hint")) << log_.toStdString();

    // The shell ends: the bus releases the name with its connection.
    extension.reset();
    QDBusConnection::disconnectFromBus("torvel-shell-extension");
    const QString item = ask(host, "wait-item")["item"].toString();
    EXPECT_EQ(item, torvelConnection());
    EXPECT_TRUE(waitUntil([&] { return logged(torvel, "Tray icon shown as a StatusNotifierItem"); }));
    EXPECT_TRUE(waitUntil([&] { return logged(torvel, "First-start hint"); })) << "the hint stayed due";
}

}  // namespace

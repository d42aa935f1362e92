// The tray of the real torvel executable seen by GNOME's own StatusNotifier host: a headless
// gnome-shell with Debian's AppIndicator extension, Torvel drawing on the shell's Wayland socket. What
// the top bar shows is read through the shell's Eval.
#include <gtest/gtest.h>

#include <QDBusVariant>
#include <QRegularExpression>

#include "GnomeShellSession.h"

namespace {

using torvel::apptest::GnomeShellSession;
using torvel::apptest::waitUntil;

constexpr const char* kExtension = "ubuntu-appindicators@ubuntu.com";

class GnomeShellHostTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (!GnomeShellSession::available() ||
            !QDir(QString("/usr/share/gnome-shell/extensions/") + kExtension).exists()) {
            if (qEnvironmentVariableIsSet("CI")) FAIL() << "gnome-shell or its AppIndicator extension is missing";
            GTEST_SKIP() << "gnome-shell or gnome-shell-extension-appindicator is not installed";
        }
        std::string error;
        ASSERT_TRUE(shell_.start({kExtension}, error)) << error;
        ASSERT_TRUE(waitUntil([this] { return session().owns("org.kde.StatusNotifierWatcher"); }, 30000))
            << "gnome-shell never offered the watcher" << logTail("gnome-shell");
        torvelEnvironment_ = shell_.torvelEnvironment();
    }

    std::string logTail(const QString& program) const { return shell_.logTail(program); }
    QProcess& start(const QString& program, const QStringList& args, const QProcessEnvironment& environment) {
        return shell_.start(program, args, environment);
    }
    QString path(const QString& relative) const { return shell_.path(relative); }

    /// `code` evaluated with `i` bound to the top-bar button the extension made for `item`.
    QJsonValue onButton(const QString& item, const QString& code) {
        return shell_.eval(QString("const i = Main.panel.statusArea['appindicator-%1']; %2").arg(item, code));
    }

    int run(const QStringList& args) { return torvel::apptest::runTorvel(torvelEnvironment_, args).exitCode; }
    bool active() { return torvel::apptest::statusOf(torvelEnvironment_)["active"].toBool(); }

    GnomeShellSession shell_;
    torvel::apptest::PrivateBus& session() { return shell_.session(); }
    QProcessEnvironment torvelEnvironment_;
};

TEST_F(GnomeShellHostTest, TopBarShowsTheItemWithItsLabelAndDrivesTorvel) {
    QProcess& torvel = start(TORVEL_EXECUTABLE, {"--platform", "sim"}, torvelEnvironment_);
    ASSERT_TRUE(waitUntil([this] { return session().owns("com.torvel.Torvel"); }))
        << "torvel did not start" << logTail("torvel");
    // The item is known by the connection it lives on, com.torvel.Torvel.Tray's, and its path.
    ASSERT_TRUE(waitUntil([this] { return session().owns("com.torvel.Torvel.Tray"); }))
        << "torvel offered no tray icon" << logTail("torvel");
    const QString item =
        session().connection().interface()->serviceOwner("com.torvel.Torvel.Tray").value() + "@/StatusNotifierItem";
    ASSERT_TRUE(waitUntil([&] {
        auto get = QDBusMessage::createMethodCall("org.kde.StatusNotifierWatcher", "/StatusNotifierWatcher",
                                                  "org.freedesktop.DBus.Properties", "Get");
        get << "org.kde.StatusNotifierWatcher"
            << "RegisteredStatusNotifierItems";
        const QDBusMessage reply = session().connection().call(get, QDBus::Block, 2000);
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

#pragma once

// A headless gnome-shell of a test's own: private session and system buses (logind and upower from
// dbusmock), the shell drawing on a virtual monitor, its extensions read from a temporary data folder.
// What the shell shows is read through its Eval, which a two-line extension of the test's own unlocks.
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <optional>

#include "TorvelProcess.h"

namespace torvel::apptest {

class GnomeShellSession {
public:
    static constexpr const char* kShell = "/usr/bin/gnome-shell";
    static constexpr const char* kEvalExtension = "eval-unlock@torvel-tests";

    /// Whether this machine can run the shell; a test skips without it (and fails in CI).
    static bool available() { return QFile::exists(kShell); }

    /// Writes the Eval extension and the buses' configuration. With `startsServices` the session bus
    /// starts on demand the services written to path("services"); otherwise it starts none.
    explicit GnomeShellSession(bool startsServices = false) {
        const QString services = startsServices ? "<servicedir>" + path("services") + "</servicedir>" : QString();
        write("bus.conf", QString(R"(<busconfig>
  <type>session</type>
  <listen>unix:tmpdir=/tmp</listen>
  <auth>EXTERNAL</auth>%1
  <policy context="default">
    <allow send_destination="*" eavesdrop="true"/><allow eavesdrop="true"/><allow own="*"/>
  </policy>
</busconfig>
)")
                              .arg(services));
        const QString extension = QString("data/gnome-shell/extensions/%1/").arg(kEvalExtension);
        write(extension + "metadata.json",
              QString(R"({"uuid": "%1", "name": "Eval for tests", "description": "-", "shell-version": ["43"]})")
                  .arg(kEvalExtension));
        write(extension + "extension.js",
              "function init() {}\n"
              "function enable() { global.context.unsafe_mode = true; }\n"
              "function disable() {}\n");
        QDir(root_.path()).mkpath("run");
        QFile::setPermissions(path("run"), QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    }

    /// Starts the buses, the mocks and the shell with `extensions` enabled (besides the Eval one), and
    /// waits until Eval answers; false (with the reason in `error`) when something did not come up.
    bool start(const QStringList& extensions, std::string& error) {
        QStringList enabled;
        for (const QString& uuid : extensions + QStringList{kEvalExtension}) enabled << "'" + uuid + "'";
        write("config/glib-2.0/settings/keyfile",
              QString("[org/gnome/shell]\nenabled-extensions=[%1]\ndisable-user-extensions=false\n"
                      "disable-extension-version-validation=true\n")
                  .arg(enabled.join(", ")));
        system_.emplace("gnome-session-system", path("bus.conf"));
        session_.emplace("gnome-session-session", path("bus.conf"));
        if (!system_->connected() || !session_->connected()) return error = "dbus-daemon did not start", false;
        QProcessEnvironment mocks = QProcessEnvironment::systemEnvironment();
        mocks.insert("DBUS_SYSTEM_BUS_ADDRESS", system_->address());
        for (const char* name : {"logind", "upower"})
            start("/usr/bin/python3", {"-m", "dbusmock", "--system", "--template", name}, mocks);
        if (!waitUntil([this] {
                return system_->owns("org.freedesktop.login1") && system_->owns("org.freedesktop.UPower");
            }))
            return error = "the dbusmock templates did not start", false;

        QProcessEnvironment shell;
        shell.insert("PATH", qEnvironmentVariable("PATH", "/usr/bin:/bin"));
        shell.insert("LANG", "C.UTF-8");
        shell.insert("GSETTINGS_BACKEND", "keyfile");
        shell.insert("DBUS_SYSTEM_BUS_ADDRESS", system_->address());
        shell.insert("DBUS_SESSION_BUS_ADDRESS", session_->address());
        const std::pair<const char*, const char*> folders[] = {{"HOME", "home"},           {"XDG_RUNTIME_DIR", "run"},
                                                               {"XDG_CONFIG_HOME", "config"}, {"XDG_DATA_HOME", "data"},
                                                               {"XDG_CACHE_HOME", "cache"}};
        for (const auto& [name, folder] : folders) shell.insert(name, path(folder));
        start(kShell,
              {"--headless", "--wayland", "--no-x11", "--virtual-monitor", "1280x800", "--wayland-display",
               "wayland-torvel"},
              shell);
        if (!waitUntil([this] { return eval("1") == QJsonValue(1); }, 30000))
            return error = "gnome-shell never answered Eval: " + logTail("gnome-shell"), false;
        return true;
    }

    /// The environment of a Torvel (or a torvel command) on the shell's session (once started), its
    /// settings in the session's own folder.
    QProcessEnvironment torvelEnvironment() const {
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        if (session_) environment.insert("DBUS_SESSION_BUS_ADDRESS", session_->address());
        environment.insert("XDG_RUNTIME_DIR", path("run"));
        environment.insert("WAYLAND_DISPLAY", "wayland-torvel");
        environment.insert("XDG_CURRENT_DESKTOP", "GNOME");
        environment.insert("XDG_CONFIG_HOME", path("torvel"));
        environment.insert("TORVEL_LOG_CONSOLE", "1");
        environment.insert("LANGUAGE", "en");
        for (const char* name : {"TORVEL_PLATFORM", "DISPLAY", "QT_QPA_PLATFORM"}) environment.remove(name);
        return environment;
    }

    QString path(const QString& relative) const { return root_.filePath(relative); }
    /// The session bus; only after start() succeeded.
    PrivateBus& session() { return session_.value(); }

    /// The end of what `program` wrote, for a failure message.
    std::string logTail(const QString& program) const { return "\n" + log(program).right(4000).toStdString(); }
    QByteArray log(const QString& program) const {
        QFile file(path(program + ".log"));
        return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
    }

    void write(const QString& relative, const QString& text) {
        QDir(root_.path()).mkpath(QFileInfo(path(relative)).path());
        QFile file(path(relative));
        EXPECT_TRUE(file.open(QIODevice::WriteOnly) && file.write(text.toUtf8()) == text.toUtf8().size())
            << relative.toStdString();
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

private:
    QTemporaryDir root_;
    std::optional<PrivateBus> system_, session_;
    Processes processes_;  // ended before the buses, the last started first
};

}  // namespace torvel::apptest

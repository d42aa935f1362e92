// The torvel command: runs the instance (with the tray when a display is there) or talks to the running
// one over the session bus.
#include <signal.h>
#include <sys/stat.h>
#include <xcb/xcb.h>

#include <QCoreApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

#include "App/AppDelegate.h"
#include "App/CommandLine.h"
#include "App/DBusService.h"
#include "App/PrivateBusAddress.h"
#include "App/SimulationService.h"
#include "App/StartupCallHolder.h"
#include "App/TrayFace.h"
#include "State/AppState.h"
#include "Core/TimerManager.h"
#include "Platform/Linux/Doctor/Doctor.h"
#include "Platform/Sim/SimWorkspace.h"
#include "Support/Localization.h"
#include "App/WindowLauncher.h"

using namespace torvel;

namespace {

/// A connection to the X server held from the check until Qt has its own: an X server whose last client
/// leaves resets, and would refuse Qt while it does.
using DisplayProbe = std::unique_ptr<xcb_connection_t, decltype(&xcb_disconnect)>;

/// Whether a display server answers: Wayland's socket is there, or the X server takes a connection
/// (then `probe` keeps it). A stale DISPLAY (an SSH login) must not end the program where Qt would abort.
bool displayAvailable(DisplayProbe& probe) {
    const char* wayland = std::getenv("WAYLAND_DISPLAY");
    if (wayland && *wayland) {
        const char* runtime = std::getenv("XDG_RUNTIME_DIR");
        const std::string socket =
            wayland[0] == '/' ? std::string(wayland) : std::string(runtime ? runtime : "") + "/" + wayland;
        struct stat info {};
        if (::stat(socket.c_str(), &info) == 0 && S_ISSOCK(info.st_mode)) return true;
    }
    const char* x11 = std::getenv("DISPLAY");
    if (!x11 || !*x11) return false;
    probe.reset(xcb_connect(x11, nullptr));
    if (xcb_connection_has_error(probe.get()) == 0) return true;
    probe.reset();
    return false;
}

/// A second `torvel` (the desktop entry opened again) asks the running one to show its tray, and where
/// no tray shows it, its settings window: the way in on a desktop without a tray. 0 when either shows.
int showRunningInstance(QDBusConnection bus) {
    constexpr int kTimeoutMs = 5000;
    auto ask = [&](const char* method, const QList<QVariant>& args = {}) {
        auto call = QDBusMessage::createMethodCall(DBusService::kServiceName, DBusService::kObjectPath,
                                                   DBusService::kInterface, method);
        call.setArguments(args);
        return bus.call(call, QDBus::Block, kTimeoutMs);
    };
    const QDBusMessage tray = ask("ShowTray");
    if (tray.type() == QDBusMessage::ReplyMessage && tray.signature() == "b" && tray.arguments().at(0).toBool())
        return CommandLine::kOk;
    if (ask("ShowSettings", {QString()}).type() == QDBusMessage::ReplyMessage) return CommandLine::kOk;
    std::fputs("torvel: Torvel is already running, but without windows and with no tray showing its icon (it "
               "may run with --headless; see torvel --doctor)\n",
               stderr);
    return CommandLine::kFailed;
}

/// Whether Qt is told to draw without a display server (QT_QPA_PLATFORM=offscreen): the windows then
/// exist, only nobody sees them, as in tests and screenshots.
bool drawsOffscreen() {
    const char* platform = std::getenv("QT_QPA_PLATFORM");
    return platform && std::string_view(platform).starts_with("offscreen");
}

int runInstance(char** argv, AppDelegate::Machine machine, bool withTray, DisplayProbe probe) {
    // SIGTERM, SIGINT and SIGHUP (the terminal went away) are blocked before Qt starts its threads,
    // so that every thread inherits the mask and the signals wait on the delegate's signalfd for the
    // quit path.
    const sigset_t set = AppDelegate::terminationSignals();
    pthread_sigmask(SIG_BLOCK, &set, nullptr);

    // Qt Core and D-Bus only: the windows run in a process of their own and the classic tray in a
    // helper, so the resident maps no GUI library. Qt reads "--platform" as its own option: it gets the
    // program name alone.
    static int qtArgc = 1;
    static char* qtArgv[] = {argv[0], nullptr};
    // Qt's own event loops rather than GLib's: nothing here shares a GLib loop, and GLib's costs memory
    // for as long as Torvel runs. Only for this process's threads, which start with the application,
    // the bus connection and the delegate: the windows and the tray helper it starts later take the
    // desktop's usual loop.
    const bool dispatcherChosen = qEnvironmentVariableIsSet("QT_NO_GLIB");
    if (!dispatcherChosen) qputenv("QT_NO_GLIB", "1");
    QCoreApplication app(qtArgc, qtArgv);
    QCoreApplication::setApplicationVersion(QStringLiteral(TORVEL_VERSION));
    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "torvel: cannot reach the session bus: %s\n",
                     bus.lastError().message().toUtf8().constData());
        return CommandLine::kFailed;
    }
    // The name first, before anything is built: of two instances started together the loser learns
    // it at once. Calls that arrive while the rest is built wait in the holder, not refused.
    StartupCallHolder holder(bus, DBusService::kObjectPath);
    if (!holder.install()) {
        std::fputs("torvel: cannot export the Torvel object on the session bus\n", stderr);
        return CommandLine::kFailed;
    }
    QString error;
    if (!DBusService::claimName(bus, error)) {
        if (withTray && bus.interface()->isServiceRegistered(DBusService::kServiceName).value())
            return showRunningInstance(bus);
        std::fprintf(stderr, "torvel: %s\n", error.toUtf8().constData());
        return CommandLine::kFailed;
    }
    AppDelegate delegate(machine, withTray);
    if (!dispatcherChosen) qunsetenv("QT_NO_GLIB");
    probe.reset();  // the screens' and the screen saver's adapters hold connections of their own now
    DBusService service(delegate);
    SimulationService simulation(delegate);
    holder.release([&] {
        if (!service.exportOn(bus)) std::fputs("torvel: cannot export the Torvel object\n", stderr);
        if (machine == AppDelegate::Machine::simulated && !simulation.registerOn(bus))
            std::fputs("torvel: the simulated machine cannot be changed from outside (cannot export it)\n",
                       stderr);
    });
    if (!delegate.handleTerminationSignals()) pthread_sigmask(SIG_UNBLOCK, &set, nullptr);
    delegate.quitWhenDisconnected(bus);
    // Commands from other terminals cannot find a private bus by themselves: leave its address.
    const std::string recordFolder = PrivateBusAddress::defaultFolder();
    const char* address = std::getenv("DBUS_SESSION_BUS_ADDRESS");
    const char* privateBus = std::getenv("TORVEL_PRIVATE_BUS");
    const bool recordBus = address && privateBus && std::string_view(privateBus) == "1";
    if (recordBus) {
        if (auto why = PrivateBusAddress::record(recordFolder, address))
            std::fprintf(stderr, "torvel: other terminals cannot reach this private bus: %s\n", why->c_str());
    }
    // The early calls are carried out once the loop runs, so after the saved session is back.
    delegate.finishLaunching();
    if (withTray) delegate.startDesktopTray();
    const int status = QCoreApplication::exec();
    delegate.quit();
    if (recordBus) PrivateBusAddress::remove(recordFolder, address);
    if (machine == AppDelegate::Machine::simulated)
        std::fprintf(stderr, "torvel: simulated machine: %zu keep-awake assertions held at exit\n",
                     delegate.simulatedAssertionsHeld());
    return status;
}

// The windows are drawn by the window process: the screenshots too, against the simulated machine.
int runScreenshotCommand(const CommandLine& command) {
    const QString program = WindowLauncher::program();
    if (program.isEmpty()) {
        std::fputs("torvel: the window process (torvel-windows) is not installed beside torvel\n", stderr);
        return CommandLine::kFailed;
    }
    const QByteArray path = program.toLocal8Bit();
    std::vector<const char*> words{path.constData(), "--screenshot", command.text.c_str()};
    if (!command.language.empty()) {
        words.push_back("--lang");
        words.push_back(command.language.c_str());
    }
    words.push_back(nullptr);
    ::execv(path.constData(), const_cast<char* const*>(words.data()));
    std::fprintf(stderr, "torvel: cannot start %s: %s\n", path.constData(), std::strerror(errno));
    return CommandLine::kFailed;
}

}  // namespace

int main(int argc, char** argv) {
    // A file size limit (ulimit -f) must fail a write with EFBIG, as a full disk fails it with
    // ENOSPC, not end the program before it can say so or release what it holds.
    ::signal(SIGXFSZ, SIG_IGN);
    const auto command =
        CommandLine::parse(std::vector<std::string>(argv + 1, argv + argc), std::getenv("TORVEL_PLATFORM"));
    switch (command.action) {
        case CommandLine::Action::help:
            std::fputs(command.text.c_str(), stdout);
            return CommandLine::kOk;
        case CommandLine::Action::version:
            std::printf("torvel %s\n", TORVEL_VERSION);
            return CommandLine::kOk;
        case CommandLine::Action::usage:
            std::fprintf(stderr, "torvel: %s\nTry 'torvel --help'.\n", command.text.c_str());
            return CommandLine::kUsage;
        case CommandLine::Action::screenshot:
            return runScreenshotCommand(command);
        case CommandLine::Action::run: {
            DisplayProbe probe(nullptr, &xcb_disconnect);
            const bool withTray = !command.headless && (drawsOffscreen() || displayAvailable(probe));
            return runInstance(argv, command.machine, withTray, std::move(probe));
        }
        case CommandLine::Action::doctor: {
            QCoreApplication app(argc, argv);
            const auto findings = examineDesktop(QDBusConnection::systemBus(), QDBusConnection::sessionBus());
            std::fputs(formatDoctorReport(findings).c_str(), stdout);
            return CommandLine::kOk;
        }
        default: {
            QCoreApplication app(argc, argv);
            auto bus = clientBus();
            // A URL handler must work when Torvel is not running yet: start it (it inherits
            // TORVEL_PLATFORM), then hand the URL over. For a window only where one can show: a Torvel
            // started without a display would run on, headless, only to say it has none.
            const bool wantsWindow =
                command.action == CommandLine::Action::showSettings || command.action == CommandLine::Action::showAbout;
            DisplayProbe probe(nullptr, &xcb_disconnect);
            const bool canStart = !wantsWindow || drawsOffscreen() || displayAvailable(probe);
            probe.reset();
            std::function<bool()> start;
            if (canStart) start = [&] { return startDetachedInstance(QCoreApplication::applicationFilePath(), bus); };
            const int status = runClient(command, bus, stdout, stderr, start);
            // A command has nothing left to clean up. Leaving at once also keeps the bus library's
            // thread from decoding a late message while Qt's type registry is torn down at exit,
            // which printed "invalid type" warnings after an error reply.
            std::fflush(stdout);
            std::fflush(stderr);
            std::_Exit(status);
        }
    }
}

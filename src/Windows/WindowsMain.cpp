// torvel-windows: Torvel's windows (settings, about, the custom-duration panel, the first-start hint) in
// a short-lived process of their own, started by the running Torvel for each window asked for. It reads
// and changes Torvel only through its D-Bus interface and ends when its last window closes.
//
//   torvel-windows settings [TAB] | about | custom-duration | onboarding [X Y]
//   torvel-windows --screenshot DIR [--lang en|cs]   (what `torvel --screenshot` hands over)
//
// A second start while one runs hands its request (and its XDG activation token) to the running one.
#include <QApplication>
#include <QDBusConnection>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusServiceWatcher>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>

#include "Models/AppLanguage.h"
#include "Models/Calendar.h"
#include "Platform/Linux/Desktop/JournalLogSink.h"
#include "Platform/Linux/Desktop/SystemClock.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Support/Localization.h"
#include "Views/ApplicationIdentity.h"
#include "Views/Windows.h"
#include "Windows/BusWindowModel.h"
#include "Windows/ScreenshotCommand.h"
#include "Windows/WindowProcess.h"

using namespace torvel;

namespace {

constexpr int kOk = 0;
constexpr int kFailed = 1;
constexpr int kUsage = 2;
constexpr const char* kTorvelService = "com.torvel.Torvel";

/// The activation token this start was given, taken out of the environment so that only the window
/// it was meant for uses it.
std::string takeActivationToken() {
    const char* token = std::getenv("XDG_ACTIVATION_TOKEN");
    std::string taken = token ? token : "";
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    return taken;
}

/// Hands the request to the window process that owns the name; 0 when it took it.
int forward(QDBusConnection bus, const QStringList& words, const std::string& token) {
    auto call = QDBusMessage::createMethodCall(WindowProcess::kServiceName, WindowProcess::kObjectPath,
                                               WindowProcess::kInterface, "Show");
    call << words.first() << QStringList(words.mid(1)).join(' ') << QString::fromStdString(token);
    call.setAutoStartService(false);
    const QDBusMessage reply = bus.call(call, QDBus::Block, 10000);
    if (reply.type() == QDBusMessage::ReplyMessage) return kOk;
    std::fprintf(stderr, "torvel-windows: the running window process did not take the request: %s\n",
                 reply.errorMessage().toUtf8().constData());
    return kFailed;
}

/// Torvel's resources: as the resident finds them (it passes them on in TORVEL_RESOURCES), else from
/// <prefix>/libexec/torvel up to <prefix>/share/torvel.
std::filesystem::path resources() {
    if (auto found = resourcesDirectory(); !found.empty()) return found;
    const std::filesystem::path installed =
        std::filesystem::path(QCoreApplication::applicationDirPath().toStdString()) / "../../share/torvel";
    return std::filesystem::is_directory(installed) ? installed.lexically_normal() : std::filesystem::path();
}

}  // namespace

int main(int argc, char** argv) {
    // The resident has checked these words (torvel --screenshot DIR [--lang en|cs]).
    if (argc >= 3 && std::string_view(argv[1]) == "--screenshot") {
        const bool language = argc == 5 && std::string_view(argv[3]) == "--lang";
        if (argc != 3 && !language) {
            std::fputs("usage: torvel-windows --screenshot DIR [--lang en|cs]\n", stderr);
            return kUsage;
        }
        return runScreenshotCommand(1, argv, argv[2], language ? argv[4] : "");
    }
    QStringList words;
    for (int i = 1; i < argc; ++i) words << QString::fromLocal8Bit(argv[i]);
    QString error;
    const auto request = WindowRequest::parse(words, error);
    if (!request) {
        std::fprintf(stderr, "torvel-windows: %s\n", error.toUtf8().constData());
        return kUsage;
    }
    const std::string token = takeActivationToken();
    static int qtArgc = 1;
    static char* qtArgv[] = {argv[0], nullptr};
    QApplication app(qtArgc, qtArgv);
    setUpApplicationIdentity(QStringLiteral(TORVEL_VERSION));

    auto bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) {
        std::fprintf(stderr, "torvel-windows: cannot reach the session bus: %s\n",
                     bus.lastError().message().toUtf8().constData());
        return kFailed;
    }
    // Only a running Torvel is talked to: asking an absent one would have the bus start it.
    if (!bus.interface()->isServiceRegistered(kTorvelService).value()) {
        std::fputs("torvel-windows: Torvel is not running on this session bus (start it with torvel)\n",
                   stderr);
        return kFailed;
    }
    const auto claimed = bus.interface()->registerService(WindowProcess::kServiceName,
                                                          QDBusConnectionInterface::DontQueueService,
                                                          QDBusConnectionInterface::DontAllowReplacement);
    if (!claimed.isValid() || claimed.value() != QDBusConnectionInterface::ServiceRegistered)
        return forward(bus, words, token);

    JournalLogSink log;
    SystemClock clock;
    Localization texts(log, resources());
    BusWindowModel model(bus, texts, clock, log);
    if (!model.load(error)) {
        std::fprintf(stderr, "torvel-windows: Torvel does not answer: %s\n", error.toUtf8().constData());
        return kFailed;
    }
    // The texts in Torvel's language, whatever this process's locale says.
    const auto followLanguage = [&] {
        texts.updateBundle(appLanguageFromRaw(model.language()).value_or(AppLanguage::en));
    };
    followLanguage();
    model.languageChanged = followLanguage;

    const Calendar calendar = Calendar::current();
    Windows windows(model, texts, calendar, clock);
    WindowProcess process(windows);
    if (!bus.registerObject(WindowProcess::kObjectPath, &process, QDBusConnection::ExportAllSlots)) {
        std::fputs("torvel-windows: cannot export the window process on the session bus\n", stderr);
        return kFailed;
    }
    // Torvel going away leaves the windows nothing to show.
    QObject::connect(
        new QDBusServiceWatcher(kTorvelService, bus, QDBusServiceWatcher::WatchForUnregistration, &app),
        &QDBusServiceWatcher::serviceUnregistered, &app, [] { QApplication::exit(kFailed); });
    if (!process.show(*request, token)) return kOk;  // the hint was seen already: nothing to show
    return QApplication::exec();
}

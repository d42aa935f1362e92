#include "Windows/ScreenshotCommand.h"

#include <QApplication>
#include <QTemporaryDir>

#include "App/AppDelegate.h"
#include "App/CommandLine.h"
#include "App/TrayFace.h"
#include "Platform/Sim/SimWorkspace.h"
#include "State/AppState.h"
#include "Views/ApplicationIdentity.h"
#include "Views/Screenshots.h"

namespace torvel {

int runScreenshotCommand(int argc, char** argv, const std::string& folder, const std::string& language) {
    qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir config;
    if (!config.isValid()) return CommandLine::kFailed;
    qputenv("XDG_CONFIG_HOME", config.path().toUtf8());
    QApplication app(argc, argv);
    setUpApplicationIdentity(QStringLiteral(TORVEL_VERSION));
    AppDelegate delegate(AppDelegate::Machine::simulated);
    auto& state = delegate.state();
    if (!language.empty())
        state.set(&SettingsValues::language, language == "cs" ? AppLanguage::cs : AppLanguage::en);
    delegate.simulatedMachine()->workspace->launch("org.gnome.Builder", "Builder");
    delegate.simulatedMachine()->workspace->launch("org.mozilla.firefox", "Firefox");
    addScreenshotExamples(state);
    QCoreApplication::processEvents();
    TrayFace face(delegate);
    const int status = runScreenshots({state, delegate.texts(), delegate.calendar(), delegate.clock(),
                                       QString::fromStdString(folder), face.functions().buildMenu});
    delegate.quit();
    return status;
}

}  // namespace torvel

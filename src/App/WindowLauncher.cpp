#include "App/WindowLauncher.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QProcess>
#include <cstdlib>

#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Tray/ActivationToken.h"

namespace torvel {

WindowLauncher::WindowLauncher(LogSink& log) : log_(log, "Windows") {}

QString WindowLauncher::program() {
    return QString::fromStdString(helperProgram("torvel-windows").string());
}

bool WindowLauncher::open(const QStringList& words) {
    const QString path = program();
    if (path.isEmpty()) {
        log_.error("The window process (torvel-windows) is not installed beside torvel: no window for {}",
                   words.join(' ').toStdString());
        return false;
    }
    // The token of the click that asked (a StatusNotifier host's), for that window only: taken out of
    // this process's environment, where nothing else may use it.
    applyPendingActivationToken();
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    ::unsetenv("XDG_ACTIVATION_TOKEN");
    // The texts it shows are the ones this instance uses, wherever the window program is installed.
    const auto resources = resourcesDirectory();
    if (!resources.empty()) environment.insert("TORVEL_RESOURCES", QString::fromStdString(resources.string()));
    QProcess process;
    process.setProgram(path);
    process.setArguments(words);
    process.setProcessEnvironment(environment);
    process.setStandardInputFile(QProcess::nullDevice());
    qint64 pid = 0;
    if (!process.startDetached(&pid)) {
        log_.error("The window process could not be started for {}: {}", words.join(' ').toStdString(),
                   process.errorString().toStdString());
        return false;
    }
    log_.info("Window process {} started for {}", pid, words.join(' ').toStdString());
    return true;
}

}  // namespace torvel

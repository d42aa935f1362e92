#pragma once

#include <QString>
#include <QStringList>

#include "Platform/Log.h"

namespace torvel {

/// Starts the window process (torvel-windows) for the resident, without waiting for it: the windows run
/// apart from the process that keeps the computer awake, and end with their last window.
class WindowLauncher {
public:
    explicit WindowLauncher(LogSink& log);

    /// Where torvel-windows is: next to this program (the build tree), else in the libexec folder
    /// beside the bin folder it was installed to. Empty when neither holds it.
    static QString program();
    /// Starts torvel-windows with `words` ("settings", "battery"), handing it the activation token a
    /// tray host gave for the click, if one is pending. False (logged) when it cannot be started.
    bool open(const QStringList& words);

private:
    Logger log_;
};

}  // namespace torvel

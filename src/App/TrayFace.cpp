#include "App/TrayFace.h"

#include <QCoreApplication>

#include "App/AppDelegate.h"
#include "State/AppState.h"
#include "Core/SleepPreventionService.h"

namespace torvel {

namespace {

MenuBuilderServices menuServices(AppDelegate& delegate) {
    return MenuBuilderServices{delegate.state(),         delegate.timer(), delegate.notifications(),
                               delegate.sleepPrevention(), delegate.clock(), delegate.calendar()};
}

}  // namespace

TrayFace::TrayFace(AppDelegate& delegate)
    : delegate_(delegate),
      launcher_(delegate.logSink()),
      menu_(menuServices(delegate),
            MenuCommands{
                [this](std::optional<std::string> tab) {
                    launcher_.open(tab ? QStringList{"settings", QString::fromStdString(*tab)}
                                       : QStringList{"settings"});
                },
                [this] { launcher_.open({"custom-duration"}); },
                [this] { launcher_.open({"about"}); },
                // The quit path runs once the loop has ended.
                [] { QCoreApplication::exit(0); },
            }),
      presenter_(delegate.state(), delegate.timer()) {}

TrayFunctions TrayFace::functions() {
    TrayFunctions tray;
    tray.buildMenu = [this] { return menu_.build(); };
    tray.menuWillOpen = [this] { menu_.willOpen(); };
    tray.perform = [this](const MenuItem& item) { menu_.perform(item); };
    tray.present = [this] { return presenter_.present(); };
    tray.toggle = [this] { delegate_.state().toggle(); };
    tray.labelShowsTime = [this] { return presenter_.shownText() == TimerManager::ShownText::minutes; };
    return tray;
}

}  // namespace torvel

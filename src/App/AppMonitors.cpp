#include "App/AppMonitors.h"

#include "App/AppServices.h"
#include "App/MachineParts.h"

namespace torvel {

AppMonitors::AppMonitors(MachineParts& machine, const SystemLocale& locale, const Clock& clock,
                         Scheduler& scheduler, LogSink& log)
    : battery(*machine.powerSources, clock, log),
      displays(*machine.screens, log),
      mirroring(*machine.displayConfiguration, scheduler, log),
      wifi(*machine.wifi, log),
      thermal(*machine.thermal, scheduler, log),
      lid(*machine.lid, log),
      processes(*machine.workspace, locale, log) {}

WiredMonitors AppMonitors::forWiring(AppServices& services) {
    WiredMonitors wired;
    wired.battery = &battery;
    wired.blockers = &services.blockers;
    wired.emergencySleep = &services.emergencySleep;
    wired.displays = &displays;
    wired.mirroring = &mirroring;
    wired.wifi = &wifi;
    wired.thermal = &thermal;
    wired.lid = &lid;
    wired.processes = &processes;
    return wired;
}

}  // namespace torvel

#include "App/AppServices.h"

#include <unistd.h>

#include "App/MachineParts.h"

namespace torvel {

AppServices::AppServices(MachineParts& machine, Clock& clock_, Scheduler& scheduler_, Localization& texts_,
                         DefaultsStore& defaults_, LogSink& log_)
    : clock(clock_),
      scheduler(scheduler_),
      texts(texts_),
      defaults(defaults_),
      log(log_),
      sleepPrevention(*machine.assertions, scheduler, log),
      timer(clock, scheduler),
      notifications(*machine.notificationCenter, scheduler, texts, log),
      sessions(defaults, clock, log),
      guardian(clock, scheduler),
      audio(*machine.sounds, log),
      stayguard(*machine.stayguardHelper, log),
      lowPowerController(stayguard, *machine.lowPowerMode, notifications, texts, clock, log),
      blockers(*machine.assertionTable, *machine.processInfo, log, ::getpid(), ::getuid(),
               machine.sessionRelays.get()),
      emergencySleep(*machine.sessionAutomation, *machine.processControl, clock, scheduler, log, ::getuid()),
      loginItems(*machine.loginItem, notifications, texts, log),
      stayguardHelper(*machine.stayguardHelper) {}

AppStateServices AppServices::forState() {
    AppStateServices services{clock,           scheduler, log,           texts,    defaults,
                              sleepPrevention, timer,     notifications, sessions, guardian};
    services.audio = &audio;
    services.stayguard = &stayguard;
    services.lowPowerMode = &lowPowerController;
    services.stayguardHelper = &stayguardHelper;
    return services;
}

}  // namespace torvel

// Runs a short scripted keep-awake session on the simulated machine and prints what Torvel logs and
// holds, so the core can be watched end to end without a desktop.
#include <cstdio>
#include <cstring>
#include <memory>
#include <string>

#include "State/AppState.h"
#include "Support/Localization.h"
#include "Core/SleepPreventionService.h"
#include "Core/TimerManager.h"
#include "Monitors/BatteryMonitor.h"
#include "Platform/Linux/Desktop/EnvironmentSystemLocale.h"
#include "Platform/Linux/Helpers/ResourcePaths.h"
#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/MemoryDefaultsStore.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimNotificationCenter.h"
#include "Platform/Sim/SimPowerAssertions.h"
#include "Platform/Sim/SimPowerSources.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/DefaultsSessionPersistence.h"
#include "Services/GuardianService.h"
#include "Services/NotificationService.h"

using namespace torvel;

namespace {

void usage() {
    std::puts(
        "Usage: torvel-core-demo [--verbose]\n"
        "\n"
        "Runs a scripted keep-awake session on a simulated machine, on virtual time, and prints\n"
        "the log lines and the power assertions Torvel holds at each step.\n"
        "\n"
        "  --verbose   also print debug lines and the heartbeat's ticks\n"
        "  --help      show this text");
}

// The console log, without the heartbeat's 30-second ticks unless asked for.
class DemoLogSink : public LogSink {
public:
    explicit DemoLogSink(bool verbose)
        : stream_(stdout, verbose ? LogLevel::debug : LogLevel::info), verbose_(verbose) {}
    void write(LogLevel level, std::string_view category, std::string_view message) override {
        if (!verbose_ && message.starts_with("Heartbeat: tick")) return;
        stream_.write(level, category, message);
    }

private:
    StreamLogSink stream_;
    bool verbose_;
};

struct Demo {
    SimClock clock{Date(818035200.0)};  // 2026-12-06 00:00 UTC
    VirtualScheduler scheduler{clock};
    SimPowerAssertions assertions;
    SimPowerSources power{scheduler};
    DemoLogSink log;
    EnvironmentSystemLocale locale;
    Localization texts{log, resourcesDirectory(), &locale};
    MemoryDefaultsStore defaults;  // what survives a restart
    SleepPreventionService sleepPrevention{assertions, scheduler, log};
    TimerManager timer{clock, scheduler};
    SimNotificationCenter center{scheduler};
    NotificationService notifications{center, scheduler, texts, log};
    DefaultsSessionPersistence sessions{defaults, clock, log};
    GuardianService guardian{clock, scheduler};
    BatteryMonitor battery{power, clock, log};
    std::unique_ptr<AppState> state;
    Connection batteryConnection;

    explicit Demo(bool verbose) : log(verbose) {
        batteryConnection = battery.stateChanged.connect(
            [this](const BatteryState& s) { state->handleBatteryStateChanged(s); });
        battery.startMonitoring();
        launch();
        // After the state has loaded the language: the buttons' titles come from its string table.
        notifications.setup();
        scheduler.runPending();
    }

    /// Builds the application state from the stored settings and restores the saved session, as a
    /// launch after a quit or a crash does.
    void launch() {
        state.reset();
        state = std::make_unique<AppState>(
            AppStateServices{clock, scheduler, log, texts, defaults, sleepPrevention, timer, notifications,
                             sessions, guardian},
            Calendar::utc());
        battery.refreshState();
        state->safety().attachBatteryMonitor(battery);
        if (auto saved = sessions.loadActiveSession()) state->restoreSession(*saved);
        scheduler.runPending();
    }

    void step(const char* title) { std::printf("\n== %s\n", title); }

    void held() {
        std::string list;
        for (const auto& a : assertions.heldKeepAwake()) list += " " + a.platformType + " \"" + a.name + "\"";
        std::printf("   held:%s\n", list.empty() ? " nothing" : list.c_str());
        if (timer.isRunning()) {
            std::printf("   countdown: %s left\n",
                        Duration::formatInterval(timer.remainingSeconds()).c_str());
        }
    }

    void advance(double seconds) {
        std::printf("   ... %s later\n", Duration::formatInterval(seconds).c_str());
        scheduler.advance(seconds);
    }

    void setBattery(int percent, bool onAC) {
        power.setOnAC(onAC);
        power.setBatteryPercent(percent);
        power.emitChange();
        scheduler.runPending();
    }
};

}  // namespace

int main(int argc, char** argv) {
    bool verbose = false;
    for (int i = 1; i < argc; ++i) {
        if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
            usage();
            return 0;
        } else if (!std::strcmp(argv[i], "--verbose")) {
            verbose = true;
        } else {
            std::fprintf(stderr, "torvel-core-demo: unknown option '%s' (try --help)\n", argv[i]);
            return 2;
        }
    }

    Demo demo(verbose);
    auto state = [&demo]() -> AppState& { return *demo.state; };

    demo.step("Click the tray icon: keep awake until told otherwise");
    state().toggle();
    demo.held();

    demo.step("Turn on 'prevent display sleep' while it runs");
    state().set(&SettingsValues::preventDisplaySleep, true);
    demo.held();

    demo.step("Pick 'one hour' from the menu");
    state().set(&SettingsValues::preventDisplaySleep, false);
    state().activate(Duration::preset(Duration::Kind::oneHour));
    demo.held();
    demo.advance(45 * 60);
    demo.held();

    demo.step("An external display is plugged in and the countdown runs out");
    state().set(&SettingsValues::autoActivateOnExternalDisplay, true);
    state().updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = true; });
    demo.advance(15 * 60);
    demo.held();

    demo.step("Click the tray icon while only the display keeps it awake: automation pauses for an hour");
    state().toggle();
    demo.held();
    demo.advance(3600);
    demo.held();

    demo.step("Unplug the display and pick 'two hours'; Torvel is killed 20 minutes in and started again");
    state().updateMonitorValues([](MonitorValues& m) { m.hasExternalDisplay = false; });
    state().activate(Duration::preset(Duration::Kind::twoHours));
    demo.advance(20 * 60);
    demo.launch();
    demo.held();

    demo.step("Unplug the charger; the battery drains below the 20% limit");
    demo.setBattery(30, false);
    for (int percent = 29; percent >= 19; --percent) {
        demo.scheduler.advance(120);
        demo.setBattery(percent, false);
    }
    demo.held();

    demo.step("Plug the charger back in");
    demo.setBattery(19, true);
    demo.held();

    demo.step("Notifications posted");
    for (const auto& n : demo.center.requests())
        std::printf("   %s: %s\n", n.identifier.c_str(), n.body.c_str());
    return 0;
}

#pragma once

#include <memory>

namespace torvel {

class AssertionTable;
class DisplayConfiguration;
class Lid;
class LogSink;
class LoginItem;
class LowPowerMode;
class NotificationCenter;
class PowerAssertions;
class PowerSources;
class StayguardHelper;
class ProcessControl;
class ProcessInfo;
class ProcessRunner;
class Scheduler;
class Screens;
class SessionAutomation;
class SessionRelays;
class SimAssertionTable;
class SimDisplayConfiguration;
class SimLid;
class SimLowPowerMode;
class SimPowerAssertions;
class SimPowerSources;
class SimStayguardHelper;
class SimProcessControl;
class SimProcessInfo;
class SimScreens;
class SimSessionAutomation;
class SimSounds;
class SimThermal;
class SimWiFi;
class SimWorkspace;
class Sounds;
class SystemLocale;
class SystemSleepEvents;
class Thermal;
class WallClockChanges;
class WiFi;
class Workspace;

/// The parts of the simulated machine that can be changed from outside.
struct SimulatedMachine {
    SimPowerAssertions* assertions = nullptr;
    SimPowerSources* powerSources = nullptr;
    SimWorkspace* workspace = nullptr;
    SimThermal* thermal = nullptr;
    SimScreens* screens = nullptr;
    SimDisplayConfiguration* displayConfiguration = nullptr;
    SimWiFi* wifi = nullptr;
    SimLid* lid = nullptr;
    SimSounds* sounds = nullptr;
    SimStayguardHelper* stayguardHelper = nullptr;
    SimLowPowerMode* lowPowerMode = nullptr;
    // The low-battery emergency's view: other processes' locks, and what becomes of a sleep.
    SimAssertionTable* assertionTable = nullptr;
    SimProcessInfo* processInfo = nullptr;
    SimProcessControl* processControl = nullptr;
    SimSessionAutomation* sessionAutomation = nullptr;
};

/// The machine Torvel talks to, as its ports: the real desktop's adapters or simulated ones. Every part
/// is there but sessionRelays and processRunner, which only the desktop has.
struct MachineParts {
    /// The desktop's services. `withDisplay`: Torvel runs with the desktop; in an X11 session whose
    /// server answers RandR the screens and mirrors come from RandR, otherwise from the graphics cards.
    static MachineParts desktop(Scheduler& scheduler, const SystemLocale& locale, LogSink& log,
                                bool withDisplay);
    /// The simulated machine; `sim` points at its parts. It still follows the real clock's changes.
    static MachineParts simulated(Scheduler& scheduler, LogSink& log);

    MachineParts();
    MachineParts(MachineParts&&) noexcept;
    MachineParts& operator=(MachineParts&&) noexcept;
    ~MachineParts();

    std::unique_ptr<PowerAssertions> assertions;
    std::unique_ptr<PowerSources> powerSources;
    std::unique_ptr<NotificationCenter> notificationCenter;
    std::unique_ptr<Workspace> workspace;
    std::unique_ptr<SystemSleepEvents> sleepEvents;
    std::unique_ptr<WallClockChanges> clockChanges;
    std::unique_ptr<Thermal> thermal;
    std::unique_ptr<Screens> screens;
    std::unique_ptr<DisplayConfiguration> displayConfiguration;
    std::unique_ptr<WiFi> wifi;
    std::unique_ptr<Lid> lid;
    std::unique_ptr<Sounds> sounds;
    // The Stayguard helper calls into the power-profiles daemon and runs processes: it is declared
    // after them, so it ends first.
    std::unique_ptr<ProcessRunner> processRunner;
    std::unique_ptr<LowPowerMode> lowPowerMode;
    std::unique_ptr<StayguardHelper> stayguardHelper;
    std::unique_ptr<AssertionTable> assertionTable;
    std::unique_ptr<ProcessInfo> processInfo;
    std::unique_ptr<ProcessControl> processControl;
    std::unique_ptr<SessionRelays> sessionRelays;
    std::unique_ptr<SessionAutomation> sessionAutomation;
    std::unique_ptr<LoginItem> loginItem;
    /// Views into the parts above, on the simulated machine; all null on the desktop.
    SimulatedMachine sim;
};

}  // namespace torvel

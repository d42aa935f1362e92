#pragma once

#include <memory>
#include <optional>

#include "Platform/Clock.h"
#include "Platform/Log.h"
#include "Platform/LowPowerMode.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

class Localization;
class NotificationService;
class StayguardServiceProtocol;

/// Switches the power saver on while the lid is closed on a trusted network and off again when the
/// lid opens, but only what it switched on itself; without the helper's power-saver permission it
/// suggests it, at most every 30 minutes, and where there is no power saver it does nothing. A hold the
/// system drops (the user picked a profile) is no longer ours: the next close asks again. Main thread
/// only.
class LowPowerModeController {
public:
    /// Least time between two suggestions, on the suspending clock.
    static constexpr double kSuggestionIntervalSeconds = 1800.0;

    LowPowerModeController(StayguardServiceProtocol& stayguard, LowPowerMode& lowPowerMode,
                           NotificationService& notifications, Localization& texts, Clock& clock,
                           LogSink& log);
    ~LowPowerModeController();
    LowPowerModeController(const LowPowerModeController&) = delete;
    LowPowerModeController& operator=(const LowPowerModeController&) = delete;

    /// Every lid close: switches the power saver on when both are true and it is off.
    void handleLidClosed(bool trustedNetworkActive, bool autoEnableEnabled);
    /// Every lid open: switches off what a close switched on.
    void handleLidOpened();
    /// Quitting: switches off what a close switched on.
    void restoreOnTerminate();
    /// This controller switched the power saver on and has not switched it off yet.
    bool enabledByUs() const { return enabledByUs_; }

private:
    void sendSuggestionIfNotThrottled();
    /// Switches off when the last value set is on or unknown.
    void restore();

    StayguardServiceProtocol& stayguard_;
    LowPowerMode& lowPowerMode_;
    NotificationService& notifications_;
    Localization& texts_;
    Clock& clock_;
    Logger log_;
    bool enabledByUs_ = false;
    /// A switch-on is on its way; an open meanwhile sets `openedWhileEnabling_`, so that it is undone.
    bool enabling_ = false;
    bool openedWhileEnabling_ = false;
    std::optional<double> lastSuggestionAt_;
    Connection dropped_;
    Lifetime lifetime_;
};

}  // namespace torvel

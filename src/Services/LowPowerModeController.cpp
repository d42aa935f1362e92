#include "Services/LowPowerModeController.h"

#include "Services/NotificationService.h"
#include "Services/StayguardServiceProtocol.h"
#include "Support/Localization.h"

namespace torvel {

LowPowerModeController::LowPowerModeController(StayguardServiceProtocol& stayguard,
                                               LowPowerMode& lowPowerMode, NotificationService& notifications,
                                               Localization& texts, Clock& clock, LogSink& log)
    : stayguard_(stayguard),
      lowPowerMode_(lowPowerMode),
      notifications_(notifications),
      texts_(texts),
      clock_(clock),
      log_(log, "LowPowerMode") {
    dropped_ = stayguard_.powerSaverDropped.connect([this] {
        // The user's choice stands: nothing to restore at the next open.
        if (enabledByUs_) log_.info("LPM: the power saver was dropped by the system; no longer ours");
        enabledByUs_ = false;
    });
}

LowPowerModeController::~LowPowerModeController() = default;

void LowPowerModeController::handleLidClosed(bool trustedNetworkActive, bool autoEnableEnabled) {
    if (!trustedNetworkActive || !autoEnableEnabled) {
        log_.info("LPM lid-close: skip (trusted={} autoEnable={})", trustedNetworkActive, autoEnableEnabled);
        return;
    }
    if (enabling_) {
        // A close, an open and a close again before the first switch-on landed: keep that one.
        openedWhileEnabling_ = false;
        return;
    }
    if (lowPowerMode_.isEnabled() == true) {
        log_.info("LPM lid-close: skip (already on, not ours)");
        return;
    }
    if (stayguard_.grants().powerSaverAbsent) {
        log_.info("LPM lid-close: skip (no power saver on this system)");
        return;
    }
    if (!stayguard_.grants().powerSaver) {
        log_.info("LPM lid-close: Stayguard not installed, sending suggestion");
        sendSuggestionIfNotThrottled();
        return;
    }
    if (stayguard_.lastLowPowerMode() == true) {
        enabledByUs_ = true;
        log_.info("LPM lid-close: ENABLED via Stayguard");
        return;
    }
    enabling_ = true;
    openedWhileEnabling_ = false;
    stayguard_.setLowPowerMode(true, lifetime_.guard([this](bool ok) {
        enabling_ = false;
        if (!ok) {
            log_.error("LPM lid-close: setLowPowerMode(true) failed");
            return;
        }
        enabledByUs_ = true;
        log_.info("LPM lid-close: ENABLED via Stayguard");
        // The lid opened while the switch-on was on its way: it is undone now, as the open would have.
        if (openedWhileEnabling_) handleLidOpened();
    }));
}

void LowPowerModeController::handleLidOpened() {
    if (enabling_) {
        openedWhileEnabling_ = true;
        log_.info("LPM lid-open: the switch-on is still on its way; undone when it lands");
        return;
    }
    if (!enabledByUs_) {
        log_.info("LPM lid-open: nothing to restore (we didn't enable it)");
        return;
    }
    if (stayguard_.grants().powerSaver) {
        restore();
        log_.info("LPM lid-open: RESTORED via Stayguard");
    }
    enabledByUs_ = false;
}

void LowPowerModeController::restoreOnTerminate() {
    if (!enabledByUs_ || !stayguard_.grants().powerSaver) return;
    restore();
    enabledByUs_ = false;
}

void LowPowerModeController::restore() {
    if (stayguard_.lastLowPowerMode() != false) stayguard_.setLowPowerMode(false, nullptr);
}

void LowPowerModeController::sendSuggestionIfNotThrottled() {
    const double now = clock_.suspendingNow();
    if (lastSuggestionAt_ && now - *lastSuggestionAt_ < kSuggestionIntervalSeconds) return;
    notifications_.send("lpm-suggestion", texts_.text("notification.lpm_suggestion.title"),
                        texts_.text("notification.lpm_suggestion.body"), kLowPowerModeSuggestionCategory);
    // The interval counts from the attempt.
    lastSuggestionAt_ = now;
}

}  // namespace torvel

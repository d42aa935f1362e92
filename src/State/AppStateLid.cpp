// How the state follows the lid and the helper: the lid as an input, handed to the trusted-network
// latch and the lid lock, and the quit path.
#include "State/AppState.h"
#include "State/Emergency/LowBatteryEmergency.h"

#include <utility>

namespace torvel {

void AppState::handleLidStateChanged(bool closed) {
    const bool previous = monitors_.isLidClosed;
    monitors_.isLidClosed = closed;
    if (closed == previous) return;
    // The reason as it was just before the lid moved.
    const bool trustedActive = activeReasons_.contains(ActivationReason::trustedNetwork);
    log_.info("AppState: lid {} trustedActive={} autoLPM={} sgInstalled={}", closed ? "CLOSED" : "OPENED",
              trustedActive, settings_.autoEnableLowPowerModeOnLidClose, lidLock_.isInstalled());
    if (closed) {
        trustedNetworks_.latchOnLidClosed(trustedActive);
        lidLock_.handleLidClosed(trustedActive);
    } else {
        // Cleared before the re-evaluation, so that an untrusted or absent network ends the reason now.
        trustedNetworks_.clearLatch();
        lidLock_.handleLidOpened();
    }
    reevaluateState();
}

void AppState::helperInstallFinished() {
    // The permission to sleep was missing: the rule may have granted it.
    emergency_->handleHelperInstallFinished();
}

void AppState::handleAppTerminate() {
    emergency_->stopAlarm("Torvel is quitting", false);
    lidLock_.releaseOnTerminate();
}

}  // namespace torvel

// How the state follows the lid: the trusted-network latch and the lid watch.
#include "State/AppState.h"
#include "Monitors/LidStateMonitor.h"
#include "Services/AudioFeedbackService.h"
#include "Services/LowPowerModeController.h"
#include "Services/StayguardServiceProtocol.h"

namespace torvel {

namespace {

// How long the trusted network's reason outlives a Wi-Fi that drops once the lid is closed.
constexpr double kLatchSeconds = 300.0;

}  // namespace

void AppState::attachLidMonitor(LidStateMonitor& monitor) {
    lidMonitor_ = monitor.weakSelf();
    updateLidWatch();
}

void AppState::updateLidWatch() {
    // Only the trusted-network latch needs lid changes that nothing announces; a lid that can only be
    // read is not read every few seconds for nothing.
    if (const auto monitor = lidMonitor_.lock())
        monitor->setNeeded(settings_.trustedNetworkActivationEnabled);
}

void AppState::handleLidStateChanged(bool closed) {
    const bool previous = monitors_.isLidClosed;
    monitors_.isLidClosed = closed;
    if (closed == previous) return;
    // The reason as it was just before the lid moved.
    const bool trustedActive = activeReasons_.contains(ActivationReason::trustedNetwork);
    const bool helperInstalled = services_.stayguard && services_.stayguard->isInstalled();
    log_.info("AppState: lid {} trustedActive={} autoLPM={} sgInstalled={}", closed ? "CLOSED" : "OPENED",
              trustedActive, settings_.autoEnableLowPowerModeOnLidClose, helperInstalled);
    if (closed) {
        // Heard as the lid shuts: the machine will not sleep. Where another process holds the lid switch,
        // that is not ours to promise, so who holds it is read first.
        if (isActive_ && settings_.lidCloseSoundEnabled && services_.audio) {
            if (services_.stayguard) {
                std::weak_ptr<int> alive = lifetime_;
                services_.stayguard->checkLidHolders([this, alive] {
                    if (alive.lock()) confirmLidClose();
                });
            } else {
                services_.audio->play(AudioFeedbackService::kLidCloseSound, settings_.lidCloseSoundVolume);
            }
        }
        monitors_.trustedNetworkLatchedWhileLidClosed = trustedActive;
        if (trustedActive) {
            monitors_.trustedNetworkLatchSSID = monitors_.currentSSID;
            monitors_.trustedNetworkLatchDeadline = services_.clock.now().addingSeconds(kLatchSeconds);
        } else {
            monitors_.trustedNetworkLatchSSID.reset();
            monitors_.trustedNetworkLatchDeadline.reset();
        }
        if (services_.lowPowerMode)
            services_.lowPowerMode->handleLidClosed(trustedActive, settings_.autoEnableLowPowerModeOnLidClose);
    } else {
        // Cleared before the re-evaluation, so that an untrusted or absent network ends the reason now.
        clearTrustedNetworkLatch();
        if (services_.lowPowerMode) services_.lowPowerMode->handleLidOpened();
    }
    reevaluateState();
}

void AppState::confirmLidClose() {
    // The lid opened, or the keeping awake ended, while the list was read: nothing to confirm.
    if (!monitors_.isLidClosed || !isActive_ || !settings_.lidCloseSoundEnabled || !services_.audio) return;
    const auto holders = services_.stayguard ? services_.stayguard->otherLidHolders() : std::nullopt;
    if (holders && !holders->empty()) {
        const auto& holder = holders->front();
        log_.info(
            "AppState: no lid-close sound — {} (pid {}) holds the lid switch, so {}'s own lid action "
            "decides whether the computer sleeps",
            holder.who, holder.pid, holder.desktop);
        return;
    }
    services_.audio->play(AudioFeedbackService::kLidCloseSound, settings_.lidCloseSoundVolume);
}

}  // namespace torvel

#include "Core/PriorityChain.h"

namespace torvel {

PriorityDecision decideSleepPrevention(const PriorityChainInput& in) {
    if (in.thermalKillSwitchEnabled && in.thermalState == ThermalState::critical) {
        return {{}, std::nullopt, StopCause{StopCause::Kind::thermalCritical}};
    }
    if (in.hasBattery && !in.isOnACPower) {
        if (in.batteryPercentage < kBatteryHardFloorPercent) {
            return {{}, std::nullopt, StopCause{StopCause::Kind::batteryHardLimit}};
        }
        if (in.effectiveBatteryLimit >= 1 && in.batteryPercentage < in.effectiveBatteryLimit) {
            return {{}, std::nullopt, StopCause{StopCause::Kind::batterySoftLimit, in.effectiveBatteryLimit}};
        }
    }

    ReasonSet reasons;
    AssertionType type = AssertionType::noIdleSleep;
    auto raise = [&type](AssertionType to) { type = strongest(type, to); };

    if (in.isManuallyActivated) reasons.insert(ActivationReason::manual);
    if (in.isTimerRunning) reasons.insert(ActivationReason::timer);
    if (!in.isAutomationPaused) {
        if (in.autoActivateOnExternalDisplay && in.hasExternalDisplay) {
            reasons.insert(ActivationReason::externalDisplay);
            raise(AssertionType::noDisplaySleep);
        }
        if (in.autoActivateOnMirroring && in.isMirroring) {
            reasons.insert(ActivationReason::mirroring);
            raise(AssertionType::noDisplaySleep);
        }
    }
    if (in.profileAssertionType) {
        reasons.insert(ActivationReason::profile);
        raise(*in.profileAssertionType);
    }
    if (!in.isAutomationPaused) {
        // The lid latch keeps the trusted network's reason for a while after the lid closed, even
        // when Wi-Fi drops with it.
        const bool onTrusted = in.isWiFiConnected && in.isOnTrustedNetwork;
        const bool latched =
            in.trustedNetworkLatchedWhileLidClosed && in.isLidClosed && in.isTrustedNetworkLatchValid;
        if (in.trustedNetworkActivationEnabled && in.hasTrustedNetworks && (onTrusted || latched)) {
            reasons.insert(ActivationReason::trustedNetwork);
            raise(in.trustedNetworkAssertionType);
        }
        if (in.isProcessTriggerActive) {
            reasons.insert(ActivationReason::processRunning);
            raise(in.processTriggerAssertionType);
        }
    }

    // A running profile keeps its own type; the display-sleep setting raises every other session.
    if (in.preventDisplaySleep && !reasons.empty() && !reasons.count(ActivationReason::profile)) {
        type = AssertionType::noDisplaySleep;
    }
    if (reasons.empty()) return {};
    return {std::move(reasons), type, std::nullopt};
}

std::string PriorityDecision::toString() const {
    if (stopCause) {
        switch (stopCause->kind) {
            case StopCause::Kind::thermalCritical:
                return "stop(thermalCritical)";
            case StopCause::Kind::batteryHardLimit:
                return "stop(batteryHardLimit)";
            case StopCause::Kind::batterySoftLimit:
                return "stop(batterySoftLimit " + std::to_string(stopCause->limit) + ")";
        }
    }
    return "[" + joinedRawValues(reasons) + "] " +
           (assertionType ? std::string(rawValue(*assertionType)) : "<nil>");
}

}  // namespace torvel

// The privileged helper: its installation, the lid lock that follows the reasons, and the quit path.
#include "State/AppState.h"

#include <utility>

#include "Services/LowPowerModeController.h"
#include "Services/NotificationService.h"
#include "Services/StayguardServiceProtocol.h"

namespace torvel {

bool AppState::isStayguardInstalled() const {
    return services_.stayguard && services_.stayguard->isInstalled();
}

PowerGrants AppState::stayguardGrants() const {
    return services_.stayguard ? services_.stayguard->grants() : PowerGrants{};
}

std::optional<std::vector<LidHolder>> AppState::otherLidHolders() const {
    return services_.stayguard ? services_.stayguard->otherLidHolders() : std::nullopt;
}

void AppState::checkLidHolders() {
    if (!services_.stayguard) return;
    std::weak_ptr<int> alive = lifetime_;
    services_.stayguard->checkLidHolders([this, alive] {
        if (alive.lock()) stayguardChanged.emit();
    });
}

void AppState::installStayguard() {
    if (stayguardInstallInProgress_ || !services_.stayguard) return;
    stayguardInstallInProgress_ = true;
    lastStayguardInstallResult_.reset();
    stayguardChanged.emit();
    std::weak_ptr<int> alive = lifetime_;
    services_.stayguard->install([this, alive](StayguardInstallResult result) {
        if (!alive.lock()) return;
        stayguardInstallInProgress_ = false;
        lastStayguardInstallResult_ = result;
        using Kind = StayguardInstallResult::Kind;
        switch (result.kind) {
            case Kind::validationFailed:
                log_.error("Stayguard rule validation failed: {}", result.message);
                break;
            case Kind::installFailed:
                log_.error("Stayguard install failed: {}", result.message);
                break;
            case Kind::success:
                notify("stayguard-installed", "notification.stayguard.installed");
                reevaluateState();
                break;
            case Kind::bundleResourceMissing:
                log_.error("Stayguard bundle resource missing — packaging bug");
                break;
            case Kind::userCancelled:
                log_.info("Stayguard install cancelled by user");
                break;
        }
        stayguardChanged.emit();
        emergency_->handleHelperInstallFinished();
    });
}

void AppState::handleStayguardInstallationChanged() {
    stayguardChanged.emit();
    // Installed now: the lid lock may be due; gone: a lock still held is let go.
    reevaluateState();
}

void AppState::applyClamshellDefeat(const ReasonSet& reasons) {
    auto* stayguard = services_.stayguard;
    if (!stayguard) return;
    const bool installed = stayguard->isInstalled();
    // Without the helper nothing is taken, but a lock taken before its permission went is still let
    // go: that needs no permission, and a lid left ignored would be worse.
    const bool holding = stayguard->lastDisableSleep() == true || stayguard->isDisableSleepInFlight();
    if (!installed && !holding) return;
    const bool wanted = installed && !reasons.empty() && reasons.contains(ActivationReason::trustedNetwork) &&
                        settings_.preferStayguardClamshellDefeat;
    // While a request is out, the value it lands on may not be the one wanted now: the service sorts
    // that out, asking again only when needed.
    if (stayguard->lastDisableSleep() != wanted || stayguard->isDisableSleepInFlight()) {
        // Taking the lock is when the lid starts to matter: whether another process decides it anyway
        // is read once then, not watched.
        if (wanted && stayguard->lastDisableSleep() != true && !stayguard->isDisableSleepInFlight())
            stayguard->checkLidHolders(nullptr);
        stayguard->setDisableSleep(wanted);
    }
}

void AppState::handleAppTerminate() {
    emergency_->stopAlarm("Torvel is quitting", false);
    if (services_.lowPowerMode) services_.lowPowerMode->restoreOnTerminate();
    // A quit never leaves the lid lock behind, whatever the helper's status says now.
    if (auto* stayguard = services_.stayguard) {
        const bool inFlight = stayguard->isDisableSleepInFlight();
        const bool release = stayguard->isInstalled() ? stayguard->lastDisableSleep() != false || inFlight
                                                      : stayguard->lastDisableSleep() == true || inFlight;
        if (release) stayguard->setDisableSleep(false);
    }
}

}  // namespace torvel

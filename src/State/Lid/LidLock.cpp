// The Stayguard helper: its installation, the lid lock that follows the reasons, the power saver with
// the lid, and the quit path.
#include "State/Lid/LidLock.h"

#include "Services/AudioFeedbackService.h"
#include "Services/LowPowerModeController.h"
#include "Services/NotificationService.h"
#include "State/SessionControl.h"
#include "Support/Localization.h"

namespace torvel {

LidLock::LidLock(SessionControl& session, Services services, NotificationService& notifications,
                 const Localization& texts, LogSink& log)
    : session_(session),
      services_(services),
      notifications_(notifications),
      texts_(texts),
      log_(log, "AppState") {}

bool LidLock::isInstalled() const {
    return services_.stayguard && services_.stayguard->isInstalled();
}

PowerGrants LidLock::grants() const {
    return services_.stayguard ? services_.stayguard->grants() : PowerGrants{};
}

std::optional<std::vector<LidHolder>> LidLock::otherLidHolders() const {
    return services_.stayguard ? services_.stayguard->otherLidHolders() : std::nullopt;
}

void LidLock::checkLidHolders() {
    if (!services_.stayguard) return;
    services_.stayguard->checkLidHolders(lifetime_.guard([this] { changed.emit(); }));
}

void LidLock::install() {
    if (installInProgress_ || !services_.stayguard) return;
    installInProgress_ = true;
    lastInstallResult_.reset();
    changed.emit();
    services_.stayguard->install(lifetime_.guard([this](StayguardInstallResult result) {
        installInProgress_ = false;
        lastInstallResult_ = result;
        using Kind = StayguardInstallResult::Kind;
        switch (result.kind) {
            case Kind::validationFailed:
                log_.error("Stayguard rule validation failed: {}", result.message);
                break;
            case Kind::installFailed:
                log_.error("Stayguard install failed: {}", result.message);
                break;
            case Kind::success:
                notifications_.send("stayguard-installed", kNotificationTitle,
                                    texts_.format("notification.stayguard.installed", {}));
                session_.reevaluateState();
                break;
            case Kind::bundleResourceMissing:
                log_.error("Stayguard bundle resource missing — packaging bug");
                break;
            case Kind::userCancelled:
                log_.info("Stayguard install cancelled by user");
                break;
        }
        changed.emit();
        session_.helperInstallFinished();
    }));
}

void LidLock::handleInstallationChanged() {
    changed.emit();
    // Installed now: the lid lock may be due; gone: a lock still held is let go.
    session_.reevaluateState();
}

void LidLock::followReasons(const ReasonSet& reasons) {
    auto* stayguard = services_.stayguard;
    if (!stayguard) return;
    const bool installed = stayguard->isInstalled();
    // Without the helper nothing is taken, but a lock taken before its permission went is still let
    // go: that needs no permission, and a lid left ignored would be worse.
    const bool holding = stayguard->lidLockHeld() == true || stayguard->isLidLockInFlight();
    if (!installed && !holding) return;
    const bool wanted = installed && !reasons.empty() && reasons.contains(ActivationReason::trustedNetwork) &&
                        session_.settings().preferStayguardClamshellDefeat;
    // While a request is out, the value it lands on may not be the one wanted now: the service sorts
    // that out, asking again only when needed.
    if (stayguard->lidLockHeld() != wanted || stayguard->isLidLockInFlight()) {
        // Taking the lock is when the lid starts to matter: whether another process decides it anyway
        // is read once then, not watched.
        if (wanted && stayguard->lidLockHeld() != true && !stayguard->isLidLockInFlight())
            stayguard->checkLidHolders(nullptr);
        stayguard->setLidLock(wanted);
    }
}

void LidLock::handleLidClosed(bool trustedActive) {
    const SettingsValues& settings = session_.settings();
    // Heard as the lid shuts: the machine will not sleep. Where another process holds the lid switch,
    // that is not ours to promise, so who holds it is read first.
    if (session_.isActive() && settings.lidCloseSoundEnabled && services_.audio) {
        if (services_.stayguard) {
            services_.stayguard->checkLidHolders(lifetime_.guard([this] { confirmLidClose(); }));
        } else {
            services_.audio->play(AudioFeedbackService::kLidCloseSound, settings.lidCloseSoundVolume);
        }
    }
    if (services_.lowPowerMode)
        services_.lowPowerMode->handleLidClosed(trustedActive, settings.autoEnableLowPowerModeOnLidClose);
}

void LidLock::handleLidOpened() {
    if (services_.lowPowerMode) services_.lowPowerMode->handleLidOpened();
}

void LidLock::confirmLidClose() {
    const SettingsValues& settings = session_.settings();
    // The lid opened, or the keeping awake ended, while the list was read: nothing to confirm.
    if (!session_.monitorValues().isLidClosed || !session_.isActive() || !settings.lidCloseSoundEnabled ||
        !services_.audio)
        return;
    const auto holders = otherLidHolders();
    if (holders && !holders->empty()) {
        const auto& holder = holders->front();
        log_.info(
            "AppState: no lid-close sound — {} (pid {}) holds the lid switch, so {}'s own lid action "
            "decides whether the computer sleeps",
            holder.who, holder.pid, holder.desktop);
        return;
    }
    services_.audio->play(AudioFeedbackService::kLidCloseSound, settings.lidCloseSoundVolume);
}

void LidLock::release() {
    auto* stayguard = services_.stayguard;
    if (stayguard && stayguard->isInstalled() && stayguard->lidLockHeld() != false)
        stayguard->setLidLock(false);
}

void LidLock::releaseOnTerminate() {
    if (services_.lowPowerMode) services_.lowPowerMode->restoreOnTerminate();
    // A quit never leaves the lid lock behind, whatever the helper's status says now.
    if (auto* stayguard = services_.stayguard) {
        const bool inFlight = stayguard->isLidLockInFlight();
        const bool release = stayguard->isInstalled() ? stayguard->lidLockHeld() != false || inFlight
                                                      : stayguard->lidLockHeld() == true || inFlight;
        if (release) stayguard->setLidLock(false);
    }
}

}  // namespace torvel

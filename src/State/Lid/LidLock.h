#pragma once

#include <optional>
#include <vector>

#include "Models/ReasonSet.h"
#include "Platform/Log.h"
#include "Services/StayguardServiceProtocol.h"
#include "Support/Lifetime.h"
#include "Support/Signal.h"

namespace torvel {

class AudioFeedbackService;
class Localization;
class LowPowerModeController;
class NotificationService;
class SessionControl;

/// What the Stayguard helper does for a closed lid: it locks the lid switch while the trusted network
/// keeps the computer awake (so closing the lid does not suspend), switches the power saver on and off
/// with the lid, and is installed from here. The lid-close sound belongs here too: it promises that the
/// machine stays awake, which only holds where no other process decides what the lid does. Without the
/// helper every part is inert. Main thread only.
class LidLock {
public:
    /// What the lock works with; the helper, the power saver and the sound may each be absent.
    struct Services {
        StayguardServiceProtocol* stayguard = nullptr;
        LowPowerModeController* lowPowerMode = nullptr;
        AudioFeedbackService* audio = nullptr;
    };

    LidLock(SessionControl& session, Services services, NotificationService& notifications,
            const Localization& texts, LogSink& log);
    LidLock(const LidLock&) = delete;
    LidLock& operator=(const LidLock&) = delete;

    /// Installs the helper in the background; ignored while an installation runs or without a helper.
    void install();
    bool isInstallInProgress() const { return installInProgress_; }
    /// Absent before the first installation of this run ends.
    const std::optional<StayguardInstallResult>& lastInstallResult() const { return lastInstallResult_; }
    bool isInstalled() const;
    /// Which of the helper's permissions are granted; none without the helper.
    PowerGrants grants() const;
    /// Other processes that hold the lid switch and decide alone what a closed lid does, as last read;
    /// std::nullopt when not read (or not readable).
    std::optional<std::vector<LidHolder>> otherLidHolders() const;
    /// Reads them afresh (where the lid matters: the settings opening); `changed` follows.
    void checkLidHolders();
    /// The helper's installation status changed: views are told and the lock follows it.
    void handleInstallationChanged();
    /// Tells views of every change of the helper's status or installation.
    Signal<> changed;

    // For the session itself.
    /// The lock follows the final reasons of every re-evaluation: held while the trusted network is
    /// among them and the user prefers it.
    void followReasons(const ReasonSet& reasons);
    /// The lid closed: the sound while the computer is kept awake, and the power saver when wanted.
    /// `trustedActive`: the trusted network's reason held just before.
    void handleLidClosed(bool trustedActive);
    /// The lid opened: the power saver goes back to how it was.
    void handleLidOpened();
    /// Quitting: the power saver and the lock this run switched on are switched off.
    void releaseOnTerminate();
    /// A safety stop or an emergency sleep: the lock is let go at once, without waiting for the
    /// re-evaluation. Only with the helper installed; a later re-evaluation takes it again if wanted.
    void release();

private:
    /// The lid-close sound, once it is known that no other process decides what the lid does.
    void confirmLidClose();

    SessionControl& session_;
    Services services_;
    NotificationService& notifications_;
    const Localization& texts_;
    Logger log_;
    bool installInProgress_ = false;
    std::optional<StayguardInstallResult> lastInstallResult_;
    Lifetime lifetime_;
};

}  // namespace torvel

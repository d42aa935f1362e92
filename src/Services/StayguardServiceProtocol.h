#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Platform/StayguardHelper.h"
#include "Support/Signal.h"

namespace torvel {

/// How an installation of the helper ended; equal when kind and message are equal.
struct StayguardInstallResult {
    enum class Kind { validationFailed, installFailed, success, userCancelled, bundleResourceMissing };
    Kind kind = Kind::success;
    /// Only for validationFailed and installFailed.
    std::string message;
    bool operator==(const StayguardInstallResult&) const = default;
};

/// The Stayguard helper that can defeat lid-closed sleep and switch the power saver, as the
/// application state sees it. Changes are asked for and land later, on the main loop.
class StayguardServiceProtocol {
public:
    virtual ~StayguardServiceProtocol() = default;
    /// The helper is installed: the lid lock may be taken without a password. The lid-closed mode and
    /// every path that lets the lock go look at this; the other permissions stand alone in grants().
    virtual bool isInstalled() const = 0;
    /// Which of the helper's permissions the last check found granted, and whether the power saver
    /// exists here at all.
    virtual PowerGrants grants() const = 0;
    /// Other processes holding the lid switch, as last read; std::nullopt before a reading or when it
    /// could not be read. A holder decides alone what a closed lid does.
    virtual std::optional<std::vector<LidHolder>> otherLidHolders() const = 0;
    /// Reads them afresh; `done` on the main loop once otherLidHolders() tells the answer.
    virtual void checkLidHolders(std::function<void()> done) = 0;
    /// Whether the lid lock is held, as this program last set it; absent when not known.
    virtual std::optional<bool> lidLockHeld() const = 0;
    /// Takes or lets go of the lid lock; lidLockHeld() follows once it took effect and stays as it
    /// was when it failed. A request for the value already on its way is ignored.
    virtual void setLidLock(bool held) = 0;
    /// A lid-lock request is on its way: lidLockHeld() may still change.
    virtual bool isLidLockInFlight() const = 0;
    /// The last power-saver value this program set; absent when not known.
    virtual std::optional<bool> lastLowPowerMode() const = 0;
    /// Switches the power saver; `done(ok)` on the main loop, lastLowPowerMode() updated before it.
    virtual void setLowPowerMode(bool enabled, std::function<void(bool ok)> done) = 0;
    /// Checks again whether the helper is installed; installationChanged tells the answer.
    virtual void refreshInstallationStatus() = 0;
    /// Installs the helper and checks that it works; `done` on the main loop.
    virtual void install(std::function<void(StayguardInstallResult)> done) = 0;
    /// isInstalled(), grants() or otherLidHolders() changed.
    Signal<> installationChanged;
    /// The system dropped the power-saver hold by itself (the user picked a profile): lastLowPowerMode()
    /// is false by then.
    Signal<> powerSaverDropped;
};

}  // namespace torvel

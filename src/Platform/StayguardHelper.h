#pragma once

#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "Support/Signal.h"

namespace torvel {

/// Which of the three system permissions Torvel relies on are granted to this user without a password.
/// Each one stands alone: the lid lock needs only its own.
struct PowerGrants {
    /// Taking the lock that makes the system ignore the lid: the helper counts as installed with it.
    bool lidSwitch = false;
    /// Holding the power-saver profile.
    bool powerSaver = false;
    /// Suspending the machine.
    bool suspend = false;
    /// There is no power saver to hold here (no power-profiles-daemon): not available, which is no fault.
    bool powerSaverAbsent = false;
    bool operator==(const PowerGrants&) const = default;
};

/// What logind says of a suspend asked for now. It already weighs every lock, other users' ones
/// included, and the polkit grants that would pass them.
enum class SuspendAnswer {
    /// The suspend would happen.
    yes,
    /// It would happen once the user types a password: fine with someone at the keyboard, not unattended.
    challenge,
    /// It would not happen (refused, or not supported here).
    no,
};

/// What became of an attempt to write or remove the system rule.
struct RuleChange {
    enum class Status { done, cancelled, failed };
    Status status = Status::failed;
    /// Why it failed, for the log and the settings window; empty otherwise.
    std::string message;
};

/// Another process holding the system's lid-switch lock: a desktop that handles the lid itself and
/// decides alone what a closed lid does, whatever Torvel holds.
struct LidHolder {
    /// The name it gave the lock (checked: printable, short).
    std::string who;
    std::uint32_t pid = 0;
    /// The desktop whose power settings say what the lid does ("KDE Plasma"); `who` when not known.
    std::string desktop;
    bool operator==(const LidHolder&) const = default;
};

/// Stayguard, the helper for the power settings that need the system's consent: the lid lock, the
/// power-saver hold, the permission check and the rule that grants them. Every answer arrives on the main
/// loop, never from inside the call, so a caller may record what it asked for after asking.
class StayguardHelper {
public:
    virtual ~StayguardHelper() = default;
    /// Takes (true) or drops (false) the lock that keeps a closed lid from sleeping the machine;
    /// `done(false)` when it could not be taken. Dropping never fails.
    virtual void setLidLock(bool held, std::function<void(bool ok)> done) = 0;
    /// Holds (true) or releases (false) the power-saver profile; `done(false)` on failure.
    virtual void setPowerSaver(bool held, std::function<void(bool ok)> done) = 0;
    /// Emitted on the main loop when the system dropped our power-saver hold by itself (the user picked
    /// another profile): the hold is gone and releasing it is not needed.
    Signal<> powerSaverDropped;
    /// Reads which other processes hold the lid-switch lock; std::nullopt when it cannot be read.
    virtual void readLidHolders(std::function<void(std::optional<std::vector<LidHolder>>)> done) = 0;
    /// Asks, without any password prompt, which permissions this user has. std::nullopt: the
    /// permission service could not be asked.
    virtual void checkGrants(std::function<void(std::optional<PowerGrants>)> done) = 0;
    /// Whether a suspend asked for now would happen, as logind answers it. std::nullopt: unknown.
    virtual void readSuspendVetoed(std::function<void(std::optional<SuspendAnswer>)> done) = 0;
    /// Writes the rule granting the three permissions to this user; asks for an administrator's
    /// password and may take minutes, without blocking the main loop.
    virtual void installRule(std::function<void(RuleChange)> done) = 0;
    /// Removes the rule again, the same way.
    virtual void removeRule(std::function<void(RuleChange)> done) = 0;
};

}  // namespace torvel

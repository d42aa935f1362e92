#include "Services/StayguardService.h"

#include <string>
#include <utility>

namespace torvel {

namespace {

std::string describe(const PowerGrants& g) {
    const auto yesNo = [](bool granted) { return granted ? "yes" : "no"; };
    return std::string("lid lock ") + yesNo(g.lidSwitch) + ", power saver " +
           (g.powerSaverAbsent ? "not available here" : yesNo(g.powerSaver)) + ", suspend " +
           yesNo(g.suspend);
}

}  // namespace

StayguardService::StayguardService(StayguardHelper& helper, LogSink& log)
    : helper_(helper), log_(log, "Stayguard") {
    powerSaverDropped_ = helper_.powerSaverDropped.connect([this] {
        // The hold is gone: released, not failed. Whoever relied on it asks again when it is due.
        lastLowPowerMode_ = false;
        log_.info("power saver hold dropped by the system (another profile was picked)");
        powerSaverDropped.emit();
    });
}

StayguardService::~StayguardService() = default;

void StayguardService::checkLidHolders(std::function<void()> done) {
    helper_.readLidHolders(
        lifetime_.guard([this, done = std::move(done)](std::optional<std::vector<LidHolder>> holders) {
            if (!holders) log_.error("who else holds the lid switch could not be read");
            if (holders != lidHolders_) {
                lidHolders_ = std::move(holders);
                if (lidHolders_) {
                    for (const auto& holder : *lidHolders_)
                        log_.info("{} (pid {}) holds the lid switch too and decides what a closed lid does",
                                  holder.who, holder.pid);
                }
                installationChanged.emit();
            }
            if (done) done();
        }));
}

void StayguardService::setLidLock(bool held) {
    if (lidLockInFlight_) {
        // The lock follows the last wish once the request out lands; asking twice for one value would
        // take two locks.
        if (*lidLockInFlight_ == held) {
            lidLockNext_.reset();
        } else {
            lidLockNext_ = held;
        }
        return;
    }
    sendLidLock(held);
}

void StayguardService::sendLidLock(bool held) {
    lidLockInFlight_ = held;
    log_.info("lid lock {} — asking the system", held ? "on" : "off");
    helper_.setLidLock(held, lifetime_.guard([this, held](bool ok) {
        lidLockInFlight_.reset();
        if (ok) {
            lidLockHeld_ = held;
            log_.info("lid lock {} OK", held ? "on" : "off");
        } else {
            // Nothing recorded: the next re-evaluation asks again.
            log_.error("lid lock {} failed", held ? "on" : "off");
        }
        if (const auto next = std::exchange(lidLockNext_, std::nullopt); next && next != lidLockHeld_)
            sendLidLock(*next);
    }));
}

void StayguardService::setLowPowerMode(bool enabled, std::function<void(bool ok)> done) {
    log_.info("power saver {} — asking the system", enabled ? "on" : "off");
    helper_.setPowerSaver(enabled, lifetime_.guard([this, enabled, done = std::move(done)](bool ok) {
        if (ok) {
            lastLowPowerMode_ = enabled;
            log_.info("power saver {} OK", enabled ? "on" : "off");
        } else {
            log_.error("power saver {} failed", enabled ? "on" : "off");
        }
        if (done) done(ok);
    }));
}

void StayguardService::refreshInstallationStatus() {
    helper_.checkGrants(lifetime_.guard([this](std::optional<PowerGrants> grants) { storeGrants(grants); }));
}

void StayguardService::storeGrants(const std::optional<PowerGrants>& grants) {
    if (!grants) log_.error("Stayguard probe failed: the permission service could not be asked");
    const PowerGrants next = grants.value_or(PowerGrants{});
    if (next == grants_) return;
    const bool wasInstalled = isInstalled();
    grants_ = next;
    if (wasInstalled != isInstalled())
        log_.info("Stayguard installation status: {}", isInstalled() ? "INSTALLED" : "NOT INSTALLED");
    log_.info("Stayguard grants: {}", describe(grants_));
    installationChanged.emit();
}

void StayguardService::install(std::function<void(StayguardInstallResult)> done) {
    helper_.installRule(lifetime_.guard([this, done = std::move(done)](RuleChange change) mutable {
        switch (change.status) {
            case RuleChange::Status::cancelled:
                done({StayguardInstallResult::Kind::userCancelled, {}});
                return;
            case RuleChange::Status::failed:
                log_.error("Stayguard install failed: {}", change.message);
                done({StayguardInstallResult::Kind::installFailed, change.message});
                return;
            case RuleChange::Status::done:
                validateInstall(std::move(done));
                return;
        }
    }));
}

void StayguardService::validateInstall(std::function<void(StayguardInstallResult)> done) {
    // A rule on disk counts once the system grants the lid lock it is for; one that does not is taken
    // away again rather than left lying around. A power saver that does not exist here is no failure,
    // and what else is still refused is said, not held against the rule.
    helper_.checkGrants(lifetime_.guard([this,
                                         done = std::move(done)](std::optional<PowerGrants> grants) mutable {
        storeGrants(grants);
        if (isInstalled()) {
            if (!grants_.suspend || !(grants_.powerSaver || grants_.powerSaverAbsent))
                log_.info("Stayguard installed, but the system still asks a password for some: {}",
                          describe(grants_));
            done({StayguardInstallResult::Kind::success, {}});
            return;
        }
        const std::string message =
            grants ? "the rule was written but the system does not grant its permissions"
                   : "the rule was written but the permission service could not be asked";
        log_.error("Stayguard install failed: {}; removing the rule", message);
        helper_.removeRule(lifetime_.guard([this, message, done = std::move(done)](RuleChange removal) {
            if (removal.status != RuleChange::Status::done)
                log_.error("Stayguard rule could not be removed again: {}", removal.message);
            done({StayguardInstallResult::Kind::validationFailed, message});
        }));
    }));
}

}  // namespace torvel

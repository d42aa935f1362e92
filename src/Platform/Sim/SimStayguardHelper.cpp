#include "Platform/Sim/SimStayguardHelper.h"

#include <utility>

namespace torvel {

void SimStayguardHelper::setLidLock(bool held, std::function<void(bool ok)> done) {
    requests_.push_back(held ? "lid 1" : "lid 0");
    // Dropping the lock is closing a descriptor: it cannot fail.
    const bool ok = !held || !std::exchange(failLidLock_, false);
    if (ok) lidLockHeld_ = held;
    scheduler_.post([done = std::move(done), ok] { done(ok); });
}

void SimStayguardHelper::setPowerSaver(bool held, std::function<void(bool ok)> done) {
    requests_.push_back(held ? "saver 1" : "saver 0");
    const bool ok = !std::exchange(failPowerSaver_, false);
    if (ok) powerSaverHeld_ = held;
    scheduler_.post([done = std::move(done), ok] { done(ok); });
}

void SimStayguardHelper::dropPowerSaver() {
    if (!powerSaverHeld_) return;
    powerSaverHeld_ = false;
    scheduler_.post(lifetime_.guard([this] { powerSaverDropped.emit(); }));
}

void SimStayguardHelper::readLidHolders(std::function<void(std::optional<std::vector<LidHolder>>)> done) {
    ++lidHolderReads_;
    scheduler_.post([done = std::move(done), holders = lidHolders_] { done(holders); });
}

void SimStayguardHelper::checkGrants(std::function<void(std::optional<PowerGrants>)> done) {
    scheduler_.post([done = std::move(done), grants = grants_] { done(grants); });
}

void SimStayguardHelper::readSuspendVetoed(std::function<void(std::optional<SuspendAnswer>)> done) {
    auto answer = [done = std::move(done), answer = suspendAnswer_] { done(answer); };
    if (holdSuspendReadings_) {
        heldSuspendReadings_.push_back(std::move(answer));
        return;
    }
    scheduler_.post(std::move(answer));
}

void SimStayguardHelper::releaseSuspendReadings() {
    for (auto& answer : std::exchange(heldSuspendReadings_, {})) scheduler_.post(std::move(answer));
}

void SimStayguardHelper::installRule(std::function<void(RuleChange)> done) {
    ++installCount_;
    RuleChange change{RuleChange::Status::done, {}};
    if (!installs_.empty()) {
        change = std::move(installs_.front());
        installs_.pop_front();
    } else {
        grants_ = PowerGrants{true, !grants_ || !grants_->powerSaverAbsent, true,
                              grants_ && grants_->powerSaverAbsent};
    }
    scheduler_.post([done = std::move(done), change = std::move(change)] { done(change); });
}

void SimStayguardHelper::removeRule(std::function<void(RuleChange)> done) {
    ++removeCount_;
    scheduler_.post([done = std::move(done)] { done({RuleChange::Status::done, {}}); });
}

}  // namespace torvel

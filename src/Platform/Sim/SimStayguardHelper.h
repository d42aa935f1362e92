#pragma once

#include <deque>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Scheduler.h"
#include "Platform/StayguardHelper.h"
#include "Support/Lifetime.h"

namespace torvel {

/// A scriptable permission system: records every request and answers on the next turn of the loop, as
/// the system's services would. Nothing is granted until a test says so.
class SimStayguardHelper : public StayguardHelper {
public:
    explicit SimStayguardHelper(Scheduler& scheduler) : scheduler_(scheduler) {}

    void setLidLock(bool held, std::function<void(bool ok)> done) override;
    void setPowerSaver(bool held, std::function<void(bool ok)> done) override;
    void readLidHolders(std::function<void(std::optional<std::vector<LidHolder>>)> done) override;
    void checkGrants(std::function<void(std::optional<PowerGrants>)> done) override;
    void readSuspendVetoed(std::function<void(std::optional<SuspendAnswer>)> done) override;
    void installRule(std::function<void(RuleChange)> done) override;
    void removeRule(std::function<void(RuleChange)> done) override;

    /// What the next checks answer (std::nullopt: the permission service cannot be asked).
    void setGrants(std::optional<PowerGrants> grants) { grants_ = grants; }
    /// What the next suspend-veto readings answer (std::nullopt: logind cannot say).
    void setSuspendAnswer(std::optional<SuspendAnswer> answer) { suspendAnswer_ = answer; }
    /// While held, suspend-veto readings wait (with the answer of their moment) until released.
    void holdSuspendReadings(bool hold) { holdSuspendReadings_ = hold; }
    /// Answers every held reading on the next turn of the loop, in order.
    void releaseSuspendReadings();
    /// The next lid-lock or power-saver request fails once.
    void failNextLidLock() { failLidLock_ = true; }
    void failNextPowerSaver() { failPowerSaver_ = true; }
    /// The user picks another profile: a power-saver hold is dropped and said so on the next turn.
    void dropPowerSaver();
    /// What the next lid-holder readings answer (std::nullopt: cannot be read).
    void setLidHolders(std::optional<std::vector<LidHolder>> holders) { lidHolders_ = std::move(holders); }
    int lidHolderReads() const { return lidHolderReads_; }
    /// The next rule installations end so; without one queued an installation succeeds and grants all.
    void enqueueInstall(RuleChange change) { installs_.push_back(std::move(change)); }

    /// Every lid-lock and power-saver request so far, "lid 1", "saver 0", in order.
    const std::vector<std::string>& requests() const { return requests_; }
    bool lidLockHeld() const { return lidLockHeld_; }
    bool powerSaverHeld() const { return powerSaverHeld_; }
    int installCount() const { return installCount_; }
    int removeCount() const { return removeCount_; }

private:
    Scheduler& scheduler_;
    std::optional<PowerGrants> grants_ = PowerGrants{};
    std::optional<SuspendAnswer> suspendAnswer_ = SuspendAnswer::yes;
    bool holdSuspendReadings_ = false;
    std::vector<std::function<void()>> heldSuspendReadings_;
    bool failLidLock_ = false, failPowerSaver_ = false;
    bool lidLockHeld_ = false, powerSaverHeld_ = false;
    std::deque<RuleChange> installs_;
    std::vector<std::string> requests_;
    std::optional<std::vector<LidHolder>> lidHolders_ = std::vector<LidHolder>{};
    int lidHolderReads_ = 0;
    int installCount_ = 0, removeCount_ = 0;
    Lifetime lifetime_;
};

}  // namespace torvel

#pragma once

#include <memory>
#include <optional>

#include "Platform/Log.h"
#include "Platform/StayguardHelper.h"
#include "Services/StayguardServiceProtocol.h"
#include "Support/Lifetime.h"

namespace torvel {

/// The helper over the system's power permissions: the installation check and its repair, the lid lock
/// and the power-saver hold. One lid-lock request is out at a time; a different value wanted meanwhile
/// follows when it lands, so the lock ends up as last asked for. Main thread only.
class StayguardService : public StayguardServiceProtocol {
public:
    StayguardService(StayguardHelper& helper, LogSink& log);
    ~StayguardService() override;
    StayguardService(const StayguardService&) = delete;
    StayguardService& operator=(const StayguardService&) = delete;

    bool isInstalled() const override { return grants_.lidSwitch; }
    PowerGrants grants() const override { return grants_; }
    std::optional<std::vector<LidHolder>> otherLidHolders() const override { return lidHolders_; }
    void checkLidHolders(std::function<void()> done) override;
    std::optional<bool> lidLockHeld() const override { return lidLockHeld_; }
    void setLidLock(bool held) override;
    bool isLidLockInFlight() const override { return lidLockInFlight_.has_value(); }
    std::optional<bool> lastLowPowerMode() const override { return lastLowPowerMode_; }
    void setLowPowerMode(bool enabled, std::function<void(bool ok)> done) override;
    void refreshInstallationStatus() override;
    void install(std::function<void(StayguardInstallResult)> done) override;

private:
    void sendLidLock(bool held);
    void storeGrants(const std::optional<PowerGrants>& grants);
    void validateInstall(std::function<void(StayguardInstallResult)> done);

    StayguardHelper& helper_;
    Logger log_;
    PowerGrants grants_;
    std::optional<std::vector<LidHolder>> lidHolders_;
    std::optional<bool> lidLockHeld_, lastLowPowerMode_;
    /// The lid-lock value on its way, and the one to send once it lands.
    std::optional<bool> lidLockInFlight_, lidLockNext_;
    Connection powerSaverDropped_;
    /// Answers that land after the service is gone do nothing.
    Lifetime lifetime_;
};

}  // namespace torvel

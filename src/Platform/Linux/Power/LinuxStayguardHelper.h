#pragma once

#include <QDBusConnection>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "Models/SSIDText.h"
#include "Platform/Linux/Power/LogindInhibitors.h"
#include "Platform/Linux/Power/LogindLidLock.h"
#include "Platform/Linux/Power/PolkitAuthority.h"
#include "Platform/Linux/Power/PolkitRuleInstaller.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/StayguardHelper.h"

class QObject;

namespace torvel {

class PowerProfilesDaemon;

/// Stayguard's powers on a Linux desktop, none of which needs root once polkit grants them: logind's
/// lid lock, power-profiles-daemon's power-saver hold, polkit's verdicts and the rule that grants them.
class LinuxStayguardHelper : public StayguardHelper {
public:
    /// `user` is the login name the rule is written for; `profiles` outlives this.
    LinuxStayguardHelper(QDBusConnection system, PowerProfilesDaemon& profiles, ProcessRunner& runner,
                         Scheduler& scheduler, LogSink& log, std::string user,
                         PolkitRuleInstaller::Options options = {});
    ~LinuxStayguardHelper() override;

    void setLidLock(bool held, std::function<void(bool ok)> done) override;
    void setPowerSaver(bool held, std::function<void(bool ok)> done) override;
    void readLidHolders(std::function<void(std::optional<std::vector<LidHolder>>)> done) override;
    void checkGrants(std::function<void(std::optional<PowerGrants>)> done) override;
    void readSuspendVetoed(std::function<void(std::optional<SuspendAnswer>)> done) override;
    void installRule(std::function<void(RuleChange)> done) override;
    void removeRule(std::function<void(RuleChange)> done) override;

    /// The login name of the user running this process; empty when it has none.
    static std::string currentUserName();
    /// The "handle-lid-switch" block locks of processes other than `ownPid`, as the settings and the
    /// doctor show them, each with the desktop named from its name and its process's.
    static std::vector<LidHolder> otherLidHolders(const std::vector<LogindInhibitor>& inhibitors,
                                                  std::uint32_t ownPid);

private:
    QDBusConnection system_;
    PowerProfilesDaemon& profiles_;
    Scheduler& scheduler_;
    Logger log_;
    std::string user_;
    LogindLidLock lidLock_;
    PolkitAuthority authority_;
    PolkitRuleInstaller installer_;
    std::unique_ptr<QObject> context_;  // parent of the pending calls: they die with us
    Connection holdDropped_;
};

}  // namespace torvel

#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <functional>
#include <memory>
#include <optional>

#include "Platform/StayguardHelper.h"

class QObject;

namespace torvel {

/// polkit's answer, asked without interaction (flags 0), whether this process may do the three things
/// the helper needs. An action counts only when polkit says yes outright: "yes after a password"
/// (is_challenge) is no. An action polkit does not know (its service is not installed) is absent.
class PolkitAuthority {
public:
    /// The actions asked about. Power saver has its newer name too; either one granted counts.
    static constexpr const char* kLidSwitchAction = "org.freedesktop.login1.inhibit-handle-lid-switch";
    static constexpr const char* kHoldProfileAction = "net.hadess.PowerProfiles.hold-profile";
    static constexpr const char* kHoldProfileNewAction = "org.freedesktop.UPower.PowerProfiles.hold-profile";
    static constexpr const char* kSuspendAction = "org.freedesktop.login1.suspend";

    explicit PolkitAuthority(QDBusConnection system);
    ~PolkitAuthority();
    PolkitAuthority(const PolkitAuthority&) = delete;
    PolkitAuthority& operator=(const PolkitAuthority&) = delete;

    /// Asks asynchronously; `done` on the main loop. std::nullopt when polkit answered none of them.
    void checkGrants(std::function<void(std::optional<PowerGrants>)> done);
    /// The same, waiting for the answers (at most a few seconds); for the command line only.
    std::optional<PowerGrants> checkGrantsNow();
    /// The CheckAuthorization call for `action`, with this process as the subject.
    static QDBusMessage checkMessage(const char* action);
    /// A reply's verdict: granted outright, or std::nullopt when it is no proper reply at all.
    static std::optional<bool> granted(const QDBusMessage& reply);

private:
    QDBusConnection system_;
    std::unique_ptr<QObject> context_;  // parent of the pending calls: they die with us
};

}  // namespace torvel

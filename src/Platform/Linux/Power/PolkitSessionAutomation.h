#pragma once

#include <QDBusConnection>
#include <QDBusMessage>

#include <cstdint>
#include <optional>
#include <string>

#include "Platform/SessionAutomation.h"

namespace torvel {

/// The session's sleep through logind, with polkit as the keeper of consent: polkit's verdict on
/// "org.freedesktop.login1.suspend" for this process (yes, yes after a password, no) is the consent,
/// and when another user holds a "sleep" block lock, logind also wants "...suspend-ignore-inhibit",
/// so both must be given. Blocking calls with a bound; safe to call from any thread.
class PolkitSessionAutomation : public SessionAutomation {
public:
    /// The bound on a check nobody answers by hand, and on the other calls.
    static constexpr int kCallTimeoutMs = 3000;
    /// The bound on a check or an interactive Suspend that may show a password prompt: the user
    /// needs time to answer it.
    static constexpr int kPromptTimeoutMs = 120000;
    /// The bound on an unattended Suspend call; its caller stops waiting long before, but the
    /// service's destructor waits for it.
    static constexpr int kSuspendTimeoutMs = 25000;
    /// What logind also wants when another user's lock blocks sleep.
    static constexpr const char* kIgnoreInhibitAction = "org.freedesktop.login1.suspend-ignore-inhibit";

    PolkitSessionAutomation(QDBusConnection system, std::uint32_t ownUID);

    PermissionStatus permissionStatus(bool askUserIfNeeded) override;
    /// Asks the bus to start polkit (bus activation); returns at once.
    void launch() override;
    /// logind's Suspend; `interactive` lets polkit prompt the user present at the menu, while the
    /// unattended path sends false so that a missing grant fails at once instead of waiting.
    Result<void> sleep(bool interactive) override;

    /// The status one CheckAuthorization reply stands for.
    static PermissionStatus statusOf(const QDBusMessage& reply);
    /// Both statuses needed: a refusal wins, then a down polkit, then a silent one, then an unreadable
    /// answer, then a password prompt; granted only when both are.
    static PermissionStatus combine(PermissionStatus a, PermissionStatus b);

private:
    PermissionStatus check(const char* action, bool askUserIfNeeded);
    /// Whether a user other than us holds a "sleep" block lock; std::nullopt when logind cannot say.
    std::optional<bool> othersBlockSleep();

    QDBusConnection system_;
    std::uint32_t ownUID_;
};

}  // namespace torvel

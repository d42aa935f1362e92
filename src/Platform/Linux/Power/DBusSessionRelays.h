#pragma once

#include <QDBusConnection>

#include "Platform/SessionRelays.h"

namespace torvel {

/// The session's relaying services found on the session bus: for each well-known inhibit or session
/// name (the session managers, org.freedesktop.PowerManagement, org.freedesktop.ScreenSaver and their
/// desktops' own), its owner (GetNameOwner) and that owner's pid (GetConnectionUnixProcessID). Only
/// the bus itself is asked, each call bounded and all of them together too.
class DBusSessionRelays : public SessionRelays {
public:
    /// How long one call may take; the bus answers these itself, so only a wedged bus comes close.
    static constexpr int kCallTimeoutMs = 250;
    /// How long a whole lookup may take.
    static constexpr int kTotalTimeoutMs = 1000;

    explicit DBusSessionRelays(QDBusConnection session);
    /// Blocks up to kTotalTimeoutMs; may be called from any thread.
    std::vector<std::int32_t> ownerPids(std::string* error) override;

private:
    QDBusConnection session_;
};

}  // namespace torvel

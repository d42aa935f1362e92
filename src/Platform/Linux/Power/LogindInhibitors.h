#pragma once

#include <QDBusMessage>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

namespace torvel {

/// One of logind's inhibitor locks as ListInhibitors reports it.
struct LogindInhibitor {
    /// The kinds it inhibits, a colon list ("sleep:idle").
    QString what, who, why;
    /// "block", "delay" or a mode logind adds later.
    QString mode;
    std::uint32_t uid = 0, pid = 0;
};

/// The call that asks logind for every inhibitor lock.
QDBusMessage listInhibitorsCall();
/// The locks of a ListInhibitors reply; std::nullopt for an error or a reply of another shape, which is
/// not believed.
std::optional<std::vector<LogindInhibitor>> inhibitorsFromReply(const QDBusMessage& reply);
/// Whether a user other than `ownUID` holds a "sleep" block lock: logind lets a user's own locks pass
/// that user's Suspend, not another user's.
bool anotherUserBlocksSleep(const std::vector<LogindInhibitor>& inhibitors, std::uint32_t ownUID);

}  // namespace torvel

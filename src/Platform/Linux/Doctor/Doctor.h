#pragma once

#include <QDBusConnection>
#include <cstdint>
#include <string>
#include <vector>

namespace torvel {

/// One desktop facility Torvel uses, whether this session has it, and what that means.
struct DoctorFinding {
    std::string facility;
    bool found = false;
    /// What Torvel does with it, or without it.
    std::string consequence;
};

/// Looks for every service Torvel works with on the system and session buses (running or
/// activatable), and what running as `uid` allows. Nothing is changed; each lookup is a name query.
std::vector<DoctorFinding> examineDesktop(const QDBusConnection& system, const QDBusConnection& session,
                                          std::uint32_t uid);
/// The same for this process's own user.
std::vector<DoctorFinding> examineDesktop(const QDBusConnection& system, const QDBusConnection& session);

/// True when `xdgCurrentDesktop` (as in $XDG_CURRENT_DESKTOP, a colon list; may be null) names GNOME.
bool desktopIsGnome(const char* xdgCurrentDesktop);

/// The findings as text for a person: one line per facility, then a summary.
std::string formatDoctorReport(const std::vector<DoctorFinding>& findings);

}  // namespace torvel

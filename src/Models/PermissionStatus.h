#pragma once

#include <string_view>

namespace torvel {

/// The authority's answer to whether this process may put the session to sleep.
enum class PermissionStatus {
    granted,
    /// Allowed only once the user answers a prompt (polkit's "challenge").
    notAsked,
    denied,
    /// Refused for this kind of caller whatever the user says.
    notPermitted,
    /// The authority is down; starting it may help.
    notRunning,
    /// The authority is there but did not answer in time: hung or overloaded, not to be restarted.
    noAnswer,
    /// An answer came but says nothing readable.
    unreadable,
};

/// The enumerator's name ("notAsked"), for logs and test output.
constexpr std::string_view toString(PermissionStatus status) {
    switch (status) {
        case PermissionStatus::granted:
            return "granted";
        case PermissionStatus::notAsked:
            return "notAsked";
        case PermissionStatus::denied:
            return "denied";
        case PermissionStatus::notPermitted:
            return "notPermitted";
        case PermissionStatus::notRunning:
            return "notRunning";
        case PermissionStatus::noAnswer:
            return "noAnswer";
        case PermissionStatus::unreadable:
            return "unreadable";
    }
    return "unreadable";
}

}  // namespace torvel

#pragma once

#include <string_view>

namespace torvel {

/// What another process's lock holds off, as the system's list of locks names it.
enum class BlockerKind {
    /// Keeps the computer from sleeping at all (logind's "sleep").
    systemSleep,
    /// Keeps the computer from going to sleep when idle (logind's "idle").
    idle,
    /// Anything else (shutdown, the power keys, the lid switch): keeps no sleep away.
    other,
};

/// Whether a lock of this kind keeps the computer from sleeping.
constexpr bool blocksSleep(BlockerKind kind) { return kind != BlockerKind::other; }

/// The enumerator's name ("systemSleep"), for logs and test output.
constexpr std::string_view toString(BlockerKind kind) {
    switch (kind) {
        case BlockerKind::systemSleep:
            return "systemSleep";
        case BlockerKind::idle:
            return "idle";
        case BlockerKind::other:
            return "other";
    }
    return "other";
}

/// What the menu shows for a lock that gave no reason: the names users have always seen there.
constexpr std::string_view shownName(BlockerKind kind) {
    switch (kind) {
        case BlockerKind::systemSleep:
            return "PreventSystemSleep";
        case BlockerKind::idle:
            return "PreventUserIdleSystemSleep";
        case BlockerKind::other:
            return "";
    }
    return "";
}

}  // namespace torvel

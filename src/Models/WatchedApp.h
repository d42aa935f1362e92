#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Models/Date.h"
#include "Models/Uuid.h"
#include "Models/Result.h"

namespace torvel {

/// An application the user chose to keep the computer awake while it runs.
struct WatchedApp {
    Uuid id;
    /// The application's identity (its desktop-file id), matched exactly.
    std::string desktopId;
    /// The name shown when it was added; kept for the list even when the application is gone.
    std::string name;
    Date addedAt;

    friend bool operator==(const WatchedApp&, const WatchedApp&) = default;
};

/// The stored list: a JSON array of {"id": "<UUID>", "bundleID": "...", "name": "...",
/// "addedAt": <seconds since 2001>}; "bundleID" holds the desktop id (the key keeps the spelling lists
/// were first stored with). A failure when a text is not UTF-8: replacing its bytes would store
/// an identity that no longer matches the application.
Result<std::string> watchedAppsToJson(const std::vector<WatchedApp>& apps);
/// Reads the stored list; a failure when it is not a JSON array or any entry lacks a key or has a value
/// of the wrong type. Then `readable` (when given) receives, in order, the entries that do decode.
Result<std::vector<WatchedApp>> watchedAppsFromJson(std::string_view json,
                                                    std::vector<WatchedApp>* readable = nullptr);

}  // namespace torvel

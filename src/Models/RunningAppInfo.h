#pragma once

#include <cstdint>
#include <string>

namespace torvel {

/// A running application as the menu, the settings window and the automation actions list it.
struct RunningAppInfo {
    /// The application's identity (its desktop-file id); empty when it has none.
    std::string desktopId;
    /// The name shown to the user, in the user's language; empty when it has none.
    std::string name;
    std::int32_t pid = 0;

    friend bool operator==(const RunningAppInfo&, const RunningAppInfo&) = default;
};

}  // namespace torvel

#pragma once

#include <optional>

namespace torvel {

/// The privileged helper that can defeat lid-closed sleep, as the application state sees it.
class StayguardServiceProtocol {
public:
    virtual ~StayguardServiceProtocol() = default;
    /// The helper is installed and may be used without a password.
    virtual bool isInstalled() const = 0;
    /// The last sleep-disable value this program set; absent when not known.
    virtual std::optional<bool> lastDisableSleep() const = 0;
    /// Sets the sleep-disable value for all power sources; false when it failed.
    virtual bool setDisableSleep(bool disabled) = 0;
};

}  // namespace torvel

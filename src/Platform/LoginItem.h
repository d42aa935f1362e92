#pragma once

#include <optional>
#include <string>

namespace torvel {

/// Whether the application starts when the user logs in, as the desktop records it.
class LoginItem {
public:
    virtual ~LoginItem() = default;
    /// True when the desktop would start the application at the next login. Failure (nothing can be
    /// read): false, since then nothing starts it either.
    virtual bool isEnabled() const = 0;
    /// Makes the application start at login. Failure: why, naming the file and the system's reason.
    virtual std::optional<std::string> enable() = 0;
    /// Stops the application from starting at login. Failure: as for enable().
    virtual std::optional<std::string> disable() = 0;
};

}  // namespace torvel

#pragma once

#include <deque>
#include <optional>
#include <string>

#include "Core/Signal.h"
#include "Platform/Log.h"

namespace torvel {

/// Fixed title of every notification but the thermal and Low Power Mode ones.
inline constexpr const char* kNotificationTitle = "Torvel";

/// Tells the user something in the background. Without permission to show notifications, the body
/// of the last one is kept as a status message for the menu instead.
class NotificationService {
public:
    struct Sent {
        std::string id, title, body;
        std::optional<std::string> category;
    };

    explicit NotificationService(LogSink& log) : log_(log, "Notifications") {}

    /// Posts notification `id`, replacing one of the same id that is still shown.
    void send(const std::string& id, const std::string& title, const std::string& body,
              const std::optional<std::string>& category = std::nullopt);

    bool isAuthorized() const { return isAuthorized_; }
    void setAuthorized(bool authorized) { isAuthorized_ = authorized; }

    /// The body of the last notification that could not be shown; absent when there is none.
    const std::optional<std::string>& lastStatusMessage() const { return lastStatusMessage_; }
    void clearLastStatusMessage();
    Signal<> lastStatusMessageChanged;

    /// The most recent notifications posted, oldest first (at most 32), for the menu and diagnostics.
    const std::deque<Sent>& recent() const { return recent_; }

private:
    Logger log_;
    bool isAuthorized_ = true;
    std::optional<std::string> lastStatusMessage_;
    std::deque<Sent> recent_;
};

}  // namespace torvel

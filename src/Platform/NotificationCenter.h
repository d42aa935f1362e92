#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

/// The action identifier of a click on the notification itself rather than on one of its buttons.
inline constexpr const char* kDefaultNotificationAction = "default";

/// How an action button is presented and what choosing it does.
enum class NotificationActionOption {
    none,
    destructive,  // shown as dangerous where the desktop can
    foreground,   // brings a window or another application forward
};

/// A button of a notification.
struct NotificationAction {
    std::string identifier;
    std::string title;  // already localised
    NotificationActionOption option = NotificationActionOption::none;
    friend bool operator==(const NotificationAction&, const NotificationAction&) = default;
};

/// How hard a notification asks for attention.
enum class NotificationUrgency {
    normal,
    critical,  // harm is close: desktops keep it up until dismissed, even under "do not disturb"
};

/// A kind of notification and its buttons; a request names it to get them.
struct NotificationCategory {
    std::string identifier;
    std::vector<NotificationAction> actions;
    friend bool operator==(const NotificationCategory&, const NotificationCategory&) = default;
};

/// One notification to show now. Title and body are plain text.
struct NotificationRequest {
    std::string identifier;
    std::string title;
    std::string body;
    std::optional<std::string> categoryIdentifier;
    bool playsSound = false;
    NotificationUrgency urgency = NotificationUrgency::normal;
    friend bool operator==(const NotificationRequest&, const NotificationRequest&) = default;
};

/// The desktop's notification server. Completions and responses run later on the main loop, never
/// inside the call that caused them.
class NotificationCenter {
public:
    using AuthorizationCompletion = std::function<void(bool granted, std::optional<std::string> error)>;
    using AddCompletion = std::function<void(std::optional<std::string> error)>;
    using ResponseHandler = std::function<void(std::string requestIdentifier, std::string actionIdentifier)>;

    virtual ~NotificationCenter() = default;
    /// Asks whether notifications may be shown. Failure: not granted, with the error's description.
    virtual void requestAuthorization(AuthorizationCompletion completion) = 0;
    /// Replaces the categories known so far. Failure: none reported; unknown categories show no buttons.
    virtual void setCategories(std::vector<NotificationCategory> categories) = 0;
    /// Shows `request`, replacing a shown one of the same identifier. Failure: the error's description.
    virtual void add(NotificationRequest request, AddCompletion completion) = 0;
    /// Called when the user chooses a button or clicks the notification (kDefaultNotificationAction).
    virtual void setResponseHandler(ResponseHandler handler) = 0;
    /// Opens the desktop's power and battery settings. Failure: false, nothing opened.
    virtual bool openPowerSettings() = 0;
};

}  // namespace torvel

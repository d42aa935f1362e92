#include "Services/LoginItemService.h"

#include "Platform/LoginItem.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"

namespace torvel {

LoginItemService::LoginItemService(LoginItem& item, NotificationService& notifications, const Localization& texts,
                                   LogSink& log)
    : item_(item), notifications_(notifications), texts_(texts), log_(log, "Settings") {}

bool LoginItemService::isEnabled() const {
    return item_.isEnabled();
}

bool LoginItemService::setEnabled(bool enabled) {
    const auto failure = enabled ? item_.enable() : item_.disable();
    if (failure) {
        log_.error("Login item {} failed: {}", enabled ? "enable" : "disable", *failure);
        notifications_.send("login-blocked", kNotificationTitle, texts_.text("notification.login_blocked"));
    }
    // What the desktop records now, not what was asked: the switch must never show a wish as a fact.
    return item_.isEnabled();
}

}  // namespace torvel

#pragma once

#include "Platform/Log.h"

namespace torvel {

class LoginItem;
class Localization;
class NotificationService;

/// Starting Torvel at login, for the settings window's switch. A change the desktop refuses is logged
/// and told to the user ("login-blocked"), and the switch goes back to what really holds.
class LoginItemService {
public:
    /// Everything outlives the service.
    LoginItemService(LoginItem& item, NotificationService& notifications, const Localization& texts, LogSink& log);

    /// True when Torvel starts at the next login.
    bool isEnabled() const;
    /// Switches starting at login on or off; returns what holds afterwards, so on a refusal the old
    /// state, with the refusal logged and the "login-blocked" notification posted.
    bool setEnabled(bool enabled);

private:
    LoginItem& item_;
    NotificationService& notifications_;
    const Localization& texts_;
    Logger log_;
};

}  // namespace torvel

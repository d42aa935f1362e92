#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <vector>

#include "Platform/NotificationCenter.h"
#include "Platform/Scheduler.h"

namespace torvel {

/// A simulated notification server: records what was asked of it, answers through the scheduler as the
/// real one answers later, and lets a test play the user clicking a button.
class SimNotificationCenter : public NotificationCenter {
public:
    explicit SimNotificationCenter(Scheduler& scheduler) : scheduler_(scheduler) {}

    void requestAuthorization(AuthorizationCompletion completion) override;
    void setCategories(std::vector<NotificationCategory> categories) override;
    void add(NotificationRequest request, AddCompletion completion) override;
    void setResponseHandler(ResponseHandler handler) override { handler_ = std::move(handler); }
    bool openPowerSettings() override;

    /// How many requests requests() keeps: a long run (a script sending bad URLs for hours) must not
    /// grow the simulated machine without end.
    static constexpr std::size_t kMaxKeptRequests = 100;

    /// The last kMaxKeptRequests requests added, in order, including failed ones.
    const std::vector<NotificationRequest>& requests() const { return requests_; }
    /// How many requests were added in all, including those requests() no longer keeps.
    std::size_t addedCount() const { return added_; }
    /// The notifications on screen now, in order of first showing; a replacement takes its place.
    const std::vector<NotificationRequest>& shown() const { return shown_; }
    /// The categories set last.
    const std::vector<NotificationCategory>& categories() const { return categories_; }
    int authorizationRequestCount() const { return authorizationRequests_; }
    int openPowerSettingsCount() const { return powerSettingsOpened_; }

    /// The answer to later authorization requests (granted until told otherwise).
    void grant(bool granted) { granted_ = granted; }
    /// Later authorization requests fail with `error` and are not granted.
    void failAuthorization(std::string error) { authorizationError_ = std::move(error); }
    /// The next add() fails with `error` and shows nothing.
    void failNextAdd(std::string error) { addError_ = std::move(error); }
    /// Every openPowerSettings() fails until cleared with false.
    void failOpenPowerSettings(bool fail) { failOpenPowerSettings_ = fail; }

    /// The user chooses `actionIdentifier` on notification `requestIdentifier`, which then closes.
    void respond(const std::string& requestIdentifier, const std::string& actionIdentifier);

private:
    Scheduler& scheduler_;
    ResponseHandler handler_;
    std::vector<NotificationRequest> requests_, shown_;
    std::vector<NotificationCategory> categories_;
    std::size_t added_ = 0;
    int authorizationRequests_ = 0, powerSettingsOpened_ = 0;
    bool granted_ = true, failOpenPowerSettings_ = false;
    std::optional<std::string> authorizationError_, addError_;
};

}  // namespace torvel

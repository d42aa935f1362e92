#include "Platform/Sim/SimNotificationCenter.h"

#include <algorithm>
#include <utility>

namespace torvel {

void SimNotificationCenter::requestAuthorization(AuthorizationCompletion completion) {
    ++authorizationRequests_;
    const bool granted = granted_ && !authorizationError_;
    scheduler_.post([completion = std::move(completion), granted, error = authorizationError_] {
        if (completion) completion(granted, error);
    });
}

void SimNotificationCenter::setCategories(std::vector<NotificationCategory> categories) {
    categories_ = std::move(categories);
}

void SimNotificationCenter::add(NotificationRequest request, AddCompletion completion) {
    ++added_;
    if (requests_.size() == kMaxKeptRequests) requests_.erase(requests_.begin());
    requests_.push_back(request);
    std::optional<std::string> error = std::exchange(addError_, std::nullopt);
    if (!error) {
        auto same = std::find_if(shown_.begin(), shown_.end(),
                                 [&](const auto& shown) { return shown.identifier == request.identifier; });
        if (same != shown_.end()) {
            *same = std::move(request);
        } else {
            shown_.push_back(std::move(request));
        }
    }
    scheduler_.post([completion = std::move(completion), error = std::move(error)] {
        if (completion) completion(error);
    });
}

bool SimNotificationCenter::openPowerSettings() {
    if (failOpenPowerSettings_) return false;
    ++powerSettingsOpened_;
    return true;
}

void SimNotificationCenter::respond(const std::string& requestIdentifier,
                                    const std::string& actionIdentifier) {
    std::erase_if(shown_, [&](const auto& shown) { return shown.identifier == requestIdentifier; });
    if (handler_) handler_(requestIdentifier, actionIdentifier);
}

}  // namespace torvel

#include "Services/NotificationService.h"

namespace torvel {

namespace {
constexpr std::size_t kRecentLimit = 32;
}

void NotificationService::send(const std::string& id, const std::string& title, const std::string& body,
                               const std::optional<std::string>& category) {
    if (!isAuthorized_) {
        lastStatusMessage_ = body;
        lastStatusMessageChanged.emit();
        return;
    }
    log_.info("Posting notification '{}'", id);
    recent_.push_back({id, title, body, category});
    if (recent_.size() > kRecentLimit) recent_.pop_front();
}

void NotificationService::clearLastStatusMessage() {
    if (!lastStatusMessage_) return;
    lastStatusMessage_.reset();
    lastStatusMessageChanged.emit();
}

}  // namespace torvel

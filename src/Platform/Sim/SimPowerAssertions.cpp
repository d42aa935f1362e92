#include "Platform/Sim/SimPowerAssertions.h"

#include <utility>

namespace torvel {

namespace {
// What the power-management layer answers for an id it does not know (the "not found" return code).
constexpr std::int32_t kStatusNoSuchAssertion = -536870160;
constexpr const char* kUserActivityType = "UserIsActive";
}  // namespace

AssertionResult SimPowerAssertions::create(AssertionType type, std::string_view name) {
    ++creates_;
    if (failCreate_) return AssertionResult{std::exchange(failCreate_, std::nullopt).value(), 0};
    const std::uint32_t id = nextId_++;
    table_[id] = Held{id, std::string(platformName(type)), std::string(name)};
    return AssertionResult{0, id};
}

std::int32_t SimPowerAssertions::release(std::uint32_t id) {
    ++releases_;
    const bool known = table_.erase(id) > 0;
    if (failRelease_) return std::exchange(failRelease_, std::nullopt).value();
    return known ? 0 : kStatusNoSuchAssertion;
}

std::optional<std::int32_t> SimPowerAssertions::takeActivityFailure() {
    if (failActivity_) return std::exchange(failActivity_, std::nullopt);
    if (failActivityAlways_ != 0) return failActivityAlways_;
    return std::nullopt;
}

AssertionResult SimPowerAssertions::startUserActivity(std::string_view name) {
    ++activities_;
    if (const auto failure = takeActivityFailure()) return AssertionResult{*failure, 0};
    const std::uint32_t id = nextId_++;
    table_[id] = Held{id, kUserActivityType, std::string(name)};
    return AssertionResult{0, id};
}

std::int32_t SimPowerAssertions::confirmUserActivity(std::uint32_t id) {
    ++confirms_;
    if (const auto failure = takeActivityFailure()) return *failure;
    const auto it = table_.find(id);
    return it != table_.end() && it->second.platformType == kUserActivityType ? 0 : kStatusNoSuchAssertion;
}

void SimPowerAssertions::emitServicesChanged() {
    // A copy, so the handler may replace itself while it runs.
    servicesChanged.emit();
}

bool SimPowerAssertions::isAlive(std::uint32_t id) const {
    return table_.count(id) > 0;
}

std::vector<SimPowerAssertions::Held> SimPowerAssertions::held() const {
    // Ids only grow, so the table's key order is the creation order.
    std::vector<Held> out;
    out.reserve(table_.size());
    for (const auto& [id, held] : table_) out.push_back(held);
    return out;
}

std::vector<SimPowerAssertions::Held> SimPowerAssertions::heldKeepAwake() const {
    std::vector<Held> out;
    for (const auto& [id, held] : table_) {
        if (held.platformType != kUserActivityType) out.push_back(held);
    }
    return out;
}

}  // namespace torvel

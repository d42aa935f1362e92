#pragma once

#include <cstdint>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "Platform/PowerAssertions.h"

namespace torvel {

/// A simulated assertion table: records every call, can be inspected, and can be made to fail.
class SimPowerAssertions : public PowerAssertions {
public:
    struct Held {
        std::uint32_t id;
        std::string platformType;  // "PreventUserIdleSystemSleep", or "UserIsActive" for user activity
        std::string name;
    };

    AssertionResult create(AssertionType type, std::string_view name) override;
    std::int32_t release(std::uint32_t id) override;
    AssertionResult declareUserActivity(std::string_view name) override;
    bool isAlive(std::uint32_t id) const override;

    /// Assertions that exist now, in creation order.
    std::vector<Held> held() const;
    /// Keep-awake assertions (not user activity) that exist now.
    std::vector<Held> heldKeepAwake() const;
    int createCount() const { return creates_; }
    int releaseCount() const { return releases_; }
    int userActivityCount() const { return activities_; }

    /// The next create() fails with `status` (non-zero) and creates nothing.
    void failNextCreate(std::int32_t status) { failCreate_ = status; }
    /// The next release() reports `status`; the assertion is gone all the same.
    void failNextRelease(std::int32_t status) { failRelease_ = status; }
    /// The next declareUserActivity() fails with `status`.
    void failNextUserActivity(std::int32_t status) { failActivity_ = status; }
    /// Every declareUserActivity() fails with `status` until cleared with 0.
    void failUserActivity(std::int32_t status) { failActivityAlways_ = status; }
    /// The system drops an assertion behind its owner's back.
    void drop(std::uint32_t id) { table_.erase(id); }

private:
    std::map<std::uint32_t, Held> table_;
    std::uint32_t nextId_ = 100;
    int creates_ = 0, releases_ = 0, activities_ = 0;
    std::optional<std::int32_t> failCreate_, failRelease_, failActivity_;
    std::int32_t failActivityAlways_ = 0;
};

}  // namespace torvel

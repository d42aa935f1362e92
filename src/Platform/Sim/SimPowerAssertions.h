#pragma once

#include <cstdint>
#include <functional>
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
    AssertionResult startUserActivity(std::string_view name) override;
    std::int32_t confirmUserActivity(std::uint32_t id) override;
    bool isAlive(std::uint32_t id) const override;

    /// Assertions and preventions that exist now, in creation order.
    std::vector<Held> held() const;
    /// Keep-awake assertions (not user activity) that exist now.
    std::vector<Held> heldKeepAwake() const;
    int createCount() const { return creates_; }
    int releaseCount() const { return releases_; }
    /// Calls of startUserActivity(), failed ones included.
    int userActivityCount() const { return activities_; }
    /// Calls of confirmUserActivity(), failed ones included.
    int confirmCount() const { return confirms_; }

    /// The next create() fails with `status` (non-zero) and creates nothing.
    void failNextCreate(std::int32_t status) { failCreate_ = status; }
    /// The next release() reports `status`; the assertion is gone all the same.
    void failNextRelease(std::int32_t status) { failRelease_ = status; }
    /// The next startUserActivity() or confirmUserActivity() fails with `status`.
    void failNextUserActivity(std::int32_t status) { failActivity_ = status; }
    /// Every startUserActivity() and confirmUserActivity() fails with `status` until cleared with 0.
    void failUserActivity(std::int32_t status) { failActivityAlways_ = status; }
    /// The system drops an assertion or prevention behind its owner's back.
    void drop(std::uint32_t id) { table_.erase(id); }
    /// An inhibit service appeared on or left the bus.
    void emitServicesChanged();

private:
    std::optional<std::int32_t> takeActivityFailure();

    std::map<std::uint32_t, Held> table_;
    std::uint32_t nextId_ = 100;
    int creates_ = 0, releases_ = 0, activities_ = 0, confirms_ = 0;
    std::optional<std::int32_t> failCreate_, failRelease_, failActivity_;
    std::int32_t failActivityAlways_ = 0;
};

}  // namespace torvel

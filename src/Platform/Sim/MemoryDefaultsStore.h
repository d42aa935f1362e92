#pragma once

#include <map>

#include "Platform/DefaultsStore.h"

namespace torvel {

/// A defaults store in memory, for tests and the simulated machine. Counts writes so tests can see
/// that a value was not rewritten, and can be told to refuse them as a full or broken disk would.
class MemoryDefaultsStore : public DefaultsStore {
public:
    std::optional<DefaultsValue> object(std::string_view key) const override {
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    DefaultsWrite apply(const std::vector<DefaultsChange>& changes) override {
        if (failure_) return DefaultsWrite::failed(*failure_);
        for (const auto& change : changes) {
            if (change.value) {
                values_.insert_or_assign(change.key, *change.value);
            } else if (auto it = values_.find(change.key); it != values_.end()) {
                values_.erase(it);
            }
        }
        ++writes_;
        return DefaultsWrite::ok();
    }
    std::vector<std::string> keys() const override {
        std::vector<std::string> out;
        for (const auto& [key, value] : values_) out.push_back(key);
        return out;
    }
    /// Number of writes so far (a batch counts once); refused writes do not count.
    int writeCount() const { return writes_; }
    /// Every write fails with `reason` from now on; std::nullopt lets them through again.
    void failWrites(std::optional<std::string> reason) { failure_ = std::move(reason); }

private:
    std::map<std::string, DefaultsValue, std::less<>> values_;
    int writes_ = 0;
    std::optional<std::string> failure_;
};

}  // namespace torvel

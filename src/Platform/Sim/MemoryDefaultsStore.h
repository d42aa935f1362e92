#pragma once

#include <map>

#include "Platform/DefaultsStore.h"

namespace torvel {

/// A defaults store in memory, for tests and the simulated machine. Counts writes so tests can see
/// that a value was not rewritten.
class MemoryDefaultsStore : public DefaultsStore {
public:
    std::optional<DefaultsValue> object(std::string_view key) const override {
        auto it = values_.find(key);
        if (it == values_.end()) return std::nullopt;
        return it->second;
    }
    bool set(std::string_view key, const DefaultsValue& value) override {
        values_.insert_or_assign(std::string(key), value);
        ++writes_;
        return true;
    }
    bool remove(std::string_view key) override {
        if (auto it = values_.find(key); it != values_.end()) values_.erase(it);
        ++writes_;
        return true;
    }
    std::vector<std::string> keys() const override {
        std::vector<std::string> out;
        for (const auto& [key, value] : values_) out.push_back(key);
        return out;
    }
    /// Number of set() and remove() calls so far.
    int writeCount() const { return writes_; }

private:
    std::map<std::string, DefaultsValue, std::less<>> values_;
    int writes_ = 0;
};

}  // namespace torvel

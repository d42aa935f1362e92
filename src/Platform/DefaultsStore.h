#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <variant>
#include <vector>

#include "Models/Date.h"

namespace torvel {

/// Raw bytes stored under a key (JSON documents such as the profile list).
struct DefaultsData {
    std::vector<std::uint8_t> bytes;

    static DefaultsData fromString(std::string_view text) { return {{text.begin(), text.end()}}; }
    std::string toString() const { return {bytes.begin(), bytes.end()}; }
    friend bool operator==(const DefaultsData&, const DefaultsData&) = default;
};

/// One stored value. The kinds stay apart: a Boolean is never read back as an integer, an integer
/// never as a floating-point number, so a value of the wrong kind can be told from a missing one.
using DefaultsValue = std::variant<bool, std::int64_t, double, std::string, DefaultsData, Date>;

/// The user's preferences and small records, by key. Writes are synchronous and durable.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    /// The value under `key`; std::nullopt when there is none.
    virtual std::optional<DefaultsValue> object(std::string_view key) const = 0;
    /// Stores `value` under `key`. Failure (the disk refused it): false, logged by the store; the
    /// value is still kept in memory for this run.
    virtual bool set(std::string_view key, const DefaultsValue& value) = 0;
    /// Removes `key`; removing a missing key succeeds. Failure: false, as for set().
    virtual bool remove(std::string_view key) = 0;
    /// Every key held, sorted.
    virtual std::vector<std::string> keys() const = 0;

    /// The Boolean under `key`; false when missing or of another kind.
    bool boolValue(std::string_view key) const {
        auto value = object(key);
        const bool* b = value ? std::get_if<bool>(&*value) : nullptr;
        return b && *b;
    }
};

}  // namespace torvel

#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
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

/// One change of a batch: the value to store under `key`, or std::nullopt to remove the key.
struct DefaultsChange {
    /// The key changed.
    std::string key;
    /// Its new value; std::nullopt removes it.
    std::optional<DefaultsValue> value;
};

/// What became of a write: true when it is on disk, else `error` says why, naming the file and the
/// system's reason ("cannot create /home/u/.config/torvel: Not a directory").
struct DefaultsWrite {
    /// Why the write failed; std::nullopt when it is on disk.
    std::optional<std::string> error;

    /// A write that reached the disk.
    static DefaultsWrite ok() { return {}; }
    /// A write that did not, for `why`.
    static DefaultsWrite failed(std::string why) { return {std::move(why)}; }
    /// True when the write is on disk.
    explicit operator bool() const { return !error; }
};

/// The user's preferences and small records, by key. Writes are synchronous and durable, and a write
/// that fails changes nothing, in memory either: what object() answers is what the disk holds.
class DefaultsStore {
public:
    virtual ~DefaultsStore() = default;
    /// The value under `key`; std::nullopt when there is none.
    virtual std::optional<DefaultsValue> object(std::string_view key) const = 0;
    /// Applies every change in one write, all or none of them; removing a missing key succeeds.
    /// Failure: the reason, logged by the store, and nothing changed.
    virtual DefaultsWrite apply(const std::vector<DefaultsChange>& changes) = 0;
    /// Every key held, sorted.
    virtual std::vector<std::string> keys() const = 0;
    /// Why the entry under `key` cannot be read as a value (a kind this version does not know, a
    /// damaged value); std::nullopt when there is no such entry. object() answers std::nullopt for it,
    /// and it is kept as it is until `key` itself is written or removed.
    virtual std::optional<std::string> unreadable(std::string_view) const { return std::nullopt; }
    /// Stores a copy of whatever is under `from`, readable or not, unchanged under `to`. Failure:
    /// nothing under `from`, or the write failed.
    virtual DefaultsWrite copy(std::string_view from, std::string_view to) {
        auto value = object(from);
        if (!value) return DefaultsWrite::failed("nothing is stored under \"" + std::string(from) + "\"");
        return set(to, *value);
    }

    /// Stores `value` under `key`; a one-change apply().
    DefaultsWrite set(std::string_view key, const DefaultsValue& value) {
        return apply({{std::string(key), value}});
    }
    /// Removes `key`; a one-change apply().
    DefaultsWrite remove(std::string_view key) { return apply({{std::string(key), std::nullopt}}); }

    /// The Boolean under `key`; false when missing or of another kind.
    bool boolValue(std::string_view key) const {
        auto value = object(key);
        const bool* b = value ? std::get_if<bool>(&*value) : nullptr;
        return b && *b;
    }
};

}  // namespace torvel

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>

#include "Platform/DefaultsStore.h"

/// One stored value in the settings file: an object with one member naming its kind, {"int": 20},
/// {"data": "<Base64>"}, {"date": <seconds since 2001>}, so the kinds stay apart on reading.
namespace torvel::TaggedDefaultsValue {

/// Why the file cannot carry `value` under `key` (a non-finite number, text that is not UTF-8);
/// std::nullopt when it can.
std::optional<std::string> unrepresentable(std::string_view key, const DefaultsValue& value);

/// The tagged form of `value`, which must be representable.
nlohmann::json encode(const DefaultsValue& value);

/// The value of one stored entry; std::nullopt with `problem` set when it is not one. The kinds are
/// kept strictly: only an integer is an int, only a Boolean a bool (any finite number is a double).
std::optional<DefaultsValue> decode(const nlohmann::json& entry, std::string& problem);

}  // namespace torvel::TaggedDefaultsValue

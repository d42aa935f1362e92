#include "Platform/Linux/Helpers/TaggedDefaultsValue.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include <fmt/format.h>

#include "Platform/Linux/Helpers/Base64.h"

namespace torvel::TaggedDefaultsValue {

using json = nlohmann::json;

namespace {

bool isUtf8(const std::string& text) {
    try {
        (void)json(text).dump();
        return true;
    } catch (const json::exception&) {
        return false;
    }
}

}  // namespace

std::optional<std::string> unrepresentable(std::string_view key, const DefaultsValue& value) {
    if (!isUtf8(std::string(key))) return "the key is not UTF-8";
    if (const double* d = std::get_if<double>(&value); d && !std::isfinite(*d)) {
        return fmt::format("{} is not a finite number", *d);
    }
    if (const std::string* s = std::get_if<std::string>(&value); s && !isUtf8(*s)) {
        return "the string is not UTF-8";
    }
    return std::nullopt;
}

json encode(const DefaultsValue& value) {
    struct Visitor {
        json operator()(bool b) const { return {{"bool", b}}; }
        json operator()(std::int64_t i) const { return {{"int", i}}; }
        json operator()(double d) const { return {{"double", d}}; }
        json operator()(const std::string& s) const { return {{"string", s}}; }
        json operator()(const DefaultsData& data) const { return {{"data", encodeBase64(data.bytes)}}; }
        json operator()(Date date) const { return {{"date", date.secondsSinceReferenceDate()}}; }
    };
    return std::visit(Visitor{}, value);
}

std::optional<DefaultsValue> decode(const json& entry, std::string& problem) {
    if (!entry.is_object() || entry.size() != 1) {
        problem = "not an object with exactly one member";
        return std::nullopt;
    }
    const std::string& kind = entry.begin().key();
    const json& raw = entry.begin().value();
    const bool finite = raw.is_number() && std::isfinite(raw.get<double>());
    if (kind == "bool" && raw.is_boolean()) return raw.get<bool>();
    if (kind == "int" && raw.is_number_integer() &&
        (!raw.is_number_unsigned() || raw.get<std::uint64_t>() <= std::numeric_limits<std::int64_t>::max())) {
        return raw.get<std::int64_t>();
    }
    if (kind == "double" && finite) return raw.get<double>();
    if (kind == "date" && finite) return Date(raw.get<double>());
    if (kind == "string" && raw.is_string()) return raw.get<std::string>();
    if (kind == "data" && raw.is_string()) {
        if (auto bytes = decodeBase64(raw.get_ref<const std::string&>()))
            return DefaultsData{std::move(*bytes)};
        problem = "the data is not valid Base64";
        return std::nullopt;
    }
    static constexpr std::string_view kinds[] = {"bool", "int", "double", "string", "data", "date"};
    const bool known = std::find(std::begin(kinds), std::end(kinds), kind) != std::end(kinds);
    problem = known ? fmt::format("\"{}\" holds an unsuitable JSON {}", kind, raw.type_name())
                    : fmt::format("unknown kind \"{}\"", kind);
    return std::nullopt;
}

}  // namespace torvel::TaggedDefaultsValue

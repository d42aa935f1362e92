#include "Models/TrustedNetwork.h"

#include <nlohmann/json.hpp>

#include "Models/JsonErrors.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {

using json_errors::fail;

std::optional<TrustedNetwork> decode(const nlohmann::json& entry, std::size_t index, std::string& error) {
    const std::string where = "Trusted network " + std::to_string(index);
    if (!entry.is_object()) {
        error = where + " is not an object.";
        return std::nullopt;
    }
    const auto id = entry.find("id");
    const auto ssid = entry.find("ssid");
    const auto addedAt = entry.find("addedAt");
    if (id == entry.end() || ssid == entry.end() || addedAt == entry.end()) {
        error = where + " lacks a key.";
        return std::nullopt;
    }
    if (!id->is_string() || !ssid->is_string() || !addedAt->is_number()) {
        error = where + ": a value has the wrong type.";
        return std::nullopt;
    }
    const auto uuid = Uuid::parse(id->get<std::string>());
    if (!uuid) {
        error = where + ": \"id\" is not a UUID.";
        return std::nullopt;
    }
    return TrustedNetwork{*uuid, ssid->get<std::string>(), Date(addedAt->get<double>())};
}

}  // namespace

std::string trustedNetworksToJson(const std::vector<TrustedNetwork>& networks) {
    auto array = nlohmann::json::array();
    for (const auto& n : networks) {
        array.push_back(
            {{"id", n.id.toString()}, {"ssid", n.ssid}, {"addedAt", n.addedAt.secondsSinceReferenceDate()}});
    }
    // Replace invalid UTF-8 (an SSID is raw bytes) rather than failing to store the list.
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::vector<TrustedNetwork>> trustedNetworksFromJson(std::string_view json, std::string* error,
                                                                   std::vector<TrustedNetwork>* readable) {
    if (readable) readable->clear();
    const auto stored = parseStoredJson(json);
    if (!stored || !stored->is_array()) {
        fail(error, "The trusted network list is not a JSON array.");
        return std::nullopt;
    }
    return json_errors::decodeReadable<TrustedNetwork>(*stored, decode, error, readable);
}

}  // namespace torvel

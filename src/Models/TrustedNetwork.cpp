#include "Models/TrustedNetwork.h"

#include <nlohmann/json.hpp>

#include "Models/JsonErrors.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {


Result<TrustedNetwork> decode(const nlohmann::json& entry, std::size_t index) {
    const std::string where = "Trusted network " + std::to_string(index);
    if (!entry.is_object()) {
        return Failure{where + " is not an object."};
    }
    const auto id = entry.find("id");
    const auto ssid = entry.find("ssid");
    const auto addedAt = entry.find("addedAt");
    if (id == entry.end() || ssid == entry.end() || addedAt == entry.end()) {
        return Failure{where + " lacks a key."};
    }
    if (!id->is_string() || !ssid->is_string() || !addedAt->is_number()) {
        return Failure{where + ": a value has the wrong type."};
    }
    const auto uuid = Uuid::parse(id->get<std::string>());
    if (!uuid) {
        return Failure{where + ": \"id\" is not a UUID."};
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

Result<std::vector<TrustedNetwork>> trustedNetworksFromJson(std::string_view json,
                                                            std::vector<TrustedNetwork>* readable) {
    if (readable) readable->clear();
    const auto stored = parseStoredJson(json);
    if (!stored || !stored->is_array()) return Failure{"The trusted network list is not a JSON array."};
    return json_errors::decodeReadable<TrustedNetwork>(*stored, decode, readable);
}

}  // namespace torvel

#include "Models/TrustedNetwork.h"

#include <nlohmann/json.hpp>

#include "Models/StoredJson.h"

namespace torvel {

std::string trustedNetworksToJson(const std::vector<TrustedNetwork>& networks) {
    auto array = nlohmann::json::array();
    for (const auto& n : networks) {
        array.push_back(
            {{"id", n.id.toString()}, {"ssid", n.ssid}, {"addedAt", n.addedAt.secondsSinceReferenceDate()}});
    }
    // Replace invalid UTF-8 (an SSID is raw bytes) rather than failing to store the list.
    return array.dump(-1, ' ', false, nlohmann::json::error_handler_t::replace);
}

std::optional<std::vector<TrustedNetwork>> trustedNetworksFromJson(std::string_view json) {
    const auto parsed = parseStoredJson(json);
    if (!parsed || !parsed->is_array()) return std::nullopt;
    std::vector<TrustedNetwork> out;
    for (const auto& entry : *parsed) {
        if (!entry.is_object()) return std::nullopt;
        auto id = entry.find("id");
        auto ssid = entry.find("ssid");
        auto addedAt = entry.find("addedAt");
        if (id == entry.end() || ssid == entry.end() || addedAt == entry.end()) return std::nullopt;
        if (!id->is_string() || !ssid->is_string() || !addedAt->is_number()) return std::nullopt;
        auto uuid = Uuid::parse(id->get<std::string>());
        if (!uuid) return std::nullopt;
        out.push_back({*uuid, ssid->get<std::string>(), Date(addedAt->get<double>())});
    }
    return out;
}

}  // namespace torvel

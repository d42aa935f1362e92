#include "Models/WatchedApp.h"

#include <nlohmann/json.hpp>

#include "Models/JsonErrors.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {

using nlohmann::json;

using json_errors::withoutExceptionTag;

Result<WatchedApp> decode(const json& entry, std::size_t index) {
    const std::string where = "Watched application " + std::to_string(index);
    if (!entry.is_object()) {
        return Failure{where + " is not an object."};
    }
    for (const char* key : {"id", "bundleID", "name", "addedAt"}) {
        if (!entry.contains(key)) {
            return Failure{where + ": missing key \"" + key + "\"."};
        }
    }
    const json& id = entry["id"];
    const json& desktopId = entry["bundleID"];
    const json& name = entry["name"];
    const json& addedAt = entry["addedAt"];
    if (!id.is_string() || !desktopId.is_string() || !name.is_string() || !addedAt.is_number()) {
        return Failure{where + ": a value has the wrong type."};
    }
    auto uuid = Uuid::parse(id.get<std::string>());
    if (!uuid) {
        return Failure{where + ": \"id\" is not a UUID."};
    }
    return WatchedApp{*uuid, desktopId.get<std::string>(), name.get<std::string>(),
                      Date(addedAt.get<double>())};
}

}  // namespace

Result<std::string> watchedAppsToJson(const std::vector<WatchedApp>& apps) {
    auto array = json::array();
    for (const auto& app : apps) {
        array.push_back({{"id", app.id.toString()},
                         {"bundleID", app.desktopId},
                         {"name", app.name},
                         {"addedAt", app.addedAt.secondsSinceReferenceDate()}});
    }
    try {
        return array.dump();
    } catch (const json::exception& e) {  // text that is not UTF-8
        return Failure{withoutExceptionTag(e.what())};
    }
}

Result<std::vector<WatchedApp>> watchedAppsFromJson(std::string_view text, std::vector<WatchedApp>* readable) {
    if (readable) readable->clear();
    const auto stored = parseStoredJson(text);
    if (!stored || !stored->is_array()) return Failure{"The watched application list is not a JSON array."};
    return json_errors::decodeReadable<WatchedApp>(*stored, decode, readable);
}

}  // namespace torvel

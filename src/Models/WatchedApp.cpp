#include "Models/WatchedApp.h"

#include <nlohmann/json.hpp>

#include "Models/JsonErrors.h"
#include "Models/StoredJson.h"

namespace torvel {

namespace {

using nlohmann::json;

using json_errors::fail;
using json_errors::withoutExceptionTag;

std::optional<WatchedApp> decode(const json& entry, std::size_t index, std::string* error) {
    const std::string where = "Watched application " + std::to_string(index);
    if (!entry.is_object()) {
        fail(error, where + " is not an object.");
        return std::nullopt;
    }
    for (const char* key : {"id", "bundleID", "name", "addedAt"}) {
        if (!entry.contains(key)) {
            fail(error, where + ": missing key \"" + key + "\".");
            return std::nullopt;
        }
    }
    const json& id = entry["id"];
    const json& bundleID = entry["bundleID"];
    const json& name = entry["name"];
    const json& addedAt = entry["addedAt"];
    if (!id.is_string() || !bundleID.is_string() || !name.is_string() || !addedAt.is_number()) {
        fail(error, where + ": a value has the wrong type.");
        return std::nullopt;
    }
    auto uuid = Uuid::parse(id.get<std::string>());
    if (!uuid) {
        fail(error, where + ": \"id\" is not a UUID.");
        return std::nullopt;
    }
    return WatchedApp{*uuid, bundleID.get<std::string>(), name.get<std::string>(),
                      Date(addedAt.get<double>())};
}

}  // namespace

std::optional<std::string> watchedAppsToJson(const std::vector<WatchedApp>& apps, std::string* error) {
    auto array = json::array();
    for (const auto& app : apps) {
        array.push_back({{"id", app.id.toString()},
                         {"bundleID", app.bundleID},
                         {"name", app.name},
                         {"addedAt", app.addedAt.secondsSinceReferenceDate()}});
    }
    try {
        return array.dump();
    } catch (const json::exception& e) {  // text that is not UTF-8
        fail(error, withoutExceptionTag(e.what()));
        return std::nullopt;
    }
}

std::optional<std::vector<WatchedApp>> watchedAppsFromJson(std::string_view text, std::string* error,
                                                           std::vector<WatchedApp>* readable) {
    if (readable) readable->clear();
    const auto stored = parseStoredJson(text);
    if (!stored || !stored->is_array()) {
        fail(error, "The watched application list is not a JSON array.");
        return std::nullopt;
    }
    return json_errors::decodeReadable<WatchedApp>(
        *stored, [](const json& entry, std::size_t index, std::string& why) { return decode(entry, index, &why); },
        error, readable);
}

}  // namespace torvel

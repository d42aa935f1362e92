#include "Models/StoredJson.h"

#include "Models/JsonErrors.h"

namespace torvel {

namespace {

struct TooDeep {};

}  // namespace

Result<nlohmann::json> parseStoredJson(std::string_view text) {
    using nlohmann::json;
    // The callback sees the number of enclosing containers when one opens. Returning false would
    // drop the value and keep going, quietly "repairing" the document; throwing refuses all of it.
    const json::parser_callback_t bound = [](int depth, json::parse_event_t event, json&) {
        if ((event == json::parse_event_t::object_start || event == json::parse_event_t::array_start) &&
            depth >= kMaxStoredJsonDepth) {
            throw TooDeep{};
        }
        return true;
    };
    try {
        return json::parse(text, bound);
    } catch (const TooDeep&) {
        return Failure{"nested deeper than " + std::to_string(kMaxStoredJsonDepth) + " levels"};
    } catch (const json::exception& e) {
        return Failure{json_errors::withoutExceptionTag(e.what())};
    }
}

}  // namespace torvel

#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <nlohmann/json.hpp>
#include "Models/Result.h"

namespace torvel {

/// How deep stored JSON may nest. Our own forms need four levels; nlohmann copies, compares and
/// writes documents recursively, so a file nested a hundred thousand levels deep would overflow the
/// stack on the first copy. A document deeper than this is refused whole, never trimmed.
inline constexpr int kMaxStoredJsonDepth = 64;

/// Parses JSON read back from disk or from the settings. Not JSON, or nested deeper than
/// kMaxStoredJsonDepth: a failure saying why (nlohmann's exception tag removed).
Result<nlohmann::json> parseStoredJson(std::string_view text);

}  // namespace torvel

#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

namespace torvel {

/// The values a control offers for an integer setting.
struct IntegerRange {
    std::int64_t min;
    std::int64_t max;
};

/// The range the settings controls (the window and the command line) offer for `key`, as the
/// settings table gives it; std::nullopt for a setting that is not an integer or has no bound.
std::optional<IntegerRange> offeredRange(std::string_view key);

}  // namespace torvel

#include "UI/SettingsRanges.h"

#include <variant>

#include "Core/Settings.h"

namespace torvel {

std::optional<IntegerRange> offeredRange(std::string_view key) {
    const SettingDescriptor* row = settingDescriptor(key);
    if (!row || !row->range || !std::holds_alternative<std::int64_t SettingsValues::*>(row->member))
        return std::nullopt;
    return IntegerRange{static_cast<std::int64_t>(row->range->min),
                        static_cast<std::int64_t>(row->range->max)};
}

}  // namespace torvel

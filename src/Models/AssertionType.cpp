#include "Models/AssertionType.h"

#include <algorithm>

namespace torvel {

namespace {

struct TypeInfo {
    AssertionType type;
    std::string_view raw;
    std::string_view platform;
    std::string_view label;
};

// Indexed by the enumerator's value.
constexpr std::array<TypeInfo, 3> kTypes = {{
    {AssertionType::noIdleSleep, "noIdleSleep", "PreventUserIdleSystemSleep", "assertion.no_idle_sleep"},
    {AssertionType::noSystemSleep, "noSystemSleep", "PreventSystemSleep", "assertion.no_system_sleep"},
    {AssertionType::noDisplaySleep, "noDisplaySleep", "NoDisplaySleepAssertion",
     "assertion.no_display_sleep"},
}};

const TypeInfo& info(AssertionType type) {
    return kTypes.at(static_cast<std::size_t>(type));
}

}  // namespace

std::string_view rawValue(AssertionType type) {
    return info(type).raw;
}

std::optional<AssertionType> assertionTypeFromRaw(std::string_view raw) {
    for (const auto& entry : kTypes) {
        if (entry.raw == raw) return entry.type;
    }
    return std::nullopt;
}

std::string_view platformName(AssertionType type) {
    return info(type).platform;
}

std::string_view labelKey(AssertionType type) {
    return info(type).label;
}

AssertionType strongest(AssertionType a, AssertionType b) {
    return std::max(a, b);
}

}  // namespace torvel

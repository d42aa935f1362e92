#pragma once

#include <array>
#include <optional>
#include <string_view>

namespace torvel {

/// The kind of power assertion held. Declaration order is strength order: noDisplaySleep is strongest.
enum class AssertionType { noIdleSleep, noSystemSleep, noDisplaySleep };

inline constexpr std::array<AssertionType, 3> kAllAssertionTypes = {
    AssertionType::noIdleSleep, AssertionType::noSystemSleep, AssertionType::noDisplaySleep};

/// The stored string ("noIdleSleep").
std::string_view rawValue(AssertionType type);
/// The type whose raw value is exactly `raw`; std::nullopt for anything else.
std::optional<AssertionType> assertionTypeFromRaw(std::string_view raw);
/// The power-management name of the type ("PreventUserIdleSystemSleep"), shown in power reports.
std::string_view platformName(AssertionType type);
/// Localisation key of the type's label ("assertion.no_idle_sleep").
std::string_view labelKey(AssertionType type);
/// The stronger of two types.
AssertionType strongest(AssertionType a, AssertionType b);

}  // namespace torvel

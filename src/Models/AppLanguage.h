#pragma once

#include <optional>
#include <string_view>

namespace torvel {

/// The language the user picked for Torvel's texts.
enum class AppLanguage { system, en, cs };

/// "system", "en" or "cs".
std::string_view rawValue(AppLanguage language);
/// The language of a stored raw value; std::nullopt for anything else.
std::optional<AppLanguage> appLanguageFromRaw(std::string_view raw);

}  // namespace torvel

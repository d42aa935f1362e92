#pragma once

#include "Platform/SystemLocale.h"

namespace torvel {

/// Preferred languages from the POSIX environment: LANGUAGE (a colon-separated list), then
/// LC_ALL, LC_MESSAGES and LANG, skipping the "C" and "POSIX" locales.
class EnvironmentSystemLocale : public SystemLocale {
public:
    std::vector<std::string> preferredLanguages() const override;
    /// Collates by the process's locale (LC_COLLATE through Qt), ignoring case.
    int compareIgnoringCase(std::string_view a, std::string_view b) const override;
    /// Unicode case folding.
    bool containsIgnoringCase(std::string_view text, std::string_view part) const override;
};

}  // namespace torvel

#pragma once

#include <memory>

#include "Platform/SystemLocale.h"

class QCollator;

namespace torvel {

/// Preferred languages from the POSIX environment: LANGUAGE (a colon-separated list), then
/// LC_ALL, LC_MESSAGES and LANG, skipping the "C" and "POSIX" locales.
class EnvironmentSystemLocale : public SystemLocale {
public:
    EnvironmentSystemLocale();
    ~EnvironmentSystemLocale() override;

    std::vector<std::string> preferredLanguages() const override;
    /// Collates by the process's locale (LC_COLLATE through Qt), ignoring case.
    int compareIgnoringCase(std::string_view a, std::string_view b) const override;
    /// Unicode case folding.
    bool containsIgnoringCase(std::string_view text, std::string_view part) const override;

private:
    /// Made once: a collator loads the locale's rules.
    std::unique_ptr<QCollator> collator_;
};

}  // namespace torvel

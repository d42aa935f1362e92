#pragma once

#include "Platform/SystemLocale.h"

namespace torvel {

/// Preferred languages from the POSIX environment: LANGUAGE (a colon-separated list), then
/// LC_ALL, LC_MESSAGES and LANG, skipping the "C" and "POSIX" locales.
class EnvironmentSystemLocale : public SystemLocale {
public:
    std::vector<std::string> preferredLanguages() const override;
};

}  // namespace torvel

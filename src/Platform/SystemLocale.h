#pragma once

#include <string>
#include <vector>

namespace torvel {

/// The languages the user prefers, as the desktop session says.
class SystemLocale {
public:
    virtual ~SystemLocale() = default;
    /// Locale identifiers, most preferred first ("cs_CZ.UTF-8", "en"); empty when nothing is set.
    virtual std::vector<std::string> preferredLanguages() const = 0;
};

}  // namespace torvel

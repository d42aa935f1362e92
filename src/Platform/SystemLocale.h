#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace torvel {

/// The languages the user prefers, as the desktop session says.
class SystemLocale {
public:
    virtual ~SystemLocale() = default;
    /// Locale identifiers, most preferred first ("cs_CZ.UTF-8", "en"); empty when nothing is set.
    virtual std::vector<std::string> preferredLanguages() const = 0;
    /// Orders two UTF-8 texts as the user's language sorts them, without regard to case: negative
    /// when `a` comes first, 0 when they sort alike, positive otherwise.
    virtual int compareIgnoringCase(std::string_view a, std::string_view b) const = 0;
    /// Whether UTF-8 `text` contains `part` without regard to case (an empty part is contained).
    virtual bool containsIgnoringCase(std::string_view text, std::string_view part) const = 0;
};

}  // namespace torvel

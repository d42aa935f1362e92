#pragma once

#include <algorithm>
#include <utility>

#include "Platform/SystemLocale.h"

namespace torvel {

/// Preferred languages set by the test.
class SimSystemLocale : public SystemLocale {
public:
    std::vector<std::string> preferredLanguages() const override { return languages_; }
    void setPreferredLanguages(std::vector<std::string> languages) { languages_ = std::move(languages); }
    /// Folds ASCII letters only: enough for the names tests use.
    int compareIgnoringCase(std::string_view a, std::string_view b) const override {
        const std::string x = fold(a), y = fold(b);
        return x < y ? -1 : x == y ? 0 : 1;
    }
    bool containsIgnoringCase(std::string_view text, std::string_view part) const override {
        return fold(text).find(fold(part)) != std::string::npos;
    }

private:
    static std::string fold(std::string_view text) {
        std::string out(text);
        std::transform(out.begin(), out.end(), out.begin(),
                       [](char c) { return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c; });
        return out;
    }

    std::vector<std::string> languages_;
};

}  // namespace torvel

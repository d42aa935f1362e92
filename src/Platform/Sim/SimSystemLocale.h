#pragma once

#include <utility>

#include "Platform/SystemLocale.h"

namespace torvel {

/// Preferred languages set by the test.
class SimSystemLocale : public SystemLocale {
public:
    std::vector<std::string> preferredLanguages() const override { return languages_; }
    void setPreferredLanguages(std::vector<std::string> languages) { languages_ = std::move(languages); }

private:
    std::vector<std::string> languages_;
};

}  // namespace torvel

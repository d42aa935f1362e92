#pragma once

#include <optional>
#include <string>
#include <utility>

#include "Platform/LoginItem.h"

namespace torvel {

/// A login item that remembers its switch and can be told to refuse the next change.
class SimLoginItem : public LoginItem {
public:
    bool isEnabled() const override { return enabled_; }
    std::optional<std::string> enable() override { return change(true); }
    std::optional<std::string> disable() override { return change(false); }

    /// The next enable() or disable() fails with `why` and changes nothing.
    void failNextChange(std::string why) { failure_ = std::move(why); }
    /// How many changes were asked for, refused ones included.
    int changeCount() const { return changes_; }

private:
    std::optional<std::string> change(bool enabled) {
        ++changes_;
        if (auto failure = std::exchange(failure_, std::nullopt)) return failure;
        enabled_ = enabled;
        return std::nullopt;
    }

    bool enabled_ = false;
    std::optional<std::string> failure_;
    int changes_ = 0;
};

}  // namespace torvel

#pragma once

#include <optional>
#include <string>

#include "Services/StayguardServiceProtocol.h"

namespace torvel {

class Localization;

/// The line under the helper's install button: its text and whether it reads as good news.
struct StayguardResultText {
    enum class Colour { green, orange };
    /// Empty when there is no result to show.
    std::string text;
    Colour colour = Colour::orange;
};

/// The text and colour for the last installation's result; no result gives no text.
StayguardResultText stayguardResultText(const std::optional<StayguardInstallResult>& result,
                                        const Localization& texts);

}  // namespace torvel

#pragma once

#include <optional>
#include <string>
#include <vector>

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

/// One of the helper's three permissions as the settings window lists it.
struct StayguardGrantLine {
    std::string text;
    bool granted = false;
    /// False where the permission has nothing to act on here (no power saver): neither yes nor no.
    bool available = true;
};

/// The three permissions in a fixed order (lid, power saver, suspend), each with whether it is granted.
std::vector<StayguardGrantLine> stayguardGrantLines(const PowerGrants& grants, const Localization& texts);

/// What the settings say of other processes that hold the lid switch: one text each, naming the
/// process and the desktop setting that decides instead; none when nobody else holds it (or unknown).
std::vector<std::string> lidHolderTexts(const std::optional<std::vector<LidHolder>>& holders,
                                        const Localization& texts);

}  // namespace torvel

#include "UI/DurationTexts.h"

#include "Support/Localization.h"

namespace torvel {

Duration::TextLookup durationLookup(const Localization& texts) {
    return [&texts](std::string_view key, const std::optional<std::string>& arg) {
        return arg ? texts.format(key, {*arg}) : texts.text(key);
    };
}

}  // namespace torvel

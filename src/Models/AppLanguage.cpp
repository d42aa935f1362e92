#include "Models/AppLanguage.h"

namespace torvel {

std::string_view rawValue(AppLanguage language) {
    switch (language) {
        case AppLanguage::system:
            return "system";
        case AppLanguage::en:
            return "en";
        case AppLanguage::cs:
            return "cs";
    }
    return "system";
}

std::optional<AppLanguage> appLanguageFromRaw(std::string_view raw) {
    if (raw == "system") return AppLanguage::system;
    if (raw == "en") return AppLanguage::en;
    if (raw == "cs") return AppLanguage::cs;
    return std::nullopt;
}

}  // namespace torvel

#include "UI/StayguardResultText.h"

#include "Support/Localization.h"

namespace torvel {

StayguardResultText stayguardResultText(const std::optional<StayguardInstallResult>& result,
                                        const Localization& texts) {
    using Kind = StayguardInstallResult::Kind;
    if (!result) return {};
    switch (result->kind) {
        case Kind::success:
            return {texts.text("settings.trusted_networks.stayguard_install_success"),
                    StayguardResultText::Colour::green};
        case Kind::userCancelled:
            return {texts.text("settings.trusted_networks.stayguard_install_cancelled")};
        case Kind::bundleResourceMissing:
            return {texts.text("settings.trusted_networks.stayguard_install_missing_resource")};
        case Kind::validationFailed:
            return {texts.format("settings.trusted_networks.stayguard_install_validation_failed",
                                 {result->message})};
        case Kind::installFailed:
            return {texts.format("settings.trusted_networks.stayguard_install_failed", {result->message})};
    }
    return {};
}

std::vector<StayguardGrantLine> stayguardGrantLines(const PowerGrants& grants, const Localization& texts) {
    return {{texts.text("settings.trusted_networks.stayguard_grant_lid_switch"), grants.lidSwitch},
            grants.powerSaverAbsent
                ? StayguardGrantLine{texts.text(
                                         "settings.trusted_networks.stayguard_grant_power_saver_unavailable"),
                                     false, false}
                : StayguardGrantLine{texts.text("settings.trusted_networks.stayguard_grant_power_saver"),
                                     grants.powerSaver},
            {texts.text("settings.trusted_networks.stayguard_grant_suspend"), grants.suspend}};
}

std::vector<std::string> lidHolderTexts(const std::optional<std::vector<LidHolder>>& holders,
                                        const Localization& texts) {
    std::vector<std::string> out;
    if (!holders) return out;
    for (const auto& holder : *holders)
        out.push_back(texts.format("settings.trusted_networks.stayguard_lid_other_holder",
                                   {holder.who, std::to_string(holder.pid), holder.desktop}));
    return out;
}

}  // namespace torvel

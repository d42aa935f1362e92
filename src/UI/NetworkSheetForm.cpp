#include "UI/NetworkSheetForm.h"

#include <string_view>

#include "State/AppState.h"
#include "UI/WindowModel.h"

namespace torvel {

std::string NetworkSheetForm::trimmed(const std::string& text) {
    constexpr std::string_view kBlank = " \t\n\r\v\f";
    const auto first = text.find_first_not_of(kBlank);
    if (first == std::string::npos) return {};
    return text.substr(first, text.find_last_not_of(kBlank) - first + 1);
}

bool NetworkSheetForm::add(WindowModel& model) {
    return settle(model.addTrustedNetwork(trimmed(text)));
}

bool NetworkSheetForm::add(AppState& state) {
    return settle(state.trustedNetworks().addTrustedSSID(trimmed(text)));
}

bool NetworkSheetForm::settle(bool added) {
    if (!added) {
        errorKey = "settings.trusted_networks.manual_sheet_duplicate";
        return false;
    }
    errorKey.clear();
    return true;
}

}  // namespace torvel

#include "Models/ActivationReason.h"
#include "Models/ReasonSet.h"

#include <algorithm>

namespace torvel {

namespace {

struct ReasonInfo {
    ActivationReason reason;
    std::string_view raw;
    std::string_view label;
};

// Indexed by the enumerator's value; the raw values are what profiles and saved sessions hold.
constexpr std::array<ReasonInfo, 7> kReasons = {{
    {ActivationReason::manual, "manual", "reason.manual"},
    {ActivationReason::timer, "timer", "reason.timer"},
    {ActivationReason::profile, "profile", "reason.profile"},
    {ActivationReason::externalDisplay, "externalDisplay", "reason.external_display"},
    {ActivationReason::mirroring, "mirroring", "reason.mirroring"},
    {ActivationReason::trustedNetwork, "trustedNetwork", "reason.trusted_network"},
    {ActivationReason::processRunning, "processRunning", "reason.process_running"},
}};

const ReasonInfo& info(ActivationReason reason) {
    return kReasons.at(static_cast<std::size_t>(reason));
}

}  // namespace

std::string_view rawValue(ActivationReason reason) {
    return info(reason).raw;
}

std::optional<ActivationReason> activationReasonFromRaw(std::string_view raw) {
    for (const auto& entry : kReasons) {
        if (entry.raw == raw) return entry.reason;
    }
    return std::nullopt;
}

std::string_view labelKey(ActivationReason reason) {
    return info(reason).label;
}

bool isAutomatic(ActivationReason reason) {
    return automationReasons().contains(reason);
}

const ReasonSet& automationReasons() {
    static constexpr ReasonSet reasons = {ActivationReason::externalDisplay, ActivationReason::mirroring,
                                          ActivationReason::trustedNetwork, ActivationReason::processRunning};
    return reasons;
}

std::vector<ActivationReason> sortedForDisplay(const ReasonSet& reasons) {
    std::vector<ActivationReason> sorted(reasons.begin(), reasons.end());
    // string_view compares with char_traits<char>, which is byte-wise for the ASCII raw values.
    std::sort(sorted.begin(), sorted.end(),
              [](ActivationReason a, ActivationReason b) { return rawValue(a) < rawValue(b); });
    return sorted;
}

std::string joinedRawValues(const ReasonSet& reasons) {
    std::string joined;
    for (ActivationReason reason : sortedForDisplay(reasons)) {
        if (!joined.empty()) joined += ',';
        joined += rawValue(reason);
    }
    return joined;
}

}  // namespace torvel

#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace torvel {

/// Why the machine is kept awake. The raw values are the stored form.
enum class ActivationReason {
    manual,
    timer,
    profile,
    externalDisplay,
    mirroring,
    trustedNetwork,
    processRunning
};

/// Every reason in declaration order.
inline constexpr std::array<ActivationReason, 7> kAllActivationReasons = {
    ActivationReason::manual,          ActivationReason::timer,     ActivationReason::profile,
    ActivationReason::externalDisplay, ActivationReason::mirroring, ActivationReason::trustedNetwork,
    ActivationReason::processRunning};

/// A set of reasons; defined in Models/ReasonSet.h.
class ReasonSet;

/// The stored string of a reason ("externalDisplay").
std::string_view rawValue(ActivationReason reason);
/// The reason whose raw value is exactly `raw` (case-sensitive); std::nullopt otherwise.
std::optional<ActivationReason> activationReasonFromRaw(std::string_view raw);
/// Localisation key of the reason's menu label ("reason.external_display").
std::string_view labelKey(ActivationReason reason);
/// True for the four reasons the automatic triggers raise and the automation pause suppresses.
bool isAutomatic(ActivationReason reason);
/// The automatic reasons: external display, mirroring, trusted network, process running.
const ReasonSet& automationReasons();

/// Reasons listed for people and the log: sorted by raw value, byte-wise ascending.
std::vector<ActivationReason> sortedForDisplay(const ReasonSet& reasons);
/// Raw values sorted for display and joined with "," ("externalDisplay,manual").
std::string joinedRawValues(const ReasonSet& reasons);

}  // namespace torvel

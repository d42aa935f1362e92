#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Models/Date.h"
#include "Models/Uuid.h"
#include "Models/Result.h"

namespace torvel {

/// A Wi-Fi network the user trusts to keep the computer awake on.
struct TrustedNetwork {
    Uuid id;
    /// Exactly as entered: no trimming or case folding.
    std::string ssid;
    Date addedAt;

    friend bool operator==(const TrustedNetwork&, const TrustedNetwork&) = default;
};

/// The stored list: a JSON array of {"id": "<UUID>", "ssid": "...", "addedAt": <seconds since 2001>}.
std::string trustedNetworksToJson(const std::vector<TrustedNetwork>& networks);
/// Reads the stored list; a failure when it is not a JSON array or any
/// entry lacks a key or has the wrong type. Then `readable` (when given) receives, in order, the
/// entries that do decode.
Result<std::vector<TrustedNetwork>> trustedNetworksFromJson(std::string_view json,
                                                            std::vector<TrustedNetwork>* readable = nullptr);

}  // namespace torvel

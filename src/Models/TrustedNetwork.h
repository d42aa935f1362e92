#pragma once

#include <string>

#include "Models/Date.h"
#include "Models/Uuid.h"

namespace torvel {

/// A Wi-Fi network the user trusts to keep the computer awake on.
struct TrustedNetwork {
    Uuid id;
    /// Exactly as entered: no trimming or case folding.
    std::string ssid;
    Date addedAt;

    friend bool operator==(const TrustedNetwork&, const TrustedNetwork&) = default;
};

}  // namespace torvel

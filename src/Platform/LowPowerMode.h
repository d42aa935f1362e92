#pragma once

#include <optional>

#include "Support/Signal.h"

namespace torvel {

/// The system's power-saving mode, as a reading that the system announces when it changes.
class LowPowerMode {
public:
    virtual ~LowPowerMode() = default;
    /// Whether the power saver is on now; never blocks. std::nullopt: unknown (no service, no answer yet).
    virtual std::optional<bool> isEnabled() const = 0;
    /// Emitted on the main loop after the reading may have changed.
    Signal<> changed;
};

}  // namespace torvel

#pragma once

#include <optional>

#include "Support/Signal.h"

namespace torvel {

/// The laptop's lid. Most machines announce its changes; some can only be read, and reading them
/// costs a timer, so the reader is told when anyone depends on those changes.
class Lid {
public:
    virtual ~Lid() = default;
    /// The lid as last known; never blocks. Failure (no lid, nothing known yet): std::nullopt.
    virtual std::optional<bool> readClosed() = 0;
    /// Emitted on the main loop after the lid may have changed.
    Signal<> changed;
    /// Whether changes matter even where the system does not announce them: then a source that can
    /// only be read is read every few seconds. Off by default.
    virtual void setReadingNeeded(bool needed) = 0;
};

}  // namespace torvel

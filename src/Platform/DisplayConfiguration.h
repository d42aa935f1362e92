#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <utility>
#include <vector>

#include "Support/Signal.h"

namespace torvel {

/// A display's identity while it stays online.
using DisplayID = std::uint32_t;

/// Which displays are online and which of them show the same picture (a mirror). Callbacks run on
/// the main loop.
class DisplayConfiguration {
public:
    virtual ~DisplayConfiguration() = default;
    /// The online displays in the system's order, at most `maxCount`. Failure: an empty list.
    virtual std::vector<DisplayID> onlineDisplays(std::size_t maxCount) = 0;
    /// Whether `display` shows the same picture as another online display. Failure or a display
    /// that is gone: false.
    virtual bool isInMirrorSet(DisplayID display) = 0;
    /// Emitted with (display, isBeginning) for each affected display, once as a reconfiguration begins
    /// and once after it is done. Failure to follow changes is logged by the adapter.
    Signal<DisplayID, bool> reconfiguration;

protected:
    DisplayConfiguration() = default;
    /// For an adapter that follows reconfigurations only while someone listens (see Signal).
    explicit DisplayConfiguration(std::function<void(bool observed)> onObservedChanged)
        : reconfiguration(std::move(onObservedChanged)) {}
};

}  // namespace torvel

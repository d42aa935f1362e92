#pragma once

#include <functional>
#include <utility>

#include "Support/Signal.h"

namespace torvel {

/// The screens attached to the machine and their changes. Callbacks run on the main loop.
class Screens {
public:
    virtual ~Screens() = default;
    /// How many screens are attached now. Failure (nothing readable): 0, which counts as no screen.
    virtual int screenCount() = 0;
    /// Emitted after screens are added, removed or rearranged, maybe without a change in the count.
    /// Failure to follow changes is logged by the adapter; the count is then read only on demand.
    Signal<> changed;

protected:
    Screens() = default;
    /// For an adapter that follows the screens only while someone listens (see Signal).
    explicit Screens(std::function<void(bool observed)> onObservedChanged)
        : changed(std::move(onObservedChanged)) {}
};

}  // namespace torvel

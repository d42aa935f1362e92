#pragma once

#include <functional>

namespace torvel {

/// The screens attached to the machine and their changes. Callbacks run on the main loop.
class Screens {
public:
    virtual ~Screens() = default;
    /// How many screens are attached now. Failure (nothing readable): 0, which counts as no screen.
    virtual int screenCount() = 0;
    /// Calls `onChange` after screens are added, removed or rearranged, replacing an earlier callback
    /// (an empty function stops the notifications). A call may come without a change in the count.
    /// Failure to follow changes is logged by the adapter; the count is then read only on demand.
    virtual void setOnChange(std::function<void()> onChange) = 0;
};

}  // namespace torvel

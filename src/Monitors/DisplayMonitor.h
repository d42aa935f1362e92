#pragma once

#include "Platform/Log.h"
#include "Platform/Screens.h"
#include "Support/Signal.h"

namespace torvel {

/// Tells whether more than one screen is attached: the external-display trigger. A single screen,
/// built in or external, never counts; two or more always do. Main loop only.
class DisplayMonitor {
public:
    /// Counts the screens once (without calling back) and follows their changes from then on.
    DisplayMonitor(Screens& screens, LogSink& log);
    ~DisplayMonitor();
    DisplayMonitor(const DisplayMonitor&) = delete;
    DisplayMonitor& operator=(const DisplayMonitor&) = delete;

    /// The last result of the screen check.
    bool hasExternalDisplay() const { return hasExternalDisplay_; }
    /// Told the new value whenever hasExternalDisplay changes, and only then.
    Signal<bool> externalDisplayChanged;
    /// Counts the screens again and reports a change.
    void screensChanged();

private:
    Screens& screens_;
    Logger log_;
    bool hasExternalDisplay_ = false;
    Connection screensChanged_;
};

}  // namespace torvel

#include "Monitors/DisplayMonitor.h"

namespace torvel {

DisplayMonitor::DisplayMonitor(Screens& screens, LogSink& log) : screens_(screens), log_(log, "Displays") {
    screensChanged();
    screensChanged_ = screens_.changed.connect([this] { screensChanged(); });
}

DisplayMonitor::~DisplayMonitor() = default;

void DisplayMonitor::screensChanged() {
    const int count = screens_.screenCount();
    const bool value = count > 1;
    if (value == hasExternalDisplay_) return;
    hasExternalDisplay_ = value;
    log_.info("External display {} ({} screens)", value ? "attached" : "gone", count);
    externalDisplayChanged.emit(value);
}

}  // namespace torvel

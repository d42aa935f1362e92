// The external-display and mirroring triggers: the monitors' answers reach the decision here.
#include "State/AppState.h"

namespace torvel {

void AppState::handleExternalDisplayChanged(bool hasExternalDisplay) {
    // Whether it keeps the computer awake is the priority chain's call, with the setting and the pause.
    monitors_.hasExternalDisplay = hasExternalDisplay;
    reevaluateState();
}

void AppState::handleMirroringChanged(bool isMirroring) {
    monitors_.isMirroring = isMirroring;
    reevaluateState();
}

}  // namespace torvel

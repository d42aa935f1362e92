#include "UI/ClickRouting.h"

namespace torvel {

StatusItemClickResult routeStatusItemClick(StatusItemClick click, bool controlHeld) {
    // Ctrl+click is the one-button way to the menu, whatever the button.
    if (click == StatusItemClick::context || controlHeld) return StatusItemClickResult::openMenu;
    return StatusItemClickResult::toggle;
}

}  // namespace torvel

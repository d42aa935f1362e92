#include "Platform/Sim/SimScreens.h"

namespace torvel {

void SimScreens::emitChange() {
    scheduler_.post(lifetime_.guard([this] { changed.emit(); }));
}

}  // namespace torvel

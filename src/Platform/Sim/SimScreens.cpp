#include "Platform/Sim/SimScreens.h"

#include "Platform/Sim/SimDelivery.h"

namespace torvel {

void SimScreens::emitChange() {
    deliverLater(scheduler_, onChange_);
}

}  // namespace torvel

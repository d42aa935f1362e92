#include "Platform/Sim/SimSounds.h"

namespace torvel {

bool SimSounds::start(const std::string& name, double volume, bool looping) {
    if (!has(name) || failPlayback_) return false;
    played_.push_back({name, volume, looping});
    return true;
}

bool SimSounds::play(const std::string& name, double volume) {
    return start(name, volume, false);
}

bool SimSounds::startLoop(const std::string& name, double volume) {
    stopLoop();
    if (!start(name, volume, true)) return false;
    loop_ = played_.back();
    return true;
}

void SimSounds::stopLoop() {
    if (!loop_) return;
    loop_.reset();
    ++loopStops_;
}

}  // namespace torvel

#include "Platform/Sim/SimSounds.h"

namespace torvel {

void SimSounds::tell(Outcome outcome, bool heard, std::optional<std::uint64_t> loopGeneration) {
    if (!outcome) return;
    scheduler_.post([this, outcome = std::move(outcome), heard, loopGeneration] {
        if (!loopGeneration || *loopGeneration == loopGeneration_) outcome(heard);
    });
}

void SimSounds::play(const std::string& name, double volume, Outcome outcome) {
    const bool heard = has(name) && !failPlayback_;
    if (heard) played_.push_back({name, volume, false});
    tell(std::move(outcome), heard);
}

void SimSounds::startLoop(const std::string& name, double volume, Outcome outcome) {
    stopLoop();
    const std::uint64_t generation = ++loopGeneration_;
    const bool heard = has(name) && !failPlayback_;
    if (heard) {
        played_.push_back({name, volume, true});
        loop_ = played_.back();
        loopOutcome_ = outcome;
    }
    tell(std::move(outcome), heard, generation);
}

void SimSounds::stopLoop() {
    ++loopGeneration_;
    loopOutcome_ = nullptr;
    if (!loop_) return;
    loop_.reset();
    ++loopStops_;
}

void SimSounds::breakLoop() {
    if (!loop_) return;
    loop_.reset();
    tell(std::move(loopOutcome_), false, loopGeneration_);
    loopOutcome_ = nullptr;
}

}  // namespace torvel

#include "Platform/Linux/Desktop/PulseSimpleSounds.h"

#include <algorithm>

namespace torvel {

namespace {

// Names become file names: only plain names, so no name can reach outside the folder.
bool isPlainName(const std::string& name) {
    return !name.empty() && name.size() <= 64 && std::all_of(name.begin(), name.end(), [](char c) {
        return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '-' ||
               c == '_';
    });
}

}  // namespace

PulseSimpleSounds::PulseSimpleSounds(std::filesystem::path directory, Scheduler& scheduler, LogSink& log,
                                     std::string soname)
    : directory_(std::move(directory)),
      scheduler_(scheduler),
      log_(log, "AudioFeedback"),
      library_(std::move(soname)),
      effects_(library_, log, "Torvel sound"),
      alarm_(library_, log, "Torvel alarm") {}

std::shared_ptr<const WavClip> PulseSimpleSounds::clip(const std::string& name) {
    if (!isPlainName(name) || directory_.empty()) return nullptr;
    if (const auto found = clips_.find(name); found != clips_.end()) return found->second;
    std::shared_ptr<const WavClip> loaded;
    if (auto read = WavClip::read(directory_ / (name + ".wav")))
        loaded = std::make_shared<const WavClip>(std::move(*read));
    else
        log_.error("Sound {} cannot be read from {}", name, directory_.string());
    clips_.emplace(name, loaded);
    return loaded;
}

bool PulseSimpleSounds::audioMissing() {
    // Known only once a player tried to open the library; until then playing is handed on in good faith.
    return library_.failed();
}

PulseSimplePlayer::Report PulseSimpleSounds::relay(Outcome outcome,
                                                   std::optional<std::uint64_t> loopGeneration) {
    if (!outcome) return nullptr;
    // Called on a player's thread, possibly while this object is being torn down (the players are
    // joined in its destructor): it touches only what it captured.
    return [scheduler = &scheduler_, alive = lifetime_.watch(), this, outcome = std::move(outcome),
            loopGeneration](bool heard) {
        scheduler->post([alive, this, outcome, loopGeneration, heard] {
            if (alive.expired()) return;
            if (loopGeneration && *loopGeneration != loopGeneration_) return;
            outcome(heard);
        });
    };
}

bool PulseSimpleSounds::has(const std::string& name) {
    return clip(name) != nullptr;
}

void PulseSimpleSounds::play(const std::string& name, double volume, Outcome outcome) {
    auto report = relay(std::move(outcome), std::nullopt);
    auto sound = clip(name);
    if (!sound || audioMissing()) {
        if (report) report(false);
        return;
    }
    effects_.play(std::move(sound), volume, false, false, std::move(report));
}

void PulseSimpleSounds::startLoop(const std::string& name, double volume, Outcome outcome) {
    auto report = relay(std::move(outcome), ++loopGeneration_);
    auto sound = clip(name);
    if (!sound || audioMissing()) {
        alarm_.stop();
        if (report) report(false);
        return;
    }
    alarm_.play(std::move(sound), volume, true, true, std::move(report));
}

void PulseSimpleSounds::stopLoop() {
    ++loopGeneration_;
    alarm_.stop();
}

}  // namespace torvel

#include "Platform/Linux/PulseSimpleSounds.h"

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

PulseSimpleSounds::PulseSimpleSounds(std::filesystem::path directory, LogSink& log, std::string soname)
    : directory_(std::move(directory)),
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

bool PulseSimpleSounds::has(const std::string& name) {
    return clip(name) != nullptr;
}

bool PulseSimpleSounds::play(const std::string& name, double volume) {
    auto sound = clip(name);
    if (!sound || audioMissing()) return false;
    effects_.play(std::move(sound), volume, false, false);
    return true;
}

bool PulseSimpleSounds::startLoop(const std::string& name, double volume) {
    auto sound = clip(name);
    if (!sound || audioMissing()) {
        alarm_.stop();
        return false;
    }
    alarm_.play(std::move(sound), volume, true, true);
    return true;
}

void PulseSimpleSounds::stopLoop() {
    alarm_.stop();
}

}  // namespace torvel

#pragma once

#include <filesystem>
#include <map>
#include <memory>
#include <string>

#include "Platform/Linux/PulseSimpleLibrary.h"
#include "Platform/Linux/PulseSimplePlayer.h"
#include "Platform/Linux/WavClip.h"
#include "Platform/Log.h"
#include "Platform/Sounds.h"

namespace torvel {

/// Torvel's sounds from "<directory>/<name>.wav", played through the PulseAudio simple API (PulseAudio
/// or PipeWire). Nothing is loaded until a sound first plays: then the clip is read once and kept, and
/// the audio library is opened on the player's thread. One-shot sounds and the loop have a player
/// each, so a pip never waits behind the alarm. Main thread only; `log` must be thread-safe.
class PulseSimpleSounds : public Sounds {
public:
    PulseSimpleSounds(std::filesystem::path directory, LogSink& log,
                      std::string soname = PulseSimpleLibrary::kSoname);

    bool has(const std::string& name) override;
    /// False also once the audio library turned out to be missing.
    bool play(const std::string& name, double volume) override;
    bool startLoop(const std::string& name, double volume) override;
    void stopLoop() override;

private:
    std::shared_ptr<const WavClip> clip(const std::string& name);
    bool audioMissing();

    std::filesystem::path directory_;
    Logger log_;
    // Read once per name; a name without a readable clip is remembered as nullptr.
    std::map<std::string, std::shared_ptr<const WavClip>> clips_;
    PulseSimpleLibrary library_;
    PulseSimplePlayer effects_;  // after library_: joined before it goes
    PulseSimplePlayer alarm_;
};

}  // namespace torvel

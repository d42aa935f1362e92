#pragma once

#include <cstdint>
#include <filesystem>
#include <map>
#include <memory>
#include <optional>
#include <string>

#include "Platform/Linux/Desktop/PulseSimpleLibrary.h"
#include "Platform/Linux/Desktop/PulseSimplePlayer.h"
#include "Platform/Linux/Helpers/WavClip.h"
#include "Platform/Log.h"
#include "Platform/Scheduler.h"
#include "Platform/Sounds.h"
#include "Support/Lifetime.h"

namespace torvel {

/// Torvel's sounds from "<directory>/<name>.wav", played through the PulseAudio simple API (PulseAudio
/// or PipeWire). Nothing is loaded until a sound first plays: then the clip is read once and kept, and
/// the audio library is opened on the player's thread. One-shot sounds and the loop have a player
/// each, so a pip never waits behind the alarm. Outcomes come from the players' threads and reach the
/// main loop through `scheduler`, whose post() must accept calls from any thread (QtScheduler does).
/// Main thread only; `log` must be thread-safe.
class PulseSimpleSounds : public Sounds {
public:
    PulseSimpleSounds(std::filesystem::path directory, Scheduler& scheduler, LogSink& log,
                      std::string soname = PulseSimpleLibrary::kSoname);

    bool has(const std::string& name) override;
    /// Told false at once (on the next turn) once the audio library turned out to be missing.
    void play(const std::string& name, double volume, Outcome outcome) override;
    void startLoop(const std::string& name, double volume, Outcome outcome) override;
    void stopLoop() override;

private:
    std::shared_ptr<const WavClip> clip(const std::string& name);
    bool audioMissing();
    /// What a player reports, carried to `outcome` on the main loop while this object lives; for a
    /// loop (`loopGeneration` set) only while no stop or newer loop came since.
    PulseSimplePlayer::Report relay(Outcome outcome, std::optional<std::uint64_t> loopGeneration);

    std::filesystem::path directory_;
    Scheduler& scheduler_;
    Logger log_;
    // Read once per name; a name without a readable clip is remembered as nullptr.
    std::map<std::string, std::shared_ptr<const WavClip>> clips_;
    PulseSimpleLibrary library_;
    PulseSimplePlayer effects_;  // after library_: joined before it goes
    PulseSimplePlayer alarm_;
    std::uint64_t loopGeneration_ = 0;  // main thread
    Lifetime lifetime_;
};

}  // namespace torvel

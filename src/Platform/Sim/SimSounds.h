#pragma once

#include <cstdint>
#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Scheduler.h"
#include "Platform/Sounds.h"

namespace torvel {

/// A speaker that records what it was asked to play and tells the outcome through the scheduler, as
/// the real sound server does later. It knows the three sounds Torvel ships; a test can take one away,
/// make playing fail or break off the loop.
class SimSounds : public Sounds {
public:
    struct Played {
        std::string name;
        double volume = 0;
        bool looping = false;
        bool operator==(const Played&) const = default;
    };

    explicit SimSounds(Scheduler& scheduler) : scheduler_(scheduler) {}

    bool has(const std::string& name) override { return available_.contains(name); }
    void play(const std::string& name, double volume, Outcome outcome) override;
    void startLoop(const std::string& name, double volume, Outcome outcome) override;
    void stopLoop() override;

    /// Every sound that started, loops included, in order.
    const std::vector<Played>& played() const { return played_; }
    /// The loop that plays now, if any.
    const std::optional<Played>& loop() const { return loop_; }
    /// How often a playing loop was stopped.
    int loopStops() const { return loopStops_; }
    void clear() { played_.clear(); }

    /// The sound is no longer found.
    void remove(const std::string& name) { available_.erase(name); }
    /// Sounds are found but do not start (no sound server) until switched back.
    void failPlayback(bool fail = true) { failPlayback_ = fail; }
    /// The server goes away under the loop: it ends and its outcome is told false.
    void breakLoop();

private:
    /// Tells `outcome` on the main loop, unless `loopGeneration` is given and no longer current.
    void tell(Outcome outcome, bool heard, std::optional<std::uint64_t> loopGeneration = std::nullopt);

    Scheduler& scheduler_;
    std::set<std::string> available_{"Submarine", "Pop", "Sosumi"};
    std::vector<Played> played_;
    std::optional<Played> loop_;
    Outcome loopOutcome_;
    std::uint64_t loopGeneration_ = 0;  // a stop or a replacement silences what the older loop tells
    int loopStops_ = 0;
    bool failPlayback_ = false;
};

}  // namespace torvel

#pragma once

#include <optional>
#include <set>
#include <string>
#include <vector>

#include "Platform/Sounds.h"

namespace torvel {

/// A speaker that records what it was asked to play. It knows the three sounds Torvel ships; a test
/// can take one away or make playing fail.
class SimSounds : public Sounds {
public:
    struct Played {
        std::string name;
        double volume = 0;
        bool looping = false;
        bool operator==(const Played&) const = default;
    };

    bool has(const std::string& name) override { return available_.contains(name); }
    bool play(const std::string& name, double volume) override;
    bool startLoop(const std::string& name, double volume) override;
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
    /// Sounds are found but do not start (no audio device) until switched back.
    void failPlayback(bool fail = true) { failPlayback_ = fail; }

private:
    bool start(const std::string& name, double volume, bool looping);

    std::set<std::string> available_{"Submarine", "Pop", "Sosumi"};
    std::vector<Played> played_;
    std::optional<Played> loop_;
    int loopStops_ = 0;
    bool failPlayback_ = false;
};

}  // namespace torvel

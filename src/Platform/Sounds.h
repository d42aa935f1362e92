#pragma once

#include <string>

namespace torvel {

/// Torvel's own short sounds ("Submarine", "Pop", "Sosumi"), played without waiting for them. Nothing
/// here throws: a sound that does not exist or cannot play is a false result.
class Sounds {
public:
    virtual ~Sounds() = default;
    /// Whether a sound of that name exists and can be read. False: no such sound.
    virtual bool has(const std::string& name) = 0;
    /// Starts `name` once at `volume` (0 to 1) and returns at once. False when it could not start.
    virtual bool play(const std::string& name, double volume) = 0;
    /// Starts `name` repeating at `volume` until stopLoop(), replacing a loop that plays. False when
    /// it could not start; then no loop plays.
    virtual bool startLoop(const std::string& name, double volume) = 0;
    /// Ends the loop within a tenth of a second; nothing when none plays.
    virtual void stopLoop() = 0;
};

}  // namespace torvel

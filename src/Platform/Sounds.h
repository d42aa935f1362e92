#pragma once

#include <functional>
#include <string>

namespace torvel {

/// Torvel's own short sounds ("Submarine", "Pop", "Sosumi"), played without waiting for them. Whether a
/// sound was heard is known only once the sound server took it, so it is told later. Nothing here
/// throws.
class Sounds {
public:
    /// Told on the main loop, never inside the call that started the sound: true once the sound server
    /// took it (it is being heard), false when it could not play. May be empty.
    using Outcome = std::function<void(bool heard)>;

    virtual ~Sounds() = default;
    /// Whether a sound of that name exists and can be read. False: no such sound.
    virtual bool has(const std::string& name) = 0;
    /// Starts `name` once at `volume` (0 to 1) and returns at once; `outcome` is told once.
    virtual void play(const std::string& name, double volume, Outcome outcome) = 0;
    /// Starts `name` repeating at `volume` until stopLoop(), replacing a loop that plays. `outcome` is
    /// told true once the server took the loop or false when it could not start; after a true, false
    /// once more if the loop broke off by itself (the server went away). Nothing is told after
    /// stopLoop() or a replacement.
    virtual void startLoop(const std::string& name, double volume, Outcome outcome) = 0;
    /// Ends the loop within a tenth of a second; nothing when none plays.
    virtual void stopLoop() = 0;
};

}  // namespace torvel

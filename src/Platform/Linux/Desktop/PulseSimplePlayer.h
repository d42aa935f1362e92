#pragma once

#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <thread>

#include "Platform/Linux/Desktop/PulseSimpleLibrary.h"
#include "Platform/Linux/Helpers/WavClip.h"
#include "Platform/Log.h"

namespace torvel {

/// Plays clips one after another on its own thread, because the simple API blocks while it plays; the
/// caller never waits. The thread starts with the first clip. A looping clip plays until stopped or
/// replaced; stopping ends it within about 50 ms (the stream is kept that short and is flushed).
class PulseSimplePlayer {
public:
    /// Told on the player's thread (or, for a clip dropped before it played, on the caller's): true
    /// once the server took the first slice of the clip; false when it could not play it; for a loop
    /// that was heard, false once more if it broke off by itself. A clip ended by stop() or by
    /// `interrupt` after it was heard tells nothing more.
    using Report = std::function<void(bool heard)>;

    /// `log` must be thread-safe: failures are logged from the player's thread.
    PulseSimplePlayer(PulseSimpleLibrary& library, LogSink& log, std::string streamName);
    /// Stops what plays and waits for the thread, which the short stream makes quick.
    ~PulseSimplePlayer();
    PulseSimplePlayer(const PulseSimplePlayer&) = delete;
    PulseSimplePlayer& operator=(const PulseSimplePlayer&) = delete;

    /// Plays `clip` at `volume` (0 to 1) next, once or until stopped. `interrupt` ends what plays now
    /// at once; otherwise it finishes first. A clip still waiting is replaced.
    void play(std::shared_ptr<const WavClip> clip, double volume, bool loop, bool interrupt, Report report);
    /// Ends what plays and drops what waits (told false); returns at once.
    void stop();

private:
    struct Job {
        std::shared_ptr<const WavClip> clip;
        double volume = 1.0;
        bool loop = false;
        Report report;
    };
    void run();
    void playJob(const Job& job);
    bool interrupted();

    PulseSimpleLibrary& library_;
    Logger log_;
    std::string streamName_;
    std::mutex mutex_;
    std::condition_variable wake_;
    std::optional<Job> next_;
    bool interrupt_ = false;
    bool quitting_ = false;
    std::thread thread_;  // last: started lazily, joined in the destructor
};

}  // namespace torvel

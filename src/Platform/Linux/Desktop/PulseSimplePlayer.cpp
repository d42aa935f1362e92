#include "Platform/Linux/Desktop/PulseSimplePlayer.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace torvel {

namespace {

// Audio is written in slices this long, and the server is asked to hold little more, so a stop is
// heard within a slice or two.
constexpr double kSliceSeconds = 0.02;
constexpr double kBufferSeconds = 0.05;

}  // namespace

PulseSimplePlayer::PulseSimplePlayer(PulseSimpleLibrary& library, LogSink& log, std::string streamName)
    : library_(library), log_(log, "AudioFeedback"), streamName_(std::move(streamName)) {}

PulseSimplePlayer::~PulseSimplePlayer() {
    {
        const std::lock_guard lock(mutex_);
        quitting_ = true;
        interrupt_ = true;
    }
    wake_.notify_all();
    if (thread_.joinable()) thread_.join();
}

void PulseSimplePlayer::play(std::shared_ptr<const WavClip> clip, double volume, bool loop, bool interrupt,
                             Report report) {
    std::optional<Job> dropped;
    {
        const std::lock_guard lock(mutex_);
        dropped = std::exchange(next_, Job{std::move(clip), volume, loop, std::move(report)});
        if (interrupt) interrupt_ = true;
        if (!thread_.joinable()) thread_ = std::thread([this] { run(); });
    }
    wake_.notify_all();
    if (dropped && dropped->report) dropped->report(false);
}

void PulseSimplePlayer::stop() {
    std::optional<Job> dropped;
    {
        const std::lock_guard lock(mutex_);
        dropped = std::exchange(next_, std::nullopt);
        interrupt_ = true;
    }
    if (dropped && dropped->report) dropped->report(false);
}

bool PulseSimplePlayer::interrupted() {
    const std::lock_guard lock(mutex_);
    return interrupt_;
}

void PulseSimplePlayer::run() {
    for (;;) {
        Job job;
        {
            std::unique_lock lock(mutex_);
            wake_.wait(lock, [this] { return quitting_ || next_; });
            if (quitting_) return;
            job = std::move(*next_);
            next_.reset();
            interrupt_ = false;  // an interruption meant the clip before this one
        }
        playJob(job);
    }
}

void PulseSimplePlayer::playJob(const Job& job) {
    const auto tell = [&job](bool heard) {
        if (job.report) job.report(heard);
    };
    if (!library_.load()) {
        log_.error("No audio: {}", library_.error());
        return tell(false);
    }
    const WavClip& clip = *job.clip;
    const pa_sample_spec spec{PA_SAMPLE_S16NE, clip.sampleRate, static_cast<std::uint8_t>(clip.channels)};
    const auto bytesFor = [&](double seconds) {
        return static_cast<std::uint32_t>(seconds * clip.sampleRate) * clip.channels * 2u;
    };
    const std::uint32_t unset = static_cast<std::uint32_t>(-1);
    const pa_buffer_attr buffer{unset, bytesFor(kBufferSeconds), unset, unset, unset};
    int error = 0;
    pa_simple* stream = library_.simpleNew(nullptr, "Torvel", PA_STREAM_PLAYBACK, nullptr,
                                           streamName_.c_str(), &spec, nullptr, &buffer, &error);
    if (!stream) {
        log_.error("No audio: {}", library_.strerror(error));
        return tell(false);
    }
    // The volume is applied to the samples: the stream's own volume would need the full client API.
    const float gain = static_cast<float>(std::clamp(job.volume, 0.0, 1.0));
    const std::size_t slice = bytesFor(kSliceSeconds) / 2;
    std::vector<std::int16_t> scaled(slice);
    bool stopped = false, heard = false, brokeOff = false;
    do {
        for (std::size_t at = 0; at < clip.samples.size() && !stopped; at += slice) {
            if (interrupted()) {
                stopped = true;
                break;
            }
            const std::size_t count = std::min(slice, clip.samples.size() - at);
            for (std::size_t i = 0; i < count; ++i)
                scaled[i] = static_cast<std::int16_t>(std::lround(clip.samples[at + i] * gain));
            if (library_.write(stream, scaled.data(), count * 2, &error) < 0) {
                log_.error("Sound stopped: {}", library_.strerror(error));
                stopped = brokeOff = true;
            } else if (!heard) {
                // The server took the stream: from here on the sound is being heard.
                heard = true;
                tell(true);
            }
        }
    } while (job.loop && !stopped);
    // A stopped sound is thrown away at once; a finished one is heard to the end.
    if (stopped)
        library_.flush(stream, &error);
    else
        library_.drain(stream, &error);
    library_.free(stream);
    // Nothing reached the server (an empty clip, an early stop, a failed first write), or the loop
    // that sounded is gone without being asked to stop.
    if (!heard || (brokeOff && job.loop)) tell(false);
}

}  // namespace torvel

#pragma once

#include <pulse/error.h>
#include <pulse/simple.h>

#include <atomic>
#include <mutex>
#include <string>
#include <utility>

namespace torvel {

/// The PulseAudio simple API (which PipeWire serves too), opened with dlopen the first time a sound
/// plays, so that a Torvel that never makes a sound never has an audio library in memory. Once opened
/// it stays: libpulse keeps threads and exit handlers that unloading would pull out from under.
/// Thread-safe.
class PulseSimpleLibrary {
public:
    /// The shared object opened; a test may name another.
    static constexpr const char* kSoname = "libpulse-simple.so.0";

    explicit PulseSimpleLibrary(std::string soname = kSoname) : soname_(std::move(soname)) {}

    /// Opens the library on the first call; later calls give the first answer. False: no library, or
    /// a function is missing (the reason is in error()).
    bool load();
    /// Why load() failed; empty after a success.
    std::string error() const;
    /// Whether load() was tried and failed; never waits for a load in progress.
    bool failed() const { return failed_; }

    decltype(&pa_simple_new) simpleNew = nullptr;
    decltype(&pa_simple_write) write = nullptr;
    decltype(&pa_simple_drain) drain = nullptr;
    decltype(&pa_simple_flush) flush = nullptr;
    decltype(&pa_simple_free) free = nullptr;
    decltype(&pa_strerror) strerror = nullptr;

private:
    std::string soname_;
    mutable std::mutex mutex_;
    bool tried_ = false;
    bool loaded_ = false;
    std::string error_;
    std::atomic<bool> failed_ = false;
};

}  // namespace torvel

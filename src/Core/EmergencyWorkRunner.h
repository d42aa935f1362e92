#pragma once

#include <condition_variable>
#include <deque>
#include <functional>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>

#include "Platform/Scheduler.h"

namespace torvel {

/// How the emergency steps run their blocking reads: on a worker thread with the continuation posted
/// back to the main loop, held until a test releases it, or at once on the calling thread.
class EmergencyWorkRunner {
public:
    enum class Mode { background, deferred, immediate };

    /// A serial worker thread; continuations go through `scheduler`, which must outlive the runner.
    static std::shared_ptr<EmergencyWorkRunner> background(Scheduler& scheduler);
    /// Work and continuation wait until runHeldStep().
    static std::shared_ptr<EmergencyWorkRunner> deferred();
    /// Work and continuation run synchronously inside run().
    static std::shared_ptr<EmergencyWorkRunner> immediate();

    /// Drops queued work and waits for the piece that runs (each is bounded by its port).
    ~EmergencyWorkRunner();
    EmergencyWorkRunner(const EmergencyWorkRunner&) = delete;
    EmergencyWorkRunner& operator=(const EmergencyWorkRunner&) = delete;

    /// Runs `work` as the mode says and hands its result to `then` on the main loop. False, running
    /// neither, when no worker thread could be started.
    template <typename Work, typename Then>
    [[nodiscard]] bool run(Work work, Then then) {
        using Result = decltype(work());
        auto result = std::make_shared<std::optional<Result>>();
        return submit([work = std::move(work), result]() mutable { result->emplace(work()); },
               [then = std::move(then), result]() mutable { then(std::move(**result)); });
    }

    Mode mode() const { return mode_; }
    /// Deferred mode: runs the oldest held piece and its continuation; false when none is held.
    bool runHeldStep();
    /// Deferred mode: how many pieces wait.
    std::size_t heldSteps() const { return held_.size(); }

private:
    EmergencyWorkRunner(Mode mode, Scheduler* scheduler) : mode_(mode), scheduler_(scheduler) {}
    bool submit(std::function<void()> work, std::function<void()> then);
    void workerLoop();

    Mode mode_;
    Scheduler* scheduler_;
    std::deque<std::function<void()>> held_;  // deferred: main thread only
    std::mutex mutex_;                        // guards queue_ and stopping_
    std::condition_variable wake_;
    std::deque<std::function<void()>> queue_;
    bool stopping_ = false;
    std::thread worker_;  // started with the first piece of background work
};

}  // namespace torvel

#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

// Needs nothing but the standard library, so the ports below Support may publish their events with it.

namespace torvel {

/// A connection to a Signal; destroying it disconnects. Safe to outlive the signal.
class Connection {
public:
    Connection() = default;
    explicit Connection(std::function<void()> disconnect) : disconnect_(std::move(disconnect)) {}
    Connection(Connection&& other) noexcept : disconnect_(std::exchange(other.disconnect_, nullptr)) {}
    Connection& operator=(Connection&& other) noexcept {
        if (this != &other) {
            reset();
            disconnect_ = std::exchange(other.disconnect_, nullptr);
        }
        return *this;
    }
    ~Connection() { reset(); }
    void reset() {
        if (disconnect_) std::exchange(disconnect_, nullptr)();
    }

private:
    std::function<void()> disconnect_;
};

/// Tells observers that a published value changed. Main thread only; observers may connect or
/// disconnect while it emits, and may even destroy the signal's owner: the observers not yet told are
/// then skipped.
template <typename... Args>
class Signal {
public:
    Signal() = default;
    Signal(const Signal&) = delete;
    Signal& operator=(const Signal&) = delete;
    ~Signal() { state_->alive = false; }
    /// For a source that costs something to follow (a rescan, a socket, a bus match): told true when
    /// the first observer connects and false when the last one leaves, so nothing runs unheard.
    explicit Signal(std::function<void(bool observed)> onObservedChanged) {
        state_->onObservedChanged = std::move(onObservedChanged);
    }

    [[nodiscard]] Connection connect(std::function<void(Args...)> observer) {
        const auto id = next_++;
        const bool first = state_->slots.empty();
        state_->slots[id] = std::make_shared<std::function<void(Args...)>>(std::move(observer));
        if (first && state_->onObservedChanged) state_->onObservedChanged(true);
        std::weak_ptr<State> weak = state_;
        return Connection([weak, id] {
            const auto state = weak.lock();
            if (!state || state->slots.erase(id) == 0) return;
            if (state->slots.empty() && state->onObservedChanged) state->onObservedChanged(false);
        });
    }

    /// Whether anyone is connected.
    bool isObserved() const { return !state_->slots.empty(); }

    void emit(Args... args) const {
        // Held here, not reached through `this`: an observer may destroy the signal along with its owner.
        const std::shared_ptr<State> state = state_;
        const Slots snapshot = state->slots;  // observers may change the list while being told
        for (const auto& [id, observer] : snapshot) {
            if (!state->alive) return;
            if (state->slots.count(id)) (*observer)(args...);
        }
    }

private:
    using Slots = std::map<std::uint64_t, std::shared_ptr<std::function<void(Args...)>>>;
    struct State {
        Slots slots;
        std::function<void(bool)> onObservedChanged;
        /// False once the signal is destroyed, for an emit that is still running.
        bool alive = true;
    };
    std::shared_ptr<State> state_ = std::make_shared<State>();
    std::uint64_t next_ = 0;
};

}  // namespace torvel

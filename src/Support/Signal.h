#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <utility>

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
/// disconnect while it emits.
template <typename... Args>
class Signal {
public:
    [[nodiscard]] Connection connect(std::function<void(Args...)> observer) {
        const auto id = next_++;
        (*slots_)[id] = std::make_shared<std::function<void(Args...)>>(std::move(observer));
        std::weak_ptr<Slots> weak = slots_;
        return Connection([weak, id] {
            if (auto slots = weak.lock()) slots->erase(id);
        });
    }

    void emit(Args... args) const {
        const Slots snapshot = *slots_;  // observers may change the list while being told
        for (const auto& [id, observer] : snapshot) {
            if (slots_->count(id)) (*observer)(args...);
        }
    }

private:
    using Slots = std::map<std::uint64_t, std::shared_ptr<std::function<void(Args...)>>>;
    std::shared_ptr<Slots> slots_ = std::make_shared<Slots>();
    std::uint64_t next_ = 0;
};

}  // namespace torvel

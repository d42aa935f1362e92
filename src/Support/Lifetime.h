#pragma once

#include <memory>
#include <utility>

namespace torvel {

/// Keeps callbacks from reaching an object that is gone. The owner holds a Lifetime as its last member
/// (so it ends first) and hands out its callbacks through guard(): a guarded callback does nothing once
/// the owner is destroyed. The check and the call happen on the thread that runs the callback, so the
/// owner must be destroyed on that thread too (the main loop, for everything posted to the scheduler).
/// A callback that runs on another thread and posts to the main loop takes a watch() on the main loop
/// first and checks it in what it posts.
///
/// The one exception is a Qt object as the receiver: Qt owns those callbacks and drops them with their
/// receiver, so QObject::connect's context object (or a QPointer) stays the way there.
class Lifetime {
public:
    Lifetime() = default;
    Lifetime(const Lifetime&) = delete;
    Lifetime& operator=(const Lifetime&) = delete;

    /// `callback`, or nothing once the owner is gone. The callback returns nothing.
    template <typename Callback>
    auto guard(Callback callback) const {
        return [alive = std::weak_ptr<const void>(token_), callback = std::move(callback)](auto&&... args) mutable {
            if (!alive.expired()) callback(std::forward<decltype(args)>(args)...);
        };
    }

    /// Whether the owner still lives, for code that holds more than one callback.
    class Watch {
    public:
        bool expired() const { return alive_.expired(); }

    private:
        friend class Lifetime;
        explicit Watch(std::weak_ptr<const void> alive) : alive_(std::move(alive)) {}
        std::weak_ptr<const void> alive_;
    };
    Watch watch() const { return Watch(token_); }

    /// A weak pointer to `owner` that expires with it, for code that keeps calling the owner later.
    /// Locking it does not keep the owner alive; lock it only on the owner's thread.
    template <typename Owner>
    std::weak_ptr<Owner> weakPointer(Owner& owner) const {
        return std::shared_ptr<Owner>(token_, &owner);
    }

private:
    std::shared_ptr<const void> token_ = std::make_shared<int>(0);
};

}  // namespace torvel

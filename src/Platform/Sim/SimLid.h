#pragma once

#include <optional>

#include "Platform/Lid.h"
#include "Platform/Scheduler.h"
#include "Support/Lifetime.h"

namespace torvel {

/// A scriptable lid. It starts open; a change is announced on the next turn of the loop, as a system
/// would, and a test can see whether anyone asked for the lid to be read without announcements.
class SimLid : public Lid {
public:
    explicit SimLid(Scheduler& scheduler) : scheduler_(scheduler) {}

    std::optional<bool> readClosed() override { return closed_; }
    void setReadingNeeded(bool needed) override { readingNeeded_ = needed; }

    /// The lid every later reading sees (std::nullopt: unreadable), announced on the next turn.
    void setClosed(std::optional<bool> closed) {
        closed_ = closed;
        emitChange();
    }
    /// Announces a change whether or not there was one, as a chatty system may.
    void emitChange() {
        scheduler_.post(lifetime_.guard([this] { changed.emit(); }));
    }
    /// Whether the last word was that changes matter without announcements.
    bool readingNeeded() const { return readingNeeded_; }

private:
    Scheduler& scheduler_;
    std::optional<bool> closed_ = false;
    bool readingNeeded_ = false;
    // Posted announcements do nothing once the lid is gone.
    Lifetime lifetime_;
};

}  // namespace torvel

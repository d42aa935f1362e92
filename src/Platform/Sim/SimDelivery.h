#pragma once

#include <functional>
#include <memory>

#include "Platform/Scheduler.h"

namespace torvel {

/// Calls `*callback` on the main loop, as a real notification arrives: not at all when the callback
/// was cleared (or its owner gone) by then, and safely when it replaces itself while it runs.
inline void deliverLater(Scheduler& scheduler, const std::shared_ptr<std::function<void()>>& callback) {
    scheduler.post([weak = std::weak_ptr<std::function<void()>>(callback)] {
        const auto shared = weak.lock();
        if (!shared || !*shared) return;
        const auto call = *shared;
        call();
    });
}

}  // namespace torvel

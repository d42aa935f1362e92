#pragma once

#include <string>

namespace torvel {

/// What the status item shows, independent of the panel protocol that shows it.
struct StatusItemPresentation {
    bool active = false;
    /// A freedesktop icon name (Torvel's own, installed in hicolor).
    std::string iconName;
    /// The accessible description; also the tooltip's title.
    std::string accessibleText;
    /// The text beside the icon (remaining time, battery estimate), led by one space when not empty;
    /// empty shows the icon alone.
    std::string title;
    /// The tooltip's title, for hosts that show only that (LXQt): "Torvel", or with the remaining time
    /// ("Torvel: 24 min left").
    std::string tooltipTitle;
    /// The emergency alarm sounds or the battery emergency is live: hosts draw the item as needing
    /// attention.
    bool needsAttention = false;

    friend bool operator==(const StatusItemPresentation&, const StatusItemPresentation&) = default;
};

}  // namespace torvel

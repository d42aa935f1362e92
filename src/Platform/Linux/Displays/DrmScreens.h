#pragma once

#include <filesystem>
#include <memory>

#include "Platform/Log.h"
#include "Platform/Screens.h"

namespace torvel {

class UdevSubsystemWatch;

/// The screens as the graphics cards see them, for when Torvel has no display connection: one per
/// connector whose sysfs "status" reads "connected" and "enabled" reads "enabled" (card0-eDP-1,
/// card1-HDMI-A-2, ...): a panel switched off with the lid closed is no screen. Changes come as udev
/// "drm" events; nothing is polled. Without udev the count is read only on demand.
class DrmScreens : public Screens {
public:
    static constexpr const char* kDefaultRoot = "/sys/class/drm";

    explicit DrmScreens(LogSink& log, std::filesystem::path root = kDefaultRoot);
    ~DrmScreens() override;

    /// Connected and enabled connectors; an unreadable folder or file counts as none.
    int screenCount() override;
    /// Whether the connector folder `connector` (<root>/card0-eDP-1) shows a picture: connected and
    /// enabled, each read as the exact word.
    static bool isLit(const std::filesystem::path& connector);

private:
    /// Listens to udev only while someone listens here.
    void setFollowing(bool following);

    Logger log_;
    std::filesystem::path root_;
    std::unique_ptr<UdevSubsystemWatch> watch_;
    bool reportedUnreadable_ = false;
};

}  // namespace torvel

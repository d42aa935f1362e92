#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "Platform/Linux/Helpers/BusPropertyFollower.h"
#include "Platform/Linux/Helpers/BusService.h"
#include "Platform/Log.h"
#include "Platform/LowPowerMode.h"

namespace torvel {

/// power-profiles-daemon on the system bus (its long-standing name net.hadess.PowerProfiles, which
/// newer versions still answer to): the power saver is on while ActiveProfile is "power-saver",
/// followed through PropertiesChanged after one asynchronous GetAll at start and whenever the daemon
/// takes its name again. Switching it on is a HoldProfile("power-saver") whose cookie releases it; the
/// daemon drops the hold by itself when Torvel's connection goes, and when the user picks a profile,
/// which it tells the holder alone by ProfileReleased(cookie).
class PowerProfilesDaemon : public QObject, public LowPowerMode {
    Q_OBJECT

public:
    static constexpr const char* kService = "net.hadess.PowerProfiles";
    static constexpr const char* kPath = "/net/hadess/PowerProfiles";

    PowerProfilesDaemon(QDBusConnection system, LogSink& log);
    ~PowerProfilesDaemon() override;

    std::optional<bool> isEnabled() const override { return enabled_; }

    /// Holds the power-saver profile; `done(ok)` on the main loop. Holding one already replaces it.
    void hold(const std::string& reason, std::function<void(bool ok)> done);
    /// Releases the hold; `done(ok)` on the main loop. Only call while holding().
    void release(std::function<void(bool ok)> done);
    /// A hold's cookie is kept (the daemon has not been told to release it, nor dropped it, nor gone).
    bool holding() const { return cookie_.has_value(); }
    /// Emitted when the daemon dropped our hold by itself: a profile picked by the user, or the daemon
    /// gone. holding() is false by then.
    Signal<> holdDropped;

private Q_SLOTS:
    void onProfileReleased(const QDBusMessage& message);

private:
    void store(const QVariant& activeProfile);
    void dropped(const char* why);

    Logger log_;
    std::optional<bool> enabled_;
    std::optional<std::uint32_t> cookie_;
    /// Holds asked for and not answered yet, and the cookies the daemon dropped meanwhile: a hold
    /// dropped before its answer arrived is no hold.
    int holdsPending_ = 0;
    std::vector<std::uint32_t> droppedEarly_;
    BusService service_;
    /// Before the follower's: a daemon that went has dropped the hold before its profile is forgotten.
    Connection owner_;
    BusPropertyFollower daemon_;
};

}  // namespace torvel

#pragma once

#include <cstdint>
#include <functional>
#include <optional>

#include "Models/AssertionType.h"
#include "Platform/Log.h"
#include "Platform/PowerAssertions.h"
#include "Platform/Scheduler.h"
#include "Support/Signal.h"

namespace torvel {

class Localization;

/// Why taking an assertion or starting the screen-saver prevention failed, with the platform status.
struct SleepPreventionError {
    enum class Kind { assertionCreationFailed, screenSaverPreventionFailed };
    Kind kind;
    std::int32_t code;

    /// "error.assertion_failed" or "error.screensaver_failed", formatted with the code.
    std::string localizedDescription(const Localization& texts) const;
};

/// What the application state needs of the service that holds power assertions (a fake can stand in).
class SleepPreventionProtocol {
public:
    virtual ~SleepPreventionProtocol() = default;
    virtual std::uint32_t assertionID() const = 0;
    virtual bool isActive() const = 0;
    virtual std::optional<AssertionType> currentType() const = 0;
    virtual bool isScreenSaverPreventionActive() const = 0;
    /// True while the held assertion still exists on the machine.
    virtual bool isAssertionAlive() const = 0;
    /// Emitted when a periodic refresh of the screen-saver prevention fails and it switches itself off.
    Signal<> screenSaverPreventionFailed;

    /// Replaces any held assertion by one of `type`; on failure nothing is held.
    virtual std::optional<SleepPreventionError> start(AssertionType type) = 0;
    virtual void stop() = 0;
    /// Keeps the screen saver and idle dimming away, confirming the prevention every 4 seconds.
    virtual std::optional<SleepPreventionError> startScreenSaverPrevention() = 0;
    virtual void stopScreenSaverPrevention() = 0;
};

/// Holds at most one keep-awake assertion and, independently, the screen-saver prevention.
class SleepPreventionService : public SleepPreventionProtocol {
public:
    static constexpr const char* kAssertionName = "Torvel prevents sleep";
    static constexpr const char* kScreenSaverAssertionName = "Torvel prevents screensaver";
    static constexpr double kScreenSaverRefreshSeconds = 4.0;

    SleepPreventionService(PowerAssertions& assertions, Scheduler& scheduler, LogSink& log);
    /// Releases the assertion and stops the screen-saver prevention.
    ~SleepPreventionService() override;
    SleepPreventionService(const SleepPreventionService&) = delete;
    SleepPreventionService& operator=(const SleepPreventionService&) = delete;

    std::uint32_t assertionID() const override { return assertionID_; }
    bool isActive() const override { return isActive_; }
    std::optional<AssertionType> currentType() const override { return currentType_; }
    bool isScreenSaverPreventionActive() const override { return screenSaverActive_; }
    bool isAssertionAlive() const override;

    std::optional<SleepPreventionError> start(AssertionType type) override;
    void stop() override;
    std::optional<SleepPreventionError> startScreenSaverPrevention() override;
    void stopScreenSaverPrevention() override;

private:
    void refreshScreenSaverPrevention();

    PowerAssertions& assertions_;
    Scheduler& scheduler_;
    Logger log_;
    std::uint32_t assertionID_ = 0;
    bool isActive_ = false;
    std::optional<AssertionType> currentType_;
    bool screenSaverActive_ = false;
    Timer screenSaverTimer_;
    std::uint32_t screenSaverAssertionID_ = 0;
};

}  // namespace torvel

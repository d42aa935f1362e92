#include "Core/SleepPreventionService.h"

#include <utility>

#include "Support/Localization.h"

namespace torvel {

std::string SleepPreventionError::localizedDescription(const Localization& texts) const {
    const char* key =
        kind == Kind::assertionCreationFailed ? "error.assertion_failed" : "error.screensaver_failed";
    return texts.format(key, {static_cast<long long>(code)});
}

SleepPreventionService::SleepPreventionService(PowerAssertions& assertions, Scheduler& scheduler,
                                               LogSink& log)
    : assertions_(assertions), scheduler_(scheduler), log_(log, "SleepPrevention") {}

SleepPreventionService::~SleepPreventionService() {
    stop();
    stopScreenSaverPrevention();
}

bool SleepPreventionService::isAssertionAlive() const {
    return isActive_ && assertionID_ != 0 && assertions_.isAlive(assertionID_);
}

std::optional<SleepPreventionError> SleepPreventionService::start(AssertionType type) {
    // Release first, so that two assertions of ours never exist at once, even for a moment.
    if (isActive_) stop();

    const AssertionResult result = assertions_.create(type, kAssertionName);
    if (result.status != 0) {
        log_.error("Creating the power assertion failed: {}", result.status);
        return SleepPreventionError{SleepPreventionError::Kind::assertionCreationFailed, result.status};
    }
    assertionID_ = result.id;
    isActive_ = true;
    currentType_ = type;
    log_.debug("Started {} assertion (ID: {})", rawValue(type), result.id);
    return std::nullopt;
}

void SleepPreventionService::stop() {
    if (!isActive_) return;
    const std::int32_t status = assertions_.release(assertionID_);
    if (status != 0) log_.error("Releasing the power assertion failed: {}. Assertion may be leaked.", status);
    // The id is invalid whatever the status; a later start() takes a fresh assertion.
    assertionID_ = 0;
    isActive_ = false;
    currentType_.reset();
}

std::optional<SleepPreventionError> SleepPreventionService::startScreenSaverPrevention() {
    if (screenSaverActive_) return std::nullopt;

    const AssertionResult result = assertions_.startUserActivity(kScreenSaverAssertionName);
    if (result.status != 0) {
        log_.error("Starting the screen-saver prevention failed: {}", result.status);
        return SleepPreventionError{SleepPreventionError::Kind::screenSaverPreventionFailed, result.status};
    }
    // One prevention is held for as long as it runs; the refresh only confirms (or renews) it, so at
    // most one of ours exists at any time.
    screenSaverAssertionID_ = result.id;
    screenSaverActive_ = true;
    // The handle is ours: destroying it (in stop or our destructor) cancels the timer, so the tick
    // never sees a destroyed service.
    screenSaverTimer_ =
        scheduler_.every(kScreenSaverRefreshSeconds, [this] { refreshScreenSaverPrevention(); });
    log_.debug("Started screensaver prevention timer (ID: {})", result.id);
    return std::nullopt;
}

void SleepPreventionService::refreshScreenSaverPrevention() {
    if (!screenSaverActive_) return;
    const std::int32_t status = assertions_.confirmUserActivity(screenSaverAssertionID_);
    if (status == 0) return;

    log_.error("The screen-saver prevention failed during refresh: {}", status);
    stopScreenSaverPrevention();  // destroys the timer we are running in; the scheduler allows that
    screenSaverPreventionFailed.emit();
}

void SleepPreventionService::stopScreenSaverPrevention() {
    if (!screenSaverActive_) return;
    screenSaverTimer_.reset();
    if (screenSaverAssertionID_ != 0) {
        // Released even after a failed refresh: the adapter still keeps its record of the prevention.
        const std::int32_t status = assertions_.release(screenSaverAssertionID_);
        if (status != 0) {
            log_.error("Releasing the screen-saver prevention failed: {}. It may be leaked.", status);
        }
        screenSaverAssertionID_ = 0;
    }
    screenSaverActive_ = false;
}

}  // namespace torvel

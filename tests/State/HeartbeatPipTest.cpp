#include <memory>
#include <vector>

#include <gtest/gtest.h>

#include "AppStateHarness.h"
#include "Platform/Sim/SimSounds.h"
#include "Services/AudioFeedbackService.h"

namespace torvel {
namespace {

using Played = SimSounds::Played;

// The application state with the audio feedback wired in, as the application builds it.
struct HeartbeatPip : ::testing::Test {
    AppStateHarness h;
    SimSounds sounds{h.scheduler};
    AudioFeedbackService audio{sounds, h.log};

    void SetUp() override {
        AppStateServices services{h.clock,           h.scheduler, h.log,           h.texts,    h.defaults,
                                  h.sleepPrevention, h.timer,     h.notifications, h.sessions, h.guardian};
        services.audio = &audio;
        h.state.reset();
        h.state = std::make_unique<AppState>(services, h.calendar_);
    }
    // Seconds after the first closed-lid tick at which a pip sounded, over `ticks` heartbeat ticks.
    std::vector<int> pipTimes(int ticks) {
        std::vector<int> times;
        for (int tick = 0; tick < ticks; ++tick) {
            sounds.clear();
            h.scheduler.advance(30);
            if (!sounds.played().empty()) {
                EXPECT_EQ(sounds.played(), (std::vector<Played>{{"Pop", 0.4f, false}}));
                times.push_back(tick * 30);
            }
        }
        return times;
    }
};

TEST_F(HeartbeatPip, PipsThinOutOverAClosedLidAndEveryTickWithoutDecay) {
    h.state->activate(Duration::indefinite());
    h.state->handleLidStateChanged(true);
    EXPECT_EQ(pipTimes(92), (std::vector<int>{0, 30, 60, 90, 120, 300, 600, 900, 1800, 2700}));

    // Opening the lid starts the count over: the next close pips on every tick again at first.
    h.state->handleLidStateChanged(false);
    EXPECT_EQ(pipTimes(3), std::vector<int>{});
    h.state->handleLidStateChanged(true);
    EXPECT_EQ(pipTimes(6), (std::vector<int>{0, 30, 60, 90, 120}));

    h.state->set(&SettingsValues::heartbeatPipDecayEnabled, false);
    h.state->handleLidStateChanged(false);
    h.state->handleLidStateChanged(true);
    EXPECT_EQ(pipTimes(12).size(), 12u);

    h.state->set(&SettingsValues::heartbeatPipEnabled, false);
    EXPECT_EQ(pipTimes(12), std::vector<int>{});
}

TEST_F(HeartbeatPip, TheLidCloseSoundPlaysOnlyWhileKeptAwakeAndEnabled) {
    h.state->handleLidStateChanged(true);  // nothing keeps the machine awake
    h.state->handleLidStateChanged(false);
    EXPECT_TRUE(sounds.played().empty());

    h.state->activate(Duration::indefinite());
    h.state->set(&SettingsValues::lidCloseSoundVolume, 0.7f);
    h.state->handleLidStateChanged(true);
    h.state->handleLidStateChanged(true);  // the same state again is no change
    EXPECT_EQ(sounds.played(), (std::vector<Played>{{"Submarine", 0.7f, false}}));

    sounds.clear();
    h.state->set(&SettingsValues::lidCloseSoundEnabled, false);
    h.state->handleLidStateChanged(false);
    h.state->handleLidStateChanged(true);
    EXPECT_TRUE(sounds.played().empty());
}

}  // namespace
}  // namespace torvel

#include <cmath>
#include <optional>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimClock.h"
#include "Platform/Sim/SimSounds.h"
#include "Platform/Sim/VirtualScheduler.h"
#include "Services/AudioFeedbackService.h"

namespace torvel {
namespace {

using Played = SimSounds::Played;
using Lines = std::vector<std::string>;

struct AudioFeedback : ::testing::Test {
    CapturingLogSink log;
    SimClock clock;
    VirtualScheduler scheduler{clock};
    SimSounds sounds{scheduler};
    AudioFeedbackService audio{sounds, log};
    std::vector<bool> outcomes;
    AudioFeedbackService::AlarmOutcome record = [this](bool sounding) { outcomes.push_back(sounding); };
};

TEST_F(AudioFeedback, VolumesAreClampedAndTheLogSaysWhetherTheSoundWasHeard) {
    audio.play("Pop", 1.5);
    audio.play("Pop", -0.2);
    audio.play("Pop", std::nan(""));
    audio.play("Submarine", 0.25);
    audio.play("Nope", 0.5);
    EXPECT_EQ(
        sounds.played(),
        (std::vector<Played>{
            {"Pop", 1.0, false}, {"Pop", 0.0, false}, {"Pop", 0.0, false}, {"Submarine", 0.25, false}}));
    // Only the missing sound is known at once; the server's answers come later.
    EXPECT_EQ(log.messages("AudioFeedback"), Lines{"No sound named Nope"});
    scheduler.runPending();
    EXPECT_EQ(log.messages("AudioFeedback"), (Lines{
                                                 "No sound named Nope",
                                                 "AudioFeedback: Pop vol=1.000000 heard",
                                                 "AudioFeedback: Pop vol=0.000000 heard",
                                                 "AudioFeedback: Pop vol=0.000000 heard",
                                                 "AudioFeedback: Submarine vol=0.250000 heard",
                                             }));
    sounds.failPlayback();
    audio.play("Pop", 0.5);
    scheduler.runPending();
    EXPECT_EQ(log.messages("AudioFeedback").back(), "AudioFeedback: Pop vol=0.500000 could not play");
}

TEST_F(AudioFeedback, TheAlarmLoopsOnceUntilStoppedAndStoppingNothingSaysNothing) {
    audio.stopEmergencyAlarm();
    EXPECT_TRUE(log.lines().empty());

    EXPECT_TRUE(audio.startEmergencyAlarm(2.0, record));
    EXPECT_TRUE(audio.startEmergencyAlarm(0.3, record));
    EXPECT_FALSE(audio.isAlarmPlaying()) << "not before the server took it";
    scheduler.runPending();
    EXPECT_TRUE(audio.isAlarmPlaying());
    EXPECT_EQ(outcomes, std::vector<bool>{true});
    EXPECT_EQ(sounds.played(), (std::vector<Played>{{"Sosumi", 1.0, true}}));
    EXPECT_EQ(log.messages("AudioFeedback"), Lines{"Emergency alarm: Sosumi vol=1.000000 sounding"});

    audio.stopEmergencyAlarm();
    audio.stopEmergencyAlarm();
    EXPECT_FALSE(sounds.loop());
    EXPECT_EQ(sounds.loopStops(), 1);
    EXPECT_EQ(log.messages("AudioFeedback").back(), "Emergency alarm stopped");
    EXPECT_EQ(log.messages("AudioFeedback").size(), 2u);

    // A stop before the server answered: the answer is not told.
    EXPECT_TRUE(audio.startEmergencyAlarm(1.0, record));
    audio.stopEmergencyAlarm();
    scheduler.runPending();
    EXPECT_EQ(outcomes, std::vector<bool>{true});
}

TEST_F(AudioFeedback, AnAlarmWithoutAServerOrThatBreaksOffIsToldAndCanBeTriedAgain) {
    sounds.failPlayback();
    EXPECT_TRUE(audio.startEmergencyAlarm(0.5, record));
    scheduler.runPending();
    EXPECT_EQ(outcomes, std::vector<bool>{false});
    EXPECT_FALSE(audio.isAlarmPlaying());
    audio.stopEmergencyAlarm();  // none plays: nothing to say
    EXPECT_EQ(log.messages("AudioFeedback").back(), "Emergency alarm: Sosumi vol=0.500000 could not sound");

    sounds.failPlayback(false);
    EXPECT_TRUE(audio.startEmergencyAlarm(0.5, record));
    scheduler.runPending();
    sounds.breakLoop();
    scheduler.runPending();
    EXPECT_EQ(outcomes, (std::vector<bool>{false, true, false}));
    EXPECT_FALSE(audio.isAlarmPlaying());
    EXPECT_EQ(log.messages("AudioFeedback").back(),
              "Emergency alarm: Sosumi broke off — the sound server let it go");

    sounds.remove("Sosumi");
    EXPECT_FALSE(audio.startEmergencyAlarm(0.5, record));
    EXPECT_EQ(log.messages("AudioFeedback").back(), "No sound named Sosumi — no alarm");
}

}  // namespace
}  // namespace torvel

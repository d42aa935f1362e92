#include <cmath>
#include <vector>

#include <gtest/gtest.h>

#include "Platform/Sim/CapturingLogSink.h"
#include "Platform/Sim/SimSounds.h"
#include "Services/AudioFeedbackService.h"

namespace torvel {
namespace {

using Played = SimSounds::Played;

struct AudioFeedback : ::testing::Test {
    CapturingLogSink log;
    SimSounds sounds;
    AudioFeedbackService audio{sounds, log};
};

TEST_F(AudioFeedback, VolumesAreClampedAndAMissingSoundIsLoggedAndSkipped) {
    audio.play("Pop", 1.5);
    audio.play("Pop", -0.2);
    audio.play("Pop", std::nan(""));
    audio.play("Submarine", 0.25);
    audio.play("Nope", 0.5);
    EXPECT_EQ(
        sounds.played(),
        (std::vector<Played>{
            {"Pop", 1.0, false}, {"Pop", 0.0, false}, {"Pop", 0.0, false}, {"Submarine", 0.25, false}}));
    EXPECT_EQ(log.messages("AudioFeedback"), (std::vector<std::string>{
                                                 "AudioFeedback: Pop vol=1.000000 ok=true",
                                                 "AudioFeedback: Pop vol=0.000000 ok=true",
                                                 "AudioFeedback: Pop vol=0.000000 ok=true",
                                                 "AudioFeedback: Submarine vol=0.250000 ok=true",
                                                 "No sound named Nope",
                                             }));
    sounds.failPlayback();
    audio.play("Pop", 0.5);
    EXPECT_EQ(log.messages("AudioFeedback").back(), "AudioFeedback: Pop vol=0.500000 ok=false");
}

TEST_F(AudioFeedback, TheAlarmLoopsOnceUntilStoppedAndStoppingNothingSaysNothing) {
    audio.stopEmergencyAlarm();
    EXPECT_TRUE(log.lines().empty());

    EXPECT_TRUE(audio.startEmergencyAlarm(2.0));
    EXPECT_TRUE(audio.startEmergencyAlarm(0.3));
    EXPECT_EQ(sounds.played(), (std::vector<Played>{{"Sosumi", 1.0, true}}));
    EXPECT_EQ(log.messages("AudioFeedback"),
              std::vector<std::string>{"Emergency alarm: Sosumi vol=1.000000 ok=true"});

    audio.stopEmergencyAlarm();
    audio.stopEmergencyAlarm();
    EXPECT_FALSE(sounds.loop());
    EXPECT_EQ(sounds.loopStops(), 1);
    EXPECT_EQ(log.messages("AudioFeedback").back(), "Emergency alarm stopped");
    EXPECT_EQ(log.messages("AudioFeedback").size(), 2u);
}

TEST_F(AudioFeedback, AnAlarmThatCannotSoundReportsFalseAndCanBeTriedAgain) {
    sounds.failPlayback();
    EXPECT_FALSE(audio.startEmergencyAlarm(0.5));
    audio.stopEmergencyAlarm();  // none plays: nothing to say
    EXPECT_EQ(log.messages("AudioFeedback").back(), "Emergency alarm: Sosumi vol=0.500000 ok=false");
    sounds.failPlayback(false);
    EXPECT_TRUE(audio.startEmergencyAlarm(0.5));
}

}  // namespace
}  // namespace torvel

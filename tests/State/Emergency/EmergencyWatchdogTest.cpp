#include <algorithm>
#include <chrono>
#include <deque>
#include <mutex>
#include <thread>

#include <gtest/gtest.h>

#include "EmergencyHarness.h"
#include "UI/MenuBuilder.h"

namespace torvel {
namespace {

// A main loop that any thread may post to, as the real one allows.
struct LockedLoop : Scheduler {
    std::mutex mutex;
    std::deque<std::function<void()>> posted;
    void post(std::function<void()> task) override {
        std::lock_guard lock(mutex);
        posted.push_back(std::move(task));
    }
    Timer after(double, std::function<void()>) override { return nullptr; }
    Timer every(double, std::function<void()>) override { return nullptr; }
    std::size_t waitFor(std::size_t count) {
        for (int i = 0; i < 500; ++i) {
            {
                std::lock_guard lock(mutex);
                if (posted.size() >= count) return posted.size();
            }
            std::this_thread::sleep_for(std::chrono::milliseconds(10));
        }
        return 0;
    }
};

TEST(EmergencyWorkRunner, BackgroundWorkRunsInOrderOffTheCallerAndAnswersOnlyThroughTheLoop) {
    LockedLoop loop;
    auto runner = EmergencyWorkRunner::background(loop);
    std::vector<std::thread::id> workers;
    std::vector<int> answers;
    for (int i = 1; i <= 2; ++i) {
        ASSERT_TRUE(runner->run(
            [&workers, i] {
                workers.push_back(std::this_thread::get_id());
                return i * 10;
            },
            [&answers](int value) { answers.push_back(value); }));
    }
    ASSERT_EQ(loop.waitFor(2), 2u);
    EXPECT_TRUE(answers.empty());  // nothing reaches the caller's side from the worker itself
    for (auto& task : loop.posted) task();
    EXPECT_EQ(answers, (std::vector<int>{10, 20}));
    ASSERT_EQ(workers.size(), 2u);
    EXPECT_NE(workers[0], std::this_thread::get_id());
    EXPECT_EQ(workers[0], workers[1]);  // one serial worker
}

TEST(EmergencyWatchdog, ArmsAtTheWatchThresholdOnBatteryOnlyAndTicksEveryMinute) {
    struct Row {
        std::int64_t forceSleep;
        std::int64_t quiet;  // highest level that still leaves the watchdog off
    };
    for (const Row row : {Row{5, 16}, Row{0, 16}, Row{18, 19}, Row{20, 21}}) {
        EmergencyHarness e;
        e.state().set(&SettingsValues::emergencyForceSleepPercent, row.forceSleep);
        e.battery(row.quiet);
        EXPECT_FALSE(e.emergency().isWatchdogArmed()) << row.forceSleep;
        e.battery(row.quiet - 1);
        EXPECT_TRUE(e.emergency().isWatchdogArmed()) << row.forceSleep;
        e.battery(row.quiet - 1, true);
        EXPECT_FALSE(e.emergency().isWatchdogArmed()) << row.forceSleep;
    }

    // Without the collaborators, or switched off, the feature is inert.
    EmergencyHarness e;
    e.emergency().attach(nullptr, &e.sleep);
    e.battery(3);
    EXPECT_FALSE(e.emergency().isWatchdogArmed());
    e.emergency().attach(&e.monitor, &e.sleep);
    EXPECT_TRUE(e.emergency().isWatchdogArmed());
    EXPECT_TRUE(e.logged("Emergency watchdog armed at 3%"));
    e.state().set(&SettingsValues::emergencyPowerEnabled, false);
    EXPECT_FALSE(e.emergency().isWatchdogArmed());
    e.state().set(&SettingsValues::emergencyPowerEnabled, true);
    ASSERT_TRUE(e.emergency().isWatchdogArmed());

    // Each minute reads the census; a blocker below the sleep threshold chooses an action.
    e.addBlocker(42, "backup");
    e.h.log.clear();
    e.h.scheduler.advance(59);
    EXPECT_FALSE(e.logged("Emergency: battery"));
    e.h.scheduler.advance(1);
    EXPECT_TRUE(e.logged("Emergency: battery=3% action=forceSleep blockers=[backup (42)]"));
}

TEST(EmergencyWatchdog, ACensusOnTheWorkerIsJudgedAgainstTheStateItComesBackTo) {
    EmergencyHarness e(EmergencyWorkRunner::deferred());
    ASSERT_TRUE(e.work->runHeldStep());  // the permission read at launch
    e.addBlocker(42, "backup");
    e.battery(3);
    ASSERT_EQ(e.work->heldSteps(), 1u);
    EXPECT_FALSE(e.logged("Emergency: battery"));

    // A second reading while the census is out does not start another.
    e.emergency().checkPower(e.now());
    EXPECT_EQ(e.work->heldSteps(), 1u);
    EXPECT_TRUE(e.logged("skipping this reading"));

    // The charger came meanwhile: the census answer is dropped, and the next reading may start.
    e.battery(3, true);
    EXPECT_TRUE(e.work->runHeldStep());
    EXPECT_FALSE(e.logged("Emergency: battery"));
    e.battery(3);
    EXPECT_TRUE(e.work->runHeldStep());
    EXPECT_TRUE(e.logged("Emergency: battery=3% action=forceSleep"));

    // The state went before the permission read came back: nothing touches it.
    ASSERT_EQ(e.work->heldSteps(), 1u);
    e.h.state.reset();
    EXPECT_TRUE(e.work->runHeldStep());
    EXPECT_EQ(e.work->heldSteps(), 0u);
}

TEST(EmergencyAlarm, SoundsOnlyWhileLiveAndASilenceHoldsUntilTheEmergencyEnds) {
    EmergencyHarness e;
    // The server's answer comes on a later turn of the loop.
    auto sound = [&e](const std::string& reason) {
        e.emergency().startAlarm(reason);
        e.h.scheduler.runPending();
    };
    sound("not live yet");
    EXPECT_FALSE(e.emergency().alarmActive());

    e.battery(10);
    e.emergency().startAlarm("no consent");
    EXPECT_FALSE(e.emergency().alarmActive()) << "not before the server took it";
    e.h.scheduler.runPending();
    EXPECT_TRUE(e.emergency().alarmActive());
    EXPECT_EQ(e.sounds.loop(), (SimSounds::Played{"Sosumi", 1.0, true}));
    EXPECT_TRUE(e.logged("Emergency alarm ON at 10% — no consent"));

    // The click on the icon silences it for this emergency: later starts stay quiet.
    e.state().toggle();
    EXPECT_FALSE(e.emergency().alarmActive());
    EXPECT_FALSE(e.sounds.loop().has_value());
    sound("again");
    EXPECT_FALSE(e.emergency().alarmActive());

    // The charger ends the emergency and the silence with it.
    e.battery(10, true);
    e.battery(10);
    sound("new emergency");
    EXPECT_TRUE(e.emergency().alarmActive());

    // Stops that do not latch: the setting, a wake, quitting.
    e.state().set(&SettingsValues::emergencyAlarmEnabled, false);
    EXPECT_FALSE(e.emergency().alarmActive());
    sound("switched off");
    EXPECT_FALSE(e.emergency().alarmActive());
    e.state().set(&SettingsValues::emergencyAlarmEnabled, true);
    sound("back on");
    e.h.log.clear();
    e.emergency().handleResume(e.now());
    EXPECT_FALSE(e.emergency().alarmActive());
    EXPECT_TRUE(e.logged("Emergency alarm OFF — the computer woke up"));
    EXPECT_FALSE(e.logged("cooldowns restarted"));  // no stamp was set
    sound("after wake");
    EXPECT_TRUE(e.emergency().alarmActive());
    e.state().handleAppTerminate();
    EXPECT_FALSE(e.sounds.loop().has_value());
}

TEST(EmergencyAlarm, AnAlarmNoServerTakesIsShownUnavailableWarnedOfCriticallyAndTriedEachMinute) {
    EmergencyHarness e;
    MenuBuilder menu{MenuBuilderServices{e.state(), e.h.timer, e.h.notifications, e.h.sleepPrevention,
                                         e.h.clock, e.h.calendar_},
                     {}};
    // The menu's head up to its first separator, when it is about the alarm.
    auto alarmRows = [&menu] {
        std::vector<std::string> out;
        menu.willOpen();
        for (const auto& item : menu.build().items) {
            if (item.style == MenuItemStyle::separator) break;
            out.push_back(item.title);
        }
        if (!out.empty() && !out[0].starts_with("menu.emergency_alarm")) out.clear();
        return out;
    };
    auto alarmNotifications = [&e] {
        return std::count_if(e.h.center.requests().begin(), e.h.center.requests().end(),
                             [](const auto& request) {
                                 return request.identifier == "emergency-alarm" &&
                                        request.urgency == NotificationUrgency::critical;
                             });
    };
    e.sounds.failPlayback();
    e.battery(10);
    e.emergency().startAlarm("no consent");
    e.h.scheduler.runPending();
    EXPECT_EQ(e.emergency().alarmStatus(), EmergencyAlarmStatus::unavailable);
    EXPECT_TRUE(e.logged("Emergency alarm could not start — no consent"));
    EXPECT_EQ(alarmRows(), std::vector<std::string>{"menu.emergency_alarm_unavailable"})
        << "nothing to silence";
    EXPECT_EQ(alarmNotifications(), 1);

    // Each watchdog tick tries again; the warning is not repeated.
    e.h.log.clear();
    e.h.scheduler.advance(60);
    EXPECT_TRUE(e.logged("Emergency alarm: trying again — no consent"));
    EXPECT_EQ(e.emergency().alarmStatus(), EmergencyAlarmStatus::unavailable);
    EXPECT_EQ(alarmNotifications(), 1);

    // The server is back: the next tick sounds it, and the menu offers the silence.
    e.sounds.failPlayback(false);
    e.h.scheduler.advance(60);
    EXPECT_EQ(e.emergency().alarmStatus(), EmergencyAlarmStatus::sounding);
    EXPECT_EQ(alarmRows(), (std::vector<std::string>{"menu.emergency_alarm", "menu.silence_alarm"}));

    // The server drops the loop: unavailable again, and warned of again.
    e.sounds.breakLoop();
    e.h.scheduler.runPending();
    EXPECT_EQ(e.emergency().alarmStatus(), EmergencyAlarmStatus::unavailable);
    EXPECT_EQ(alarmNotifications(), 2);

    // The charger ends the emergency: no alarm is wanted, none is tried.
    e.sounds.failPlayback();
    e.battery(10, true);
    EXPECT_EQ(e.emergency().alarmStatus(), EmergencyAlarmStatus::off);
    EXPECT_TRUE(alarmRows().empty());
    e.h.log.clear();
    e.h.scheduler.advance(180);
    EXPECT_FALSE(e.logged("trying again"));
}

}  // namespace
}  // namespace torvel

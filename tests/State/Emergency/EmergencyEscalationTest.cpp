#include <gtest/gtest.h>

#include "EmergencyHarness.h"
#include "UI/MenuBuilder.h"

namespace torvel {
namespace {

using Strings = std::vector<std::string>;

TEST(EmergencyEscalation, AnObstacleSoundsTheAlarmPublishesWhatItLearntAndLetsTheNextReadingRetry) {
    struct Row {
        PermissionStatus status;
        AutomationConsent published;
        const char* line;
    };
    for (const Row row : {Row{PermissionStatus::denied, AutomationConsent::denied, "it was refused"},
                          Row{PermissionStatus::notAsked, AutomationConsent::notAsked, "it has not been granted yet"},
                          Row{PermissionStatus::notRunning, AutomationConsent::granted, "could not be read"}}) {
        EmergencyHarness e;
        e.addBlocker(42, "backup");
        e.automation.setStatuses({row.status});
        e.battery(4);
        EXPECT_EQ(e.emergency().automationConsent(), row.published) << row.line;
        EXPECT_TRUE(e.logged("Emergency escalation skipped at 4% — ")) << row.line;
        EXPECT_TRUE(e.logged(row.line)) << row.line;
        EXPECT_TRUE(e.emergency().alarmActive()) << row.line;
        EXPECT_TRUE(e.automation.sleeps().empty()) << row.line;
        EXPECT_EQ(e.emergency().lastActionAt(), std::nullopt) << row.line;
        e.h.log.clear();
        e.emergency().checkPower(e.now());
        EXPECT_FALSE(e.logged("already running")) << row.line;
        EXPECT_TRUE(e.logged("Emergency escalation skipped")) << row.line;
    }
}

TEST(EmergencyEscalation, TheVetoAndTheTerminateCooldownDecideWhatIsKilledBeforeTheSleep) {
    EmergencyHarness e;
    e.thresholds(10, 5);
    e.addBlocker(42, "backup");
    e.automation.setSleepResult(false, "refused");

    // The system would refuse the suspend: nothing is killed, nothing is sent.
    e.power.setSuspendAnswer(SuspendAnswer::no);
    e.battery(4);
    EXPECT_TRUE(e.logged("the system would refuse the suspend"));
    EXPECT_TRUE(e.control.terminated().empty());
    EXPECT_TRUE(e.automation.sleeps().empty());
    EXPECT_TRUE(e.emergency().alarmActive());

    // Unknown: the sleep is tried, but nothing killed on a guess.
    e.power.setSuspendAnswer(std::nullopt);
    e.battery(4);
    EXPECT_TRUE(e.control.terminated().empty());
    EXPECT_EQ(e.automation.sleeps(), std::vector<bool>{false});

    // Clear: terminated once; 100 s later only the sleep is tried again; at 180 s killing is due again.
    e.power.setSuspendAnswer(SuspendAnswer::yes);
    e.battery(4);
    EXPECT_EQ(e.control.terminated(), std::vector<std::int32_t>{42});
    EXPECT_EQ(e.emergency().lastTerminateAt(), e.now());
    EXPECT_EQ(e.h.notificationIDs(), Strings{"emergency-terminated"});
    EXPECT_TRUE(e.logged("Emergency sleep failed at 4% — no cooldown set"));
    e.control.addProcess(42, "backup", EmergencyHarness::kOwnUID);  // it came back
    e.h.clock.advance(100);
    e.battery(4);
    EXPECT_EQ(e.control.terminated().size(), 1u);
    EXPECT_EQ(e.automation.sleeps().size(), 3u);
    e.h.clock.advance(80);
    e.battery(4);
    EXPECT_EQ(e.control.terminated().size(), 2u);
}

TEST(EmergencyEscalation, ChangedConditionsWhileTheVetoIsReadDropTheEscalation) {
    EmergencyHarness e;
    e.addBlocker(42, "backup");
    // The battery climbed above the threshold while the veto was being read.
    e.state().handleBatteryStateChanged(BatteryState{4, false, false, true, std::nullopt});
    e.state().handleBatteryStateChanged(BatteryState{6, false, false, true, std::nullopt});
    e.h.scheduler.runPending();
    EXPECT_TRUE(e.logged("Emergency escalation dropped"));
    EXPECT_TRUE(e.automation.sleeps().empty());

}

TEST(EmergencyEscalation, AFailedSleepRestoresTheSessionItToreDownUnlessANewerOneRuns) {
    // Above the hard floor, so a restored session may hold.
    EmergencyHarness e(EmergencyWorkRunner::deferred());
    e.state().set(&SettingsValues::batteryLimitEnabled, false);
    e.thresholds(20, 0);
    e.addBlocker(42, "backup");
    e.automation.setSleepResult(false, "refused");
    e.battery(30);
    e.state().activate(Duration::custom(1800));
    e.runHeldWork();  // the permission read at launch
    e.battery(14);
    e.runHeldWork();
    EXPECT_TRUE(e.logged("restoring the veto and the session it tore down"));
    EXPECT_TRUE(e.state().isActive());
    EXPECT_TRUE(e.h.timer.isRunning());
    EXPECT_TRUE(e.emergency().alarmActive());

    // The user starts a new session while the request is out: it stays, nothing old comes back.
    e.emergency().checkPower(e.now());
    ASSERT_TRUE(e.work->runHeldStep());  // the census
    ASSERT_TRUE(e.work->runHeldStep());  // the permission
    e.h.scheduler.runPending();          // the veto
    ASSERT_TRUE(e.work->runHeldStep());  // the fresh census: the session is torn down, the send waits
    ASSERT_EQ(e.work->heldSteps(), 1u);
    EXPECT_FALSE(e.h.timer.isRunning());
    e.state().toggle();
    ASSERT_TRUE(e.work->runHeldStep());  // the send fails
    EXPECT_TRUE(e.logged("a newer session is running and stays"));
    EXPECT_TRUE(e.state().isManuallyActivated());
    EXPECT_FALSE(e.h.timer.isRunning());
}

TEST(EmergencyEscalation, BatteryFallingWithABlockerWalksAlarmTerminationSleepCooldownUntilThePlugIsIn) {
    EmergencyHarness e;
    e.thresholds(10, 5);
    e.addBlocker(42, "backup");
    e.battery(16);
    EXPECT_FALSE(e.emergency().isWatchdogArmed());
    e.battery(15);
    EXPECT_TRUE(e.emergency().isWatchdogArmed());
    EXPECT_TRUE(e.automation.sleeps().empty());

    // 9 %: the sleep is sent but fails; the alarm sounds and no cooldown starts.
    e.automation.setSleepResult(false, "refused");
    e.battery(9);
    EXPECT_TRUE(e.control.terminated().empty());
    EXPECT_TRUE(e.emergency().alarmActive());

    // 4 %: the blocker is ended, the sleep lands, the alarm stops and the cooldown starts.
    e.automation.setSleepResult(true);
    e.h.clock.advance(60);
    e.battery(4);
    EXPECT_EQ(e.control.terminated(), std::vector<std::int32_t>{42});
    EXPECT_FALSE(e.emergency().alarmActive());
    EXPECT_EQ(e.emergency().lastActionAt(), e.now());
    EXPECT_EQ(e.h.notificationIDs(), (Strings{"emergency-terminated", "emergency-sleep"}));

    // The watchdog's next minute is inside the cooldown: nothing is sent.
    e.h.scheduler.advance(60);
    e.h.scheduler.runPending();
    EXPECT_EQ(e.automation.sleeps().size(), 2u);

    // The cooldown ends at exactly 180 s, not a second earlier.
    const double slept = *e.emergency().lastActionAt();
    EXPECT_EQ(e.emergency().decideAction(true, slept + 179), EmergencyPowerAction::none);
    EXPECT_EQ(e.emergency().decideAction(true, slept + 180), EmergencyPowerAction::terminateBlockersThenSleep);

    // The wake restarts the cooldowns from its instant; the charger clears them and disarms.
    e.h.clock.advance(30);
    e.emergency().handleResume(e.now());
    EXPECT_EQ(e.emergency().lastActionAt(), e.now());
    EXPECT_EQ(e.emergency().lastTerminateAt(), e.now());
    EXPECT_TRUE(e.logged("Woke — emergency cooldowns restarted from now"));
    e.battery(4, true);
    EXPECT_FALSE(e.emergency().isWatchdogArmed());
    EXPECT_EQ(e.emergency().lastActionAt(), std::nullopt);
    EXPECT_EQ(e.emergency().lastTerminateAt(), std::nullopt);
}

TEST(EmergencyEscalation, SleepNowGoesUnlessLogindRefusesAndAPasswordStopsOnlyTheEmergency) {
    EmergencyHarness e;
    e.addBlocker(42, "backup");
    // A refused suspend aborts Sleep now and shows in the readiness.
    e.power.setSuspendAnswer(SuspendAnswer::no);
    e.emergency().sleepNow(e.now());
    e.h.scheduler.runPending();
    EXPECT_TRUE(e.logged("Sleep aborted"));
    EXPECT_TRUE(e.automation.sleeps().empty());
    EXPECT_EQ(e.emergency().sleepNowReadiness(), LowBatteryEmergency::SleepNowReadiness::sleepVetoed);

    // A password first: the user at the menu can type it, so the sleep is offered and sent...
    e.power.setSuspendAnswer(SuspendAnswer::challenge);
    e.emergency().sleepNow(e.now());
    e.h.scheduler.runPending();
    EXPECT_EQ(e.automation.sleeps(), std::vector<bool>{true});
    EXPECT_EQ(e.emergency().lastActionAt(), e.now());
    EXPECT_EQ(e.emergency().sleepNowReadiness(), LowBatteryEmergency::SleepNowReadiness::ready);

    // ...but the emergency, with nobody there to type it, neither kills nor sends.
    e.thresholds(10, 5);
    e.h.clock.advance(180);
    e.battery(4);
    EXPECT_TRUE(e.logged("only after a password"));
    EXPECT_TRUE(e.control.terminated().empty());
    EXPECT_EQ(e.automation.sleeps().size(), 1u);
    EXPECT_TRUE(e.emergency().alarmActive());
}

TEST(EmergencyEscalation, SleepNowSendsOnTheWorkerAndYieldsToAnEmergencySentWhileItsVetoWasRead) {
    EmergencyHarness e(EmergencyWorkRunner::deferred());
    e.thresholds(10, 0);
    e.addBlocker(42, "backup");
    e.runHeldWork();  // the permission read at launch
    e.battery(50);

    // The menu asks for the veto; the emergency starts and sends its request before that answer comes.
    e.power.holdSuspendReadings(true);
    e.emergency().sleepNow(e.now());
    e.power.holdSuspendReadings(false);
    e.battery(4);
    ASSERT_TRUE(e.work->runHeldStep());  // the census
    ASSERT_TRUE(e.work->runHeldStep());  // the permission
    e.h.scheduler.runPending();          // the emergency's veto
    ASSERT_TRUE(e.work->runHeldStep());  // the fresh census: the request is out, the send waits
    ASSERT_EQ(e.work->heldSteps(), 1u);
    e.power.releaseSuspendReadings();
    e.h.scheduler.runPending();  // the menu's veto: it yields, and leaves the emergency's flag alone
    EXPECT_TRUE(e.logged("Sleep now aborted — a sleep request went out while the veto was read"));
    EXPECT_EQ(e.emergency().sleepNowReadiness(), LowBatteryEmergency::SleepNowReadiness::sendPending);
    EXPECT_EQ(e.work->heldSteps(), 1u);
    e.runHeldWork();
    EXPECT_EQ(e.automation.sleeps(), std::vector<bool>{false});
    EXPECT_EQ(e.emergency().sleepNowReadiness(), LowBatteryEmergency::SleepNowReadiness::ready);

    // The menu's own request never runs on the main loop: it waits on the worker, however long.
    e.emergency().sleepNow(e.now());
    e.h.scheduler.runPending();
    EXPECT_EQ(e.automation.sleeps().size(), 1u);
    EXPECT_EQ(e.emergency().sleepNowReadiness(), LowBatteryEmergency::SleepNowReadiness::sendPending);
    e.runHeldWork();
    EXPECT_EQ(e.automation.sleeps(), (std::vector<bool>{false, true}));
}

TEST(EmergencyMenu, ShowsTheAlarmTheBlockersByGroupAndOffersTheSleepOnlyWhenItCouldGo) {
    EmergencyHarness e;
    e.h.texts.setTable({{"menu.sleep_blockers_more", "%ld more"},
                        {"menu.sleep_blockers_session_relay", "The desktop session"}});
    MenuBuilder menu{MenuBuilderServices{e.state(), e.h.timer, e.h.notifications, e.h.sleepPrevention, e.h.clock,
                                         e.h.calendar_},
                     {}};
    auto titles = [&menu] {
        Strings out;
        menu.willOpen();
        for (const auto& item : menu.build().items)
            if (item.style != MenuItemStyle::separator) out.push_back(item.title);
        return out;
    };
    e.addBlocker(42, "backup");
    e.addBlocker(7, "zoom");
    e.addBlocker(8, "zoom");
    e.state().set(&SettingsValues::emergencyPowerEnabled, false);  // no emergency, only the list
    e.battery(50);
    menu.willOpen();
    auto items = menu.build().items;
    ASSERT_EQ(items[0].title, "menu.sleep_blockers");
    EXPECT_EQ(items[1].title, "zoom \u00D72");
    ASSERT_EQ(items[1].submenu.size(), 2u);
    EXPECT_EQ(items[1].submenu[0].title, "PID 7 \u2014 busy");
    EXPECT_EQ(items[2].title, "backup");
    EXPECT_EQ(items[3].action, MenuAction::sleepNow);
    // The blockers are listed, never quit from here: Sleep now lands over the user's own locks.
    EXPECT_EQ(items[4].style, MenuItemStyle::separator);

    // A refused suspend takes the action away and says why.
    e.power.setSuspendAnswer(SuspendAnswer::no);
    menu.willOpen();
    e.h.scheduler.runPending();
    items = menu.build().items;
    EXPECT_EQ(items[3].action, MenuAction::none);
    EXPECT_EQ(items[4].title, "menu.sleep_now_unavailable.sleep_disabled");

    // Locks the session holds for its applications are one row named for the session.
    e.addBlocker(9, "cinnamon-session");
    e.addBlocker(12, "mate-session");
    menu.willOpen();
    items = menu.build().items;
    EXPECT_EQ(items[1].title, "The desktop session \u00D72");
    ASSERT_EQ(items[1].submenu.size(), 2u);
    EXPECT_EQ(items[1].submenu[0].title, "PID 9 (cinnamon-session) \u2014 busy");
    EXPECT_EQ(items[2].title, "zoom \u00D72");

    // Ten names: eight groups and one line for the rest.
    for (std::int32_t pid = 20; pid < 26; ++pid) e.addBlocker(pid, "p" + std::to_string(pid));
    menu.willOpen();
    EXPECT_EQ(titles()[9], "1 more");

    // The alarm heads the menu and the silence item latches it off.
    e.state().set(&SettingsValues::emergencyPowerEnabled, true);
    e.battery(10);
    e.emergency().startAlarm("test");
    e.h.scheduler.runPending();  // the sound server took it
    items = menu.build().items;
    ASSERT_EQ(items[0].title, "menu.emergency_alarm");
    menu.perform(items[1]);
    EXPECT_FALSE(e.emergency().alarmActive());
    e.emergency().startAlarm("again");
    EXPECT_FALSE(e.emergency().alarmActive());
}

TEST(EmergencyEscalation, TheConsentButtonInstallsTheRuleAndReadsThePermissionAgain) {
    EmergencyHarness e(EmergencyWorkRunner::immediate(), /*withStayguard=*/true);
    e.state().set(&SettingsValues::emergencyPowerEnabled, true);
    e.automation.setStatuses({PermissionStatus::denied});
    e.emergency().refreshAutomationConsent();
    ASSERT_EQ(e.emergency().automationConsent(), AutomationConsent::denied);

    // The rule grants the sleep: once it is in, the permission reads as granted.
    e.emergency().resolveAutomationConsent();
    EXPECT_TRUE(e.state().lidLock().isInstallInProgress());
    e.automation.setStatuses({PermissionStatus::granted});
    e.h.scheduler.runPending();
    e.h.scheduler.runPending();
    EXPECT_EQ(e.power.installCount(), 1);
    EXPECT_EQ(e.emergency().automationConsent(), AutomationConsent::granted);

    // Granted already: nothing is installed.
    e.emergency().resolveAutomationConsent();
    e.h.scheduler.runPending();
    EXPECT_EQ(e.power.installCount(), 1);
}

}  // namespace
}  // namespace torvel

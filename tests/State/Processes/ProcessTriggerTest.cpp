#include <memory>

#include <gtest/gtest.h>

#include "Monitors/ProcessMonitor.h"
#include "Platform/Sim/SimSystemLocale.h"
#include "Platform/Sim/SimWorkspace.h"
#include "State/AppStateHarness.h"

namespace torvel {
namespace {

using R = ActivationReason;

const WatchedApp kEditor{Uuid::parse("0a1b2c3d-4e5f-4061-8293-a4b5c6d7e8f9").value(), "org.example.editor",
                         "Editor", Date(800000000.5)};
const WorkspaceApplication kEditorProcess{"org.example.editor", "Editor", 10, true};

struct ProcessTrigger : ::testing::Test {
    AppStateHarness h;
    SimWorkspace workspace{h.scheduler};
    SimSystemLocale locale;
    std::unique_ptr<ProcessMonitor> monitor = std::make_unique<ProcessMonitor>(workspace, locale, h.log);
};

TEST_F(ProcessTrigger, WatchedApplicationRunningAtStartUpActivatesOnceWhenAttached) {
    h.defaults.set("processTriggerEnabled", true);
    h.defaults.set("watchedApps", DefaultsData::fromString(watchedAppsToJson({kEditor}).value()));
    h.start();
    workspace.setRunningApplications({kEditorProcess});

    h.state->processTrigger().attachMonitor(*monitor);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::processRunning});
    EXPECT_EQ(h.held(), std::vector<std::string>{"PreventUserIdleSystemSleep"});
    EXPECT_EQ(h.assertions.createCount(), 1);
    EXPECT_TRUE(monitor->isActive());
}

TEST_F(ProcessTrigger, SwitchedOffOnlyTransientWatchesCountAndDeactivateAllEndsThem) {
    workspace.setRunningApplications({kEditorProcess});
    workspace.addProcess(500);
    h.state->processTrigger().attachMonitor(*monitor);
    h.state->processTrigger().setWatchedApps({kEditor});
    EXPECT_FALSE(h.state->isActive());  // the trigger is off by default
    h.state->set(&SettingsValues::processTriggerEnabled, true);
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::processRunning});

    h.state->processTrigger().watchTransientPID(500);
    h.state->set(&SettingsValues::processTriggerEnabled, false);
    EXPECT_TRUE(monitor->watchedDesktopIds().empty());
    EXPECT_EQ(h.state->activeReasons(), ReasonSet{R::processRunning});

    h.state->processTrigger().watchTransientDesktopId("org.example.editor");
    h.state->activate(Duration::preset(Duration::Kind::oneHour));
    h.state->deactivateAll();
    EXPECT_FALSE(monitor->transientPID());
    EXPECT_FALSE(monitor->transientDesktopId());
    EXPECT_FALSE(h.state->isActive());
}

TEST_F(ProcessTrigger, WatchedListIsStoredWholeAndReadBackAtStartUp) {
    h.state->processTrigger().setWatchedApps({kEditor});
    const std::string stored =
        R"([{"addedAt":800000000.5,"bundleID":"org.example.editor","id":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9",)"
        R"("name":"Editor"}])";
    EXPECT_EQ(h.defaults.object("watchedApps"), DefaultsValue(DefaultsData::fromString(stored)));

    // A name that is not UTF-8 cannot be stored faithfully: kept in memory, the stored list untouched.
    WatchedApp broken = kEditor;
    broken.name = "Edit\xff";
    h.state->processTrigger().setWatchedApps({kEditor, broken});
    EXPECT_EQ(h.state->processTrigger().watchedApps().size(), 2u);
    h.start();
    EXPECT_EQ(h.state->processTrigger().watchedApps(), std::vector<WatchedApp>{kEditor});

    for (const char* bad : {R"([{"id":"0A1B2C3D-4E5F-4061-8293-A4B5C6D7E8F9","name":"A","addedAt":0}])",
                            R"([{"id":"x","bundleID":"a","name":"A","addedAt":0}])", "{}"}) {
        h.defaults.set("watchedApps", DefaultsData::fromString(bad));
        h.start();
        EXPECT_TRUE(h.state->processTrigger().watchedApps().empty()) << bad;
    }
}

TEST_F(ProcessTrigger, EveryLaunchOrTerminationNoticedBumpsTheRevision) {
    h.state->set(&SettingsValues::processTriggerEnabled, true);
    h.state->processTrigger().setWatchedApps({kEditor});
    h.state->processTrigger().attachMonitor(*monitor);
    int told = 0;
    auto connection = h.state->processTrigger().runningAppsChanged.connect([&] { ++told; });

    workspace.launch("org.example.player", "Player");
    h.scheduler.runPending();
    EXPECT_FALSE(h.state->isActive());
    workspace.launch(kEditorProcess);
    h.scheduler.runPending();
    EXPECT_TRUE(h.state->isActive());
    workspace.quit("org.example.editor");
    h.scheduler.runPending();
    EXPECT_FALSE(h.state->isActive());
    EXPECT_EQ(h.state->processTrigger().runningAppsRevision(), 3u);
    EXPECT_EQ(told, 3);
}

TEST_F(ProcessTrigger, EitherSideMayGoFirst) {
    workspace.setRunningApplications({kEditorProcess});
    h.state->set(&SettingsValues::processTriggerEnabled, true);
    h.state->processTrigger().setWatchedApps({kEditor});
    h.state->processTrigger().attachMonitor(*monitor);
    h.state->processTrigger().detachMonitor();  // nothing would report the end any more
    EXPECT_FALSE(h.state->isActive());

    h.state->processTrigger().attachMonitor(*monitor);
    EXPECT_EQ(h.state->processTrigger().runningApplications().size(), 1u);
    monitor.reset();
    EXPECT_TRUE(h.state->processTrigger().runningApplications().empty());
    h.state->processTrigger().watchTransientPID(10);

    monitor = std::make_unique<ProcessMonitor>(workspace, locale, h.log);
    h.state->processTrigger().attachMonitor(*monitor);
    h.state.reset();
    workspace.terminate(10);
    h.scheduler.runPending();
    EXPECT_FALSE(monitor->isActive());
}

}  // namespace
}  // namespace torvel

#include <gtest/gtest.h>

#include <algorithm>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Doctor/Doctor.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
using Doctor = PrivateBusTest;

// The finding whose facility starts with `prefix`.
DoctorFinding finding(const std::vector<DoctorFinding>& findings, const std::string& prefix) {
    const auto it = std::find_if(findings.begin(), findings.end(),
                                 [&](const DoctorFinding& f) { return f.facility.rfind(prefix, 0) == 0; });
    if (it == findings.end()) ADD_FAILURE() << "no finding for " << prefix;
    return it == findings.end() ? DoctorFinding{} : *it;
}

TEST_F(Doctor, ReportsWhatTheSessionHasAndWhatFollowsWithoutIt) {
    ASSERT_TRUE(buses.startTemplate(Bus::system, "logind", "org.freedesktop.login1"));
    ASSERT_TRUE(buses.startTemplate(Bus::session, "notification_daemon", "org.freedesktop.Notifications"));

    const auto findings = examineDesktop(system(), session(), 1000);
    EXPECT_TRUE(finding(findings, "systemd-logind").found);
    EXPECT_TRUE(finding(findings, "Desktop notifications").found);
    EXPECT_FALSE(finding(findings, "UPower").found);
    EXPECT_NE(finding(findings, "UPower").consequence.find("/sys/class/power_supply"), std::string::npos);
    EXPECT_FALSE(finding(findings, "Tray host").found);
    EXPECT_TRUE(finding(findings, "Quitting apps").found);

    const auto quitting = finding(examineDesktop(system(), session(), 0), "Quitting apps");
    EXPECT_FALSE(quitting.found);
    EXPECT_NE(quitting.consequence.find("running as root"), std::string::npos);

    // Torvel's GNOME Shell extension stands in for a tray.
    ASSERT_TRUE(session().registerService("com.torvel.Torvel.ShellExtension"));
    const auto tray = finding(examineDesktop(system(), session(), 1000), "Tray host");
    EXPECT_TRUE(tray.found);
    EXPECT_NE(tray.consequence.find("quick settings"), std::string::npos) << tray.consequence;

    const std::string report = formatDoctorReport(findings);
    EXPECT_NE(report.find("[ok] systemd-logind"), std::string::npos) << report;
    EXPECT_NE(report.find("not found; Torvel runs without them"), std::string::npos) << report;
}

TEST_F(Doctor, NamesEachStayguardGrantWhoElseDecidesTheLidAndANotificationServerThatDoesNotAnswer) {
    // No power-profiles-daemon: polkit knows neither name of its hold action.
    ASSERT_TRUE(buses.startPolkit({{"org.freedesktop.login1.inhibit-handle-lid-switch", "yes"},
                                   {"net.hadess.PowerProfiles.hold-profile", "error"},
                                   {"org.freedesktop.UPower.PowerProfiles.hold-profile", "error"}}));
    ASSERT_TRUE(
        buses.logindInhibitors("[('sleep', 'Torvel', 'x', 'block', 1000, 7), "
                               "('handle-power-key:handle-lid-switch', 'PowerDevil', "
                               "'KDE handles the lid', 'block', 1000, 4242)]"));
    // The notifications name is taken, but by something that does not answer as a notification server.
    ASSERT_TRUE(buses.startMock(Bus::session, "org.freedesktop.Notifications",
                                "/org/freedesktop/Notifications", "org.freedesktop.Notifications"));
    const auto findings = examineDesktop(system(), session());
    EXPECT_FALSE(finding(findings, "Desktop notifications").found);
    const auto stayguard = finding(findings, "Stayguard (polkit grants)");
    EXPECT_TRUE(stayguard.found) << "the lid lock is granted";
    EXPECT_NE(stayguard.consequence.find(
                  "lid lock yes, power saver not available here (no power-profiles-daemon), suspend no"),
              std::string::npos)
        << stayguard.consequence;
    const auto lid = finding(findings, "Lid switch (logind)");
    EXPECT_FALSE(lid.found);
    EXPECT_EQ(lid.consequence,
              "PowerDevil (pid 4242) holds it and decides what a closed lid does: set the lid "
              "action to do nothing in KDE Plasma's power settings");
}

}  // namespace
}  // namespace torvel

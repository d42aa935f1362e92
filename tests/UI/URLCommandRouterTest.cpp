#include <gtest/gtest.h>

#include <fmt/format.h>

#include "State/AppStateHarness.h"
#include "UI/URLCommandRouter.h"

namespace torvel {
namespace {

// A router on the simulated machine; the error notification's body is the bare message.
struct RouterHarness {
    explicit RouterHarness(Calendar calendar = Calendar::utc()) : h(std::move(calendar)) {
        h.texts.setTable({{"notification.url_scheme_error", "%@"}});
    }

    // What the URL did: the error it reported, else the session that runs now.
    std::string open(std::string_view url) {
        const auto before = h.center.addedCount();
        router.handle(url);
        if (h.center.addedCount() > before) {
            const auto& n = h.lastNotification();
            return n.identifier == "url-scheme-error" ? "error " + n.body : n.identifier;
        }
        if (const auto& id = h.state->activeProfileID()) {
            for (const auto& p : h.state->profileLibrary().profiles()) {
                if (p.id == *id) return "profile " + p.name;
            }
        }
        if (h.timer.isRunning()) return fmt::format("timer {:g}", h.timer.remainingSeconds());
        if (h.state->isManuallyActivated()) return "indefinite";
        return h.state->isActive() ? "active" : "idle";
    }

    AppStateHarness h;
    URLCommandRouter router{*h.state, h.notifications, h.texts, h.clock, h.calendar_, h.log};
};

TEST(URLCommandRouter, CarriesOutEachCommandOrReportsItsError) {
    const struct {
        std::string url, expected;
    } cases[] = {
        {"torvel://activate", "indefinite"},
        {"torvel://activate?duration=1800", "timer 1800"},
        {"torvel://activate?duration=0.5", "timer 0.5"},
        {"torvel://activate?duration=0x10", "timer 16"},
        {"torvel://activate?duration=1e300", "timer 6.22959e+10"},  // ends at the far future
        {"torvel://activate?duration=30m", "error Invalid duration '30m'"},
        {"torvel://activate?duration=", "error Invalid duration ''"},
        {"torvel://activate?duration=%2060", "error Invalid duration ' 60'"},
        {"torvel://activate?duration=5+1", "error Invalid duration '5+1'"},  // "+" is no space
        {"torvel://activate?duration=60%00", "error Invalid duration '60'"},
        {"torvel://activate?duration=%zz", "error Invalid duration '%zz'"},
        // Repeated items: the last value wins, a bare name removes the earlier one.
        {"torvel://activate?duration=60&duration=90", "timer 90"},
        {"torvel://activate?duration=60&duration", "indefinite"},
        {"torvel://activate?profile=AI&duration=60", "profile AI"},
        {"torvel://activate?profile=%41I", "profile AI"},
        {"torvel://activate?profile=default_profile.download", "profile Download"},
        {"torvel://activate?profile=ai", "error Profile 'ai' not found"},
        {"torvel://activate?duration=60&until=12:00", "timer 60"},
        {"torvel://activate?until=00:00", "timer 86400"},  // now is midnight: the coming one
        {"torvel://activate?until=6:30", "timer 23400"},
        {"torvel://activate?until=24:00", "error Invalid time '24:00'"},
        {"torvel://activate?until=12", "error Invalid time '12'"},
        {"torvel://activate?until=12:", "error Invalid time '12:'"},
        {"torvel://activate?until=1:2:3", "error Invalid time '1:2:3'"},
        {"torvel://activate?until=a:b", "error Invalid time 'a:b'"},
        {"torvel://activate/extra?Duration=60#duration=5", "indefinite"},
        {"torvel://me@activate:80?duration=60", "timer 60"},
        {"torvel://Activate", "error Unknown command 'Activate'"},
        {"torvel:activate?duration=60", "error Unknown command ''"},
        {"torvel://act%00ivate", "error Unknown command 'act%00ivate'"},
        {"torvel://" + std::string(5000, 'a'), "error URL longer than 4096 bytes"},
        {"torvel://deactivate?duration=60", "idle"},
        {"torvel://toggle", "indefinite"},
        {"torvel://toggle?duration=60", "timer 60"},
        {"torvel://toggle?profile=AI&until=12:00", "indefinite"},
        {"torvel://toggle?duration=abc", "error Invalid duration 'abc'"},
    };
    for (const auto& c : cases) {
        RouterHarness r;
        EXPECT_EQ(r.open(c.url), c.expected) << c.url.substr(0, 80);
        if (c.expected.starts_with("error")) {
            EXPECT_FALSE(r.h.state->isActive()) << c.url.substr(0, 80);
        }
    }
}

TEST(URLCommandRouter, ToggleEndsARunningSessionWhateverDurationItCarries) {
    RouterHarness r;
    EXPECT_EQ(r.open("torvel://activate?duration=600"), "timer 600");
    EXPECT_EQ(r.open("torvel://toggle?duration=abc"), "idle");  // not started, so not read
    EXPECT_EQ(r.open("torvel://activate?profile=Presentation"), "profile Presentation");
    EXPECT_EQ(r.open("torvel://deactivate"), "idle");
}

TEST(URLCommandRouter, OtherSchemesLeaveNoTrace) {
    RouterHarness r;
    r.h.log.clear();
    for (std::string_view url : {"Torvel://activate", "TORVEL://Activate", "torvelx://activate",
                                 "http://activate", "activate", "", "//activate", " torvel://activate"}) {
        EXPECT_EQ(r.open(url), "idle") << url;
    }
    EXPECT_TRUE(r.h.log.lines().empty());
}

TEST(URLCommandRouter, ErrorsAreLoggedWithTheURLPrivateAndNotifiedInTheUserLanguage) {
    RouterHarness r;
    r.h.texts.setTable({{"notification.url_scheme_error", "Torvel couldn't follow the link: %@"}});
    r.router.handle("torvel://stop?secret=1");
    r.router.handle("torvel://activate?duration=60");  // an error does not stop the next link

    EXPECT_EQ(r.h.log.messages("URLScheme"),
              std::vector<std::string>{"Unknown command 'stop' in URL: <private>"});
    const NotificationRequest expected{"url-scheme-error", "Torvel",
                                       "Torvel couldn't follow the link: Unknown command 'stop'",
                                       std::nullopt, true};
    EXPECT_EQ(r.h.center.requests(), std::vector<NotificationRequest>{expected});
    EXPECT_TRUE(r.h.timer.isRunning());

    r.h.log.setRevealsPrivate(true);
    r.router.handle("torvel://stop?\x1b[2J");
    EXPECT_EQ(r.h.log.messages("URLScheme").back(), "Unknown command 'stop' in URL: torvel://stop?[2J");
}

TEST(URLCommandRouter, TellsTheCallerWhatBecameOfTheURL) {
    using K = URLOutcome::Kind;
    RouterHarness r;
    EXPECT_EQ(r.router.handle("https://activate").kind, K::ignored);
    EXPECT_EQ(r.router.handle("torvel://activate?duration=60").kind, K::done);
    EXPECT_EQ(r.router.handle("torvel://toggle").kind, K::done);  // ended the session: done, not refused
    const auto invalid = r.router.handle("torvel://activate?until=25:00");
    EXPECT_EQ(invalid.kind, K::invalid);
    EXPECT_EQ(invalid.message, "Invalid time '25:00'");
    EXPECT_EQ(r.h.lastNotification().identifier, "url-scheme-error") << "the notification still goes out";

    // A battery below the limit refuses every way of starting a session.
    r.h.onBattery(5);
    for (auto url : {"torvel://activate", "torvel://activate?duration=60", "torvel://activate?until=12:00",
                     "torvel://activate?profile=AI", "torvel://toggle"}) {
        const auto refused = r.router.handle(url);
        EXPECT_EQ(refused.kind, K::refused) << url;
        EXPECT_TRUE(refused.message.empty()) << url;
    }
    EXPECT_EQ(r.router.handle("torvel://deactivate").kind, K::done);
}

TEST(URLCommandRouter, ErrorsRepeatOnlyAShortCleanExcerptOfTheInput) {
    RouterHarness r;
    const auto huge = r.router.handle("torvel://activate?duration=" + std::string(4000, '9') + "x");
    EXPECT_LE(huge.message.size(),
              std::string("Invalid duration ''").size() + URLCommandRouter::kMaxQuotedLength);
    EXPECT_TRUE(huge.message.ends_with("9\u2026'")) << huge.message;

    const std::string key(1 << 20, 'k');
    EXPECT_EQ(URLCommandRouter::excerpt(key).size(), URLCommandRouter::kMaxQuotedLength);
    EXPECT_EQ(URLCommandRouter::excerpt("short\x1b[2J"), "short[2J");
    // Dropped controls do not hide a cut: the ellipsis still says there was more.
    EXPECT_EQ(URLCommandRouter::excerpt(std::string(100, '\x1b') + "tail", 64), "\u2026");
    EXPECT_EQ(URLCommandRouter::excerpt(std::string(64, 'a')), std::string(64, 'a'));  // fits: not cut
    // A cut never splits a character: 30 two-byte letters do not fit in 10 bytes.
    std::string accents;
    for (int i = 0; i < 30; ++i) accents += "\xC3\xA9";
    EXPECT_EQ(URLCommandRouter::excerpt(accents, 10), "\xC3\xA9\xC3\xA9\xC3\xA9\u2026");
}

TEST(URLCommandRouter, SecondsReadExactlyOrNotAtAll) {
    EXPECT_EQ(URLCommandRouter::readSeconds("60"), 60.0);
    for (auto text : {" 60", "60 ", "+ 60", "60s", "", "0", "-1", "--5", "0x-1", "nan", "inf", "1e400", "\t60"})
        EXPECT_EQ(URLCommandRouter::readSeconds(text), std::nullopt) << text;
}

TEST(URLCommandRouter, UntilTimesAreTheNextOccurrenceInTheUsersZone) {
    // Prague: in 2026 the clocks jump from 02:00 to 03:00 on 29 March and back on 25 October.
    const Calendar prague = *Calendar::named("Europe/Prague");
    const auto at = [&](int month, int day, int hour, int minute) {
        return *prague.date({2026, month, day, hour, minute, 0});
    };
    const struct {
        Date now;
        std::string text, expected;
    } cases[] = {
        {at(6, 10, 10, 0), "10:01", "2026-06-10T08:01:00.000Z"},
        {at(6, 10, 10, 0), "10:00", "2026-06-11T08:00:00.000Z"},  // exactly now: tomorrow
        {at(6, 10, 10, 0), "7:5", "2026-06-11T05:05:00.000Z"},
        {at(6, 10, 10, 0), "+09:-0", "2026-06-11T07:00:00.000Z"},
        {at(6, 10, 23, 30), "00:15", "2026-06-10T22:15:00.000Z"},  // across midnight
        {at(3, 28, 23, 0), "2:30", "2026-03-29T01:00:00.000Z"},    // tomorrow's 02:30 is skipped
        {at(3, 29, 1, 30), "2:30", "2026-03-29T01:00:00.000Z"},
        {at(3, 29, 1, 30), "4:00", "2026-03-29T02:00:00.000Z"},   // an hour less of waiting
        {at(10, 24, 23, 0), "2:30", "2026-10-25T00:30:00.000Z"},  // the first of the two
        {at(6, 10, 10, 0), "-1:00", "none"},
        {at(6, 10, 10, 0), "12:60", "none"},
        {at(6, 10, 10, 0), ":30", "none"},
        {at(6, 10, 10, 0), " 1:00", "none"},
        {at(6, 10, 10, 0), "1:0x", "none"},
        {at(6, 10, 10, 0), "1:+", "none"},
        {at(6, 10, 10, 0), "99999999999999999999:00", "none"},
    };
    for (const auto& c : cases) {
        const auto date = URLCommandRouter::parseUntilTime(c.text, c.now, prague);
        EXPECT_EQ(date ? date->toString() : "none", c.expected) << c.text << " at " << c.now.toString();
    }
}

TEST(URLCommandRouter, NoticesAreCleanAndFewWhateverTheURLCarries) {
    // What a profile name in a URL can carry reaches neither the notice nor the log raw.
    RouterHarness r;
    EXPECT_EQ(r.open("torvel://activate?profile=%C2%9B2J%C2%9B31mRED%E2%80%AEgnp.exe"),
              "error Profile '2J31mREDgnp.exe' not found");
    // A flood of bad URLs keeps only the latest notices.
    for (int i = 0; i < 150; ++i) r.router.handle("torvel://nope" + std::to_string(i));
    EXPECT_EQ(r.h.center.requests().size(), SimNotificationCenter::kMaxKeptRequests);
    EXPECT_EQ(r.h.center.requests().back().body, "Unknown command 'nope149'");
}

}  // namespace
}  // namespace torvel

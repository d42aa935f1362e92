#include "App/StatusLine.h"

#include <QDateTime>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>
#include <QStringList>

#include "App/CommandLine.h"

#include <gtest/gtest.h>

namespace torvel {
namespace {

using Format = StatusLine::Format;

/// Properties as the follower keeps them: what arrived, through the same checks.
QVariantMap received(const QVariantMap& sent) {
    QVariantMap properties;
    StatusLine::merge(properties, sent);
    return properties;
}

TEST(StatusLineTest, EachFormatShowsTheStateCleanedForWhereItGoes) {
    const QVariantMap idle{{"Active", false},          {"Reasons", QStringList{}},
                           {"RemainingText", ""},      {"StatusText", "Torvel is off"},
                           {"TooltipTitle", "Torvel"}, {"BatteryPercent", -1},
                           {"NeedsAttention", false}};
    auto with = [&](const QVariantMap& changes) {
        QVariantMap properties = idle;
        properties.insert(changes);
        return std::optional(received(properties));
    };
    const struct {
        const char* what;
        std::optional<QVariantMap> properties;
        const char* waybar;
        const char* text;
    } cases[] = {
        {"not running", std::nullopt,
         R"({"alt":"stopped","class":["stopped"],"text":"off","tooltip":"Torvel is not running"})",
         "not running"},
        {"off, no battery: no percentage", with({}),
         R"({"alt":"inactive","class":["inactive"],"text":"off","tooltip":"Torvel\nTorvel is off"})", "off"},
        {"a countdown with a profile whose name is markup and a polybar tag",
         with({{"Active", true},
               {"Reasons", QStringList{"timer", "manual"}},
               {"RemainingText", "24 min"},
               {"TooltipTitle", "Torvel: 24 min left"},
               {"Profile", "Deep <b>Work</b> & %{F#f00}Co%{F-}"},
               {"BatteryPercent", 54},
               {"StatusText", "Keeping <awake>"}}),
         R"({"alt":"active","class":["active"],"percentage":54,"text":"24 min","tooltip":)"
         R"("Torvel: 24 min left\nKeeping &lt;awake&gt;\nReasons: timer, manual\n)"
         R"(Profile: Deep &lt;b&gt;Work&lt;/b&gt; &amp; %{F#f00}Co%{F-}"})",
         "on 24 min (Deep <b>Work</b> & Co)"},
        {"the alarm sounds: attention beside the state",
         with({{"Active", true}, {"NeedsAttention", true}, {"BatteryPercent", 3}}),
         R"({"alt":"active","class":["active","attention"],"percentage":3,"text":"on","tooltip":"Torvel\nTorvel is off"})",
         "! on"},
        {"paused automatic triggers", with({{"AutomationPaused", true}}),
         R"({"alt":"paused","class":["paused"],"text":"paused","tooltip":"Torvel\nTorvel is off"})",
         "paused"},
        {"a request the desktop has not taken up yet",
         with({{"RequestPending", true}, {"AutomationPaused", true}}),
         R"({"alt":"pending","class":["pending"],"text":"pending","tooltip":"Torvel\nTorvel is off"})",
         "pending"},
        {"terminal controls, line breaks and direction overrides go",
         with({{"Active", true},
               {"RemainingText", "5\x1b[2J min"},
               {"Profile", QString::fromUtf8("Evil\x1b]0;owned\x07\nName\xE2\x80\xAE")},
               {"TooltipTitle", "Torvel\r\nfake line"}}),
         R"({"alt":"active","class":["active"],"text":"5[2J min","tooltip":"Torvelfake line\nTorvel is off\n)"
         R"(Profile: Evil]0;ownedName"})",
         "on 5[2J min (Evil]0;ownedName)"},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        EXPECT_EQ(StatusLine::format(Format::waybar, c.properties).toStdString(), c.waybar);
        EXPECT_EQ(StatusLine::format(Format::text, c.properties).toStdString(), c.text);
        // JSON stays exact (the encoder escapes) and on one line.
        const QString json = StatusLine::format(Format::json, c.properties);
        EXPECT_FALSE(json.contains('\n'));
        const QJsonObject object = QJsonDocument::fromJson(json.toUtf8()).object();
        EXPECT_EQ(object.value("running").toBool(), c.properties.has_value());
        if (c.properties) {
            EXPECT_EQ(object.value("profile").toString(), c.properties->value("Profile").toString());
        }
    }
}

TEST(StatusLineTest, JSONKeepsTheStatusKeysAndLeavesOutWhatIsAbsent) {
    const QVariantMap bare = received({{"Active", false},
                                       {"BatteryPercent", -1},
                                       {"BatteryMinutesRemaining", -1},
                                       {"CountdownEnd", qint64(0)},
                                       {"AssertionType", ""}});
    EXPECT_EQ(StatusLine::format(Format::json, bare).toStdString(),
              R"({"active":false,"reasons":[],"running":true})");

    const qint64 end = 1796668200;  // 2026-12-07T18:30:00Z
    const QVariantMap full = received({{"Active", true},
                                       {"Reasons", QStringList{"timer"}},
                                       {"AssertionType", "noIdleSleep"},
                                       {"CountdownEnd", end},
                                       {"Profile", "Deep Work"},
                                       {"ProfileID", "42"},
                                       {"OnACPower", false},
                                       {"BatteryPercent", 80},
                                       {"BatteryMinutesRemaining", 95},
                                       {"AutomationPaused", true},
                                       {"AutomationPausedUntil", end + 60},
                                       {"RequestPending", false},
                                       {"EmergencyAlarm", "off"},
                                       {"ScreenSaverPrevented", true},
                                       {"NeedsAttention", false},
                                       {"RemainingText", "3 min"},
                                       {"StatusText", "Keeping the computer awake"},
                                       {"StatusMessage", ""},
                                       {"IconName", "x"}});
    const QJsonObject object =
        QJsonDocument::fromJson(StatusLine::format(Format::json, full).toUtf8()).object();
    EXPECT_EQ(object.keys(),
              (QStringList{"active", "assertionType", "automationPaused", "automationPausedUntil",
                           "batteryMinutesRemaining", "batteryPercent", "countdownEnd", "emergencyAlarm",
                           "needsAttention", "onACPower", "profile", "profileID", "reasons", "remainingText",
                           "requestPending", "running", "screenSaverPrevented", "statusText"}));
    EXPECT_EQ(object.value("batteryMinutesRemaining").toInt(), 95);
    // Times as `torvel status --json` writes them: local, with the offset spelled out.
    const QString countdownEnd = object.value("countdownEnd").toString();
    EXPECT_TRUE(
        QRegularExpression(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d[+-]\d\d:\d\d$)").match(countdownEnd).hasMatch())
        << countdownEnd.toStdString();
    EXPECT_EQ(QDateTime::fromString(countdownEnd, Qt::ISODate).toSecsSinceEpoch(), end);
    EXPECT_EQ(QDateTime::fromString(object.value("automationPausedUntil").toString(), Qt::ISODate)
                  .toSecsSinceEpoch(),
              end + 60);
}

TEST(StatusLineTest, ValuesOfTheWrongTypeOrRangeAreDroppedAndTheOldOnesStay) {
    QVariantMap properties =
        received({{"Active", true}, {"BatteryPercent", 50}, {"Reasons", QStringList{"manual"}}});
    StatusLine::merge(properties, {{"Active", "false"},           // a string, not a boolean
                                   {"BatteryPercent", 101},       // past full
                                   {"CountdownEnd", qint64(-5)},  // before 1970
                                   {"AutomationPausedUntil", 7},  // i, not x
                                   {"Reasons", "manual"},         // s, not as
                                   {"Unknown", true}});
    EXPECT_EQ(properties,
              (QVariantMap{{"Active", true}, {"BatteryPercent", 50}, {"Reasons", QStringList{"manual"}}}));
    EXPECT_FALSE(StatusLine::complete(received({{"Active", 1}, {"RemainingText", "5 min"}})));
    EXPECT_TRUE(StatusLine::complete(received({{"Active", false}})));
}

TEST(StatusLineTest, PolybarTagsAndMarkupCannotComeFromOutside) {
    const std::pair<const char*, const char*> tags[] = {
        {"%{F#f00}red%{F-}", "red"},
        {"%{A1:rm -rf ~:}click%{A}", "click"},
        {"%%{x}{y}", ""},  // the removal joins "%" and "{y}" into another tag
        {"50%{unclosed", "50"},
        {"100% {fine}", "100% {fine}"},
        {"", ""},
    };
    for (const auto& [raw, clean] : tags)
        EXPECT_EQ(StatusLine::withoutPolybarTags(raw).toStdString(), clean) << raw;
    EXPECT_EQ(StatusLine::pangoEscaped("a & b <i>x</i> &amp;").toStdString(),
              "a &amp; b &lt;i&gt;x&lt;/i&gt; &amp;amp;");
}

TEST(StatusLineTest, StatusOptionsAndToggleOnTheCommandLine) {
    const struct {
        std::vector<std::string> args;
        std::string format;
        bool follow, json;
    } read[] = {
        {{"status"}, "", false, false},
        {{"status", "--json"}, "json", false, true},
        {{"status", "--format", "json"}, "json", false, true},
        {{"status", "--follow", "--json"}, "json", true, true},
        {{"status", "--format", "waybar", "--follow"}, "waybar", true, false},
        {{"status", "--format", "text"}, "text", false, false},
        {{"status", "--follow"}, "text", true, false},
    };
    for (const auto& c : read) {
        const auto line = CommandLine::parse(c.args);
        EXPECT_EQ(line.action, CommandLine::Action::status) << c.args.back();
        EXPECT_EQ(line.format, c.format) << c.args.back();
        EXPECT_EQ(line.follow, c.follow) << c.args.back();
        EXPECT_EQ(line.json, c.json) << c.args.back();
    }
    for (const std::vector<std::string>& wrong : {std::vector<std::string>{"status", "--format"},
                                                  {"status", "--format", "i3bar"},
                                                  {"status", "--json", "--format", "waybar"},
                                                  {"status", "--format", "text", "--format", "text"},
                                                  {"status", "--follow", "now"},
                                                  {"toggle", "on"}})
        EXPECT_EQ(CommandLine::parse(wrong).action, CommandLine::Action::usage) << wrong.back();
    EXPECT_EQ(CommandLine::parse({"toggle"}).action, CommandLine::Action::toggle);
    EXPECT_NE(CommandLine::parse({"toggle", "--help"}).text.find("torvel toggle"), std::string::npos);
}

}  // namespace
}  // namespace torvel

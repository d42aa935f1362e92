#include "Platform/Linux/Desktop/FreedesktopNotificationCenter.h"

#include <memory>
#include <optional>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDBusArgument>
#include <QDBusMessage>
#include <QDBusMetaType>

#include "Platform/Linux/DBus/PrivateBuses.h"
#include "Platform/Linux/Desktop/QtScheduler.h"
#include "Services/NotificationService.h"
#include "Support/Localization.h"

namespace torvel {
namespace {

using Bus = PrivateBuses::Bus;
constexpr const char* kService = "org.freedesktop.Notifications";
constexpr const char* kPath = "/org/freedesktop/Notifications";

// Adds a request and waits for its completion, which must come later than the call.
std::optional<std::string> add(NotificationCenter& center, std::string identifier,
                               std::string body = "body") {
    std::optional<std::optional<std::string>> result;
    center.add({std::move(identifier), "<i>Torvel</i>", std::move(body), kGuardianReminderCategory, true},
               [&](std::optional<std::string> error) { result = std::move(error); });
    EXPECT_FALSE(result) << "completed inside add()";
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return result.has_value(); }));
    return result.value_or("no completion");
}

std::vector<QVariantList> notifyCalls(const PrivateBuses& buses) {
    std::vector<QVariantList> out;
    for (auto& [method, args] : buses.calls(Bus::session, kService, kPath)) {
        if (method == "Notify") out.push_back(args);
    }
    return out;
}

class FreedesktopNotificationCenterTest : public PrivateBusTest {
protected:
    void SetUp() override {
        PrivateBusTest::SetUp();
        if (IsSkipped()) return;
        center = std::make_unique<FreedesktopNotificationCenter>(session(), log);
        center->setCategories(
            {{kGuardianReminderCategory,
              {{"GUARDIAN_CONTINUE", "Continue", NotificationActionOption::none},
               {"GUARDIAN_DEACTIVATE", "Deactivate", NotificationActionOption::destructive}}}});
    }

    bool startServer(const QString& capabilities) {
        return buses.startTemplate(Bus::session, "notification_daemon", kService,
                                   QString(R"({"capabilities": "%1"})").arg(capabilities));
    }

    void emitFromServer(const QString& name, const QVariantList& args, const QString& signature) {
        ASSERT_TRUE(buses.emitSignal(Bus::session, kService, kPath, kService, name, signature, args));
        // The signal came before the reply, so its delivery is already queued here.
        QCoreApplication::processEvents();
    }

    std::unique_ptr<FreedesktopNotificationCenter> center;
};

TEST_F(FreedesktopNotificationCenterTest, AuthorisedOnlyWhileAServerAnswersAndPlainTextStaysPlain) {
    std::optional<std::pair<bool, std::optional<std::string>>> answer;
    auto ask = [&] {
        answer.reset();
        center->requestAuthorization([&](bool granted, auto error) { answer.emplace(granted, error); });
        EXPECT_FALSE(answer) << "answered inside the call";
        return PrivateBuses::waitFor([&] { return answer.has_value(); });
    };
    ASSERT_TRUE(ask());
    EXPECT_FALSE(answer->first);
    EXPECT_TRUE(answer->second && !answer->second->empty());
    EXPECT_TRUE(add(*center, "battery-hard-limit")) << "nothing shows without a server";

    ASSERT_TRUE(startServer("body"));
    ASSERT_TRUE(ask());
    EXPECT_TRUE(answer->first);
    EXPECT_EQ(answer->second, std::nullopt);
    // A server that reads no markup gets the text as it is.
    EXPECT_EQ(add(*center, "battery-hard-limit", "<b>Café & Co</b>"), std::nullopt);
    EXPECT_EQ(notifyCalls(buses).at(0).value(4).toString(), QString::fromUtf8("<b>Café & Co</b>"));
}

TEST_F(FreedesktopNotificationCenterTest, SendsButtonsAndReplacesTheNotificationOfAnIdentifier) {
    ASSERT_TRUE(startServer("body actions"));
    // Back to back: the second must still learn the id the first one got.
    int completed = 0;
    for (int i = 0; i < 2; ++i) {
        center->add({"guardian-reminder", "Torvel", "Still awake", kGuardianReminderCategory, true},
                    [&](auto) { ++completed; });
    }
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return completed == 2; }));
    center->add(
        {"emergency-alarm", "Torvel", "Battery at 4%", std::nullopt, true, NotificationUrgency::critical},
        [&](auto) { ++completed; });
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return completed == 3; }));

    auto calls = notifyCalls(buses);
    ASSERT_EQ(calls.size(), 3U);
    const QVariantList& first = calls[0];
    EXPECT_EQ(first.value(0).toString(), "Torvel");
    EXPECT_EQ(first.value(1).toUInt(), 0U);
    EXPECT_EQ(first.value(5).toStringList(),
              QStringList({"GUARDIAN_CONTINUE", "Continue", "GUARDIAN_DEACTIVATE", "Deactivate"}));
    const auto hints = qdbus_cast<QVariantMap>(first.value(6).value<QDBusArgument>());
    EXPECT_EQ(hints.value("desktop-entry").toString(), "com.torvel.Torvel")
        << "the installed desktop file's id";
    EXPECT_EQ(hints.value("sound-name").toString(), "message-new-instant");
    EXPECT_FALSE(hints.contains("urgency")) << "the server's default";
    const auto critical = qdbus_cast<QVariantMap>(calls[2].value(6).value<QDBusArgument>()).value("urgency");
    EXPECT_EQ(critical.metaType().id(), QMetaType::UChar) << "the protocol's byte";
    EXPECT_EQ(critical.toInt(), 2);
    EXPECT_EQ(first.value(7).toInt(), -1);
    EXPECT_EQ(calls[1].value(1).toUInt(), 1U) << "replaces the first";
    EXPECT_EQ(calls[2].value(1).toUInt(), 0U) << "another identifier is a new notification";

    // Once the server closed it, the identifier starts a new notification.
    emitFromServer("NotificationClosed", {1U, 2U}, "uu");
    EXPECT_EQ(add(*center, "guardian-reminder"), std::nullopt);
    EXPECT_EQ(notifyCalls(buses).back().value(1).toUInt(), 0U);
}

TEST_F(FreedesktopNotificationCenterTest, EscapesBodiesOnlyForServersThatReadMarkup) {
    // The template's default capabilities include body-markup but not actions.
    ASSERT_TRUE(buses.startTemplate(Bus::session, "notification_daemon", kService));
    EXPECT_EQ(add(*center, "url-scheme-error", "<b>Caf\xc3\xa9 & \"Co\"</b> \xff"), std::nullopt);
    const auto calls = notifyCalls(buses);
    ASSERT_EQ(calls.size(), 1U);
    EXPECT_EQ(calls[0].value(3).toString(), "<i>Torvel</i>") << "a summary is plain text";
    EXPECT_EQ(calls[0].value(4).toString(),
              QString::fromUtf8("&lt;b&gt;Café &amp; &quot;Co&quot;&lt;/b&gt; \uFFFD"));
    EXPECT_TRUE(calls[0].value(5).toStringList().isEmpty()) << "no buttons without the actions capability";
}

// Through the service that uses it: permission, a reminder with buttons, and the user's choice.
TEST_F(FreedesktopNotificationCenterTest, GuardianReminderButtonReachesTheService) {
    ASSERT_TRUE(startServer("body actions"));
    QtScheduler scheduler;
    Localization texts{log};
    NotificationService service{*center, scheduler, texts, log};
    int deactivations = 0;
    const Connection deactivate = service.guardianDeactivate.connect([&] { ++deactivations; });
    service.setup();
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return service.isAuthorized(); }));

    service.send("guardian-reminder", kNotificationTitle, "Awake for 8 hours", kGuardianReminderCategory);
    ASSERT_TRUE(PrivateBuses::waitFor([&] { return !notifyCalls(buses).empty(); }));
    // The server answered Notify before it emits, so the id is known when the buttons arrive.
    emitFromServer("ActionInvoked", {7U, QString("GUARDIAN_DEACTIVATE")}, "us");  // another client's
    emitFromServer("ActionInvoked", {1U, QString("GUARDIAN_DEACTIVATE")}, "us");
    EXPECT_TRUE(PrivateBuses::waitFor([&] { return deactivations > 0; }));
    EXPECT_EQ(deactivations, 1);
}

}  // namespace
}  // namespace torvel

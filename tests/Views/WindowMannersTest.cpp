// How the windows behave beyond their settings: names from outside shown as written, the keys that close
// them, access keys that never clash, colours that read on any theme, Torvel's own name and icon.
#include <gtest/gtest.h>

#include <QAbstractItemView>
#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QLabel>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>
#include <QTextDocument>
#include <QToolButton>
#include <map>

#include "Views/AboutDialog.h"
#include "Views/ApplicationIdentity.h"
#include "Views/SettingsProfilesTab.h"
#include "Views/SettingsWindow.h"
#include "Views/TextTones.h"
#include "Views/ViewsTestSupport.h"

namespace torvel {
namespace {

using WindowMannersTest = WindowsTest;

// The text a tool tip shows for `tip`: Qt takes it for markup when it looks like markup.
QString shownToolTip(const QString& tip) {
    if (!Qt::mightBeRichText(tip)) return tip;
    QTextDocument document;
    document.setHtml(tip);
    return document.toPlainText();
}

TEST_F(WindowMannersTest, NamesFromOutsideShowAsWritten) {
    h.texts.setTable({{"settings.trusted_networks.status_current_trusted", "On %@, trusted"},
                      {"settings.trusted_networks.remove_message", "Remove %@?"},
                      {"settings.delete_profile_message", "Delete %@?"}});
    const std::string cafe = "<h1>Cafe</h1>";
    h.state->trustedNetworks().addTrustedSSID(cafe);
    h.state->trustedNetworks().handleWiFiStateChanged(true, cafe, WiFiAuthorization::authorized);
    h.state->processTrigger().setWatchedApps(
        {{Uuid::random(), "org.example.Builder", "<b>Builder</b>", Date()}});
    std::vector<RunningAppInfo> running = {{"org.example.Cartoons", "Tom & Jerry", 10}};
    h.state->processTrigger().setHooks({{}, {}, {}, [&running] { return running; }});
    auto profiles = h.state->profileLibrary().profiles();
    profiles.push_back(Profile{Uuid::random(), "<i>Night</i>", Duration::custom(5400.0),
                               AssertionType::noSystemSleep, std::nullopt, std::nullopt});
    h.state->profileLibrary().setProfiles(std::move(profiles));

    auto* window = windows.showSettings("activation");
    const auto cafeLabels = labelsWith("<h1>Cafe</h1>");
    EXPECT_EQ(cafeLabels.size(), 2u) << "the status line and the network's row";
    for (auto* label : cafeLabels)
        EXPECT_EQ(label->textFormat(), Qt::PlainText) << label->text().toStdString();
    ASSERT_EQ(labelsWith("<b>Builder</b>").size(), 1u);
    EXPECT_EQ(labelsWith("<b>Builder</b>").front()->textFormat(), Qt::PlainText);

    auto* add = named<QToolButton>("settings.process_trigger.add_app");
    ASSERT_TRUE(add && add->menu());
    Q_EMIT add->menu()->aboutToShow();
    ASSERT_EQ(add->menu()->actions().size(), 1);
    EXPECT_EQ(add->menu()->actions().front()->iconText(), "Tom & Jerry") << "the & is no access key";

    named<QPushButton>("settings.trusted_networks.remove: <h1>Cafe</h1>")->click();
    auto* box = openWindow<QMessageBox>();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->text(), "Remove <h1>Cafe</h1>?");
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
    box->close();
    settle();

    window->showTab(SettingsTab::profiles);
    ASSERT_EQ(labelsWith("<i>Night</i>").size(), 1u);
    EXPECT_EQ(labelsWith("<i>Night</i>").front()->textFormat(), Qt::PlainText);
    auto* edit = named<QToolButton>("settings.edit_profile: <i>Night</i>");
    ASSERT_TRUE(edit);
    EXPECT_EQ(shownToolTip(edit->toolTip()), "settings.edit_profile: <i>Night</i>");
    named<QToolButton>("settings.delete_profile: <i>Night</i>")->click();
    box = openWindow<QMessageBox>();
    ASSERT_TRUE(box);
    EXPECT_EQ(box->textFormat(), Qt::PlainText);
}

TEST_F(WindowMannersTest, KeysCloseTheWindows) {
    QPointer<SettingsWindow> settings = windows.showSettings("general");
    QApplication::setActiveWindow(settings);
    auto* language = named<QComboBox>("settings.language");
    ASSERT_TRUE(language);
    language->setFocus();
    language->showPopup();
    ASSERT_TRUE(language->view()->isVisible());
    QTest::keyClick(language->view(), Qt::Key_Escape);
    settle();
    EXPECT_FALSE(language->view()->isVisible());
    EXPECT_TRUE(settings) << "Escape closed the list, not the window";
    QTest::keyClick(settings, Qt::Key_Escape);
    settle();
    EXPECT_FALSE(settings);
    settings = windows.showSettings("battery");
    QApplication::setActiveWindow(settings);
    QTest::keyClick(settings, Qt::Key_W, Qt::ControlModifier);
    settle();
    EXPECT_FALSE(settings) << "Ctrl+W";

    QPointer<AboutDialog> about = windows.showAbout();
    QApplication::setActiveWindow(about);
    QTest::keyClick(about, Qt::Key_W, Qt::ControlModifier);
    settle();
    EXPECT_FALSE(about);
}

// The window's access keys by scope: the tabs and the window's own controls, then each tab page.
std::map<QWidget*, std::vector<QKeySequence>> accessKeys(QWidget* window, int& unmarked) {
    std::map<QWidget*, std::vector<QKeySequence>> keys;
    auto* tabs = window->findChild<QTabWidget*>();
    const auto pageOf = [&](QWidget* w) -> QWidget* {
        for (int i = 0; tabs && i < tabs->count(); ++i)
            if (tabs->widget(i)->isAncestorOf(w)) return tabs->widget(i);
        return nullptr;
    };
    for (int i = 0; tabs && i < tabs->count(); ++i)
        keys[nullptr].push_back(QKeySequence::mnemonic(tabs->tabText(i)));
    for (auto* w : window->findChildren<QWidget*>()) {
        QString text;
        auto* button = qobject_cast<QAbstractButton*>(w);
        auto* label = qobject_cast<QLabel*>(w);
        if (button && !button->text().isEmpty() && !button->accessibleName().contains(QStringLiteral(": "))) {
            text = button->text();
        } else if (label && label->buddy()) {
            text = label->text();
        } else {
            continue;
        }
        const QKeySequence key = QKeySequence::mnemonic(text);
        if (key.isEmpty()) {
            ++unmarked;
            ADD_FAILURE() << "no access key: " << text.toStdString();
        }
        keys[pageOf(w)].push_back(key);
    }
    return keys;
}

TEST_F(WindowMannersTest, AccessKeysNeverClashInEitherLanguage) {
    h.state->trustedNetworks().addTrustedSSID("Office");
    for (const char* lang : {"en", "cs"}) {
        h.texts.setTable(shippedTable(lang));
        auto* window = windows.showSettings("general");
        int unmarked = 0;
        const auto keys = accessKeys(window, unmarked);
        EXPECT_EQ(unmarked, 0) << lang;
        ASSERT_EQ(keys.at(nullptr).size(), kAllSettingsTabs.size()) << "the tabs, nothing else";
        for (const auto& [page, own] : keys) {
            auto all = keys.at(nullptr);
            if (page) all.insert(all.end(), own.begin(), own.end());
            std::sort(all.begin(), all.end());
            EXPECT_EQ(std::adjacent_find(all.begin(), all.end()), all.end())
                << lang << ": a letter twice on "
                << (page ? page->objectName().toStdString() : "the tab bar");
        }
        window->close();
        settle();
    }

    // Alt and a switch's letter reaches the switch.
    h.texts.setTable({});
    auto* window = windows.showSettings("general");
    QApplication::setActiveWindow(window);
    auto* remaining = named<QCheckBox>("settings.show_remaining_time");
    ASSERT_TRUE(remaining);
    QLabel* label = nullptr;
    for (auto* l : window->findChildren<QLabel*>())
        if (l->buddy() == remaining) label = l;
    ASSERT_TRUE(label);
    const QKeySequence key = QKeySequence::mnemonic(label->text());
    ASSERT_FALSE(key.isEmpty());
    QTest::keySequence(window, key);
    EXPECT_EQ(QApplication::focusWidget(), remaining);
}

TEST_F(WindowMannersTest, ColouredTextReadsOnLightAndDarkThemes) {
    for (const char* background : {"#ffffff", "#efefef", "#808080", "#2b2b2b", "#1e1e1e", "#000000"}) {
        for (const auto tone : {TextTone::error, TextTone::success, TextTone::warning}) {
            const QColor colour = textToneColour(tone, QColor(background));
            EXPECT_GE(contrastRatio(colour, QColor(background)), 4.5)
                << background << " " << static_cast<int>(tone);
            const int hue = colour.hslHue();
            const bool keepsHue = tone == TextTone::error     ? (hue < 20 || hue > 340)
                                  : tone == TextTone::success ? (hue > 90 && hue < 160)
                                                              : (hue >= 20 && hue < 50);
            EXPECT_TRUE(keepsHue) << background << " hue " << hue;
        }
    }

    // A label follows a switch of theme.
    QWidget host;
    QPalette dark;
    dark.setColor(QPalette::Window, QColor("#1e1e1e"));
    host.setPalette(dark);
    auto* label = new QLabel(QStringLiteral("Not saved"), &host);
    setTextTone(label, TextTone::error);
    EXPECT_EQ(label->palette().color(QPalette::WindowText),
              textToneColour(TextTone::error, QColor("#1e1e1e")));
    QPalette light;
    light.setColor(QPalette::Window, QColor("#fafafa"));
    host.setPalette(light);
    EXPECT_EQ(label->palette().color(QPalette::WindowText),
              textToneColour(TextTone::error, QColor("#fafafa")));
}

TEST_F(WindowMannersTest, WindowsCarryTorvelsNameIconAndVersion) {
    setUpApplicationIdentity(QStringLiteral("9.8.7"));
    EXPECT_EQ(QGuiApplication::desktopFileName(), "com.torvel.Torvel");
    EXPECT_FALSE(QApplication::windowIcon().pixmap(32, 32).isNull())
        << "found without an installed theme too";
    auto* about = windows.showAbout();
    EXPECT_EQ(labelsWith("9.8.7").size(), 1u);
    EXPECT_FALSE(about->windowIcon().isNull());
}

}  // namespace
}  // namespace torvel

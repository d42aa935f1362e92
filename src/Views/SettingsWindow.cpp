#include "Views/SettingsWindow.h"

#include <QIcon>
#include <QLabel>
#include <QTabWidget>
#include <QVBoxLayout>

#include "UI/WindowModel.h"
#include "Views/AccessKeys.h"
#include "Views/SettingsActivationTab.h"
#include "Views/SettingsAudioTab.h"
#include "Views/SettingsBatteryTab.h"
#include "Views/SettingsBinder.h"
#include "Views/SettingsGeneralTab.h"
#include "Views/SettingsProfilesTab.h"
#include "Views/TextTones.h"
#include "Views/WindowKeys.h"

namespace torvel {

namespace {

// Freedesktop icon names for the tabs; a theme without them shows the labels alone.
const char* iconName(SettingsTab tab) {
    switch (tab) {
        case SettingsTab::general:
            return "preferences-system";
        case SettingsTab::activation:
            return "system-run";
        case SettingsTab::battery:
            return "battery";
        case SettingsTab::audio:
            return "audio-volume-high";
        case SettingsTab::profiles:
            return "user-identity";
    }
    return "";
}

}  // namespace

SettingsWindow::SettingsWindow(WindowModel& model, Localization& texts, const Calendar& calendar,
                               const Clock& clock, SettingsTab tab, QWidget* parent)
    : QWidget(parent, Qt::Window),
      model_(model),
      texts_(texts),
      calendar_(calendar),
      clock_(clock) {
    setAttribute(Qt::WA_DeleteOnClose);
    setMinimumSize(460, 480);
    resize(520, 600);
    auto* layout = new QVBoxLayout(this);
    banner_ = new QLabel;
    banner_->setObjectName(QStringLiteral("refusalBanner"));
    banner_->setWordWrap(true);
    // The reason comes from the system and the path from the environment: shown as written.
    banner_->setTextFormat(Qt::PlainText);
    setTextTone(banner_, TextTone::error);
    banner_->hide();
    layout->addWidget(banner_);
    // The watched applications' "running" marks follow launches and exits while the window is open.
    model_.setRunningAppsShown(true);
    WindowKeys::closeOnEscape(this);
    build();
    showTab(tab);
    // The window redraws itself later, not inside the language switch (which may come from one of its
    // own controls).
    languageConnection_ = texts_.languageChanged.connect([this] {
        QMetaObject::invokeMethod(
            this, [this] { build(); }, Qt::QueuedConnection);
    });
    settingConnection_ = model_.settingChanged.connect([this](std::string_view) { banner_->hide(); });
}

SettingsWindow::~SettingsWindow() {
    model_.setRunningAppsShown(false);
}

void SettingsWindow::build() {
    const SettingsTab current = tabs_ ? currentTab() : SettingsTab::general;
    if (content_) {
        AccessKeys::exclude(content_);
        content_->hide();
        content_->deleteLater();
    }
    setWindowTitle(QString::fromStdString(texts_.text("settings.window_title")));
    content_ = new QWidget(this);
    auto* contentLayout = new QVBoxLayout(content_);
    contentLayout->setContentsMargins(0, 0, 0, 0);
    binder_ = new SettingsBinder(model_, texts_, content_);
    connect(binder_, &SettingsBinder::refused, this, &SettingsWindow::showRefusal);
    const SettingsContext context{model_, texts_, *binder_, calendar_, clock_};
    tabs_ = new QTabWidget;
    tabs_->setAccessibleName(QString::fromStdString(texts_.text("settings.window_title")));
    for (const auto tab : kAllSettingsTabs) {
        QWidget* page = nullptr;
        switch (tab) {
            case SettingsTab::general:
                page = new SettingsGeneralTab(context);
                break;
            case SettingsTab::activation:
                page = new SettingsActivationTab(context);
                break;
            case SettingsTab::battery:
                page = new SettingsBatteryTab(context);
                break;
            case SettingsTab::audio:
                page = new SettingsAudioTab(context);
                break;
            case SettingsTab::profiles:
                page = new SettingsProfilesTab(context);
                break;
        }
        page->setObjectName(
            QString::fromLatin1(rawValue(tab).data(), static_cast<int>(rawValue(tab).size())));
        const QString label = QString::fromStdString(texts_.text(labelKey(tab)));
        tabs_->addTab(page, QIcon::fromTheme(QString::fromLatin1(iconName(tab))), label);
    }
    contentLayout->addWidget(tabs_);
    static_cast<QVBoxLayout*>(layout())->addWidget(content_, 1);
    AccessKeys::assign(this);
    showTab(current);
}

void SettingsWindow::showTab(SettingsTab tab) {
    tabs_->setCurrentIndex(static_cast<int>(tab));
}

SettingsTab SettingsWindow::currentTab() const {
    const int index = tabs_->currentIndex();
    return index >= 0 && index < static_cast<int>(kAllSettingsTabs.size())
               ? kAllSettingsTabs[static_cast<std::size_t>(index)]
               : SettingsTab::general;
}

QWidget* SettingsWindow::page(SettingsTab tab) const {
    return tabs_->widget(static_cast<int>(tab));
}

void SettingsWindow::showRefusal(const QString& message) {
    banner_->setText(QString::fromStdString(texts_.text("settings.not_saved")) + QLatin1Char('\n') + message);
    banner_->show();
}

}  // namespace torvel

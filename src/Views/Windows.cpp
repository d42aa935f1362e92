#include "Views/Windows.h"

#include <QCoreApplication>

#include "UI/WindowModel.h"
#include "Tray/ActivationToken.h"
#include "Views/AboutDialog.h"
#include "Views/CustomDurationPanel.h"
#include "Views/OnboardingPopup.h"
#include "Views/SettingsWindow.h"

namespace torvel {

namespace {

template <typename W>
W* raise(W* window) {
    // A token from the tray host's click lets the window take focus on Wayland.
    applyPendingActivationToken();
    window->show();
    window->raise();
    window->activateWindow();
    return window;
}

}  // namespace

Windows::Windows(WindowModel& model, Localization& texts, const Calendar& calendar, const Clock& clock,
                 QObject* parent)
    : QObject(parent), model_(model), texts_(texts), calendar_(calendar), clock_(clock) {}

Windows::~Windows() {
    // The windows are top-level widgets, not children: close what is still open with the owner.
    delete settings_.data();
    delete customDuration_.data();
    delete about_.data();
    delete onboarding_.data();
}

SettingsWindow* Windows::showSettings(std::optional<std::string_view> tab) {
    return showOrRaise(settingsTabNamed(tab));
}

SettingsWindow* Windows::showOrRaise(SettingsTab tab) {
    if (settings_) {
        settings_->showTab(tab);
        return raise(settings_.data());
    }
    settings_ = new SettingsWindow(model_, texts_, calendar_, clock_, tab);
    return raise(settings_.data());
}

CustomDurationPanel* Windows::showCustomDurationPanel() {
    if (!customDuration_) customDuration_ = new CustomDurationPanel(model_, texts_, calendar_, clock_);
    return raise(customDuration_.data());
}

AboutDialog* Windows::showAbout() {
    if (!about_) about_ = new AboutDialog(texts_, QCoreApplication::applicationVersion());
    return raise(about_.data());
}

OnboardingPopup* Windows::showOnboarding(std::optional<QRect> icon) {
    if (model_.settings().hasSeenOnboarding) return nullptr;
    if (!onboarding_) onboarding_ = new OnboardingPopup(model_, texts_);
    onboarding_->showBeside(icon);
    return onboarding_.data();
}

OnboardingPopup* Windows::showOnboarding(std::optional<QPoint> near) {
    return showOnboarding(near ? std::optional<QRect>(QRect(*near, QSize(1, 1))) : std::nullopt);
}

}  // namespace torvel

#include "Windows/WindowProcess.h"

#include <QApplication>
#include <QDBusMessage>
#include <QWidget>
#include <algorithm>

#include "UI/SettingsTab.h"
#include "Views/AboutDialog.h"
#include "Tray/ActivationToken.h"
#include "Views/CustomDurationPanel.h"
#include "Views/OnboardingPopup.h"
#include "Views/SettingsWindow.h"
#include "Views/Windows.h"

namespace torvel {

namespace {

constexpr const char* kErrorInvalidArgument = "com.torvel.Torvel1.Error.InvalidArgument";
// What a request may repeat of its input in an error message.
constexpr qsizetype kMaxEcho = 40;

QString echo(const QString& word) {
    QString clean;
    for (const QChar c : word.left(kMaxEcho)) clean += c.isPrint() ? c : QChar('?');
    return clean;
}

}  // namespace

std::optional<WindowRequest> WindowRequest::parse(const QStringList& words, QString& error) {
    if (words.isEmpty()) {
        error = "which window? settings [TAB], about, custom-duration or onboarding [X Y]";
        return std::nullopt;
    }
    WindowRequest request;
    const QString& window = words.first();
    qsizetype allowed = 1;
    if (window == "settings") {
        allowed = 2;
        if (words.size() > 1) {
            const std::string tab = words[1].toStdString();
            const bool known = std::any_of(kAllSettingsTabs.begin(), kAllSettingsTabs.end(),
                                           [&](SettingsTab each) { return rawValue(each) == tab; });
            if (!known) {
                error = "unknown settings tab '" + echo(words[1]) +
                        "' (general, activation, battery, audio or profiles)";
                return std::nullopt;
            }
            request.tab = tab;
        }
    } else if (window == "about") {
        request.kind = Kind::about;
    } else if (window == "custom-duration") {
        request.kind = Kind::customDuration;
    } else if (window == "onboarding") {
        request.kind = Kind::onboarding;
        allowed = words.size() >= 3 ? 3 : 1;
        if (allowed == 3) {
            bool xRead = false, yRead = false;
            const int x = words[1].toInt(&xRead);
            const int y = words[2].toInt(&yRead);
            if (!xRead || !yRead) {
                error = "the hint's place is two integers (X Y)";
                return std::nullopt;
            }
            request.near = QPoint(x, y);
        }
    } else {
        error = "unknown window '" + echo(window) + "' (settings, about, custom-duration or onboarding)";
        return std::nullopt;
    }
    if (words.size() > allowed) {
        error = "too many arguments for " + window;
        return std::nullopt;
    }
    return request;
}

WindowProcess::WindowProcess(Windows& windows, QObject* parent) : QObject(parent), windows_(windows) {}

bool WindowProcess::show(const WindowRequest& request, const std::string& token) {
    // The token is used by the window raised next; a malformed one is dropped.
    if (!token.empty()) setPendingActivationToken(token);
    QWidget* window = nullptr;
    switch (request.kind) {
        case WindowRequest::Kind::settings:
            window = windows_.showSettings(
                request.tab.empty() ? std::nullopt : std::optional<std::string_view>(request.tab));
            break;
        case WindowRequest::Kind::about:
            window = windows_.showAbout();
            break;
        case WindowRequest::Kind::customDuration:
            window = windows_.showCustomDurationPanel();
            break;
        case WindowRequest::Kind::onboarding:
            window = windows_.showOnboarding(request.near);
            break;
    }
    if (!window) return false;
    // Every window is deleted when it closes; the process lasts as long as one is on screen.
    connect(window, &QObject::destroyed, this, &WindowProcess::quitWithoutWindows, Qt::UniqueConnection);
    return true;
}

void WindowProcess::quitWithoutWindows() {
    // Posted: the window being deleted may still count among the top-level widgets.
    QMetaObject::invokeMethod(
        this,
        [] {
            const auto windows = QApplication::topLevelWidgets();
            const bool shown =
                std::any_of(windows.begin(), windows.end(), [](QWidget* w) { return w->isVisible(); });
            if (!shown) QApplication::quit();
        },
        Qt::QueuedConnection);
}

void WindowProcess::Show(const QString& window, const QString& argument, const QString& activationToken) {
    QStringList words{window};
    if (!argument.isEmpty()) words += argument.split(' ', Qt::SkipEmptyParts);
    QString error;
    const auto request = WindowRequest::parse(words, error);
    if (!request) {
        if (calledFromDBus()) sendErrorReply(kErrorInvalidArgument, error);
        return;
    }
    show(*request, activationToken.toStdString());
}

void WindowProcess::Close() {
    // After the answer: the last window closing ends the process.
    QMetaObject::invokeMethod(qApp, &QApplication::closeAllWindows, Qt::QueuedConnection);
}

}  // namespace torvel

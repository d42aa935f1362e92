#pragma once

#include <QFrame>
#include <optional>

namespace torvel {

class AppState;
class Localization;

/// The one-time hint shown near the tray icon: how to use Torvel, and a button that dismisses it for
/// good. Clicking elsewhere closes it without that, so it comes back at the next launch. Deletes itself
/// on close.
class OnboardingPopup : public QFrame {
    Q_OBJECT
public:
    OnboardingPopup(AppState& state, const Localization& texts, QWidget* parent = nullptr);

    /// Shows it with its top centre at `near` (kept on that screen), or centred on the primary screen.
    void showNear(std::optional<QPoint> near);
    /// Closes it and records that the user has seen it.
    void dismiss();

private:
    AppState& state_;
};

}  // namespace torvel

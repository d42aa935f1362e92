#pragma once

#include <QFrame>
#include <QRect>
#include <optional>

namespace torvel {

class Localization;
class WindowModel;

/// The one-time hint beside the tray icon: how to use Torvel, and a button that dismisses it for good.
/// A tool-tip-like window that never grabs the pointer or takes focus, so the first click on the icon
/// reaches the icon. Deletes itself on close.
class OnboardingPopup : public QFrame {
    Q_OBJECT
public:
    OnboardingPopup(WindowModel& model, const Localization& texts, QWidget* parent = nullptr);

    /// Shows it beside `icon` (screen coordinates): below it, or above it when the icon sits at the
    /// bottom of the screen, kept on that screen. Centred on the primary screen without an icon.
    void showBeside(std::optional<QRect> icon);
    /// Closes it and records that the user has seen it.
    void dismiss();

    /// Where a hint of `size` goes beside `icon` within `area` (both in screen coordinates).
    static QPoint placeBeside(const QRect& icon, QSize size, const QRect& area);

private:
    WindowModel& model_;
};

}  // namespace torvel

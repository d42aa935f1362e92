#include "Views/OnboardingPopup.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "Support/Localization.h"
#include "UI/WindowModel.h"

namespace torvel {

OnboardingPopup::OnboardingPopup(WindowModel& model, const Localization& texts, QWidget* parent)
    // Not a popup: a popup grabs the pointer, and the first click on the icon it points at would only
    // close it.
    : QFrame(parent, Qt::ToolTip | Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint), model_(model) {
    setAttribute(Qt::WA_DeleteOnClose);
    setAttribute(Qt::WA_ShowWithoutActivating);
    setFrameShape(QFrame::StyledPanel);
    setFixedWidth(260);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(16, 12, 16, 12);
    layout->setSpacing(8);
    auto* text = new QLabel(QString::fromStdString(texts.text("onboarding.instructions")));
    text->setWordWrap(true);
    text->setAlignment(Qt::AlignHCenter);
    layout->addWidget(text);
    auto* button = new QPushButton(QString::fromStdString(texts.text("onboarding.dismiss")));
    button->setAccessibleName(button->text());
    button->setDefault(true);
    layout->addWidget(button, 0, Qt::AlignHCenter);
    setAccessibleName(text->text());
    connect(button, &QPushButton::clicked, this, &OnboardingPopup::dismiss);
    adjustSize();
}

void OnboardingPopup::showBeside(std::optional<QRect> icon) {
    adjustSize();
    QScreen* screen = icon ? QGuiApplication::screenAt(icon->center()) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    move(icon ? placeBeside(*icon, size(), area) : area.center() - rect().center());
    show();
}

QPoint OnboardingPopup::placeBeside(const QRect& icon, QSize size, const QRect& area) {
    constexpr int kGap = 4;
    QPoint topLeft(icon.center().x() - size.width() / 2, icon.bottom() + 1 + kGap);
    // A tray at the bottom of the screen: above the icon instead of off the screen.
    if (topLeft.y() + size.height() - 1 > area.bottom()) topLeft.setY(icon.top() - kGap - size.height());
    topLeft.setX(
        std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() + 1 - size.width())));
    topLeft.setY(
        std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() + 1 - size.height())));
    return topLeft;
}

void OnboardingPopup::dismiss() {
    close();
    // Stored like any setting; a failed write leaves it unseen, so it shows again next time.
    model_.set(&SettingsValues::hasSeenOnboarding, true);
}

}  // namespace torvel

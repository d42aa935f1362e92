#include "Views/OnboardingPopup.h"

#include <QGuiApplication>
#include <QLabel>
#include <QPushButton>
#include <QScreen>
#include <QVBoxLayout>
#include <algorithm>

#include "Core/AppState.h"
#include "Support/Localization.h"

namespace torvel {

OnboardingPopup::OnboardingPopup(AppState& state, const Localization& texts, QWidget* parent)
    : QFrame(parent, Qt::Popup | Qt::FramelessWindowHint), state_(state) {
    setAttribute(Qt::WA_DeleteOnClose);
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

void OnboardingPopup::showNear(std::optional<QPoint> near) {
    adjustSize();
    QScreen* screen = near ? QGuiApplication::screenAt(*near) : nullptr;
    if (!screen) screen = QGuiApplication::primaryScreen();
    const QRect area = screen ? screen->availableGeometry() : QRect(0, 0, 1280, 800);
    QPoint topLeft = near ? QPoint(near->x() - width() / 2, near->y() + 4) : area.center() - rect().center();
    // A tray at the bottom of the screen: open upwards instead of off the screen.
    if (near && topLeft.y() + height() > area.bottom()) topLeft.setY(near->y() - height() - 4);
    topLeft.setX(std::clamp(topLeft.x(), area.left(), std::max(area.left(), area.right() - width())));
    topLeft.setY(std::clamp(topLeft.y(), area.top(), std::max(area.top(), area.bottom() - height())));
    move(topLeft);
    show();
}

void OnboardingPopup::dismiss() {
    close();
    // Stored like any setting; a failed write leaves it unseen, so it shows again next time.
    state_.set(&SettingsValues::hasSeenOnboarding, true);
}

}  // namespace torvel

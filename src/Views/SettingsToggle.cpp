#include "Views/SettingsToggle.h"

#include <QEvent>
#include <QHBoxLayout>
#include <QMouseEvent>

#include "Views/AccessKeys.h"

namespace torvel {

SettingsToggle::SettingsToggle(const QString& text, QWidget* parent)
    : QWidget(parent), box_(new QCheckBox(this)), label_(new QLabel(this)) {
    auto* row = new QHBoxLayout(this);
    row->setContentsMargins(0, 0, 0, 0);
    row->addWidget(box_, 0, Qt::AlignTop);
    row->addWidget(label_, 1);
    label_->setWordWrap(true);
    label_->setBuddy(box_);
    label_->installEventFilter(this);
    setFocusProxy(box_);
    setText(text);
}

void SettingsToggle::setText(const QString& text) {
    AccessKeys::setText(label_, text);
    box_->setAccessibleName(text);
}

bool SettingsToggle::eventFilter(QObject* watched, QEvent* event) {
    if (watched == label_ && event->type() == QEvent::MouseButtonRelease && box_->isEnabled()) {
        if (static_cast<QMouseEvent*>(event)->button() == Qt::LeftButton) box_->click();
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

}  // namespace torvel

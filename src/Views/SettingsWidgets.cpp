#include "Views/SettingsWidgets.h"

#include <QFrame>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QPalette>

namespace torvel::SettingsWidgets {

QVBoxLayout* section(QVBoxLayout* page, const QString& title) {
    auto* group = new QGroupBox(title);
    group->setAccessibleName(title);
    auto* layout = new QVBoxLayout(group);
    page->addWidget(group);
    return layout;
}

QLabel* caption(QVBoxLayout* layout, const QString& text) {
    auto* label = new QLabel(text);
    label->setWordWrap(true);
    label->setForegroundRole(QPalette::PlaceholderText);
    QFont font = label->font();
    font.setPointSizeF(font.pointSizeF() * 0.9);
    label->setFont(font);
    layout->addWidget(label);
    return label;
}

QVBoxLayout* scrolledPage(QWidget* tab) {
    auto* outer = new QVBoxLayout(tab);
    outer->setContentsMargins(0, 0, 0, 0);
    auto* area = new QScrollArea;
    area->setWidgetResizable(true);
    area->setFrameShape(QFrame::NoFrame);
    area->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    auto* content = new QWidget;
    auto* page = new QVBoxLayout(content);
    area->setWidget(content);
    outer->addWidget(area);
    return page;
}

QLabel* plainText(QVBoxLayout* layout, const QString& text) {
    auto* label = new QLabel(text);
    label->setTextFormat(Qt::PlainText);
    label->setWordWrap(true);
    layout->addWidget(label);
    return label;
}

QWidget* labelledRow(QVBoxLayout* layout, QLabel* label, QWidget* control, int controlStretch) {
    auto* row = new QWidget;
    auto* line = new QHBoxLayout(row);
    line->setContentsMargins(0, 0, 0, 0);
    label->setWordWrap(true);
    label->setBuddy(control);
    line->addWidget(label, 1);
    line->addWidget(control, controlStretch);
    layout->addWidget(row);
    return row;
}

}  // namespace torvel::SettingsWidgets

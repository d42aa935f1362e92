#pragma once

#include <QLabel>
#include <QScrollArea>
#include <QString>
#include <QVBoxLayout>

namespace torvel {

/// Small builders shared by the tabs, so every page looks and wraps the same way.
namespace SettingsWidgets {

/// A titled group appended to `page`; returns the group's own layout.
QVBoxLayout* section(QVBoxLayout* page, const QString& title);
/// A secondary, word-wrapped explanation appended to `layout`.
QLabel* caption(QVBoxLayout* layout, const QString& text);
/// Fills `tab` with a scroll area that never scrolls sideways (texts wrap instead) and returns the
/// vertical page inside it.
QVBoxLayout* scrolledPage(QWidget* tab);

}  // namespace SettingsWidgets

}  // namespace torvel

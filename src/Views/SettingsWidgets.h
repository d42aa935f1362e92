#pragma once

#include <QAbstractSlider>
#include <QLabel>
#include <QSpinBox>
#include <QScrollArea>
#include <QString>
#include <QVBoxLayout>

#include <string_view>

#include "UI/SettingsRanges.h"

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
/// A word-wrapped label appended to `layout` that shows its text as written (names from outside, the
/// helper's answers), never as markup.
QLabel* plainText(QVBoxLayout* layout, const QString& text = {});
/// A word-wrapped `label` and its `control` beside it, as one row appended to `layout`; the label is the
/// control's buddy (its access key focuses the control). Returns the row, to hide or show as a whole.
QWidget* labelledRow(QVBoxLayout* layout, QLabel* label, QWidget* control, int controlStretch = 0);
/// Limits `control` to the range the settings table offers for `key`, else to `fallback`.
template <typename Control>
void limitToOfferedRange(Control* control, std::string_view key, IntegerRange fallback) {
    const IntegerRange range = offeredRange(key).value_or(fallback);
    control->setRange(static_cast<int>(range.min), static_cast<int>(range.max));
}

}  // namespace SettingsWidgets

}  // namespace torvel

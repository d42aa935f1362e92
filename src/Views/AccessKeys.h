#pragma once

#include <QString>

class QAbstractButton;
class QLabel;
class QWidget;

namespace torvel {

/// Alt+letter access keys for the windows, chosen here rather than written into the string tables:
/// the same texts also reach the tray menu, the command line and D-Bus, where a "&" would show, and a
/// letter picked per window can never clash with another control's in any language.
namespace AccessKeys {

/// Gives every button, tab and label with a buddy inside `window` a letter of its own text that no other
/// control in reach uses: the tabs of a tab widget and the controls outside it share one set, and each
/// tab page adds its own. Short texts choose first. Safe to call again after controls were added or
/// their texts changed: a control keeps the letter it had while that letter is still free and in its text.
void assign(QWidget* window);
/// Keeps `widget` and everything in it without letters: a button repeated in every row of a list, or
/// a page on its way out.
void exclude(QWidget* widget);

/// Sets a plain `text` (a "&" in it shows as itself) on a control that may have a letter, keeping it.
void setText(QAbstractButton* button, const QString& text);
void setText(QLabel* label, const QString& text);

/// `text` with every "&" doubled, so that a button, menu entry or buddy label shows it as written.
QString escaped(QString text);
/// What a text with an access key marker reads as: the marker gone, "&&" back to "&".
QString plain(const QString& text);

}  // namespace AccessKeys

}  // namespace torvel

#pragma once

#include <QColor>

class QLabel;

namespace torvel {

/// What a coloured line of text says: something failed, something worked, something needs a look.
enum class TextTone { error, success, warning };

/// The colour of `tone` on `background`: red, green or orange, as dark as a light background needs and
/// as light as a dark one needs for a contrast of at least 4.5 to 1.
QColor textToneColour(TextTone tone, const QColor& background);

/// Colours `label`'s text in `tone` against the window behind it, again whenever the palette changes
/// (the desktop switched to a dark theme).
void setTextTone(QLabel* label, TextTone tone);

/// The contrast ratio of two colours, from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace torvel

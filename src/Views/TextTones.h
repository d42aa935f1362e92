#pragma once

#include <QColor>

#include "Views/ColourContrast.h"

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

}  // namespace torvel

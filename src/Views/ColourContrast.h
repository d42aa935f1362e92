#pragma once

#include <QColor>

namespace torvel {

/// The contrast ratio of two colours as the web's accessibility rules define it (relative luminance
/// in linear sRGB): from 1 (the same) to 21 (black on white).
double contrastRatio(const QColor& a, const QColor& b);

}  // namespace torvel

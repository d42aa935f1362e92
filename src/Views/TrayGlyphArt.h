#pragma once

#include <QColor>
#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "Tray/TrayIconArt.h"

namespace torvel {

// The tray glyphs as images, for the build's renderer (and its tests): drawn from the SVGs, written as
// PNG and as the raw renderings the StatusNotifierItem reads (Tray/TrayIconArt.h).

/// The glyph colour of `shade`: the text colours of common light and dark desktop themes.
QColor glyphColour(GlyphShade shade);

/// The PNG renderings of `name` in `shade`, one per size of kTrayPixmapSizes, as ARGB32 images; empty
/// on the same grounds as loadTrayPixmaps() (and a PNG not square of its size).
std::vector<QImage> loadTrayImages(const std::filesystem::path& folder, const std::string& name,
                                   GlyphShade shade);

/// Draws the glyph of the SVG `svg` at `size` pixels in `colour`: the SVG's own colours are
/// replaced, its shapes' coverage kept. Null when the SVG cannot be read (for the build's renderer).
QImage drawGlyph(const QByteArray& svg, int size, const QColor& colour);

/// `image`'s pixels as a raw rendering holds them: ARGB32, not premultiplied, in network byte order.
std::string networkArgb(const QImage& image);

}  // namespace torvel

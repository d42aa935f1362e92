#pragma once

#include <QColor>
#include <QImage>
#include <filesystem>
#include <string>
#include <vector>

#include "Tray/TrayIconArt.h"

namespace torvel {

// The tray glyphs as images: drawn from the SVGs by the build's renderer, read back as PNG by the
// XEmbed tray. The resident's StatusNotifierItem reads the raw renderings (Tray/TrayIconArt.h) instead.

/// The glyph colour of `shade`: the text colours of common light and dark desktop themes.
QColor glyphColour(GlyphShade shade);

/// The glyph that stands out on a panel of colour `panel` (the higher contrast ratio): dark on a light
/// panel, light on a dark one.
GlyphShade glyphShadeOn(const QColor& panel);

/// The glyph for the windows' side: the application palette's window colour (which the desktop's
/// platform theme sets) stands in for the panel's. Dark without a QGuiApplication.
GlyphShade paletteGlyphShade();

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

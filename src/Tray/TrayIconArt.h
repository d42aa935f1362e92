#pragma once

#include <QColor>
#include <QImage>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

namespace torvel {

// The tray icon for hosts that show pixels rather than look an icon up by name (XEmbed trays, and
// StatusNotifier hosts that draw IconPixmap). Such hosts cannot recolour a symbolic SVG, so the
// build draws every status icon twice, in a dark glyph for light panels and a light one for dark
// panels, and the tray loads the pair that suits the desktop. No SVG is drawn while Torvel runs.

/// The glyph's colour in a rendering: dark for light panels, light for dark ones, and mid where the
/// background is the host's own and Torvel cannot know it (the icons in a panel's menu).
enum class GlyphShade { dark, light, mid };

/// The sizes drawn: 16 to 24 pixels are panel sizes at scale 1, 32 and 48 the high-density ones.
inline constexpr std::array<int, 5> kTrayPixmapSizes{16, 22, 24, 32, 48};

/// "dark", "light" or "mid", as in the file names.
const char* toString(GlyphShade shade);

/// The glyph colour of `shade`: the text colours of common light and dark desktop themes.
QColor glyphColour(GlyphShade shade);

/// The glyph that stands out on a panel of colour `panel` (the higher contrast ratio): dark on a light
/// panel, light on a dark one.
GlyphShade glyphShadeOn(const QColor& panel);

/// The glyph for this desktop. Qt 6.4 cannot ask for the desktop's colour scheme, so the application
/// palette's window colour (which the desktop's platform theme sets) stands in for the panel's. Dark
/// without a QGuiApplication, as most panels without a theme are light.
GlyphShade desktopGlyphShade();

/// Where the renderings are, given the icon theme folder the tray is told (share/icons): the
/// sibling share/torvel/icons, in the build tree as in an installed prefix. Empty for an empty folder.
std::filesystem::path trayPixmapFolder(const std::filesystem::path& iconThemeFolder);

/// The file of icon `name` in `shade` at `size` pixels inside `folder`: NAME-SHADE-SIZE.png.
std::filesystem::path trayPixmapFile(const std::filesystem::path& folder, const std::string& name,
                                     GlyphShade shade, int size);

/// The renderings of `name` in `shade`, one per size of kTrayPixmapSizes in that order. Empty when
/// `folder` is empty, `name` is not a plain icon name (letters, digits, '-', '_') or when any size is
/// missing, unreadable or not square of its size: a partial set would make hosts scale the wrong one.
std::vector<QImage> loadTrayPixmaps(const std::filesystem::path& folder, const std::string& name,
                                    GlyphShade shade);

/// Draws the glyph of the SVG `svg` at `size` pixels in `colour`: the SVG's own colours are
/// replaced, its shapes' coverage kept. Null when the SVG cannot be read (for the build's renderer).
QImage drawGlyph(const QByteArray& svg, int size, const QColor& colour);

}  // namespace torvel

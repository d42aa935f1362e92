#pragma once

#include <array>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace torvel {

// The tray icon for hosts that show pixels rather than look an icon up by name (XEmbed trays, and
// StatusNotifier hosts that draw IconPixmap). Such hosts cannot recolour a symbolic SVG, so the
// build draws every status icon twice, in a dark glyph for light panels and a light one for dark
// panels, and the tray loads the pair that suits the desktop. No SVG is drawn while Torvel runs, and
// the resident reads the renderings without an image library: each is also stored as raw pixels.

/// The glyph's colour in a rendering: dark for light panels, light for dark ones, and mid where the
/// background is the host's own and Torvel cannot know it (the icons in a panel's menu).
enum class GlyphShade { dark, light, mid };

/// The sizes drawn: 16 to 24 pixels are panel sizes at scale 1, 32 and 48 the high-density ones.
inline constexpr std::array<int, 5> kTrayPixmapSizes{16, 22, 24, 32, 48};

/// The two forms of a rendering: PNG for the image readers of the windows' side and menu icon data,
/// raw for StatusNotifier hosts (see TrayPixmap).
enum class TrayPixmapFormat { png, raw };

/// One rendering as StatusNotifier hosts take it: `size` x `size` pixels, row by row, each four bytes
/// A, R, G, B (ARGB32 in network byte order, not premultiplied). The raw file holds exactly these
/// bytes, no header; its name carries the size.
struct TrayPixmap {
    int size = 0;
    std::string argb;
    bool operator==(const TrayPixmap&) const = default;
};

/// "dark", "light" or "mid", as in the file names.
const char* toString(GlyphShade shade);

/// The glyph that stands out on the desktop's colour scheme as the XDG portal gives it
/// (org.freedesktop.appearance color-scheme): 1 prefers dark, so a light glyph; 2 prefers light and 0
/// (no preference), anything unknown or no reading keep the dark glyph, as most panels are light.
GlyphShade glyphShadeForColorScheme(std::optional<unsigned> colorScheme);

/// Where the renderings are, given the icon theme folder the tray is told (share/icons): the
/// sibling share/torvel/icons, in the build tree as in an installed prefix. Empty for an empty folder.
std::filesystem::path trayPixmapFolder(const std::filesystem::path& iconThemeFolder);

/// The file of icon `name` in `shade` at `size` pixels inside `folder`: NAME-SHADE-SIZE.png or .argb.
std::filesystem::path trayPixmapFile(const std::filesystem::path& folder, const std::string& name,
                                     GlyphShade shade, int size,
                                     TrayPixmapFormat format = TrayPixmapFormat::png);

/// True for a name a rendering may have: letters, digits, '-' and '_', at most 64 of them.
bool isPlainIconName(const std::string& name);

/// The raw renderings of `name` in `shade`, one per size of kTrayPixmapSizes in that order. Empty when
/// `folder` is empty, `name` is not plain, or any size is missing, unreadable or not exactly
/// size * size * 4 bytes: a partial set would make hosts scale the wrong one.
std::vector<TrayPixmap> loadTrayPixmaps(const std::filesystem::path& folder, const std::string& name,
                                        GlyphShade shade);

}  // namespace torvel

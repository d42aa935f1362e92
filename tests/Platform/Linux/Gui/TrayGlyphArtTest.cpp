// The status icons as symbolic SVGs, how the build draws them for pixel-only tray hosts, and that the
// raw renderings the resident reads hold the same pixels as the PNGs the windows' side reads.
#include "Views/TrayGlyphArt.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QRegularExpression>
#include <algorithm>
#include <filesystem>

namespace torvel {
namespace {

namespace fs = std::filesystem;

const fs::path kStatusIcons = fs::path(TORVEL_SOURCE_ROOT) / "resources/icons/hicolor/scalable/status";
const fs::path kDrawnIcons = fs::path(TORVEL_BUILD_SHARE) / "torvel" / "icons";
const char* const kIcons[] = {"torvel-active-symbolic", "torvel-inactive-symbolic"};

QString readSvg(const std::string& icon) {
    QFile file(QString::fromStdString((kStatusIcons / (icon + ".svg")).string()));
    EXPECT_TRUE(file.open(QIODevice::ReadOnly)) << icon;
    return QString::fromUtf8(file.readAll());
}

// What a recolouring host does to a symbolic icon (GTK sets `fill` on every shape): the icon's own
// colours and classes go, every shape is filled in one colour; fill rules stay.
QByteArray everyShapeFilled(QString svg) {
    svg.remove(QRegularExpression("<style[^>]*>[^<]*</style>"));
    svg.remove(QRegularExpression("\\s(class|fill|color)=\"[^\"]*\""));
    return svg.toUtf8();
}

// The pixels at least half covered in one image and not in the other.
int differingPixels(const QImage& a, const QImage& b) {
    int count = 0;
    for (int y = 0; y < std::min(a.height(), b.height()); ++y)
        for (int x = 0; x < std::min(a.width(), b.width()); ++x)
            count += (qAlpha(a.pixel(x, y)) >= 128) != (qAlpha(b.pixel(x, y)) >= 128);
    return count;
}

TEST(TrayGlyphArtTest, StatusIconsAreFillOnlyFollowTheTextColourAndStayApartWhenFilled) {
    const QRegularExpression shape("<(path|rect|circle|ellipse|polygon|polyline|line)\\b[^>]*>");
    for (const char* icon : kIcons) {
        const QString svg = readSvg(icon);
        EXPECT_FALSE(svg.contains("stroke"))
            << icon << ": a host that fills every shape turns strokes into blobs";
        EXPECT_TRUE(svg.contains(QRegularExpression(
            "<style "
            "id=\"current-color-scheme\"[^>]*>\\s*\\.ColorScheme-Text\\s*\\{\\s*color:\\s*#[0-9a-fA-F]{6};")))
            << icon;
        int shapes = 0;
        for (auto match = shape.globalMatch(svg); match.hasNext(); ++shapes) {
            const QString element = match.next().captured();
            EXPECT_TRUE(element.contains("class=\"ColorScheme-Text\"") &&
                        element.contains("fill=\"currentColor\""))
                << icon << ": " << element.toStdString();
        }
        EXPECT_GE(shapes, 2) << icon;
    }

    // On and off stay apart when a host fills every shape.
    const QImage on = drawGlyph(everyShapeFilled(readSvg(kIcons[0])), 16, Qt::black);
    const QImage off = drawGlyph(everyShapeFilled(readSvg(kIcons[1])), 16, Qt::black);
    ASSERT_FALSE(on.isNull());
    ASSERT_FALSE(off.isNull());
    // The hollow cup against the full one with steam: a tenth of the 16 px icon. Two thin lines of
    // steam alone (all an outline-only "off" cup leaves once filled) come to under 10 pixels.
    EXPECT_GE(differingPixels(on, off), 26);
    // And as drawn, without the forcing: the same shapes.
    EXPECT_EQ(differingPixels(on, drawGlyph(readSvg(kIcons[0]).toUtf8(), 16, Qt::black)), 0);
}

TEST(TrayGlyphArtTest, EveryRawRenderingHoldsItsPngsPixelsInTheShadesColour) {
    for (const char* icon : kIcons) {
        for (auto shade : {GlyphShade::dark, GlyphShade::light, GlyphShade::mid}) {
            const auto images = loadTrayImages(kDrawnIcons, icon, shade);
            const auto raw = loadTrayPixmaps(kDrawnIcons, icon, shade);
            ASSERT_EQ(images.size(), kTrayPixmapSizes.size()) << icon << " " << toString(shade);
            ASSERT_EQ(raw.size(), images.size()) << icon << " " << toString(shade);
            for (size_t i = 0; i < images.size(); ++i) {
                EXPECT_EQ(images[i].size(), QSize(kTrayPixmapSizes[i], kTrayPixmapSizes[i]));
                EXPECT_TRUE(raw[i].argb == networkArgb(images[i]))
                    << icon << " " << toString(shade) << " at " << kTrayPixmapSizes[i];
                for (int y = 0; y < images[i].height(); ++y)
                    for (int x = 0; x < images[i].width(); ++x) {
                        const QRgb pixel = images[i].pixel(x, y);
                        if (qAlpha(pixel) == 255) {
                            EXPECT_EQ(QColor(pixel), glyphColour(shade)) << icon << " at " << x << "," << y;
                        }
                    }
            }
        }
    }
    // Network byte order: alpha first, then red, green, blue, whatever the machine's order.
    QImage pixel(1, 1, QImage::Format_ARGB32);
    pixel.setPixel(0, 0, qRgba(0x12, 0x34, 0x56, 0xff));
    EXPECT_EQ(networkArgb(pixel), std::string("\xff\x12\x34\x56", 4));
}

}  // namespace
}  // namespace torvel

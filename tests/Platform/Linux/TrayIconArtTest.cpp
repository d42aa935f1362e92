// The status icons as symbolic SVGs, the renderings the build draws from them for pixel-only tray
// hosts, and how the tray picks and loads those.
#include "Tray/TrayIconArt.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <algorithm>
#include <filesystem>

namespace torvel {
namespace {

namespace fs = std::filesystem;

const fs::path kStatusIcons = fs::path(TORVEL_SOURCE_ROOT) / "resources/icons/hicolor/scalable/status";
const fs::path kDrawnIcons = fs::path(TORVEL_BUILD_SHARE) / "torvel" / "icons";
const char* const kIcons[] = {"torvel-active-symbolic", "torvel-inactive-symbolic"};

// Image plugins (the SVG reader) are found through the application object.
void ensureApplication() {
    static int argc = 1;
    static char name[] = "torvel_linux_tests";
    static char* argv[] = {name, nullptr};
    static QCoreApplication* app = QCoreApplication::instance() ? nullptr : new QCoreApplication(argc, argv);
    (void)app;
}

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

TEST(TrayIconArtTest, StatusIconsAreFillOnlyFollowTheTextColourAndStayApartWhenFilled) {
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
    ensureApplication();
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

TEST(TrayIconArtTest, BuildDrewEveryIconInEveryShadeAtEverySize) {
    ensureApplication();
    for (const char* icon : kIcons) {
        for (auto shade : {GlyphShade::dark, GlyphShade::light, GlyphShade::mid}) {
            const auto images = loadTrayPixmaps(kDrawnIcons, icon, shade);
            ASSERT_EQ(images.size(), kTrayPixmapSizes.size()) << icon << " " << toString(shade);
            for (size_t i = 0; i < images.size(); ++i) {
                EXPECT_EQ(images[i].size(), QSize(kTrayPixmapSizes[i], kTrayPixmapSizes[i]));
                // The fully covered pixels carry the shade's colour.
                int solid = 0;
                for (int y = 0; y < images[i].height(); ++y)
                    for (int x = 0; x < images[i].width(); ++x) {
                        const QRgb pixel = images[i].pixel(x, y);
                        if (qAlpha(pixel) != 255) continue;
                        ++solid;
                        EXPECT_EQ(QColor(pixel), glyphColour(shade)) << icon << " at " << x << "," << y;
                    }
                EXPECT_GT(solid, kTrayPixmapSizes[i])
                    << icon << " is nearly empty at " << kTrayPixmapSizes[i];
            }
        }
    }
    EXPECT_GE(differingPixels(loadTrayPixmaps(kDrawnIcons, kIcons[0], GlyphShade::dark)[0],
                              loadTrayPixmaps(kDrawnIcons, kIcons[1], GlyphShade::dark)[0]),
              26);
}

TEST(TrayIconArtTest, LoadsOnlyWholeSetsOfPlainNames) {
    ensureApplication();
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    for (int size : kTrayPixmapSizes)
        fs::copy_file(trayPixmapFile(kDrawnIcons, kIcons[0], GlyphShade::dark, size),
                      trayPixmapFile(folder, "cup", GlyphShade::dark, size));
    EXPECT_EQ(loadTrayPixmaps(folder, "cup", GlyphShade::dark).size(), kTrayPixmapSizes.size());
    EXPECT_TRUE(loadTrayPixmaps(folder, "cup", GlyphShade::light).empty());
    EXPECT_TRUE(loadTrayPixmaps(folder / "sub", "../cup", GlyphShade::dark).empty())
        << "a name is not a path";
    EXPECT_TRUE(loadTrayPixmaps({}, "cup", GlyphShade::dark).empty());
    // A size drawn at the wrong size (or missing) spoils the set: hosts would scale the wrong image.
    fs::copy_file(trayPixmapFile(folder, "cup", GlyphShade::dark, 48),
                  trayPixmapFile(folder, "cup", GlyphShade::dark, 22), fs::copy_options::overwrite_existing);
    EXPECT_TRUE(loadTrayPixmaps(folder, "cup", GlyphShade::dark).empty());

    EXPECT_EQ(trayPixmapFolder("/usr/share/icons"), fs::path("/usr/share/torvel/icons"));
    EXPECT_TRUE(trayPixmapFolder({}).empty());
}

TEST(TrayIconArtTest, GlyphContrastsWithThePanel) {
    struct Case {
        const char* panel;
        GlyphShade glyph;
    };
    // White, Breeze light and dark, Adwaita's dark header, GTK 2's grey (trayer), black; a saturated
    // blue and yellow, which lightness alone would both call mid-grey.
    for (auto [panel, glyph] : {Case{"#ffffff", GlyphShade::dark}, Case{"#eff0f1", GlyphShade::dark},
                                Case{"#31363b", GlyphShade::light}, Case{"#303030", GlyphShade::light},
                                Case{"#dcdad5", GlyphShade::dark}, Case{"#000000", GlyphShade::light},
                                Case{"#0000ff", GlyphShade::light}, Case{"#ffff00", GlyphShade::dark}}) {
        EXPECT_EQ(glyphShadeOn(QColor(panel)), glyph) << panel;
    }
}

}  // namespace
}  // namespace torvel

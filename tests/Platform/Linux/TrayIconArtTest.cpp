// The raw renderings the build draws for pixel-only tray hosts, and how the resident picks and loads
// them without an image library. Drawing them and their PNG twins: Gui/TrayGlyphArtTest.cpp.
#include "Tray/TrayIconArt.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <optional>
#include <set>

namespace torvel {
namespace {

namespace fs = std::filesystem;

const fs::path kDrawnIcons = fs::path(TORVEL_BUILD_SHARE) / "torvel" / "icons";
const char* const kIcons[] = {"torvel-active-symbolic", "torvel-inactive-symbolic"};

// The colours (0xRRGGBB) of the fully covered pixels, and how many there are.
std::pair<std::set<std::uint32_t>, int> solidColours(const TrayPixmap& pixmap) {
    std::set<std::uint32_t> colours;
    int solid = 0;
    for (std::size_t i = 0; i + 3 < pixmap.argb.size(); i += 4) {
        const auto byte = [&](std::size_t at) { return static_cast<std::uint8_t>(pixmap.argb[at]); };
        if (byte(i) != 255) continue;
        ++solid;
        colours.insert(std::uint32_t{byte(i + 1)} << 16 | std::uint32_t{byte(i + 2)} << 8 | byte(i + 3));
    }
    return {colours, solid};
}

TEST(TrayIconArtTest, BuildDrewEveryIconInEveryShadeAtEverySizeAsWholeRawSets) {
    for (const char* icon : kIcons) {
        std::set<std::uint32_t> shadeColours;
        for (auto shade : {GlyphShade::dark, GlyphShade::light, GlyphShade::mid}) {
            const auto pixmaps = loadTrayPixmaps(kDrawnIcons, icon, shade);
            ASSERT_EQ(pixmaps.size(), kTrayPixmapSizes.size()) << icon << " " << toString(shade);
            for (std::size_t i = 0; i < pixmaps.size(); ++i) {
                const int size = kTrayPixmapSizes[i];
                EXPECT_EQ(pixmaps[i].size, size);
                EXPECT_EQ(pixmaps[i].argb.size(), static_cast<std::size_t>(size * size * 4));
                // Every fully covered pixel has the shade's one colour; the glyph is not nearly empty.
                const auto [colours, solid] = solidColours(pixmaps[i]);
                EXPECT_EQ(colours.size(), 1u) << icon << " " << toString(shade) << " at " << size;
                EXPECT_GT(solid, size) << icon << " is nearly empty at " << size;
                if (!colours.empty()) shadeColours.insert(*colours.begin());
            }
        }
        EXPECT_EQ(shadeColours.size(), 3u) << icon << ": each shade has a colour of its own";
    }
    EXPECT_NE(loadTrayPixmaps(kDrawnIcons, kIcons[0], GlyphShade::dark)[0].argb,
              loadTrayPixmaps(kDrawnIcons, kIcons[1], GlyphShade::dark)[0].argb);
}

TEST(TrayIconArtTest, LoadsOnlyWholeSetsOfExactSizeAndPlainNames) {
    QTemporaryDir dir;
    const fs::path folder = dir.path().toStdString();
    const auto raw = [](const fs::path& in, const std::string& name, GlyphShade shade, int size) {
        return trayPixmapFile(in, name, shade, size, TrayPixmapFormat::raw);
    };
    const auto copyDark = [&] {
        for (int size : kTrayPixmapSizes)
            fs::copy_file(raw(kDrawnIcons, kIcons[0], GlyphShade::dark, size),
                          raw(folder, "cup", GlyphShade::dark, size), fs::copy_options::overwrite_existing);
    };
    copyDark();
    EXPECT_EQ(loadTrayPixmaps(folder, "cup", GlyphShade::dark).size(), kTrayPixmapSizes.size());
    EXPECT_TRUE(loadTrayPixmaps(folder, "cup", GlyphShade::light).empty()) << "a shade not drawn";
    EXPECT_TRUE(loadTrayPixmaps(folder / "sub", "../cup", GlyphShade::dark).empty())
        << "a name is not a path";
    EXPECT_TRUE(loadTrayPixmaps(folder, "", GlyphShade::dark).empty());
    EXPECT_TRUE(loadTrayPixmaps({}, "cup", GlyphShade::dark).empty());

    // Any one file of the wrong length spoils the set: hosts would scale the wrong image or read past it.
    struct Spoil {
        const char* what;
        std::function<void(const fs::path&)> spoil;
    };
    const std::vector<Spoil> spoils = {
        {"another size's pixels",
         [&](const fs::path& file) {
             fs::copy_file(raw(folder, "cup", GlyphShade::dark, 48), file,
                           fs::copy_options::overwrite_existing);
         }},
        {"cut short", [](const fs::path& file) { fs::resize_file(file, fs::file_size(file) - 1); }},
        {"a byte too many", [](const fs::path& file) { std::ofstream(file, std::ios::app) << 'x'; }},
        {"empty", [](const fs::path& file) { std::ofstream(file, std::ios::trunc).flush(); }},
        {"missing", [](const fs::path& file) { fs::remove(file); }},
        {"a folder",
         [](const fs::path& file) {
             fs::remove(file);
             fs::create_directory(file);
         }},
    };
    for (const auto& [what, spoil] : spoils) {
        const auto file = raw(folder, "cup", GlyphShade::dark, 22);
        spoil(file);
        EXPECT_TRUE(loadTrayPixmaps(folder, "cup", GlyphShade::dark).empty()) << what;
        fs::remove_all(file);
        copyDark();
    }

    EXPECT_EQ(trayPixmapFolder("/usr/share/icons"), fs::path("/usr/share/torvel/icons"));
    EXPECT_TRUE(trayPixmapFolder({}).empty());
    EXPECT_EQ(raw("/x", "cup", GlyphShade::mid, 16), fs::path("/x/cup-mid-16.argb"));
    EXPECT_EQ(trayPixmapFile("/x", "cup", GlyphShade::light, 48), fs::path("/x/cup-light-48.png"));
}

TEST(TrayIconArtTest, APreferenceForDarkAloneTakesTheLightGlyph) {
    struct Case {
        std::optional<unsigned> scheme;
        GlyphShade glyph;
    };
    for (auto [scheme, glyph] :
         {Case{std::nullopt, GlyphShade::dark}, Case{0u, GlyphShade::dark}, Case{1u, GlyphShade::light},
          Case{2u, GlyphShade::dark}, Case{3u, GlyphShade::dark}}) {
        EXPECT_EQ(glyphShadeForColorScheme(scheme), glyph) << (scheme ? static_cast<int>(*scheme) : -1);
    }
}

}  // namespace
}  // namespace torvel

// Draws the tray's status icons for hosts that show pixels: every SVG given, in a dark, a light and
// a mid-grey glyph, at every tray size, into the output folder (named as the tray looks them up): as PNG
// for the windows' side and the menu's icon data, and raw (ARGB32 in network byte order, no header) for
// the StatusNotifierItem, which reads them without an image library.
// Usage: torvel-render-tray-icons OUT_DIR ICON.svg...
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSaveFile>
#include <cstdio>

#include "Views/TrayGlyphArt.h"

namespace {

bool writeRaw(const std::filesystem::path& path, const std::string& bytes) {
    QSaveFile file(QString::fromStdString(path.string()));
    return file.open(QIODevice::WriteOnly) &&
           file.write(bytes.data(), static_cast<qint64>(bytes.size())) == static_cast<qint64>(bytes.size()) &&
           file.commit();
}

}  // namespace

int main(int argc, char** argv) {
    // The SVG reader is an image plugin; plugins are found through the application object.
    QCoreApplication app(argc, argv);
    if (argc < 3) {
        std::fprintf(stderr, "usage: %s OUT_DIR ICON.svg...\n", argv[0]);
        return 2;
    }
    const QString out = QString::fromLocal8Bit(argv[1]);
    if (!QDir().mkpath(out)) {
        std::fprintf(stderr, "cannot make %s\n", argv[1]);
        return 1;
    }
    for (int i = 2; i < argc; ++i) {
        QFile file(QString::fromLocal8Bit(argv[i]));
        if (!file.open(QIODevice::ReadOnly)) {
            std::fprintf(stderr, "cannot read %s\n", argv[i]);
            return 1;
        }
        const QByteArray svg = file.readAll();
        const std::string name = QFileInfo(file.fileName()).completeBaseName().toStdString();
        for (auto shade : {torvel::GlyphShade::dark, torvel::GlyphShade::light, torvel::GlyphShade::mid}) {
            for (int size : torvel::kTrayPixmapSizes) {
                const QImage image = torvel::drawGlyph(svg, size, torvel::glyphColour(shade));
                const auto path = torvel::trayPixmapFile(out.toStdString(), name, shade, size);
                const auto raw =
                    torvel::trayPixmapFile(out.toStdString(), name, shade, size, torvel::TrayPixmapFormat::raw);
                if (image.isNull() || !image.save(QString::fromStdString(path.string()), "PNG") ||
                    !writeRaw(raw, torvel::networkArgb(image))) {
                    std::fprintf(stderr, "cannot draw %s at %d px into %s\n", argv[i], size, path.c_str());
                    return 1;
                }
            }
        }
    }
    return 0;
}

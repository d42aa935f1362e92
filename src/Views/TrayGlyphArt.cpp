#include "Views/TrayGlyphArt.h"

#include <QBuffer>
#include <QImageReader>
#include <QPainter>
#include <QtEndian>


namespace torvel {

QColor glyphColour(GlyphShade shade) {
    // Breeze's and Adwaita's text colours are within a few steps of dark and light. Mid keeps about
    // 3.3:1 against a white menu and a dark grey one (#3c3c3c) alike, the contrast icons need.
    switch (shade) {
        case GlyphShade::dark:
            return {0x23, 0x26, 0x29};
        case GlyphShade::light:
            return {0xfc, 0xfc, 0xfc};
        case GlyphShade::mid:
            break;
    }
    return {0x8a, 0x8a, 0x8a};
}

std::vector<QImage> loadTrayImages(const std::filesystem::path& folder, const std::string& name,
                                   GlyphShade shade) {
    if (folder.empty() || !isPlainIconName(name)) return {};
    std::vector<QImage> out;
    for (int size : kTrayPixmapSizes) {
        QImageReader reader(QString::fromStdString(trayPixmapFile(folder, name, shade, size).string()),
                            "png");
        // A file that claims a huge size is not ours: never decode it.
        if (reader.size() != QSize(size, size)) return {};
        QImage image = reader.read();
        if (image.isNull()) return {};
        out.push_back(image.convertToFormat(QImage::Format_ARGB32));
    }
    return out;
}

QImage drawGlyph(const QByteArray& svg, int size, const QColor& colour) {
    QByteArray bytes = svg;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::ReadOnly);
    QImageReader reader(&buffer, "svg");
    reader.setScaledSize(QSize(size, size));
    QImage image = reader.read();
    if (image.isNull()) return {};
    image = image.convertToFormat(QImage::Format_ARGB32_Premultiplied);
    // Source-in keeps each pixel's coverage and paints it in the one colour.
    QPainter painter(&image);
    painter.setCompositionMode(QPainter::CompositionMode_SourceIn);
    painter.fillRect(image.rect(), colour);
    painter.end();
    return image;
}

std::string networkArgb(const QImage& image) {
    const QImage plain = image.convertToFormat(QImage::Format_ARGB32);
    std::string out;
    out.reserve(static_cast<std::size_t>(plain.width()) * static_cast<std::size_t>(plain.height()) * 4);
    for (int y = 0; y < plain.height(); ++y) {
        const auto* line = reinterpret_cast<const quint32*>(plain.constScanLine(y));
        for (int x = 0; x < plain.width(); ++x) {
            const quint32 big = qToBigEndian(line[x]);
            out.append(reinterpret_cast<const char*>(&big), 4);
        }
    }
    return out;
}

}  // namespace torvel

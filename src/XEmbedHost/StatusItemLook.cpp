#include "XEmbedHost/StatusItemLook.h"

#include <QDBusArgument>
#include <QDBusObjectPath>
#include <QDir>
#include <QtEndian>

#include "XEmbedHost/DBusMenuLayout.h"

namespace torvel {
namespace {

template <typename T>
bool holds(const QVariant& value) {
    return value.metaType() == QMetaType::fromType<T>();
}

/// Reads an a(iiay) at `in`, keeping the images whose bytes match their size (width*height*4, big-endian
/// ARGB32) within the bounds.
std::vector<QImage> readPixmaps(const QDBusArgument& in) {
    std::vector<QImage> out;
    in.beginArray();
    while (!in.atEnd()) {
        int width = 0, height = 0;
        QByteArray data;
        in.beginStructure();
        in >> width >> height >> data;
        in.endStructure();
        const bool fits = width > 0 && height > 0 && width <= kMaxItemPixels && height <= kMaxItemPixels &&
                          data.size() == static_cast<qsizetype>(width) * height * 4;
        if (!fits || static_cast<int>(out.size()) >= kMaxItemPixmaps) continue;
        QImage image(width, height, QImage::Format_ARGB32);
        const auto* pixels = reinterpret_cast<const uchar*>(data.constData());
        for (int y = 0; y < height; ++y) {
            auto* line = reinterpret_cast<quint32*>(image.scanLine(y));
            for (int x = 0; x < width; ++x)
                line[x] = qFromBigEndian<quint32>(pixels + (static_cast<qsizetype>(y) * width + x) * 4);
        }
        out.push_back(std::move(image));
    }
    in.endArray();
    return out;
}

QString text(const QVariantMap& properties, const char* name) {
    const QVariant value = properties.value(QLatin1String(name));
    return holds<QString>(value) ? value.toString() : QString();
}

}  // namespace

StatusItemLook statusItemLookFrom(const QVariantMap& properties) {
    StatusItemLook look;
    const QVariant pixmaps = properties.value(QStringLiteral("IconPixmap"));
    if (holds<QDBusArgument>(pixmaps)) {
        const auto in = pixmaps.value<QDBusArgument>();
        if (in.currentSignature() == QLatin1String("a(iiay)")) look.pixmaps = readPixmaps(in);
    }
    if (const QString name = text(properties, "IconName"); isPlainIconName(name)) look.iconName = name;
    if (const QString folder = text(properties, "IconThemePath");
        QDir::isAbsolutePath(folder) && folder.size() < 4096)
        look.iconThemePath = folder;
    QString title, body;
    const QVariant tip = properties.value(QStringLiteral("ToolTip"));
    if (holds<QDBusArgument>(tip)) {
        const auto in = tip.value<QDBusArgument>();
        if (in.currentSignature() == QLatin1String("(sa(iiay)ss)")) {
            QString iconName;
            in.beginStructure();
            in >> iconName;
            readPixmaps(in);  // the tooltip's own images: an XEmbed tooltip shows none
            in >> title >> body;
            in.endStructure();
        }
    }
    if (title.isEmpty()) title = text(properties, "Title");
    look.toolTip = (body.isEmpty() ? title : title + "\n" + body).left(kMaxToolTipLength);
    look.passive = text(properties, "Status") == QLatin1String("Passive");
    const QVariant menu = properties.value(QStringLiteral("Menu"));
    if (holds<QDBusObjectPath>(menu) && menu.value<QDBusObjectPath>().path() != QLatin1String("/"))
        look.menuPath = menu.value<QDBusObjectPath>().path();
    return look;
}

QVariantMap propertiesFrom(const QDBusMessage& reply) {
    if (reply.type() != QDBusMessage::ReplyMessage || reply.signature() != QLatin1String("a{sv}")) return {};
    const QList<QVariant> args = reply.arguments();
    if (args.size() != 1 || !holds<QDBusArgument>(args[0])) return {};
    QVariantMap properties;
    args[0].value<QDBusArgument>() >> properties;
    return properties;
}

}  // namespace torvel

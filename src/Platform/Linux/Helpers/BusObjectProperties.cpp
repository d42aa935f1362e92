#include "Platform/Linux/Helpers/BusObjectProperties.h"

#include <QDBusError>
#include <QDBusVariant>

namespace torvel {

namespace {

constexpr const char* kPropertiesInterface = "org.freedesktop.DBus.Properties";

}  // namespace

const char* const kPropertiesIntrospection =
    "  <interface name=\"org.freedesktop.DBus.Properties\">\n"
    "    <method name=\"Get\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"name\" type=\"s\" direction=\"in\"/><arg name=\"value\" type=\"v\" direction=\"out\"/></method>\n"
    "    <method name=\"GetAll\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"properties\" type=\"a{sv}\" direction=\"out\"/></method>\n"
    "    <method name=\"Set\"><arg name=\"interface\" type=\"s\" direction=\"in\"/>"
    "<arg name=\"name\" type=\"s\" direction=\"in\"/><arg name=\"value\" type=\"v\" direction=\"in\"/></method>\n"
    "    <signal name=\"PropertiesChanged\"><arg type=\"s\"/><arg type=\"a{sv}\"/><arg type=\"as\"/></signal>\n"
    "  </interface>\n";

void replyError(const QDBusConnection& connection, const QDBusMessage& message, const QString& name,
                const QString& text) {
    if (!message.isReplyRequired()) return;
    connection.send(message.createErrorReply(name, text));
}

void replyWith(const QDBusConnection& connection, const QDBusMessage& message, const QList<QVariant>& arguments) {
    if (!message.isReplyRequired()) return;
    connection.send(message.createReply(arguments));
}

bool answerIntrospection(const QDBusMessage& message, const QDBusConnection& connection, const QString& interfaces) {
    if (message.interface() != "org.freedesktop.DBus.Introspectable") return false;
    if (message.member() != "Introspect" || !message.signature().isEmpty()) {
        replyBadCall(connection, message, {"Introspect"});
        return true;
    }
    replyWith(connection, message,
              {QString("<!DOCTYPE node PUBLIC \"-//freedesktop//DTD D-BUS Object Introspection 1.0//EN\"\n"
                       "\"http://www.freedesktop.org/standards/dbus/1.0/introspect.dtd\">\n<node>\n"
                       "  <interface name=\"org.freedesktop.DBus.Introspectable\">\n"
                       "    <method name=\"Introspect\"><arg type=\"s\" direction=\"out\"/></method>\n"
                       "  </interface>\n") +
               interfaces + "</node>\n"});
    return true;
}

bool answerPropertiesCall(const QDBusMessage& message, const QDBusConnection& connection,
                          const QString& interface, const QVariantMap& properties) {
    if (message.interface() != kPropertiesInterface) return false;
    const auto args = message.arguments();
    const QString member = message.member();
    const QString signature = message.signature();
    // A caller may leave the interface empty; any other interface has no properties here.
    const auto unknownInterface = [&](const QVariant& name) {
        const QString asked = name.toString();
        if (asked.isEmpty() || asked == interface) return false;
        replyError(connection, message, QDBusError::errorString(QDBusError::UnknownInterface),
                   "No such interface");
        return true;
    };
    if (member == "Get" && signature == "ss") {
        if (unknownInterface(args.at(0))) return true;
        const auto found = properties.constFind(args.at(1).toString());
        if (found == properties.constEnd()) {
            replyError(connection, message, QDBusError::errorString(QDBusError::UnknownProperty),
                       "No such property");
        } else {
            replyWith(connection, message, {QVariant::fromValue(QDBusVariant(*found))});
        }
    } else if (member == "GetAll" && signature == "s") {
        if (unknownInterface(args.at(0))) return true;
        replyWith(connection, message, {properties});
    } else if (member == "Set" && signature == "ssv") {
        replyError(connection, message, QDBusError::errorString(QDBusError::PropertyReadOnly),
                   "The properties are read-only");
    } else {
        replyBadCall(connection, message, {"Get", "GetAll", "Set"});
    }
    return true;
}

void replyBadCall(const QDBusConnection& connection, const QDBusMessage& message,
                  std::initializer_list<const char*> members) {
    const QString member = message.member();
    for (const char* known : members) {
        if (member == QLatin1String(known)) {
            replyError(connection, message, QDBusError::errorString(QDBusError::InvalidArgs),
                       "Wrong arguments for " + member);
            return;
        }
    }
    replyError(connection, message, QDBusError::errorString(QDBusError::UnknownMethod),
               "No such method: " + member);
}

}  // namespace torvel

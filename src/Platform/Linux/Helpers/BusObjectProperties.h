#pragma once

#include <QDBusConnection>
#include <QDBusMessage>
#include <QString>
#include <QVariantMap>
#include <initializer_list>

namespace torvel {

/// Answers org.freedesktop.DBus.Properties calls for a hand-dispatched object (a QDBusVirtualObject)
/// whose one interface is `interface` with the read-only properties `properties`. Returns false when
/// `message` is not a Properties call, so the caller goes on dispatching it. Every argument is
/// checked: a wrong signature, another interface or an unknown name is answered with an error.
bool answerPropertiesCall(const QDBusMessage& message, const QDBusConnection& connection,
                          const QString& interface, const QVariantMap& properties);

/// Answers org.freedesktop.DBus.Introspectable.Introspect with a document holding `interfaces` (the
/// object's own interface fragments), and any other call on that interface with an error; false when
/// `message` is for another interface.
bool answerIntrospection(const QDBusMessage& message, const QDBusConnection& connection, const QString& interfaces);

/// Sends an error reply to `message` unless the caller asked for none.
void replyError(const QDBusConnection& connection, const QDBusMessage& message, const QString& name,
                const QString& text);

/// Sends the reply to `message` with `arguments` unless the caller asked for none.
void replyWith(const QDBusConnection& connection, const QDBusMessage& message,
               const QList<QVariant>& arguments = {});

/// Answers a call no member of the object takes: InvalidArgs when `message` names one of `members` (of
/// its interface) with the wrong arguments, UnknownMethod otherwise, which is what callers look for
/// before they fall back on another method.
void replyBadCall(const QDBusConnection& connection, const QDBusMessage& message,
                  std::initializer_list<const char*> members);

/// The introspection fragment of the Properties interface, for introspect().
extern const char* const kPropertiesIntrospection;

}  // namespace torvel

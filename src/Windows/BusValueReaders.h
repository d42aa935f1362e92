#pragma once

#include <QMap>
#include <QString>
#include <QStringList>
#include <QVariant>
#include <optional>
#include <string>
#include <vector>

#include "Models/AutomationConsent.h"
#include "Models/Profile.h"
#include "Models/RunningAppInfo.h"
#include "Models/TrustedWiFiStatus.h"
#include "Platform/StayguardHelper.h"
#include "Services/StayguardServiceProtocol.h"

/// Readers of the running Torvel's property values as the bus delivers them (basic types as themselves,
/// containers as a QDBusArgument to read). Each checks the D-Bus type and every entry: std::nullopt when
/// anything does not read, so a caller keeps the value it had.
namespace torvel::busvalues {

std::string utf8(const QString& text);
/// The D-Bus signature of a container value ("a{ss}"); empty for a basic one.
QString signatureOf(const QVariant& value);
bool isString(const QVariant& value);
/// "as".
std::optional<QStringList> stringList(const QVariant& value);
/// "a{ss}".
std::optional<QMap<QString, QString>> stringMap(const QVariant& value);
/// WiFiStatus: "trusted:NAME", "connected:NAME", "wifiOff", ...
std::optional<TrustedWiFiStatus> wifiStatusFrom(const QString& text);
/// Profiles (aa{sv}): every entry must read, with a known duration and assertion type and a UUID.
std::optional<std::vector<Profile>> profilesFrom(const QVariant& value);
/// RunningApps: a(ssi).
std::optional<std::vector<RunningAppInfo>> runningAppsFrom(const QVariant& value);
/// StayguardGrants (as); names this version does not know are left out.
std::optional<PowerGrants> grantsFrom(const QVariant& value);
/// StayguardInstallResult; std::nullopt (outer) when it does not read, an inner std::nullopt for "no
/// installation ended".
std::optional<std::optional<StayguardInstallResult>> installResultFrom(const QString& text);
/// AutomationConsent: "granted", "notAsked" or "denied".
std::optional<AutomationConsent> consentFrom(const QString& text);
/// LidHolders: a(sus).
std::optional<std::vector<LidHolder>> lidHoldersFrom(const QVariant& value);

}  // namespace torvel::busvalues

#include "plant/BrokerSettings.h"

#include "config/ProfileFile.h"
#include "plant/PlantTopics.h"

#include <QFileInfo>

namespace {

const QByteArray kSection = "PlantBroker";

QString Value(const QString &path, const char *key, const QString &defaultValue = {})
{
    return QString::fromUtf8(ReadProfileValue(kSection, key, defaultValue.toUtf8(), path));
}

} // namespace

BrokerSettings BrokerSettings::Read(const QString &settingsPath)
{
    BrokerSettings s;
    s.host = Value(settingsPath, "Host");
    s.tls = Value(settingsPath, "Tls") == QLatin1String("1");
    bool ok = false;
    const int port = Value(settingsPath, "Port").toInt(&ok);
    s.port = ok ? port : (s.tls ? 8883 : 1883);
    s.caFile = Value(settingsPath, "CaFile");
    s.certFile = Value(settingsPath, "CertFile");
    s.keyFile = Value(settingsPath, "KeyFile");
    s.user = Value(settingsPath, "User");
    s.root = Value(settingsPath, "TopicRoot", s.root);
    const int keepAlive = Value(settingsPath, "KeepAlive").toInt(&ok);
    if (ok && keepAlive >= 5 && keepAlive <= 3600)
        s.keepAliveS = keepAlive;
    return s;
}

bool BrokerSettings::Write(const QString &settingsPath, QString *error) const
{
    const std::pair<const char *, QString> keys[] = {
        {"Host", host},           {"Port", QString::number(port)},
        {"Tls", tls ? "1" : "0"}, {"CaFile", caFile},
        {"CertFile", certFile},   {"KeyFile", keyFile},
        {"User", user},           {"TopicRoot", root}};
    for (const auto &[key, value] : keys) {
        if (!WriteProfileValue(kSection, key, value.toUtf8(), settingsPath)) {
            *error = QStringLiteral("The settings file %1 could not be written.").arg(settingsPath);
            return false;
        }
    }
    return true;
}

QString BrokerSettings::Problem() const
{
    if (host.trimmed().isEmpty())
        return QStringLiteral("No broker is set up (Setup > Plant Broker...).");
    if (host.contains(u' ') || host.size() > 253)
        return QStringLiteral("The broker's host name is not valid.");
    if (port < 1 || port > 65535)
        return QStringLiteral("The port must be between 1 and 65535.");
    if (tls && caFile.isEmpty())
        return QStringLiteral("TLS needs the CA file that signed the broker's certificate.");
    if (tls && certFile.isEmpty() != keyFile.isEmpty())
        return QStringLiteral("A client certificate needs its key, and a key its certificate.");
    for (const QString &file : {caFile, certFile, keyFile})
        if (tls && !file.isEmpty() && !QFileInfo(file).isReadable())
            return QStringLiteral("The file %1 cannot be read.").arg(file);
    const QString rootProblem = PlantTopics::RootProblem(root);
    return rootProblem.isEmpty() ? QString()
                                 : QStringLiteral("The topic root: %1.").arg(rootProblem);
}

QString BrokerSettings::PasswordKey() const
{
    return QStringLiteral("%1@%2:%3").arg(user, host).arg(port);
}

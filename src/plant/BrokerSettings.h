#pragma once
// The Plant window's broker: the [PlantBroker] section of the program's settings file (host,
// port, TLS files, user name, topic root). The password is never here: it is kept in the
// desktop's secret store (PasswordStore). A user who never set the broker up has no section,
// and reading it creates nothing. QtCore only.

#include <QString>

struct BrokerSettings
{
    QString host; // no broker set up when empty
    int port = 1883;
    bool tls = false;
    QString caFile;
    QString certFile; // optional client certificate and its key
    QString keyFile;
    QString user;
    QString root = QStringLiteral("orvane/+");
    int keepAliveS = 30;

    // What is wrong with the settings ("" when they can be used).
    QString Problem() const;
    // The secret store's key of the password: "user@host:port".
    QString PasswordKey() const;

    static BrokerSettings Read(const QString &settingsPath);
    // Writes every key (through the safe writer); false with `error` when the file could not
    // be written, which leaves it as it was.
    bool Write(const QString &settingsPath, QString *error) const;
};

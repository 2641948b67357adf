#include "ModbusConfig.h"

#include <QRegularExpression>

#include <arpa/inet.h>

#include <cstring>

bool ParseAddress(const QString &text, std::array<uint8_t, 16> *address, int *prefixBits)
{
    const QString host = text.section(u'/', 0, 0);
    const QString bits = text.contains(u'/') ? text.section(u'/', 1) : QString();
    const QByteArray latin = host.toLatin1();
    in_addr v4{};
    in6_addr v6{};
    int maxBits = 128;
    if (inet_pton(AF_INET, latin.constData(), &v4) == 1) {
        address->fill(0);
        (*address)[10] = (*address)[11] = 0xFF;
        std::memcpy(address->data() + 12, &v4, 4);
        maxBits = 32;
    } else if (inet_pton(AF_INET6, latin.constData(), &v6) == 1) {
        std::memcpy(address->data(), &v6, 16);
    } else {
        return false;
    }
    bool ok = true;
    const int n = bits.isEmpty() ? maxBits : bits.toInt(&ok);
    if (!ok || n < 0 || n > maxBits)
        return false;
    *prefixBits = n + (128 - maxBits);
    return true;
}

ClientAccess ModbusConfig::AccessOf(const std::array<uint8_t, 16> &address) const
{
    if (clients.empty())
        return ClientAccess::Write;
    ClientAccess best = ClientAccess::Refused;
    for (const ClientRule &rule : clients) {
        bool match = true;
        for (int bit = 0; bit < rule.prefixBits && match; ++bit)
            match = ((address[bit / 8] ^ rule.address[bit / 8]) >> (7 - bit % 8) & 1) == 0;
        if (match && rule.access > best)
            best = rule.access;
    }
    return best;
}

namespace {

std::optional<int> Number(const QString &value, int low, int high)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    return ok && n >= low && n <= high ? std::optional<int>(n) : std::nullopt;
}

// "ADDRESS[/BITS]:read" or ":write", separated by spaces or commas.
QString ParseClients(const QString &value, std::vector<ClientRule> *rules)
{
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString &item : value.split(separators, Qt::SkipEmptyParts)) {
        const QString access = item.section(u':', -1).toLower();
        ClientRule rule;
        if (access != u"read" && access != u"write")
            return QStringLiteral("\"%1\" is not ADDRESS[/BITS]:read or :write").arg(item);
        rule.access = access == u"read" ? ClientAccess::Read : ClientAccess::Write;
        if (!ParseAddress(item.section(u':', 0, -2), &rule.address, &rule.prefixBits))
            return QStringLiteral("\"%1\" is not an IPv4 or IPv6 address or network").arg(item);
        rules->push_back(rule);
    }
    return {};
}

QString ApplyKey(const QString &key, const QString &value, const std::vector<PlantBoard> *boards,
                 ModbusConfig *c)
{
    std::array<uint8_t, 16> ignored{};
    int bits = 0;
    if (key == u"listen") {
        if (!ParseAddress(value, &ignored, &bits) || value.contains(u'/'))
            return QStringLiteral("\"%1\" is not an IPv4 or IPv6 address").arg(value);
        c->listen = value;
    } else if (key == u"port" || key == u"maxclients") {
        const std::optional<int> n =
            key == u"port" ? Number(value, 1, 65535) : Number(value, 1, 1000);
        if (!n)
            return key == u"port" ? QStringLiteral("not a port from 1 to 65535")
                                  : QStringLiteral("not a number from 1 to 1000");
        (key == u"port" ? c->port : c->maxClients) = *n;
    } else if (key == u"allowwrite") {
        if (value != u"0" && value != u"1")
            return QStringLiteral("not 0 or 1");
        c->allowWrite = value == u"1";
    } else if (key == u"writablepoints") {
        c->writableText = value;
        QString error;
        if (boards) {
            auto points = ParseWritablePoints(value, *boards, &error);
            if (!points)
                return error;
            c->writable = std::move(*points);
        }
    } else if (key == u"clients") {
        return ParseClients(value, &c->clients);
    } else if (key == u"unitmode") {
        if (value.toLower() != u"any" && value.toLower() != u"per-board")
            return QStringLiteral("not any or per-board");
        c->unitMode = value.toLower() == u"any" ? UnitMode::Any : UnitMode::PerBoard;
    } else {
        return QStringLiteral("unknown key");
    }
    return {};
}

} // namespace

bool ApplySection(const QList<ConfigEntry> &entries, const QString &file, const QString &section,
                  const std::function<QString(const QString &, const QString &)> &apply,
                  QString *error)
{
    QHash<QString, int> seen;
    QStringList problems;
    for (const ConfigEntry &e : entries) {
        const QString key = e.key.toLower();
        const QString problem = seen.contains(key)
            ? QStringLiteral("given again (first on line %1)").arg(seen.value(key))
            : apply(key, e.value.trimmed());
        seen.insert(key, seen.value(key, e.line));
        if (!problem.isEmpty())
            problems << QStringLiteral("%1:%2: [%3] %4=: %5")
                            .arg(file)
                            .arg(e.line)
                            .arg(section, e.key, problem);
    }
    if (!problems.isEmpty())
        *error = problems.join(QStringLiteral("\norvane-agent: "));
    return problems.isEmpty();
}

bool ParseModbusConfig(const QList<ConfigEntry> &entries, const QString &file,
                       const std::vector<PlantBoard> *boards, ModbusConfig *config, QString *error)
{
    ModbusConfig c;
    if (!ApplySection(
            entries, file, QStringLiteral("Modbus"),
            [&](const QString &key, const QString &value) {
                return ApplyKey(key, value, boards, &c);
            },
            error))
        return false;
    *config = std::move(c);
    return true;
}

#include "MqttConfig.h"

#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>

#include <functional>

namespace {

const PlantBoard *FindBoard(const std::vector<PlantBoard> &boards, int32_t card)
{
    for (const PlantBoard &board : boards)
        if (board.cardNo == card)
            return &board;
    return nullptr;
}

// One "CARD:out:POINT" or "CARD:out:*" into `points`.
bool AddWritable(const QString &item, const std::vector<PlantBoard> &boards,
                 std::set<std::pair<int32_t, int>> &points, QString *error)
{
    static const QRegularExpression form(QStringLiteral("^(\\d{1,9}):(in|out):(\\d{1,2}|\\*)$"));
    const QRegularExpressionMatch m = form.match(item);
    if (!m.hasMatch()) {
        *error = QStringLiteral("\"%1\" is not CARD:out:POINT or CARD:out:*").arg(item);
        return false;
    }
    const int32_t card = m.captured(1).toInt();
    const PlantBoard *board = FindBoard(boards, card);
    if (!board)
        *error = QStringLiteral("\"%1\": card %2 is not a board of this agent").arg(item).arg(card);
    else if (m.captured(2) == u"in")
        *error = QStringLiteral("\"%1\": an input cannot be written").arg(item);
    else if (board->outMask == 0)
        *error = QStringLiteral("\"%1\": card %2 has no outputs").arg(item).arg(card);
    if (!board || m.captured(2) == u"in" || board->outMask == 0)
        return false;
    const bool all = m.captured(3) == u"*";
    const int point = all ? 0 : m.captured(3).toInt();
    if (!all && (point > 63 || !(board->outMask >> point & 1))) {
        *error = QStringLiteral("\"%1\": card %2 has no output %3").arg(item).arg(card).arg(point);
        return false;
    }
    for (int bit = 0; bit < 64; ++bit)
        if ((all || bit == point) && (board->outMask >> bit & 1))
            points.insert({card, bit});
    return true;
}

std::optional<int> NumberIn(const QString &value, int low, int high, QString *error)
{
    bool ok = false;
    const int n = value.toInt(&ok);
    if (ok && n >= low && n <= high)
        return n;
    *error = QStringLiteral("\"%1\" is not a number from %2 to %3").arg(value).arg(low).arg(high);
    return std::nullopt;
}

bool ReadableFile(const QString &value, QString *out, QString *error)
{
    if (!QFileInfo(value).isFile() || !QFileInfo(value).isReadable()) {
        *error = QStringLiteral("\"%1\" is not a readable file").arg(value);
        return false;
    }
    *out = value;
    return true;
}

using KeyHandler = std::function<bool(const QString &value, QString *error)>;

KeyHandler NumberKey(int &field, int low, int high)
{
    return [&field, low, high](const QString &v, QString *e) {
        const std::optional<int> n = NumberIn(v, low, high, e);
        field = n.value_or(field);
        return n.has_value();
    };
}

KeyHandler TextKey(QString &field)
{
    return [&field](const QString &v, QString *e) {
        field = v;
        *e = QStringLiteral("must not be empty or hold a NUL character");
        return !v.isEmpty() && !v.contains(QChar(0));
    };
}

KeyHandler FileKey(QString &field)
{
    return [&field](const QString &v, QString *e) {
        return ReadableFile(v, &field, e);
    };
}

// What each key does with its value; `boards` checks WritablePoints=.
QHash<QString, KeyHandler> Handlers(MqttConfig &c, const std::vector<PlantBoard> &boards)
{
    return {
        {QStringLiteral("Host"), TextKey(c.host)},
        {QStringLiteral("Port"), NumberKey(c.port, 1, 65535)},
        {QStringLiteral("ClientId"), TextKey(c.clientId)},
        {QStringLiteral("TopicPrefix"),
         [&c](const QString &v, QString *e) {
             c.topicPrefix = v;
             *e = TopicPrefixProblem(v);
             return e->isEmpty();
         }},
        {QStringLiteral("Username"), TextKey(c.username)},
        {QStringLiteral("PasswordFile"),
         [&c](const QString &v, QString *e) {
             const std::optional<QByteArray> password = ReadPasswordFile(v, e);
             c.password = password.value_or(QByteArray());
             return password.has_value();
         }},
        {QStringLiteral("CaFile"), FileKey(c.caFile)},
        {QStringLiteral("CertFile"), FileKey(c.certFile)},
        {QStringLiteral("KeyFile"),
         [&c](const QString &v, QString *e) {
             return ReadableFile(v, &c.keyFile, e) && CheckPrivateFile(v, e);
         }},
        {QStringLiteral("KeepAlive"), NumberKey(c.keepAliveS, 5, 65535)},
        {QStringLiteral("Discovery"),
         [&c](const QString &v, QString *e) {
             c.discovery = v == u"homeassistant" ? Discovery::HomeAssistant : Discovery::Off;
             *e = QStringLiteral("\"%1\" is neither homeassistant nor off").arg(v);
             return v == u"homeassistant" || v == u"off";
         }},
        {QStringLiteral("DiscoveryStatusTopic"),
         [&c](const QString &v, QString *e) {
             c.discoveryStatusTopic = v;
             *e = TopicPrefixProblem(v);
             return e->isEmpty();
         }},
        {QStringLiteral("AllowWrite"),
         [&c](const QString &v, QString *e) {
             c.allowWrite = v == u"1";
             *e = QStringLiteral("\"%1\" is neither 0 nor 1").arg(v);
             return v == u"0" || v == u"1";
         }},
        {QStringLiteral("WritablePoints"),
         [&c, &boards](const QString &v, QString *e) {
             auto points = ParseWritablePoints(v, boards, e);
             c.writable = points.value_or(c.writable);
             return points.has_value();
         }},
    };
}

// The checks between keys, once every line is read.
QStringList CrossChecks(MqttConfig &c, const QHash<QString, int> &seen)
{
    QStringList problems;
    if (!seen.contains(QStringLiteral("Host")))
        problems << QStringLiteral("Host= is missing");
    if (seen.contains(QStringLiteral("PasswordFile")) && !seen.contains(QStringLiteral("Username")))
        problems << QStringLiteral("PasswordFile= needs Username=");
    if ((seen.contains(QStringLiteral("CertFile")) || seen.contains(QStringLiteral("KeyFile"))) &&
        !c.tls())
        problems << QStringLiteral("CertFile= and KeyFile= need CaFile=");
    if (seen.contains(QStringLiteral("CertFile")) != seen.contains(QStringLiteral("KeyFile")))
        problems << QStringLiteral("CertFile= and KeyFile= go together");
    if (!seen.contains(QStringLiteral("Port")))
        c.port = c.tls() ? 8883 : 1883;
    return problems;
}

} // namespace

QString TopicPrefixProblem(const QString &prefix)
{
    if (prefix.isEmpty())
        return QStringLiteral("the topic prefix is empty");
    if (prefix.startsWith(u'/') || prefix.startsWith(u'$'))
        return QStringLiteral("the topic prefix \"%1\" starts with '%2'").arg(prefix, prefix[0]);
    if (prefix.endsWith(u'/'))
        return QStringLiteral("the topic prefix \"%1\" ends with '/'").arg(prefix);
    for (const QChar bad : {QChar(u'+'), QChar(u'#'), QChar(0)})
        if (prefix.contains(bad))
            return QStringLiteral("the topic prefix holds '%1'")
                .arg(bad == QChar(0) ? QStringLiteral("NUL") : QString(bad));
    if (prefix.toUtf8().size() > 1024)
        return QStringLiteral("the topic prefix is longer than 1024 bytes");
    return {};
}

std::optional<std::set<std::pair<int32_t, int>>>
ParseWritablePoints(const QString &value, const std::vector<PlantBoard> &boards, QString *error)
{
    std::set<std::pair<int32_t, int>> points;
    static const QRegularExpression separators(QStringLiteral("[\\s,]+"));
    for (const QString &item : value.split(separators, Qt::SkipEmptyParts))
        if (!AddWritable(item, boards, points, error))
            return std::nullopt;
    return points;
}

MqttConfigResult ParseMqttConfig(const QString &file, int sectionLine,
                                 const std::vector<MqttIniLine> &lines,
                                 const std::vector<PlantBoard> &boards, const QString &hostName)
{
    MqttConfig c;
    c.hostName = hostName.isEmpty() ? QStringLiteral("localhost") : hostName;
    c.clientId = QStringLiteral("orvane-") + c.hostName;
    c.topicPrefix = QStringLiteral("orvane/") + c.hostName;
    const QHash<QString, KeyHandler> handlers = Handlers(c, boards);
    QHash<QString, int> seen;
    MqttConfigResult result;
    auto fail = [&](int line, const QString &text) {
        result.errors << QStringLiteral("%1:%2: [Mqtt] %3").arg(file).arg(line).arg(text);
    };
    for (const MqttIniLine &l : lines) {
        QString problem;
        if (!handlers.contains(l.key)) {
            fail(l.line, QStringLiteral("unknown key \"%1\"").arg(l.key));
        } else if (seen.contains(l.key)) {
            fail(l.line,
                 QStringLiteral("%1= given again (first on line %2)")
                     .arg(l.key)
                     .arg(seen.value(l.key)));
        } else {
            seen.insert(l.key, l.line);
            if (!handlers[l.key](l.value.trimmed(), &problem))
                fail(l.line, l.key + QStringLiteral("=: ") + problem);
        }
    }
    for (const QString &problem : CrossChecks(c, seen))
        fail(sectionLine, problem);
    if (!seen.contains(QStringLiteral("TopicPrefix")) &&
        !TopicPrefixProblem(c.topicPrefix).isEmpty())
        fail(sectionLine, TopicPrefixProblem(c.topicPrefix) + QStringLiteral(" (the default)"));
    if (result.errors.isEmpty())
        result.config = c;
    return result;
}

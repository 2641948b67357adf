#include "PlantTopics.h"

#include <QDateTime>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QString Dir(PointDir dir)
{
    return dir == PointDir::In ? QStringLiteral("in") : QStringLiteral("out");
}

// `text` as a JSON string with its quotes.
QByteArray JsonString(const QString &text)
{
    QByteArray array = QJsonDocument(QJsonArray{text}).toJson(QJsonDocument::Compact);
    return array.mid(1, array.size() - 2);
}

// The client id with every character but [A-Za-z0-9_-] replaced by '_'.
QString SafeId(const QString &clientId)
{
    QString id = clientId;
    for (QChar &c : id)
        if (!(c.isLetterOrNumber() && c.unicode() < 128) && c != u'_' && c != u'-')
            c = u'_';
    return id;
}

} // namespace

QString StatusTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/status");
}

QString EventsTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/events");
}

QString StateTopic(const QString &prefix, int32_t card, PointDir dir, int point)
{
    return QStringLiteral("%1/card%2/%3/%4").arg(prefix).arg(card).arg(Dir(dir)).arg(point);
}

QString SetTopic(const QString &prefix, int32_t card, int point)
{
    return StateTopic(prefix, card, PointDir::Out, point) + QStringLiteral("/set");
}

std::optional<std::pair<int32_t, int>> ParseSetTopic(const QString &prefix, const QString &topic)
{
    static const QRegularExpression form(QStringLiteral("^/card(\\d{1,9})/out/(\\d{1,2})/set$"));
    if (!topic.startsWith(prefix))
        return std::nullopt;
    const QRegularExpressionMatch m = form.match(QStringView(topic).mid(prefix.size()));
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair<int32_t, int>{m.captured(1).toInt(), m.captured(2).toInt()};
}

std::optional<bool> ParseSetPayload(const QByteArray &payload)
{
    if (payload == "1" || payload == "ON" || payload == "on")
        return true;
    if (payload == "0" || payload == "OFF" || payload == "off")
        return false;
    return std::nullopt;
}

QByteArray IsoTimeMicros(int64_t us)
{
    const int64_t seconds = us >= 0 ? us / 1000000 : -((-us + 999999) / 1000000);
    const int64_t fraction = us - seconds * 1000000;
    const QDateTime t = QDateTime::fromSecsSinceEpoch(seconds, Qt::UTC);
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss")).toLatin1() + '.' +
        QByteArray::number(fraction).rightJustified(6, '0') + 'Z';
}

QByteArray EventJson(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point, bool value,
                     const QString &name)
{
    QByteArray json = "{\"time\": \"" + IsoTimeMicros(timeUtcMicroseconds) +
        "\", \"card\": " + QByteArray::number(card) + ", \"dir\": \"" + Dir(dir).toLatin1() +
        "\", \"point\": " + QByteArray::number(point) + ", \"value\": " + (value ? "1" : "0");
    if (!name.isEmpty())
        json += ", \"name\": " + JsonString(name);
    return json + '}';
}

QString DiscoveryId(const QString &clientId, int32_t card, PointDir dir, int point)
{
    return QStringLiteral("%1_card%2_%3_%4")
        .arg(SafeId(clientId))
        .arg(card)
        .arg(Dir(dir))
        .arg(point);
}

QString DiscoveryNode(const MqttConfig &config)
{
    return SafeId(config.username.isEmpty() ? config.clientId : config.username);
}

QString DiscoveryTopic(const MqttConfig &config, int32_t card, PointDir dir, int point)
{
    const bool sw = dir == PointDir::Out && config.IsWritable(card, point);
    return QStringLiteral("homeassistant/%1/%2/%3/config")
        .arg(sw ? QStringLiteral("switch") : QStringLiteral("binary_sensor"), DiscoveryNode(config),
             DiscoveryId(config.clientId, card, dir, point));
}

QString OldDiscoveryTopic(const QString &clientId, int32_t card, PointDir dir, int point)
{
    return QStringLiteral("homeassistant/%1/%2/config")
        .arg(dir == PointDir::In ? QStringLiteral("binary_sensor") : QStringLiteral("switch"),
             DiscoveryId(clientId, card, dir, point));
}

namespace {

QJsonObject DeviceBlock(const MqttConfig &config, const PlantBoard &board, const PlantInfo &info)
{
    const QString pc = SafeId(config.clientId);
    QString model = board.name.isEmpty() ? QStringLiteral("QRX-L") : board.name;
    if (info.simulated)
        model += QStringLiteral(" (simulated)");
    return {
        {QStringLiteral("identifiers"),
         QJsonArray{QStringLiteral("%1_card%2").arg(pc).arg(board.cardNo)}},
        {QStringLiteral("name"),
         QStringLiteral("%1 card %2").arg(config.hostName).arg(board.cardNo)},
        {QStringLiteral("manufacturer"), QStringLiteral("QRX")},
        {QStringLiteral("model"), model},
        {QStringLiteral("sw_version"), QStringLiteral("0x%1").arg(board.firmware, 0, 16)},
        {QStringLiteral("via_device"), pc},
    };
}

} // namespace

QByteArray DiscoveryConfig(const MqttConfig &config, const PlantBoard &board, PointDir dir,
                           int point, const QString &pointName, const PlantInfo &info)
{
    const QString prefix = config.topicPrefix;
    const QString fallback =
        QStringLiteral("%1 %2").arg(dir == PointDir::In ? "Input" : "Output").arg(point);
    const QJsonArray availability{
        QJsonObject{{QStringLiteral("topic"), StatusTopic(prefix)}},
        QJsonObject{{QStringLiteral("topic"), BoardStatusTopic(prefix, board.cardNo)}},
    };
    QJsonObject object{
        {QStringLiteral("name"), pointName.isEmpty() ? fallback : pointName},
        {QStringLiteral("unique_id"), DiscoveryId(config.clientId, board.cardNo, dir, point)},
        {QStringLiteral("state_topic"), StateTopic(prefix, board.cardNo, dir, point)},
        {QStringLiteral("availability"), availability},
        {QStringLiteral("availability_mode"), QStringLiteral("all")},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("payload_on"), QStringLiteral("1")},
        {QStringLiteral("payload_off"), QStringLiteral("0")},
        {QStringLiteral("qos"), 1},
        {QStringLiteral("device"), DeviceBlock(config, board, info)},
        {QStringLiteral("origin"),
         QJsonObject{{QStringLiteral("name"), QStringLiteral("orvane-agent")},
                     {QStringLiteral("sw"), info.version}}},
    };
    if (dir == PointDir::Out && config.IsWritable(board.cardNo, point)) {
        object.insert(QStringLiteral("command_topic"), SetTopic(prefix, board.cardNo, point));
        object.insert(QStringLiteral("retain"), false);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

QString InfoTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/info");
}

QString GetTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/get");
}

QString BoardStatusTopic(const QString &prefix, int32_t card)
{
    return QStringLiteral("%1/card%2/status").arg(prefix).arg(card);
}

QString ResultTopic(const QString &prefix, int32_t card, int point)
{
    return SetTopic(prefix, card, point) + QStringLiteral("/result");
}

std::optional<std::pair<int32_t, int>> ParseAnySetTopic(const QString &prefix, const QString &topic)
{
    static const QRegularExpression form(QStringLiteral("^/card(\\d{1,9})/out/(\\d{1,9})/set$"));
    if (!topic.startsWith(prefix))
        return std::nullopt;
    const QRegularExpressionMatch m = form.match(QStringView(topic).mid(prefix.size()));
    if (!m.hasMatch())
        return std::nullopt;
    return std::pair<int32_t, int>{m.captured(1).toInt(), m.captured(2).toInt()};
}

SetRequest ParseSetRequest(const QByteArray &payload)
{
    SetRequest r;
    if (!payload.startsWith('{')) {
        r.value = ParseSetPayload(payload);
        return r;
    }
    QJsonParseError error;
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (!doc.isObject()) {
        r.problem = QStringLiteral("is not JSON: %1").arg(error.errorString());
        return r;
    }
    const QJsonObject o = doc.object();
    const QJsonValue id = o.value(QStringLiteral("id"));
    r.id = id.isString() ? id.toString()
        : id.isDouble()  ? QString::number(id.toDouble())
                         : QString();
    const QJsonValue v = o.value(QStringLiteral("value"));
    if (v.isBool())
        r.value = v.toBool();
    else if (v.isDouble() && (v.toDouble() == 0 || v.toDouble() == 1))
        r.value = v.toDouble() == 1;
    else if (v.isString())
        r.value = ParseSetPayload(v.toString().toUtf8());
    if (!r.value)
        r.problem = QStringLiteral("has no \"value\" of 1, 0, true, false, ON or OFF");
    return r;
}

QByteArray SetResultJson(bool ok, bool value, const QString &reason, const QByteArray &request,
                         const QString &id)
{
    QJsonObject o{
        {QStringLiteral("result"), ok ? QStringLiteral("ok") : QStringLiteral("refused")}};
    // The request as it came: as text when it is text, else in base64.
    if (QUtf8StringView(request).isValidUtf8() && !request.contains('\0'))
        o.insert(QStringLiteral("request"), QString::fromUtf8(request));
    else
        o.insert(QStringLiteral("request_base64"), QString::fromLatin1(request.toBase64()));
    if (ok)
        o.insert(QStringLiteral("value"), value ? 1 : 0);
    else
        o.insert(QStringLiteral("reason"), reason);
    if (!id.isEmpty())
        o.insert(QStringLiteral("id"), id);
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

QByteArray InfoJson(const MqttConfig &config, const PlantInfo &info,
                    const std::vector<PlantBoard> &boards, const std::vector<PointState> &states)
{
    QJsonArray list;
    for (const PlantBoard &b : boards) {
        QJsonArray writable;
        QJsonObject names{{QStringLiteral("in"), QJsonObject()},
                          {QStringLiteral("out"), QJsonObject()}};
        for (int point = 0; point < 64; ++point)
            if ((b.outMask >> point & 1) && config.IsWritable(b.cardNo, point))
                writable.append(point);
        for (const PointState &s : states) {
            if (s.card != b.cardNo || s.name.isEmpty())
                continue;
            QJsonObject dir = names.value(Dir(s.dir)).toObject();
            dir.insert(QString::number(s.point), s.name);
            names.insert(Dir(s.dir), dir);
        }
        list.append(
            QJsonObject{{QStringLiteral("card"), b.cardNo},
                        {QStringLiteral("type"), b.type},
                        {QStringLiteral("name"), b.name},
                        {QStringLiteral("firmware"), QStringLiteral("0x%1").arg(b.firmware, 0, 16)},
                        {QStringLiteral("inputs"), b.inputs},
                        {QStringLiteral("outputs"), b.outputs},
                        {QStringLiteral("writable"), writable},
                        {QStringLiteral("names"), names}});
    }
    const QJsonObject o{
        {QStringLiteral("agent"), QStringLiteral("orvane-agent")},
        {QStringLiteral("version"), info.version},
        {QStringLiteral("host"), config.hostName},
        {QStringLiteral("library"), QJsonObject{{QStringLiteral("path"), info.libraryPath}}},
        {QStringLiteral("simulated"), info.simulated},
        {QStringLiteral("interval_ms"), info.intervalMs},
        {QStringLiteral("boards"), list},
    };
    return QJsonDocument(o).toJson(QJsonDocument::Compact);
}

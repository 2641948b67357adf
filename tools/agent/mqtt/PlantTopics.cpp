#include "PlantTopics.h"

#include "config/PointNames.h"
#include "history/ChangeFormat.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

namespace {

QString Dir(PointDir dir)
{
    return DirText(dir);
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
    return ChangeTime(us);
}

QByteArray EventJson(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point, bool value,
                     const QString &name)
{
    return ChangeJson({timeUtcMicroseconds, card, dir, point, value, name});
}

QString DiscoveryId(const QString &clientId, int32_t card, PointDir dir, int point)
{
    return QStringLiteral("%1_card%2_%3_%4")
        .arg(SafeId(clientId))
        .arg(card)
        .arg(Dir(dir))
        .arg(point);
}

QString DiscoveryTopic(const QString &clientId, int32_t card, PointDir dir, int point)
{
    return QStringLiteral("homeassistant/%1/%2/config")
        .arg(dir == PointDir::In ? QStringLiteral("binary_sensor") : QStringLiteral("switch"),
             DiscoveryId(clientId, card, dir, point));
}

QByteArray DiscoveryConfig(const MqttConfig &config, const PlantBoard &board, PointDir dir,
                           int point, const QString &pointName)
{
    const QString prefix = config.topicPrefix;
    const QString boardId =
        QStringLiteral("%1_card%2").arg(SafeId(config.clientId)).arg(board.cardNo);
    QJsonObject device{
        {QStringLiteral("identifiers"), QJsonArray{boardId}},
        {QStringLiteral("name"),
         QStringLiteral("%1 card %2").arg(config.hostName).arg(board.cardNo)},
        {QStringLiteral("model"), board.name.isEmpty() ? QStringLiteral("QRX-L") : board.name},
    };
    const QString fallback = QStringLiteral("Card %1 %2 %3")
                                 .arg(board.cardNo)
                                 .arg(dir == PointDir::In ? "input" : "output")
                                 .arg(point);
    QJsonObject object{
        {QStringLiteral("name"), pointName.isEmpty() ? fallback : pointName},
        {QStringLiteral("unique_id"), DiscoveryId(config.clientId, board.cardNo, dir, point)},
        {QStringLiteral("state_topic"), StateTopic(prefix, board.cardNo, dir, point)},
        {QStringLiteral("availability_topic"), StatusTopic(prefix)},
        {QStringLiteral("payload_available"), QStringLiteral("online")},
        {QStringLiteral("payload_not_available"), QStringLiteral("offline")},
        {QStringLiteral("payload_on"), QStringLiteral("1")},
        {QStringLiteral("payload_off"), QStringLiteral("0")},
        {QStringLiteral("qos"), 1},
        {QStringLiteral("device"), device},
    };
    if (dir == PointDir::Out) {
        object.insert(QStringLiteral("command_topic"), SetTopic(prefix, board.cardNo, point));
        object.insert(QStringLiteral("retain"), false);
    }
    return QJsonDocument(object).toJson(QJsonDocument::Compact);
}

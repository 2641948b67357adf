#include "plant/PlantTopics.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>

#include <limits>

namespace {

constexpr int kMaxBoards = 16; // as many as a board PC's card map holds

// "5" -> 5; no sign, no blanks, at most 10 digits, within int32.
std::optional<int64_t> Number(QStringView text)
{
    if (text.isEmpty() || text.size() > 10)
        return std::nullopt;
    int64_t n = 0;
    for (QChar c : text) {
        if (c < u'0' || c > u'9')
            return std::nullopt;
        n = n * 10 + (c.unicode() - u'0');
    }
    if (n > std::numeric_limits<int32_t>::max())
        return std::nullopt;
    return n;
}

std::optional<QJsonObject> JsonObject(const QByteArray &payload, QString *problem)
{
    QJsonParseError error{};
    const QJsonDocument doc = QJsonDocument::fromJson(payload, &error);
    if (error.error != QJsonParseError::NoError) {
        *problem =
            QStringLiteral("not JSON: %1 at byte %2").arg(error.errorString()).arg(error.offset);
        return std::nullopt;
    }
    if (!doc.isObject()) {
        *problem = QStringLiteral("not a JSON object");
        return std::nullopt;
    }
    return doc.object();
}

// The names of a direction: {"3": "Door"} or ["Door", ...] (index = point).
std::map<int, QString> Names(const QJsonValue &value)
{
    std::map<int, QString> names;
    if (value.isArray()) {
        const QJsonArray array = value.toArray();
        for (int p = 0; p < array.size() && p < PlantTopics::kPoints; ++p)
            if (array[p].isString() && !array[p].toString().isEmpty())
                names[p] = array[p].toString();
        return names;
    }
    const QJsonObject object = value.toObject();
    for (auto it = object.begin(); it != object.end(); ++it) {
        const std::optional<int64_t> p = Number(it.key());
        if (p && *p < PlantTopics::kPoints && it.value().isString())
            names[int(*p)] = it.value().toString();
    }
    return names;
}

uint64_t PointMask(const QJsonArray &points)
{
    uint64_t mask = 0;
    for (const QJsonValue &v : points) {
        const double p = v.toDouble(-1);
        if (p >= 0 && p < PlantTopics::kPoints && p == int(p))
            mask |= 1ull << int(p);
    }
    return mask;
}

std::optional<PlantBoardInfo> Board(const QJsonObject &o)
{
    const double card = o.value(QStringLiteral("card")).toDouble(-1);
    if (card < 0 || card > std::numeric_limits<int32_t>::max() || card != int64_t(card))
        return std::nullopt;
    PlantBoardInfo b;
    b.card = int32_t(card);
    b.type = o.value(QStringLiteral("type")).toVariant().toString();
    b.name = o.value(QStringLiteral("name")).toString();
    b.firmware = o.value(QStringLiteral("firmware")).toVariant().toString();
    b.inCount = std::clamp(o.value(QStringLiteral("inputs")).toInt(), 0, PlantTopics::kPoints);
    b.outCount = std::clamp(o.value(QStringLiteral("outputs")).toInt(), 0, PlantTopics::kPoints);
    b.writable = PointMask(o.value(QStringLiteral("writable")).toArray()) &
        LiveMask(PointDir::Out, b.outCount);
    const QJsonObject names = o.value(QStringLiteral("names")).toObject();
    b.inNames = Names(names.value(QStringLiteral("in")));
    b.outNames = Names(names.value(QStringLiteral("out")));
    return b;
}

PlantUpdate::Presence Presence(const QByteArray &payload, bool *ok)
{
    *ok = true;
    if (payload == "online")
        return PlantUpdate::Online;
    if (payload == "offline")
        return PlantUpdate::Offline;
    *ok = payload.isEmpty();
    return PlantUpdate::Unknown;
}

using Levels = QList<QStringView>;

// <p>/status, <p>/info, <p>/watchdog
void ReadAgentLevel(QStringView first, const QByteArray &payload, PlantUpdate &u)
{
    bool ok = true;
    if (first == QLatin1String("status")) {
        u.kind = PlantUpdate::AgentStatus;
        u.presence = Presence(payload, &ok);
        u.cleared = payload.isEmpty();
    } else if (first == QLatin1String("info")) {
        u.kind = PlantUpdate::Info;
        u.cleared = payload.isEmpty();
        if (!u.cleared)
            ok = bool(u.info = PlantTopics::ParseInfo(payload, &u.problem));
    } else if (first == QLatin1String("watchdog")) {
        u.kind = PlantUpdate::Watchdog;
        u.cleared = payload.isEmpty();
        if (!u.cleared)
            ok = bool(u.watchdog = PlantTopics::ParseWatchdog(payload, &u.problem));
    }
    if (!ok) {
        u.kind = PlantUpdate::Malformed;
        if (u.problem.isEmpty())
            u.problem = QStringLiteral("unknown status payload");
    }
}

// <p>/card<N>/...
void ReadBoardLevels(const Levels &rest, const QByteArray &payload, PlantUpdate &u)
{
    const QStringView first = rest[0];
    if (!first.startsWith(QLatin1String("card")))
        return;
    const std::optional<int64_t> card = Number(first.mid(4));
    if (!card) {
        u.kind = PlantUpdate::Malformed;
        u.problem = QStringLiteral("no card number in %1").arg(first);
        return;
    }
    u.card = int32_t(*card);
    const Levels tail = rest.mid(1);
    if (tail.size() == 1 && tail[0] == QLatin1String("status")) {
        bool ok = true;
        u.kind = PlantUpdate::BoardStatus;
        u.presence = Presence(payload, &ok);
        u.cleared = payload.isEmpty();
        if (!ok) {
            u.kind = PlantUpdate::Malformed;
            u.problem = QStringLiteral("unknown status payload");
        }
        return;
    }
    if (tail.size() == 2 && tail[0] == QLatin1String("status") &&
        tail[1] == QLatin1String("reason")) {
        u.kind = PlantUpdate::BoardReason;
        u.text = QString::fromUtf8(payload.left(1000));
        return;
    }
    const bool in = tail[0] == QLatin1String("in");
    const bool out = tail[0] == QLatin1String("out");
    const bool state = tail.size() == 2 && (in || out);
    const bool result = tail.size() == 4 && out && tail[2] == QLatin1String("set") &&
        tail[3] == QLatin1String("result");
    if (!state && !result)
        return;
    const std::optional<int64_t> point = Number(tail[1]);
    if (!point || *point >= PlantTopics::kPoints) {
        u.kind = PlantUpdate::Malformed;
        u.problem = QStringLiteral("no point %1 on a board").arg(tail[1]);
        return;
    }
    u.point = int(*point);
    u.dir = in ? PointDir::In : PointDir::Out;
    if (result) {
        u.kind = PlantUpdate::SetResult;
        if (!(u.result = PlantTopics::ParseSetResult(payload, &u.problem)))
            u.kind = PlantUpdate::Malformed;
        return;
    }
    u.kind = PlantUpdate::State;
    u.cleared = payload.isEmpty();
    u.value = payload == "1";
    if (!u.cleared && payload != "0" && payload != "1") {
        u.kind = PlantUpdate::Malformed;
        u.problem = QStringLiteral("a state other than 0 or 1");
    }
}

} // namespace

namespace PlantTopics {

QString RootProblem(const QString &root)
{
    if (root.isEmpty())
        return QStringLiteral("the topic root is empty");
    if (root.size() > 200)
        return QStringLiteral("the topic root is longer than 200 characters");
    for (const QString &level : root.split(u'/')) {
        if (level.isEmpty())
            return QStringLiteral("the topic root has an empty level");
        if (level.contains(u'#'))
            return QStringLiteral("the topic root may not contain '#'");
        if (level.contains(u'+') && level != QLatin1String("+"))
            return QStringLiteral("'+' must stand for a whole level");
    }
    return {};
}

QStringList Subscriptions(const QString &root)
{
    QStringList topics;
    for (const char *rest : {"status", "info", "watchdog", "+/status", "+/status/reason", "+/in/+",
                             "+/out/+", "+/out/+/set/result"})
        topics << root + u'/' + QLatin1String(rest);
    return topics;
}

PlantUpdate Parse(const QString &root, const QString &topic, const QByteArray &payload, int size)
{
    PlantUpdate u;
    const Levels want = QStringView(root).split(u'/');
    const Levels levels = QStringView(topic).split(u'/');
    if (levels.size() <= want.size())
        return u;
    for (int i = 0; i < want.size(); ++i)
        if (levels[i].isEmpty() || (want[i] != QLatin1String("+") && want[i] != levels[i]))
            return u;
    u.prefix = topic.left(levels[want.size() - 1].cend() - topic.cbegin());
    if (size > kMaxPayload || payload.size() < size) {
        u.kind = PlantUpdate::Malformed;
        u.problem = QStringLiteral("a payload of %1 bytes is too large").arg(size);
        return u;
    }
    // The levels after the agent's prefix: status, info, watchdog, or cardN/...
    const Levels rest = levels.mid(want.size());
    if (rest.size() == 1)
        ReadAgentLevel(rest[0], payload, u);
    else
        ReadBoardLevels(rest, payload, u);
    return u;
}

std::optional<AgentInventory> ParseInfo(const QByteArray &payload, QString *problem)
{
    const std::optional<QJsonObject> o = JsonObject(payload, problem);
    if (!o)
        return std::nullopt;
    AgentInventory info;
    info.host = o->value(QStringLiteral("host")).toString();
    info.version = o->value(QStringLiteral("version")).toString();
    const QJsonObject library = o->value(QStringLiteral("library")).toObject();
    info.libraryPath = library.value(QStringLiteral("path")).toString();
    info.libraryVersion = library.value(QStringLiteral("version")).toString();
    info.simulated = o->value(QStringLiteral("simulated")).toBool();
    info.intervalMs = o->value(QStringLiteral("interval_ms")).toInt();
    const QJsonArray boards = o->value(QStringLiteral("boards")).toArray();
    for (const QJsonValue &value : boards) {
        std::optional<PlantBoardInfo> board = Board(value.toObject());
        if (!board) {
            *problem = QStringLiteral("a board without a card number");
            return std::nullopt;
        }
        if (int(info.boards.size()) == kMaxBoards) {
            *problem = QStringLiteral("more than %1 boards").arg(kMaxBoards);
            return std::nullopt;
        }
        info.boards[board->card] = std::move(*board);
    }
    return info;
}

std::optional<PlantWatchdogInfo> ParseWatchdog(const QByteArray &payload, QString *problem)
{
    const std::optional<QJsonObject> o = JsonObject(payload, problem);
    if (!o)
        return std::nullopt;
    PlantWatchdogInfo w;
    w.state = o->value(QStringLiteral("state")).toString();
    w.clearable = o->value(QStringLiteral("clearable")).toBool();
    w.trips = int64_t(o->value(QStringLiteral("trips")).toDouble());
    w.lastTrip = o->value(QStringLiteral("last_trip")).toVariant().toString();
    w.reason = o->value(QStringLiteral("reason")).toString();
    return w;
}

std::optional<PlantSetResult> ParseSetResult(const QByteArray &payload, QString *problem)
{
    const std::optional<QJsonObject> o = JsonObject(payload, problem);
    if (!o)
        return std::nullopt;
    PlantSetResult r;
    const QString result = o->value(QStringLiteral("result")).toString();
    if (result != QLatin1String("ok") && result != QLatin1String("refused")) {
        *problem = QStringLiteral("no result");
        return std::nullopt;
    }
    r.ok = result == QLatin1String("ok");
    const QJsonValue value = o->value(QStringLiteral("value"));
    if (value.isDouble() || value.isBool())
        r.value = value.toVariant().toInt() != 0;
    r.reason = o->value(QStringLiteral("reason")).toString();
    // The id: beside the result, or in the request echoed (as an object or as its text).
    QJsonValue request = o->value(QStringLiteral("request"));
    if (request.isString())
        request = QJsonDocument::fromJson(request.toString().toUtf8()).object();
    r.id = o->contains(QStringLiteral("id"))
        ? o->value(QStringLiteral("id")).toString()
        : request.toObject().value(QStringLiteral("id")).toString();
    return r;
}

QString SetTopic(const QString &prefix, int32_t card, int point)
{
    return QStringLiteral("%1/card%2/out/%3/set").arg(prefix).arg(card).arg(point);
}

QByteArray SetPayload(bool value, const QString &id)
{
    return QJsonDocument(
               QJsonObject{{QStringLiteral("value"), value ? 1 : 0}, {QStringLiteral("id"), id}})
        .toJson(QJsonDocument::Compact);
}

QString WatchdogClearTopic(const QString &prefix)
{
    return prefix + QStringLiteral("/watchdog/clear");
}

} // namespace PlantTopics

#pragma once
// What the Plant window reads from the broker, as pure functions: the topics it subscribes to
// under a topic root, and one message (topic and payload) turned into a plain update. Every
// topic and payload the agents publish is read here and nowhere else. QtCore only.

#include "device/LiveBits.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <map>
#include <optional>

// A board as an agent's inventory describes it.
struct PlantBoardInfo
{
    int32_t card = 0;
    QString type;
    QString name; // "QRX-LN64DIO"
    QString firmware;
    int inCount = 0;
    int outCount = 0;
    uint64_t writable = 0; // bit p: output p may be switched from the network
    std::map<int, QString> inNames;
    std::map<int, QString> outNames;
};

// An agent's inventory (<p>/info).
struct AgentInventory
{
    QString host;
    QString version;
    QString libraryPath;
    QString libraryVersion;
    bool simulated = false;
    int intervalMs = 0;
    std::map<int32_t, PlantBoardInfo> boards;
};

// An agent's watchdog (<p>/watchdog).
struct PlantWatchdogInfo
{
    QString state; // "off", "armed", "tripped"
    bool clearable = false;
    int64_t trips = 0;
    QString lastTrip;
    QString reason;
};

// The answer to a set request (<p>/card<N>/out/<P>/set/result).
struct PlantSetResult
{
    bool ok = false;
    std::optional<bool> value; // the value read back
    QString reason; // why it was refused
    QString id; // the request's id
};

// One message, read.
struct PlantUpdate
{
    enum Kind : uint8_t {
        Ignored, // a topic the window does not read (or outside the root)
        Malformed, // a topic it reads with a payload it cannot use: `problem` says why
        AgentStatus, // `presence`: <p>/status
        Info, // `info` (empty payload: `cleared`)
        BoardStatus, // `presence` of `card`
        BoardReason, // `text` of `card`
        State, // `value` of `card`/`dir`/`point` (empty payload: `cleared`)
        SetResult, // `result` for `card`/`point`
        Watchdog, // `watchdog` (empty payload: `cleared`)
    };
    enum Presence : uint8_t { Unknown, Online, Offline };

    Kind kind = Ignored;
    QString prefix; // the agent's topic prefix
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    bool value = false;
    bool cleared = false;
    Presence presence = Unknown;
    QString text;
    QString problem;
    std::optional<AgentInventory> info;
    std::optional<PlantWatchdogInfo> watchdog;
    std::optional<PlantSetResult> result;
};

namespace PlantTopics {

// Larger payloads are not read (an inventory of 16 boards with every point named is far below).
constexpr int kMaxPayload = 256 * 1024;
// The point numbers a board may have (0..63).
constexpr int kPoints = 64;

// Why a topic root cannot be used ("" when it can): one to many levels, no '#', '+' only as a
// whole level, no empty level.
QString RootProblem(const QString &root);
// What the window subscribes to under `root` (QoS 0): the agents' status, inventory,
// watchdog, boards' availability, states and set answers; never their set topics or events.
QStringList Subscriptions(const QString &root);
// Reads one message under `root`. `size` is the payload's real size (it may have been cut).
PlantUpdate Parse(const QString &root, const QString &topic, const QByteArray &payload, int size);

std::optional<AgentInventory> ParseInfo(const QByteArray &payload, QString *problem);
std::optional<PlantWatchdogInfo> ParseWatchdog(const QByteArray &payload, QString *problem);
std::optional<PlantSetResult> ParseSetResult(const QByteArray &payload, QString *problem);

// <p>/card<N>/out/<P>/set and its payload {"value": 1, "id": "..."}.
QString SetTopic(const QString &prefix, int32_t card, int point);
QByteArray SetPayload(bool value, const QString &id);
// <p>/watchdog/clear
QString WatchdogClearTopic(const QString &prefix);

} // namespace PlantTopics

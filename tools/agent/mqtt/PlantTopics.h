#pragma once
// The plant link's topics and payloads, as pure functions: the state, set, status and events
// topics under the prefix, the set payloads it accepts, the change event's JSON, and the
// discovery config messages a dashboard reads to show the boards without setup. QtCore only.

#include "MqttConfig.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>
#include <vector>

QString StatusTopic(const QString &prefix); // <p>/status
QString EventsTopic(const QString &prefix); // <p>/events
QString StateTopic(const QString &prefix, int32_t card, PointDir dir, int point); // <p>/card5/in/3
QString SetTopic(const QString &prefix, int32_t card, int point); // <p>/card5/out/3/set

// The card and output point of a set topic under `prefix`.
std::optional<std::pair<int32_t, int>> ParseSetTopic(const QString &prefix, const QString &topic);
// 1, 0, ON, OFF, on, off: the value to switch to; anything else is refused.
std::optional<bool> ParseSetPayload(const QByteArray &payload);

// 2026-12-08T03:12:00.123456Z
QByteArray IsoTimeMicros(int64_t timeUtcMicroseconds);
// {"time": "...", "card": 5, "dir": "in", "point": 3, "value": 1, "name": "Door sensor"}
QByteArray EventJson(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point, bool value,
                     const QString &name);

// The discovery id of a point: the client id with every character but [A-Za-z0-9_-] replaced
// by '_', then "_card5_in_3".
QString DiscoveryId(const QString &clientId, int32_t card, PointDir dir, int point);
// The discovery node: the MQTT user name (so that a broker ACL "pattern write
// homeassistant/+/%u/#" confines it), or the client id without one; made safe as above.
QString DiscoveryNode(const MqttConfig &config);
// homeassistant/<component>/<node>/<discovery id>/config: a binary sensor for an input and for an
// output that is not writable, a switch for a writable output.
QString DiscoveryTopic(const MqttConfig &config, int32_t card, PointDir dir, int point);
// The form without the node level, which older versions published: cleared once per start.
QString OldDiscoveryTopic(const QString &clientId, int32_t card, PointDir dir, int point);
// What the discovery config and the inventory say about the agent.
struct PlantInfo
{
    QString version; // the agent's
    QString libraryPath;
    bool simulated = false;
    int intervalMs = 0;
};
// The retained config message of a point: a switch for a writable output, else a read-only
// binary sensor; available while both the agent and its board are.
QByteArray DiscoveryConfig(const MqttConfig &config, const PlantBoard &board, PointDir dir,
                           int point, const QString &pointName, const PlantInfo &info = {});

QString InfoTopic(const QString &prefix); // <p>/info
QString GetTopic(const QString &prefix); // <p>/get
QString BoardStatusTopic(const QString &prefix, int32_t card); // <p>/card5/status
QString ResultTopic(const QString &prefix, int32_t card, int point); // .../out/3/set/result
// The card and output point of any <p>/card<N>/out/<P>/set topic (an input's set: nothing).
std::optional<std::pair<int32_t, int>> ParseAnySetTopic(const QString &prefix,
                                                        const QString &topic);

// A set request: "1", "0", "ON", "OFF", "on", "off", or JSON {"value": 1, "id": "..."} (value
// 0, 1, true, false or one of those words; other fields are ignored).
struct SetRequest
{
    std::optional<bool> value; // empty: refused, `problem` says why
    QString id;
    QString problem;
};
SetRequest ParseSetRequest(const QByteArray &payload);
// {"result": "ok", "value": 1, "request": "...", "id": "..."} or {"result": "refused",
// "reason": "...", ...}: the answer on the result topic; a request that is not text is
// echoed as "request_base64".
QByteArray SetResultJson(bool ok, bool value, const QString &reason, const QByteArray &request,
                         const QString &id);
// The inventory: the agent, the library and every board with its writable outputs and names.
QByteArray InfoJson(const MqttConfig &config, const PlantInfo &info,
                    const std::vector<PlantBoard> &boards, const std::vector<PointState> &states);

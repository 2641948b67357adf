#pragma once
// The plant link's topics and payloads, as pure functions: the state, set, status and events
// topics under the prefix, the set payloads it accepts, the change event's JSON, and the
// discovery config messages a dashboard reads to show the boards without setup. QtCore only.

#include "MqttConfig.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <optional>

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
// homeassistant/binary_sensor/<id>/config for an input, homeassistant/switch/<id>/config for
// an output.
QString DiscoveryTopic(const QString &clientId, int32_t card, PointDir dir, int point);
// The retained config message of an input (a binary sensor) or a writable output (a switch).
QByteArray DiscoveryConfig(const MqttConfig &config, const PlantBoard &board, PointDir dir,
                           int point, const QString &pointName);

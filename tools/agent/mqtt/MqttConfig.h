#pragma once
// The plant link's settings: the [Mqtt] section of the agent's INI file, checked against the
// boards the agent reads. Every key is known, every value checked; anything else is an error
// naming the file and the line, and the agent refuses to start rather than guess. QtCore only.

#include "device/LiveBits.h"
#include "link/MqttSession.h"
#include "link/PrivateFile.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <set>
#include <utility>
#include <vector>

// A board as the plant link sees it: the agent fills it from BoardModel's BoardInfo
// (cardNo, name, liveMask(PointDir::In), liveMask(PointDir::Out)).
struct PlantBoard
{
    int32_t cardNo = 0;
    QString name; // "QRX-LN64DIO"; empty for a type without a name
    uint64_t inMask = 0;
    uint64_t outMask = 0;
    int32_t type = 0;
    int32_t firmware = 0;
    int32_t inputs = 0; // as the library counts them
    int32_t outputs = 0;

    bool operator==(const PlantBoard &) const = default;
};

// The value of one live point, as the agent reads it.
struct PointState
{
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    bool value = false;
    QString name; // the point's name from the names file, empty when it has none
};
// One "Key=Value" line of the [Mqtt] section, with its line number in the file.
struct MqttIniLine
{
    int line = 0;
    QString key;
    QString value;
};

enum class Discovery : uint8_t { Off, HomeAssistant };

struct MqttConfig : MqttConnection
{
    QString hostName; // this PC's name, for the defaults and the discovery device block
    QString topicPrefix; // default orvane/<hostname>
    Discovery discovery = Discovery::Off;
    QString discoveryStatusTopic = QStringLiteral("homeassistant/status"); // its birth message
    bool allowWrite = false;
    std::set<std::pair<int32_t, int>> writable; // (card, output point), '*' expanded

    // A set message may switch this output: AllowWrite=1 and the point listed.
    bool IsWritable(int32_t card, int point) const
    {
        return allowWrite && writable.count({card, point}) != 0;
    }
    bool operator==(const MqttConfig &) const = default;
};

struct MqttConfigResult
{
    std::optional<MqttConfig> config;
    QStringList errors; // "FILE:LINE: message", in the order of the lines
};

// Parses the lines of the [Mqtt] section (`sectionLine` is the line of "[Mqtt]", named by
// errors about a missing key). Reads the password file and checks the key file's mode.
MqttConfigResult ParseMqttConfig(const QString &file, int sectionLine,
                                 const std::vector<MqttIniLine> &lines,
                                 const std::vector<PlantBoard> &boards, const QString &hostName);

// Why a topic prefix cannot be used, or an empty string when it can.
QString TopicPrefixProblem(const QString &prefix);

// The outputs a WritablePoints= value names ("5:out:3 5:out:4 7:out:*"), or the reason it
// cannot be written.
std::optional<std::set<std::pair<int32_t, int>>>
ParseWritablePoints(const QString &value, const std::vector<PlantBoard> &boards, QString *error);

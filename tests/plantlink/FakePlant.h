#pragma once
// The boards the plant link tests publish, without a device library: card 5 (8 inputs,
// 8 outputs), card 7 (4 outputs), card 2 (4 inputs, no outputs). Each point's value starts as
// its point number's lowest bit, and input 1 of card 5 is named "Door \"A\"".

#include "MqttConfig.h"
#include "PlantLink.h"

#include <QString>

#include <vector>

std::vector<PlantBoard> FakeBoards();

class FakePlant
{
public:
    FakePlant();
    std::vector<PointState> states; // every live point, in card order
    PlantLink::StateSource source()
    {
        return [this] {
            return states;
        };
    }
    void Set(int32_t card, PointDir dir, int point, bool value);
};

// The [Mqtt] lines of `text` ("Key=Value" per line), numbered from line 2 of "agent.ini".
std::vector<MqttIniLine> IniLines(const QString &text);

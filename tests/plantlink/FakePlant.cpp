#include "FakePlant.h"

std::vector<PlantBoard> FakeBoards()
{
    return {{5, QStringLiteral("QRX-LM32DIO"), 0xFF, 0xFF},
            {7, QStringLiteral("QRX-LN32DO"), 0, 0xF},
            {2, QString(), 0xF, 0}};
}

FakePlant::FakePlant()
{
    for (const PlantBoard &board : FakeBoards())
        for (PointDir dir : {PointDir::In, PointDir::Out})
            for (int bit = 0; bit < 64; ++bit)
                if ((dir == PointDir::In ? board.inMask : board.outMask) >> bit & 1)
                    states.push_back({board.cardNo, dir, bit, bool(bit & 1),
                                      board.cardNo == 5 && dir == PointDir::In && bit == 1
                                          ? QStringLiteral("Door \"A\"")
                                          : QString()});
}

void FakePlant::Set(int32_t card, PointDir dir, int point, bool value)
{
    for (PointState &s : states)
        if (s.card == card && s.dir == dir && s.point == point)
            s.value = value;
}

std::vector<MqttIniLine> IniLines(const QString &text)
{
    std::vector<MqttIniLine> lines;
    int number = 1;
    for (const QString &line : text.split(u'\n')) {
        ++number;
        const int equals = line.indexOf(u'=');
        if (equals > 0)
            lines.push_back({number, line.left(equals), line.mid(equals + 1)});
    }
    return lines;
}

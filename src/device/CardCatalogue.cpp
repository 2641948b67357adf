#include "device/CardCatalogue.h"

#include "device/SystemInfo.h"

#include <cstdio>

QString FamilyText()
{
    return QStringLiteral("QRX-LxxxDIO");
}

bool IsDigitalIoActive(const SystemInfo *info)
{
    return info && info->activeCardType == kDigitalIoClass;
}

QByteArray BoardName(int32_t type, int32_t inputs, int32_t outputs)
{
    const char *format = nullptr;
    int32_t count = outputs;
    switch (type) {
    case kTypeLmDio:
        format = "QRX-LM%2dDIO";
        break;
    case kTypeLnDi:
        format = "QRX-LN%2dDI";
        count = inputs;
        break;
    case kTypeLnDo:
        format = "QRX-LN%2dDO";
        break;
    case kTypeLnDio:
        format = "QRX-LN%2dDIO";
        break;
    default:
        return {};
    }
    char name[32];
    std::snprintf(name, sizeof name, format, count);
    return QByteArray(name);
}

QString CardLabel(int32_t cardNo, const char *boardName)
{
    return QString::number(cardNo) + QStringLiteral(" : ") + QString::fromLatin1(boardName);
}

QString ActiveCardLabel(const SystemInfo &info)
{
    if (!IsDigitalIoActive(&info) || !info.boardTable || !info.cardMap)
        return {};
    const int32_t k = CardIndexOf(*info.cardMap, info.boardTable->boardCount, info.activeCardNo);
    if (k < 0)
        return {};
    return CardLabel(info.activeCardNo, info.boardTable->boardName[k]);
}

QString OutputCountText(int32_t outputs)
{
    return QString::asprintf("DO : %2d", outputs);
}

QString InputCountText(int32_t inputs)
{
    return QString::asprintf("D I : %2d", inputs);
}

QString LibraryVersionText(int32_t version)
{
    const QString s = QString::number(version);
    auto at = [&s](qsizetype i) {
        return i < s.size() ? QString(s[i]) : QString();
    };
    return QStringLiteral("Dll Ver. : ") + at(0) + u'.' + at(2) + u'.' + at(4) + u'.' + s.back();
}

QString FirmwareVersionText(int32_t firmware)
{
    if (firmware == 0 || firmware == 0x51)
        return QStringLiteral("Firmware Ver. : 0.0");
    const QString h = QString::number(uint32_t(firmware), 16);
    return QStringLiteral("Firmware Ver. : ") + h.front() + u'.' + h.back();
}

int32_t CardIndexOf(const CardMap &map, int32_t boardCount, int32_t cardNo)
{
    const int count = BoundBoards(boardCount);
    for (int i = 0; i < count; ++i) {
        if (map.cardNo(i) == cardNo)
            return i;
    }
    return -1;
}

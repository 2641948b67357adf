#include "device/SystemInfo.h"

#include "device/CardCatalogue.h"

#include <cstring>

SystemInfo *g_pSysInfo = nullptr;

SystemRecords::SystemRecords()
    : m_info(std::make_unique<SystemInfo>())
    , m_boardTable(std::make_unique<BoardTable>())
    , m_cardMap(std::make_unique<CardMap>())
{
    // make_unique value-initialises, so every field starts at zero.
    m_info->boardTable = m_boardTable.get();
    m_info->cardMap = m_cardMap.get();
    g_pSysInfo = m_info.get();
}

SystemRecords::~SystemRecords()
{
    if (g_pSysInfo == m_info.get())
        g_pSysInfo = nullptr;
}

bool IsDigitalIoActive()
{
    return IsDigitalIoActive(g_pSysInfo);
}

QString ActiveCardLabel()
{
    return g_pSysInfo ? ActiveCardLabel(*g_pSysInfo) : QString();
}

int32_t CardIndexOf(int32_t cardNo)
{
    if (!g_pSysInfo || !g_pSysInfo->boardTable || !g_pSysInfo->cardMap)
        return -1;
    return CardIndexOf(*g_pSysInfo->cardMap, g_pSysInfo->boardTable->boardCount, cardNo);
}

void CopyAnsi(char *dest, int destSize, const char *src)
{
    if (destSize <= 0)
        return;
    const size_t n = src ? strnlen(src, size_t(destSize - 1)) : 0;
    if (n)
        std::memcpy(dest, src, n);
    dest[n] = '\0';
}

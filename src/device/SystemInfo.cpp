#include "device/SystemInfo.h"

#include <cstring>

SystemRecords::SystemRecords()
    : m_info(std::make_unique<SystemInfo>())
    , m_boardTable(std::make_unique<BoardTable>())
    , m_cardMap(std::make_unique<CardMap>())
{
    // make_unique value-initialises, so every field starts at zero.
    m_info->boardTable = m_boardTable.get();
    m_info->cardMap = m_cardMap.get();
}

SystemRecords::~SystemRecords() = default;

void CopyAnsi(char *dest, int destSize, const char *src)
{
    if (destSize <= 0)
        return;
    const size_t n = src ? strnlen(src, size_t(destSize - 1)) : 0;
    if (n)
        std::memcpy(dest, src, n);
    dest[n] = '\0';
}

#pragma once
// The shared record every window reads, with the board table and the card map that hang from
// it. The board model (model/BoardModel.h) owns them and alone writes them.

#include "device/CardMap.h"

#include <QString>

#include <cstdint>
#include <memory>

constexpr int kCardClasses = 5;
constexpr int kDigitalIoClass = 3;

struct BoardTable
{
    int32_t boardCount; // as DXS_devSysLoad reported it; bound with BoundBoards() before use
    int32_t diCount[kMaxBoards];
    int32_t doCount[kMaxBoards];
    char boardName[kMaxBoards][kPathBytes];
};

struct SystemInfo
{
    int32_t logLevel;
    int32_t activeCardType;
    int32_t previousCardType;
    int32_t activeCardNo;
    int32_t focusViewKind;
    int32_t announcedViewKind;
    char settingsPath[kPathBytes];
    char logFilePath[kPathBytes];
    int32_t paramChanged[kCardClasses][kMaxBoards];
    BoardTable *boardTable;
    CardMap *cardMap;
};

// Allocates the three records zero-filled, joined by their pointers, and frees them again.
class SystemRecords
{
public:
    SystemRecords();
    ~SystemRecords();
    SystemRecords(const SystemRecords &) = delete;
    SystemRecords &operator=(const SystemRecords &) = delete;

    SystemInfo *info() const { return m_info.get(); }

private:
    std::unique_ptr<SystemInfo> m_info;
    std::unique_ptr<BoardTable> m_boardTable;
    std::unique_ptr<CardMap> m_cardMap;
};

// Copies a string into a fixed ANSI buffer, always terminated, cut to fit.
void CopyAnsi(char *dest, int destSize, const char *src);

#pragma once
// The simulator's own failure statuses. They lie apart from the load statuses of the device
// interface (-1001 .. -1038), so a caller can tell a simulated hardware fault from a misuse.
// sim/README.md lists each one.

#include <cstdint>

enum SimStatus : int32_t {
    kSimOk = 0,
    kSimNotLoaded = -2001,
    kSimBadCard = -2002,
    kSimBadPoint = -2003,
    kSimBadModule = -2004,
    kSimBadValue = -2005,
    kSimNullPointer = -2006,
    kSimPathTooLong = -2007,
    kSimBoardFileMissing = -2010,
    kSimBoardFileBad = -2011,
    kSimStateFileError = -2012,
    kSimStateLost = -2013,
    kSimParamFileMissing = -2020,
    kSimParamFileCorrupt = -2021,
    kSimParamFileWrite = -2022,
    kSimLogFileError = -2030,
};

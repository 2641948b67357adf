#pragma once
// What the statuses of the device calls mean: one table for the program's start-up failure
// texts (SystemLoad.h) and for the refusals the tools print. The simulated library's own
// statuses (sim/README.md) are explained only when that library is the one bound; from
// another library the same number may mean something else, so it stands alone.

#include <QString>

#include <cstdint>

// The start-up text of a failed load with this status (the program's "Fail! ..." texts), or
// nullptr for a status that has none of its own.
const char *LoadTextOf(int32_t status);
// What the status means ("the parameter file could not be written"); empty when the table does
// not explain it for this library.
QString StatusMeaning(int32_t status, bool simulated);
// "-2022: the parameter file could not be written", or "-2022" alone; `simulated` as the
// bound library (LoadedLibrary) says.
QString StatusText(int32_t status, bool simulated);
QString StatusText(int32_t status);

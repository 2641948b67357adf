#pragma once
// "qrxio history": the changes orvane-agent recorded, read back from its database (read-only,
// while the agent writes or while it is stopped), as monitor's lines or JSON objects, or as
// the CSV and VCD files the Change Log exports. Needs no device library. Its row, options,
// check and run are in the command table (Commands.h).

#include "HistoryTime.h"

#pragma once
// Window tests build their board model over the recording fake, as the program loads it.

#include "device/SystemInfo.h"

#include <optional>

class BoardModel;
class FakeDevice;

// Loads `model` from the fake's boards as the program does (DXS_devSysLoad in automatic mode,
// the card map, then the boards as the tree reads them), makes `activeCardNo` (default: the
// first board of the map, as the load leaves it) and `activeCardType` active, and forgets the
// calls this made, so that a test's call sequences start afresh.
void LoadModel(BoardModel &model, FakeDevice &fake, std::optional<int32_t> activeCardNo = {},
               int32_t activeCardType = kDigitalIoClass);

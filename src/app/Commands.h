#pragma once
// The status-bar text of each command of the menu bar, the "Main" tool bar and the tree's
// context menu.

#include "res/ResourceIds.h"

#include <QString>

// The status-bar text of a command; empty for a command without one.
QString CommandStatusText(int id);

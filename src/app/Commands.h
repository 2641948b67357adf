#pragma once
// Command identifiers of the menu bar, the "Main" tool bar and the tree's context menu, with
// the status-bar text of each.

#include <QString>

enum CommandId : int {
    ID_SYS_RESET = 32771,
    ID_LOG_LEVEL = 32772,
    ID_SYSTEM_IO = 32773,
    ID_DIGITAL_IO = 32774,
    ID_SET_ACTIVE_CONTROLLER = 32793,
    ID_WINDOW_CLOSE_ALL = 32794,
    ID_CONTROLLER_SELECT = 32796,
    ID_ENV_SETUP = 32802,
    ID_SAVE_PARAM = 32807,
    ID_POINT_NAMES = 32810,
    ID_CHANGE_LOG = 32811,
    ID_WINDOW_LIST = 35000,
    ID_WINDOW_CASCADE = 57650,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

// The status-bar text of a command; empty for a command without one.
QString CommandStatusText(int id);

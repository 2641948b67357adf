#pragma once

// Numeric ids of the program's images. Each id names one SVG file in this folder
// ("<id>.svg"); the tree image strip and the tool bar hold several images under one id.
enum ResourceId {
    IDR_MAINFRAME = 128, // the program icon
    IDB_TREE_STRIP = 133, // tree images, 16 x 16, by index
    IDI_LED_ON = 293, // green lamp on grey: input on
    IDI_LED_UNAVAILABLE = 295, // flat dark grey disc on grey: point not present
    IDI_LED_OFF = 297, // silver lamp on grey: off
    IDI_RUN_LED_OFF = 298, // silver lamp on white
    IDI_LED_OUTPUT_ON = 299, // red lamp on grey: output on
    IDI_RUN_LED_ON = 300, // red lamp on white
    IDI_DIGITAL_IO = 301, // window icon of the Digital IO window
    IDI_SYSTEM_IO = 302, // window icon of the System IO window
    IDB_ROW_BAR_0 = 303, // numbered row bars 0 ... 3, 185 x 21
    IDB_ROW_BAR_1 = 304,
    IDB_ROW_BAR_2 = 305,
    IDB_ROW_BAR_3 = 306,
    IDI_EXIT = 307, // door with an arrow, 20 x 16
    IDI_SET_PRM = 308, // gear with a check mark, 20 x 16
    IDI_OK = 322, // green check, 20 x 16
    IDI_CANCEL = 323, // red cross, 20 x 16
    IDI_RESET = 324, // red return arrow, 20 x 16
    IDR_TOOLBAR = 327, // tool bar images, 32 x 32, by command id
};

// Images of the tree image strip, by index.
enum TreeImage {
    TREE_IMAGE_WINDOWS = 0, // overlapping windows: the root
    TREE_IMAGE_VIOLET_GEM = 4, // firmware version
    TREE_IMAGE_BLUE_GEM = 5, // library version
    TREE_IMAGE_BOARD = 7, // green circuit board: a board
    TREE_IMAGE_CONNECTOR = 11, // connector block: input and output counts
};

// Tool bar images, by the command id of their button.
enum ToolBarImage {
    TOOLBAR_IMAGE_SYSTEM_IO = 32773,
    TOOLBAR_IMAGE_DIGITAL_IO = 32774,
};

// Command identifiers of the menu bar, the "Main" tool bar and the tree's context menu.
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
    ID_PLANT = 32812,
    ID_PLANT_BROKER = 32813,
    ID_WINDOW_LIST = 35000,
    ID_WINDOW_CASCADE = 57650,
    ID_APP_ABOUT = 57664,
    ID_APP_EXIT = 57665,
};

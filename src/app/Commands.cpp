#include "app/Commands.h"

QString CommandStatusText(int id)
{
    switch (id) {
    case ID_SYS_RESET:
        return QStringLiteral("System Reset");
    case ID_LOG_LEVEL:
        return QStringLiteral("Log Level Setup");
    case ID_SYSTEM_IO:
        return QStringLiteral("System I/O Monitoring");
    case ID_DIGITAL_IO:
        return QStringLiteral("Digital I/O Monitoring");
    case ID_WINDOW_CLOSE_ALL:
        return QStringLiteral("Close all windows");
    case ID_ENV_SETUP:
        return QStringLiteral("System Environment Setup");
    case ID_SAVE_PARAM:
        return QStringLiteral("Save Parameter To File");
    case ID_POINT_NAMES:
        return QStringLiteral("Point Names Setup");
    case ID_CHANGE_LOG:
        return QStringLiteral("Change Log Monitoring");
    case ID_PLANT:
        return QStringLiteral("Plant Monitoring");
    case ID_PLANT_BROKER:
        return QStringLiteral("Plant Broker Setup");
    case ID_WINDOW_CASCADE:
        return QStringLiteral("Arrange windows so they overlap");
    case ID_APP_ABOUT:
        return QStringLiteral("Display program information, version number and copyright");
    case ID_APP_EXIT:
        return QStringLiteral("Quit the application; prompts to save documents");
    default:
        return {};
    }
}

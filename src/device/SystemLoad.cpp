#include "device/SystemLoad.h"

#include "device/StatusText.h"

QString LoadFailureText(int32_t status)
{
    const char *text = LoadTextOf(status);
    return QString::fromLatin1(text ? text : "Fail! Load Device Driver...");
}

QString OpenModeQuestion()
{
    return QStringLiteral("Controller Open Mode Error.\nDo you want to reload the controller?");
}

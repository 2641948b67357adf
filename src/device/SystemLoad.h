#pragma once
// The texts of a failed system load, by the status DXS_devSysLoad answered.

#include <QString>
#include <cstdint>

QString LoadFailureText(int32_t status);
QString OpenModeQuestion();

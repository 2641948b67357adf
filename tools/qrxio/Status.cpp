#include "Status.h"

#include "Output.h"
#include "device/StatusText.h"

#include <cstdio>

QString FailedCall::text() const
{
    return QStringLiteral("%1 failed with status %2").arg(call, StatusText(status));
}

int UsageError(const QString &message)
{
    Output::Message(message);
    std::fprintf(stderr, "Try \"qrxio --help\".\n");
    return kExitUsage;
}

int Refused(const FailedCall &failed)
{
    return RefusedWith(failed.text());
}

int Refused(const QString &call, int32_t status)
{
    return Refused(FailedCall{call, status});
}

int RefusedWith(const QString &message)
{
    Output::Message(message);
    return kExitRefused;
}

// qrxio: the QRX-L boards from a terminal.
#include "Arguments.h"
#include "QrxIo.h"
#include "StopSignal.h"

#include <QCoreApplication>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    // The program's names, so that its per-user settings file is the one read here.
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    StopSignal::Install();

    Arguments args;
    QString error;
    if (!Arguments::Parse(app.arguments().mid(1), &args, &error))
        return QrxIo::UsageError(error);
    return QrxIo(args, QCoreApplication::applicationDirPath()).Run();
}

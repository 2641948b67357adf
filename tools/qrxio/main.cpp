// qrxio: the QRX-L boards from a terminal.
#include "Arguments.h"
#include "Output.h"
#include "QrxIo.h"
#include "Status.h"
#include "StopSignal.h"

#include <QCoreApplication>

#include <cerrno>
#include <fcntl.h>

namespace {

// Qt's warnings (a settings file that is not read, ...) as qrxio's own messages.
void PrintMessage(QtMsgType, const QMessageLogContext &, const QString &message)
{
    Output::Message(message);
}

} // namespace

int main(int argc, char **argv)
{
    // A standard stream started closed ("qrxio list >&-") would give its number to the next
    // file opened, and what is printed would land there, in the boards' state file perhaps.
    // /dev/null, opened for reading, takes its place: a write then fails and is reported.
    for (int fd = 0; fd <= 2; ++fd) {
        if (fcntl(fd, F_GETFD) < 0 && errno == EBADF && open("/dev/null", O_RDONLY) != fd)
            return 1;
    }
    QCoreApplication app(argc, argv);
    // The program's names, so that its per-user settings file is the one read here.
    QCoreApplication::setApplicationName(QStringLiteral("Orvane"));
    QCoreApplication::setOrganizationName(QStringLiteral("Orvane"));
    qInstallMessageHandler(PrintMessage);
    StopSignal::Install();
    Arguments args;
    QString error;
    if (!Arguments::Parse(app.arguments().mid(1), &args, &error))
        return UsageError(error);
    return QrxIo(args, QCoreApplication::applicationDirPath()).Run();
}

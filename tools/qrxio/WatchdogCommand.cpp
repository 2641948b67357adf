// qrxio watchdog [show|clear] [--socket PATH]: the safe-state watchdog of the orvane-agent on
// this PC, through its local socket (no device library, no file written).
#include "Commands.h"
#include "Output.h"
#include "QrxIo.h"
#include "Status.h"

#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

namespace {

// Sends `command` and answers the agent's one line, or an empty array with `error` set.
QByteArray Ask(const QString &path, const QByteArray &command, QString *error)
{
    const QByteArray name = QFile::encodeName(path);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    if (size_t(name.size()) >= sizeof address.sun_path) {
        *error = QStringLiteral("the socket path %1 is too long").arg(path);
        return {};
    }
    std::memcpy(address.sun_path, name.constData(), size_t(name.size()));
    const int fd = socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    QByteArray reply;
    if (fd < 0 || connect(fd, reinterpret_cast<sockaddr *>(&address), sizeof address) != 0) {
        const int e = errno;
        *error = QStringLiteral("cannot reach orvane-agent's watchdog at %1: %2")
                     .arg(path, QString::fromLocal8Bit(strerror(e)));
        if (e == EACCES)
            *error += QStringLiteral(" (members of group orvane may use it)");
        else if (e == ENOENT || e == ECONNREFUSED)
            *error += QStringLiteral(" (is the agent running, with a [Watchdog] section?)");
    } else if (send(fd, command.constData(), size_t(command.size()), MSG_NOSIGNAL) < 0) {
        *error = QStringLiteral("cannot write to %1").arg(path);
    } else {
        char buffer[4096];
        pollfd p{fd, POLLIN, 0};
        while (!reply.contains('\n') && poll(&p, 1, 5000) > 0) {
            const ssize_t n = read(fd, buffer, sizeof buffer);
            if (n <= 0)
                break;
            reply.append(buffer, int(n));
        }
        if (reply.isEmpty())
            *error = QStringLiteral("orvane-agent did not answer at %1").arg(path);
    }
    if (fd >= 0)
        close(fd);
    return reply.trimmed();
}

const OptionSpec kOptions[] = {
    {"--socket", nullptr, "PATH", "the agent's socket (default /run/orvane/watchdog.sock)",
     [](const QString &v, Arguments *a, QString *e) {
         a->socket = v;
         return !v.isEmpty() || (*e = QStringLiteral("--socket needs a path"), false);
     }},
};

} // namespace

std::span<const OptionSpec> WatchdogOptions()
{
    return kOptions;
}

int CheckWatchdog(QrxIo &tool)
{
    const QStringList &ops = tool.args.operands;
    if (!ops.isEmpty() && ops.first() != u"show" && ops.first() != u"clear")
        return UsageError(
            QStringLiteral("watchdog takes show or clear, not %1").arg(Quoted(ops.first())));
    return kExitOk;
}

int RunWatchdog(QrxIo &tool)
{
    const bool clear = tool.args.operands.value(0) == u"clear";
    QString error;
    const QByteArray reply = Ask(tool.args.socket, clear ? "clear\n" : "show\n", &error);
    if (reply.isEmpty())
        return RefusedWith(error);
    const QJsonObject o = QJsonDocument::fromJson(reply).object();
    QString text;
    for (const char *key : {"state", "timeoutMs", "trips", "lastTrip", "reason"})
        text += QStringLiteral("%1=%2\n").arg(QLatin1String(key),
                                              o[QLatin1String(key)].toVariant().toString());
    tool.out.Result(text.trimmed(), o);
    if (clear && !o[QStringLiteral("cleared")].toBool())
        return RefusedWith(o[QStringLiteral("error")].toString());
    return kExitOk;
}

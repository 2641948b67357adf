#include "ModbusClients.h"

#include <QProcess>
#include <QRegularExpression>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <poll.h>
#include <sys/socket.h>
#include <unistd.h>

#include <QElapsedTimer>

int FreePort()
{
    const int fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t size = sizeof a;
    const bool ok = bind(fd, reinterpret_cast<sockaddr *>(&a), size) == 0 &&
        getsockname(fd, reinterpret_cast<sockaddr *>(&a), &size) == 0;
    close(fd);
    return ok ? ntohs(a.sin_port) : 0;
}

MbpollRun Mbpoll(int port, const QStringList &args)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::MergedChannels);
    p.start(QStringLiteral("mbpoll"),
            QStringList{"-m", "tcp", "-0", "-1", "-o", "3", "-p", QString::number(port)} + args);
    MbpollRun run;
    if (!p.waitForFinished(20000)) {
        p.kill();
        p.waitForFinished();
        return run;
    }
    run.status = p.exitStatus() == QProcess::NormalExit ? p.exitCode() : -1;
    run.out = QString::fromLocal8Bit(p.readAll());
    static const QRegularExpression value(QStringLiteral("^\\[\\d+\\]:\\s+(\\S+)"),
                                          QRegularExpression::MultilineOption);
    for (auto it = value.globalMatch(run.out); it.hasNext();)
        run.values << it.next().captured(1);
    return run;
}

QString Python(int port, const QString &script)
{
    QProcess p;
    p.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    p.start(QStringLiteral("/usr/bin/python3"), {"-c", script, QString::number(port)});
    if (!p.waitForFinished(60000)) {
        p.kill();
        p.waitForFinished();
    }
    return QString::fromUtf8(p.readAllStandardOutput());
}

RawClient::RawClient(int port)
{
    m_fd = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_port = htons(uint16_t(port));
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    if (m_fd >= 0 && connect(m_fd, reinterpret_cast<sockaddr *>(&a), sizeof a) != 0) {
        close(m_fd);
        m_fd = -1;
    }
}

RawClient::~RawClient()
{
    if (m_fd >= 0)
        close(m_fd);
}

bool RawClient::Send(const QByteArray &bytes)
{
    return send(m_fd, bytes.constData(), size_t(bytes.size()), MSG_NOSIGNAL) == bytes.size();
}

QByteArray RawClient::Read(int ms)
{
    QByteArray got;
    QElapsedTimer timer;
    timer.start();
    char buffer[512];
    pollfd p{m_fd, POLLIN, 0};
    // A reply: the header's length says when it is whole.
    while (timer.elapsed() < ms && poll(&p, 1, int(ms - timer.elapsed())) > 0) {
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            break;
        got.append(buffer, int(n));
        if (got.size() >= 6 && got.size() >= 6 + (uchar(got[4]) << 8 | uchar(got[5])))
            break;
    }
    return got;
}

bool RawClient::ClosedWithin(int ms)
{
    QElapsedTimer timer;
    timer.start();
    char buffer[512];
    pollfd p{m_fd, POLLIN, 0};
    while (timer.elapsed() < ms && poll(&p, 1, int(ms - timer.elapsed())) > 0) {
        const ssize_t n = recv(m_fd, buffer, sizeof buffer, 0);
        if (n <= 0)
            return true;
    }
    return false;
}

QByteArray ModbusFrame(int unit, const QByteArray &pduHex)
{
    const QByteArray pdu = QByteArray::fromHex(pduHex);
    QByteArray frame = QByteArray::fromHex("00010000");
    frame.append(char((pdu.size() + 1) >> 8)).append(char(pdu.size() + 1)).append(char(unit));
    return frame + pdu;
}

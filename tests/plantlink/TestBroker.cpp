#include "TestBroker.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <arpa/inet.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <pwd.h>

namespace {

// Binds a socket to 127.0.0.1 on port `port` (0: any free one) and answers the port, or 0.
int ProbePort(int port, bool connectOnly)
{
    const int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_in address = {};
    address.sin_family = AF_INET;
    address.sin_port = htons(uint16_t(port));
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    auto *a = reinterpret_cast<sockaddr *>(&address);
    socklen_t size = sizeof address;
    const bool ok = connectOnly ? ::connect(fd, a, size) == 0
                                : ::bind(fd, a, size) == 0 && ::getsockname(fd, a, &size) == 0;
    ::close(fd);
    return ok ? ntohs(address.sin_port) : 0;
}

} // namespace

QString WritePrivateFile(const QString &dir, const QString &name, const QByteArray &text)
{
    QFile file(dir + u'/' + name);
    file.open(QIODevice::WriteOnly | QIODevice::Truncate);
    file.write(text);
    file.setPermissions(QFile::ReadOwner | QFile::WriteOwner);
    return file.fileName();
}

TestBroker::TestBroker(const QString &dir)
    : m_dir(dir)
{
    QDir().mkpath(dir);
}

TestBroker::~TestBroker()
{
    Stop();
}

bool TestBroker::WriteFiles(QString *error)
{
    const QString passwdFile = m_dir + QStringLiteral("/passwd");
    QFile::remove(passwdFile);
    const int rc = QProcess::execute(QStringLiteral("mosquitto_passwd"),
                                     {QStringLiteral("-b"), QStringLiteral("-c"), passwdFile,
                                      QString::fromLatin1(kUser), QString::fromLatin1(kPassword)});
    if (rc != 0) {
        *error = QStringLiteral("mosquitto_passwd failed (%1)").arg(rc);
        return false;
    }
    for (const QString &user : m_users)
        QProcess::execute(QStringLiteral("mosquitto_passwd"),
                          {QStringLiteral("-b"), passwdFile, user, QString::fromLatin1(kPassword)});
    const QByteArray acl = m_acl.isEmpty() ? QByteArray()
                                           : "acl_file " +
            QFile::encodeName(WritePrivateFile(m_dir, QStringLiteral("acl"), m_acl)) + '\n';
    const struct passwd *me = getpwuid(geteuid());
    const QByteArray config = "listener " + QByteArray::number(m_port) + " 127.0.0.1\n" +
        "allow_anonymous false\npassword_file " + QFile::encodeName(passwdFile) +
        "\npersistence false\nlog_dest file " + QFile::encodeName(m_dir) + "/broker.log\n" +
        (m_quiet ? "log_type error\nlog_type warning\n" : "log_type all\n") +
        "max_queued_messages " + QByteArray::number(m_maxQueued) + "\nset_tcp_nodelay true\nuser " +
        QByteArray(me ? me->pw_name : "root") + "\n" + acl;
    WritePrivateFile(m_dir, QStringLiteral("mosquitto.conf"), config);
    return true;
}

bool TestBroker::Start(QString *error)
{
    if (m_port == 0)
        m_port = ProbePort(0, false);
    if (m_port == 0 || !WriteFiles(error))
        return false;
    qint64 pid = 0;
    if (!QProcess::startDetached(QStringLiteral("mosquitto"),
                                 {QStringLiteral("-c"), m_dir + QStringLiteral("/mosquitto.conf")},
                                 m_dir, &pid)) {
        *error = QStringLiteral("cannot start mosquitto");
        return false;
    }
    m_pid = pid_t(pid);
    for (int i = 0; i < 500; ++i) {
        if (ProbePort(m_port, true) == m_port)
            return true;
        QThread::msleep(10);
    }
    *error = QStringLiteral("mosquitto did not listen on port %1: %2").arg(m_port).arg(log());
    Stop();
    return false;
}

void TestBroker::Stop()
{
    if (m_pid <= 0)
        return;
    ::kill(m_pid, SIGTERM);
    ::kill(m_pid, SIGCONT); // a stalled broker takes the SIGTERM
    for (int i = 0; i < 500 && ::kill(m_pid, 0) == 0; ++i)
        QThread::msleep(10);
    if (::kill(m_pid, 0) == 0)
        ::kill(m_pid, SIGKILL);
    m_pid = -1;
    // The port must be free again before the next start.
    for (int i = 0; i < 500 && ProbePort(m_port, true) == m_port; ++i)
        QThread::msleep(10);
}

void TestBroker::Pause(bool paused)
{
    if (m_pid > 0)
        ::kill(m_pid, paused ? SIGSTOP : SIGCONT);
}

QString TestBroker::log() const
{
    QFile file(m_dir + QStringLiteral("/broker.log"));
    file.open(QIODevice::ReadOnly);
    return QString::fromUtf8(file.readAll());
}

#include "AgentRun.h"

#include <QDeadlineTimer>

#include <csignal>

AgentRun::AgentRun(const QStringList &args)
{
    m_process.start(qEnvironmentVariable("ORVANE_AGENT"), args);
}

AgentRun::~AgentRun()
{
    if (m_process.state() != QProcess::NotRunning) {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
}

bool AgentRun::WaitFor(const QString &text)
{
    QDeadlineTimer deadline(20000);
    while (!err().contains(text) && !deadline.hasExpired()) {
        if (m_process.state() == QProcess::NotRunning)
            return err().contains(text);
        m_process.waitForReadyRead(100);
    }
    return err().contains(text);
}

void AgentRun::Signal(int signal)
{
    ::kill(pid_t(m_process.processId()), signal);
}

int AgentRun::Finish()
{
    if (m_process.state() != QProcess::NotRunning && !m_process.waitForFinished(20000))
        return -1;
    if (m_process.exitStatus() != QProcess::NormalExit)
        return -1;
    return m_process.exitCode();
}

QString AgentRun::err()
{
    m_err += QString::fromLocal8Bit(m_process.readAllStandardError());
    return m_err;
}

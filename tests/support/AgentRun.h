#pragma once
// An orvane-agent process of a test (the one the test environment names in ORVANE_AGENT); its
// stderr is collected as it runs, and it is killed when the test forgets to stop it.

#include <QProcess>
#include <QString>
#include <QStringList>

class AgentRun
{
public:
    explicit AgentRun(const QStringList &args);
    ~AgentRun();
    // Waits until stderr holds `text`; false when the agent ended or 20 s passed first.
    bool WaitFor(const QString &text);
    void Signal(int signal);
    // The exit status once it ended (-1 when it did not end within 20 s or crashed).
    int Finish();
    QString err();

private:
    QProcess m_process;
    QString m_err;
};

#pragma once
// A Mosquitto broker of a test's own: it listens on 127.0.0.1 on a free port, with its own
// config, password file (user "orvane", password "secret") and log in `dir`, and no
// persistence, so a restart forgets every retained message. Stopped by its process id.

#include <QString>
#include <QStringList>

#include <sys/types.h>

class TestBroker
{
public:
    explicit TestBroker(const QString &dir);
    ~TestBroker();

    // Starts the broker (the first start picks the port, later ones reuse it) and waits
    // until it accepts connections; false with `error` when it does not.
    bool Start(QString *error);
    void Stop();
    // Stalls the broker (SIGSTOP: it holds every connection and answers nothing) or lets it go
    // on (SIGCONT).
    void Pause(bool paused);

    // Before Start(): more users (with kPassword) and an ACL file's text.
    void SetAcl(const QStringList &users, const QByteArray &acl)
    {
        m_users = users;
        m_acl = acl;
    }
    // For a benchmark, before Start(): the broker's queue per client (as a site with many
    // board PCs raises it) and a log of errors and warnings only, not of every message.
    void SetLoad(int maxQueuedMessages)
    {
        m_maxQueued = maxQueuedMessages;
        m_quiet = true;
    }

    int port() const { return m_port; }
    QString dir() const { return m_dir; }
    QString log() const; // what the broker logged (every log type)

    static constexpr const char *kUser = "orvane";
    static constexpr const char *kPassword = "secret";

private:
    bool WriteFiles(QString *error);

    QString m_dir;
    int m_port = 0;
    pid_t m_pid = -1;
    QStringList m_users;
    QByteArray m_acl;
    int m_maxQueued = 100000;
    bool m_quiet = false;
};

// A file of `dir` holding `text`, readable by its owner alone; answers its path.
QString WritePrivateFile(const QString &dir, const QString &name, const QByteArray &text);

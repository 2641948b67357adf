#pragma once
// The watchdog's local socket, for "qrxio watchdog" at the PC: a Unix socket in the service's
// runtime folder (mode 0660: the agent's group may show and clear, others nothing). A client
// sends one line, "show" or "clear", and gets one line of JSON back; the socket is removed
// when the agent stops.

#include <QObject>
#include <QString>

#include <functional>
#include <memory>

class QSocketNotifier;

class WatchdogSocket : public QObject
{
    Q_OBJECT

public:
    // Answers a command line ("show", "clear") with one line of JSON.
    using Handler = std::function<QByteArray(const QByteArray &command)>;

    WatchdogSocket(const QString &path, Handler handler);
    ~WatchdogSocket() override;
    bool Listen(QString *error);

    // The socket path when neither the config nor the service names one:
    // $RUNTIME_DIRECTORY/watchdog.sock, else /run/orvane/watchdog.sock.
    static QString DefaultPath();

private:
    void Accept();

    QString m_path;
    Handler m_handler;
    int m_fd = -1;
    std::unique_ptr<QSocketNotifier> m_notifier;
};

#pragma once
// Modbus clients for the tests: mbpoll and a Python script on Debian's pymodbus, run as
// processes, and raw sockets for frames no client would send. Only 127.0.0.1.

#include <QByteArray>
#include <QString>
#include <QStringList>

// A free TCP port on 127.0.0.1.
int FreePort();

struct MbpollRun
{
    int status = -1;
    QString out; // stdout and stderr
    QStringList values; // the values read ("[3]: 1" -> "1"; hex words as mbpoll prints them)
};

// mbpoll -m tcp -0 -1 -p PORT 127.0.0.1 with `args` (type, reference, count, values).
MbpollRun Mbpoll(int port, const QStringList &args);

// Runs `script` with /usr/bin/python3 (pymodbus), its first argument the port; stdout.
QString Python(int port, const QString &script);

// A raw TCP connection to 127.0.0.1:port.
class RawClient
{
public:
    explicit RawClient(int port);
    ~RawClient();
    bool connected() const { return m_fd >= 0; }
    bool Send(const QByteArray &bytes);
    // The reply's bytes within `ms`, empty when none came.
    QByteArray Read(int ms);
    // Whether the server closed the connection within `ms`.
    bool ClosedWithin(int ms);

private:
    int m_fd = -1;
};

// An MBAP frame: transaction 1, protocol 0, the length of unit and PDU.
QByteArray ModbusFrame(int unit, const QByteArray &pduHex);

#pragma once
// One connection to an MQTT broker through libmosquitto, kept up by a thread of its own: it
// looks the broker's name up, connects, runs the network loop, and after a loss or a refusal
// waits 1, 2, 4 ... up to 30 s before it tries again, forever, until Stop(). Name lookups,
// connects and TLS handshakes block that thread, never the thread that owns the session, whose
// event loop keeps its pace. What the broker says arrives as queued signals in the thread that
// owns the session; Publish, Subscribe and Unsubscribe may be called from it at any time
// (libmosquitto queues them and wakes the loop). Used by the agent's plant link and by the
// program's Plant window. QtCore only.

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <memory>

// Where and how to connect.
struct MqttConnection
{
    QString host;
    int port = 1883; // 8883 with TLS, unless set otherwise
    QString clientId;
    QString username; // no login when empty
    QByteArray password; // sent with the user name when not empty
    QString caFile; // TLS is on when set; the broker's certificate is verified against it
    QString certFile; // optional client certificate and its key
    QString keyFile;
    int keepAliveS = 30;

    bool tls() const { return !caFile.isEmpty(); }
    bool operator==(const MqttConnection &) const = default;
};

class MqttSession : public QObject
{
    Q_OBJECT

public:
    // `willTopic` receives `willPayload` (retained, QoS 1) from the broker when the
    // connection breaks without a goodbye; no last will when `willTopic` is empty.
    explicit MqttSession(const MqttConnection &connection, const QString &willTopic = {},
                         const QByteArray &willPayload = {}, QObject *parent = nullptr);
    ~MqttSession() override; // Stop()

    // Payloads longer than this arrive cut to it, with their real size; set before Start().
    void SetMaxPayload(int bytes);
    // A message (retained, QoS 1) the session publishes as its goodbye when it stops, before
    // its DISCONNECT, once the broker took it (as "offline" where the last will says it); set
    // before Start(). Should the broker not take it by the stop's deadline, the session ends
    // without a DISCONNECT, and the broker publishes the last will.
    void SetGoodbye(const QString &topic, const QByteArray &payload);
    // Sets the client up and starts the thread; false with `error` when libmosquitto refuses
    // the settings (a TLS file it cannot use).
    bool Start(QString *error);
    // Publishes `payload` on `topic` with `qos` (0, 1 or 2); false when libmosquitto refused it
    // (not started, stopped, a topic it cannot send). Queued while the broker is away.
    bool Publish(const QString &topic, const QByteArray &payload, bool retain, int qos = 1);
    // As Publish, then waits up to `timeoutMs` for the broker's acknowledgement.
    bool PublishAndWait(const QString &topic, const QByteArray &payload, bool retain,
                        int timeoutMs);
    // Messages of QoS 1 or 2 published and not yet acknowledged by the broker: what a broker
    // that is away or stalled keeps waiting in this process.
    int unacknowledged() const;
    // Subscriptions are the broker's: subscribe again after each connected().
    bool Subscribe(const QStringList &topics, int qos = 1);
    bool Unsubscribe(const QStringList &topics);
    // Says goodbye (the goodbye message, then DISCONNECT: no last will) and ends the thread,
    // waiting at most `timeoutMs`.
    // A thread still held by a name lookup or a handshake by then is left to end by itself: it
    // owns everything it touches and sends nothing more. False when it had to be left. A new
    // session with the same client id connects once this one has ended (or its time is up).
    bool Stop(int timeoutMs = 2000);
    // As Stop, without waiting: the thread says goodbye within `graceMs` and ends by itself.
    void StopInBackground(int graceMs = 2000);

    // The default cut of received payloads.
    static constexpr int kMaxPayload = 64;
    // The text for a libmosquitto result code, with `keepAliveS` for a keep-alive loss.
    static QString ResultText(int rc, int keepAliveS);

signals:
    void connected();
    // A connection attempt failed or an open connection broke: `reason` says why; `refusal`
    // when the broker refused the login or the TLS handshake failed.
    void failed(const QString &reason, bool refusal);
    void messageArrived(const QString &topic, const QByteArray &payload, int size, bool retained);
    // The broker closed the session because another client connected with the same client
    // id (it said so, or it closed the session right after it accepted it three times in a
    // row); failed() follows. Tried again with a growing back-off, up to every 30 s.
    void sessionTakenOver();
    // The broker did not take a message of QoS 1 or 2 (its ACL, say), with its reason.
    void publishRefused(const QString &topic, const QString &reason);

public:
    struct Shared; // what the network thread shares with the session, kept alive by both

private:
    void EndThread(int timeoutMs);
    int PublishId(const QString &topic, const QByteArray &payload, bool retain, int qos);

    std::shared_ptr<Shared> m_shared;
    bool m_started = false;
};

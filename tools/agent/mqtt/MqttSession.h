#pragma once
// One connection to an MQTT broker through libmosquitto, kept up by a thread of its own: it
// connects, runs the network loop, and after a loss or a refusal waits 1, 2, 4 ... up to 30 s
// before it tries again, forever, until Stop(). Name lookups, connects and TLS handshakes
// block that thread, never the Qt thread, whose poll timer keeps its pace. What the broker
// says arrives as queued signals in the thread that owns the session; Publish and Subscribe
// may be called from it at any time (libmosquitto queues them and wakes the loop).

#include "MqttConfig.h"

#include <QByteArray>
#include <QObject>
#include <QString>
#include <QStringList>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>

struct mosquitto;
struct mosquitto_message;

class MqttSession : public QObject
{
    Q_OBJECT

public:
    // `willTopic` receives `willPayload` (retained, QoS 1) from the broker when the
    // connection breaks without a goodbye.
    MqttSession(const MqttConfig &config, const QString &willTopic, const QByteArray &willPayload,
                QObject *parent = nullptr);
    ~MqttSession() override;

    // Sets the client up and starts the thread; false with `error` when libmosquitto refuses
    // the settings (a TLS file it cannot use).
    bool Start(QString *error);
    // Publishes `payload` on `topic`, QoS 1; false when libmosquitto refused it.
    bool Publish(const QString &topic, const QByteArray &payload, bool retain);
    // As Publish, then waits up to `timeoutMs` for the broker's acknowledgement.
    bool PublishAndWait(const QString &topic, const QByteArray &payload, bool retain,
                        int timeoutMs);
    bool Subscribe(const QStringList &topics);
    // Says goodbye (DISCONNECT: no last will), waits up to 2 s for it to leave, ends the thread.
    void Stop();

    // Payloads longer than this arrive cut to this length, with their real size.
    static constexpr int kMaxPayload = 64;

signals:
    void connected();
    // A connection attempt failed or an open connection broke: `reason` says why; `refusal`
    // when the broker refused the login or the TLS handshake failed.
    void failed(const QString &reason, bool refusal);
    void messageArrived(const QString &topic, const QByteArray &payload, int size, bool retained);

private:
    void Run();
    int Loop();
    QString Reason(int rc, bool *refusal);
    bool WaitStop(int seconds);
    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnLog(mosquitto *, void *self, int level, const char *text);

    MqttConfig m_config;
    QByteArray m_willTopic;
    QByteArray m_willPayload;
    mosquitto *m_mosq = nullptr;
    std::thread m_thread;
    std::atomic<bool> m_stopping{false};
    std::atomic<int64_t> m_deadlineMs{0};
    std::atomic<int> m_connack{-1}; // the broker's answer to the last CONNECT
    std::mutex m_mutex; // guards the wait for an acknowledgement
    std::condition_variable m_wake;
    int m_waitMid = -1;
    bool m_acked = false;
    std::mutex m_logMutex;
    QString m_lastError; // libmosquitto's last error log line (OpenSSL's reason)
};

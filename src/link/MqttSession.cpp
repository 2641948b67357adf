#include "link/MqttSession.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <mutex>
#include <thread>

namespace {

int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

constexpr int kMaxBackOffS = 30;

} // namespace

// Everything the network thread touches. The session and the thread each hold it; when a
// stop has to leave the thread behind, the thread frees it at its end, and `owner` (cleared
// by the stop) keeps it from sending anything to a session that is gone.
struct MqttSession::Shared
{
    MqttConnection connection;
    QByteArray willTopic;
    QByteArray willPayload;
    int maxPayload = kMaxPayload;
    mosquitto *mosq = nullptr;
    std::atomic<bool> stopping{false};
    std::atomic<int64_t> deadlineMs{0};
    std::atomic<int> connack{-1}; // the broker's answer to the last CONNECT
    std::mutex mutex; // guards the waits below
    std::condition_variable wake;
    int waitMid = -1;
    bool acked = false;
    bool ended = false; // the thread has left Run()
    std::mutex logMutex;
    QString lastError; // libmosquitto's last error log line (OpenSSL's reason)
    std::mutex ownerMutex; // held while a signal is sent, so that Stop can end the sending
    MqttSession *owner = nullptr;

    ~Shared()
    {
        if (mosq)
            mosquitto_destroy(mosq);
    }

    void Run();
    int Loop();
    QString Reason(int rc, bool *refusal);
    bool WaitStop(int seconds);
    template<typename Send> void ToOwner(Send send)
    {
        std::lock_guard lock(ownerMutex);
        if (owner)
            send(owner);
    }

    static void OnConnect(mosquitto *, void *self, int rc);
    static void OnPublish(mosquitto *, void *self, int mid);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnLog(mosquitto *, void *self, int level, const char *text);
};

MqttSession::MqttSession(const MqttConnection &connection, const QString &willTopic,
                         const QByteArray &willPayload, QObject *parent)
    : QObject(parent)
    , m_shared(std::make_shared<Shared>())
{
    static const int init = mosquitto_lib_init();
    Q_UNUSED(init);
    m_shared->connection = connection;
    m_shared->willTopic = willTopic.toUtf8();
    m_shared->willPayload = willPayload;
    m_shared->owner = this;
}

MqttSession::~MqttSession()
{
    Stop();
}

void MqttSession::SetMaxPayload(int bytes)
{
    m_shared->maxPayload = std::max(0, bytes);
}

bool MqttSession::Start(QString *error)
{
    Shared &s = *m_shared;
    if (m_started || s.mosq)
        return true;
    const MqttConnection &c = s.connection;
    s.mosq = mosquitto_new(c.clientId.toUtf8().constData(), true, &s);
    if (!s.mosq) {
        *error = QStringLiteral("cannot create the MQTT client: %1").arg(qt_error_string(errno));
        return false;
    }
    mosquitto_threaded_set(s.mosq, true);
    mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    int rc = MOSQ_ERR_SUCCESS;
    if (!s.willTopic.isEmpty())
        rc = mosquitto_will_set(s.mosq, s.willTopic.constData(), int(s.willPayload.size()),
                                s.willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !c.username.isEmpty())
        rc = mosquitto_username_pw_set(s.mosq, c.username.toUtf8().constData(),
                                       c.password.isEmpty() ? nullptr : c.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && c.tls()) {
        const QByteArray ca = QFile::encodeName(c.caFile);
        const QByteArray cert = QFile::encodeName(c.certFile);
        const QByteArray key = QFile::encodeName(c.keyFile);
        rc = mosquitto_tls_set(s.mosq, ca.constData(), nullptr,
                               cert.isEmpty() ? nullptr : cert.constData(),
                               key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_opts_set(s.mosq, 1 /* verify the broker */, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("the MQTT client refused its settings: %1")
                     .arg(ResultText(rc, c.keepAliveS));
        return false;
    }
    mosquitto_connect_callback_set(s.mosq, &Shared::OnConnect);
    mosquitto_publish_callback_set(s.mosq, &Shared::OnPublish);
    mosquitto_message_callback_set(s.mosq, &Shared::OnMessage);
    mosquitto_log_callback_set(s.mosq, &Shared::OnLog);
    m_started = true;
    std::thread([shared = m_shared] { shared->Run(); }).detach();
    return true;
}

bool MqttSession::Publish(const QString &topic, const QByteArray &payload, bool retain, int qos)
{
    if (!m_started || m_shared->stopping)
        return false;
    return mosquitto_publish(m_shared->mosq, nullptr, topic.toUtf8().constData(),
                             int(payload.size()), payload.constData(), qos,
                             retain) == MOSQ_ERR_SUCCESS;
}

bool MqttSession::PublishAndWait(const QString &topic, const QByteArray &payload, bool retain,
                                 int timeoutMs)
{
    if (!m_started || m_shared->stopping)
        return false;
    Shared &s = *m_shared;
    std::unique_lock lock(s.mutex);
    int mid = 0;
    if (mosquitto_publish(s.mosq, &mid, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), 1, retain) != MOSQ_ERR_SUCCESS)
        return false;
    s.waitMid = mid;
    s.acked = false;
    return s.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [&s] { return s.acked; });
}

bool MqttSession::Subscribe(const QStringList &topics, int qos)
{
    if (!m_started || m_shared->stopping)
        return false;
    bool ok = true;
    for (const QString &topic : topics)
        ok = mosquitto_subscribe(m_shared->mosq, nullptr, topic.toUtf8().constData(), qos) ==
                MOSQ_ERR_SUCCESS &&
            ok;
    return ok;
}

bool MqttSession::Unsubscribe(const QStringList &topics)
{
    if (!m_started || m_shared->stopping)
        return false;
    bool ok = true;
    for (const QString &topic : topics)
        ok = mosquitto_unsubscribe(m_shared->mosq, nullptr, topic.toUtf8().constData()) ==
                MOSQ_ERR_SUCCESS &&
            ok;
    return ok;
}

bool MqttSession::Stop(int timeoutMs)
{
    Shared &s = *m_shared;
    if (!m_started) {
        std::lock_guard lock(s.ownerMutex);
        s.owner = nullptr;
        return true;
    }
    m_started = false;
    s.deadlineMs = NowMs() + timeoutMs;
    {
        std::lock_guard lock(s.mutex); // so that a back-off wait cannot miss the wake
        s.stopping = true;
    }
    mosquitto_disconnect(s.mosq);
    s.wake.notify_all();
    bool ended = false;
    {
        std::unique_lock lock(s.mutex);
        // The loop ends by the deadline; a little more for it to leave Run().
        ended = s.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs + 100),
                                [&s] { return s.ended; });
    }
    std::lock_guard lock(s.ownerMutex);
    s.owner = nullptr;
    return ended;
}

void MqttSession::Shared::Run()
{
    int delay = 1;
    while (!stopping) {
        connack = -1;
        {
            std::lock_guard lock(logMutex);
            lastError.clear();
        }
        const QByteArray host = connection.host.toUtf8();
        int rc =
            mosquitto_connect_async(mosq, host.constData(), connection.port, connection.keepAliveS);
        const int connectErrno = errno;
        if (rc == MOSQ_ERR_SUCCESS)
            rc = Loop();
        else if (rc == MOSQ_ERR_ERRNO)
            errno = connectErrno;
        if (stopping)
            break;
        bool refusal = false;
        const QString reason = Reason(rc, &refusal);
        ToOwner([&](MqttSession *o) { emit o->failed(reason, refusal); });
        if (connack == 0)
            delay = 1;
        if (WaitStop(delay))
            break;
        delay = std::min(delay * 2, kMaxBackOffS);
    }
    std::lock_guard lock(mutex);
    ended = true;
    wake.notify_all();
}

// Runs the network loop until the connection ends or a stop's deadline passes. A stop that
// came while the thread was still connecting says goodbye here.
int MqttSession::Shared::Loop()
{
    bool goodbye = false;
    for (;;) {
        if (stopping && !goodbye) {
            goodbye = true;
            mosquitto_disconnect(mosq);
        }
        const int rc = mosquitto_loop(mosq, 100, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
        if (stopping && NowMs() > deadlineMs)
            return MOSQ_ERR_SUCCESS;
    }
}

QString MqttSession::ResultText(int rc, int keepAliveS)
{
    switch (rc) {
    case MOSQ_ERR_KEEPALIVE:
        return QStringLiteral("the broker did not answer within the keep-alive time (%1 s)")
            .arg(keepAliveS);
    case MOSQ_ERR_CONN_LOST:
        return QStringLiteral("the connection was closed");
    case MOSQ_ERR_NO_CONN:
        return QStringLiteral("not connected");
    case MOSQ_ERR_PROTOCOL:
    case MOSQ_ERR_MALFORMED_PACKET:
        return QStringLiteral("the broker broke the MQTT protocol");
    case MOSQ_ERR_EAI:
    case MOSQ_ERR_LOOKUP:
        return QStringLiteral("the host name could not be looked up");
    case MOSQ_ERR_ERRNO:
        return qt_error_string(errno);
    case MOSQ_ERR_UNKNOWN:
        return QStringLiteral("an unknown error (code %1)").arg(rc);
    default:
        break;
    }
    const QString text = QString::fromUtf8(mosquitto_strerror(rc));
    return text.startsWith(QStringLiteral("Unknown error"))
        ? QStringLiteral("an unknown error (code %1)").arg(rc)
        : text;
}

QString MqttSession::Shared::Reason(int rc, bool *refusal)
{
    const int answer = connack;
    QString where = QStringLiteral("%1:%2").arg(connection.host).arg(connection.port);
    if (answer > 0) {
        *refusal = true;
        return QStringLiteral("the broker %1 refused the login: %2")
            .arg(where, QString::fromUtf8(mosquitto_connack_string(answer)));
    }
    std::lock_guard lock(logMutex);
    if (rc == MOSQ_ERR_TLS || (connection.tls() && answer < 0 && !lastError.isEmpty())) {
        *refusal = true;
        return QStringLiteral("TLS with the broker %1 failed: %2")
            .arg(where, lastError.isEmpty() ? QStringLiteral("handshake refused") : lastError);
    }
    const QString text = ResultText(rc, connection.keepAliveS);
    return answer == 0 ? QStringLiteral("lost the broker %1: %2").arg(where, text)
                       : QStringLiteral("cannot reach the broker %1: %2").arg(where, text);
}

// Waits `seconds` or until Stop(); true on Stop().
bool MqttSession::Shared::WaitStop(int seconds)
{
    std::unique_lock lock(mutex);
    return wake.wait_for(lock, std::chrono::seconds(seconds), [this] { return bool(stopping); });
}

void MqttSession::Shared::OnConnect(mosquitto *, void *self, int rc)
{
    auto *s = static_cast<Shared *>(self);
    s->connack = rc;
    if (rc != 0)
        return;
    {
        std::lock_guard lock(s->logMutex);
        s->lastError.clear();
    }
    s->ToOwner([](MqttSession *o) { emit o->connected(); });
}

void MqttSession::Shared::OnPublish(mosquitto *, void *self, int mid)
{
    auto *s = static_cast<Shared *>(self);
    std::lock_guard lock(s->mutex);
    if (mid == s->waitMid) {
        s->acked = true;
        s->wake.notify_all();
    }
}

void MqttSession::Shared::OnMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *s = static_cast<Shared *>(self);
    const int size = std::max(message->payloadlen, 0);
    const QByteArray payload(static_cast<const char *>(message->payload),
                             std::min(size, s->maxPayload));
    const QString topic = QString::fromUtf8(message->topic);
    const bool retained = message->retain;
    s->ToOwner([&](MqttSession *o) { emit o->messageArrived(topic, payload, size, retained); });
}

void MqttSession::Shared::OnLog(mosquitto *, void *self, int level, const char *text)
{
    if (level != MOSQ_LOG_ERR || !text)
        return;
    auto *s = static_cast<Shared *>(self);
    std::lock_guard lock(s->logMutex);
    s->lastError = QString::fromUtf8(text);
}

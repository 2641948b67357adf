#include "link/MqttSession.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QFile>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <map>
#include <mutex>
#include <thread>

namespace {

int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

constexpr int kMaxBackOffS = 30;
// MQTT 5 reason codes the session tells apart.
constexpr int kSessionTakenOver = 0x8E;
// A broker that closes the session this soon after it accepted it, this many times in a row,
// closes it for another client with the same id (a broker that says so sends 0x8E).
constexpr int64_t kShortSessionMs = 60000;
constexpr int kShortSessionsTakenOver = 3;
constexpr int kFirstFailureCode = 0x80;

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
    QByteArray goodbyeTopic;
    QByteArray goodbyePayload;
    std::map<int, QByteArray> unacked; // message id -> topic, of QoS 1 and 2
    std::atomic<bool> takenOver{false}; // the broker closed the last session for another
    std::atomic<int64_t> connectedMs{0}; // when the broker accepted the last session
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
    void WaitForPredecessors();
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
    static void OnPublish(mosquitto *, void *self, int mid, int reason, const mosquitto_property *);
    static void OnDisconnect(mosquitto *, void *self, int rc);
    static void OnMessage(mosquitto *, void *self, const mosquitto_message *message);
    static void OnLog(mosquitto *, void *self, int level, const char *text);
};

namespace {

// Sessions that are saying goodbye, by client id: a new session with the same id waits for
// them (on its own thread) so that the broker does not see it take their place.
std::mutex g_leavingMutex;
std::multimap<QString, std::weak_ptr<MqttSession::Shared>> g_leaving;

} // namespace

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

void MqttSession::SetGoodbye(const QString &topic, const QByteArray &payload)
{
    m_shared->goodbyeTopic = topic.toUtf8();
    m_shared->goodbyePayload = payload;
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
    // MQTT 5: the broker says why it closes a session and why it refuses a message.
    mosquitto_int_option(s.mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V5);
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
    mosquitto_publish_v5_callback_set(s.mosq, &Shared::OnPublish);
    mosquitto_disconnect_callback_set(s.mosq, &Shared::OnDisconnect);
    mosquitto_message_callback_set(s.mosq, &Shared::OnMessage);
    mosquitto_log_callback_set(s.mosq, &Shared::OnLog);
    m_started = true;
    std::thread([shared = m_shared] { shared->Run(); }).detach();
    return true;
}

bool MqttSession::Publish(const QString &topic, const QByteArray &payload, bool retain, int qos)
{
    return PublishId(topic, payload, retain, qos) >= 0;
}

// Publishes; answers the message id (0 for QoS 0), or -1 when libmosquitto refused.
int MqttSession::PublishId(const QString &topic, const QByteArray &payload, bool retain, int qos)
{
    if (!m_started || m_shared->stopping)
        return -1;
    Shared &s = *m_shared;
    const QByteArray name = topic.toUtf8();
    std::lock_guard lock(s.mutex); // the acknowledgement waits until the id is noted
    int mid = 0;
    if (mosquitto_publish(s.mosq, &mid, name.constData(), int(payload.size()), payload.constData(),
                          qos, retain) != MOSQ_ERR_SUCCESS)
        return -1;
    if (qos > 0)
        s.unacked[mid] = name;
    return qos > 0 ? mid : 0;
}

bool MqttSession::PublishAndWait(const QString &topic, const QByteArray &payload, bool retain,
                                 int timeoutMs)
{
    const int mid = PublishId(topic, payload, retain, 1);
    if (mid < 0)
        return false;
    Shared &s = *m_shared;
    std::unique_lock lock(s.mutex);
    return s.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs),
                           [&s, mid] { return !s.unacked.count(mid); });
}

int MqttSession::unacknowledged() const
{
    std::lock_guard lock(m_shared->mutex);
    return int(m_shared->unacked.size());
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
    bool ended = true;
    if (m_started) {
        EndThread(timeoutMs);
        std::unique_lock lock(s.mutex);
        // The loop ends by the deadline; a little more for it to leave Run().
        ended = s.wake.wait_for(lock, std::chrono::milliseconds(timeoutMs + 100),
                                [&s] { return s.ended; });
    }
    std::lock_guard lock(s.ownerMutex);
    s.owner = nullptr;
    return ended;
}

void MqttSession::StopInBackground(int graceMs)
{
    if (m_started)
        EndThread(graceMs);
    std::lock_guard lock(m_shared->ownerMutex);
    m_shared->owner = nullptr;
}

void MqttSession::EndThread(int timeoutMs)
{
    Shared &s = *m_shared;
    m_started = false;
    s.deadlineMs = NowMs() + timeoutMs;
    {
        std::lock_guard lock(g_leavingMutex);
        for (auto it = g_leaving.begin(); it != g_leaving.end();)
            it = it->second.expired() ? g_leaving.erase(it) : std::next(it);
        g_leaving.emplace(s.connection.clientId, m_shared);
    }
    {
        std::lock_guard lock(s.mutex); // so that a back-off wait cannot miss the wake
        s.stopping = true;
    }
    s.wake.notify_all(); // the network loop says goodbye
}

// Waits until the sessions with this client id that are saying goodbye have ended, each at
// most until its deadline.
void MqttSession::Shared::WaitForPredecessors()
{
    std::vector<std::shared_ptr<Shared>> before;
    {
        std::lock_guard lock(g_leavingMutex);
        const auto [first, last] = g_leaving.equal_range(connection.clientId);
        for (auto it = first; it != last; ++it)
            if (auto p = it->second.lock(); p && p.get() != this)
                before.push_back(std::move(p));
    }
    for (const auto &p : before) {
        std::unique_lock lock(p->mutex);
        const auto wait = std::chrono::milliseconds(std::max<int64_t>(0, p->deadlineMs - NowMs()));
        p->wake.wait_for(lock, wait + std::chrono::milliseconds(100), [&p] { return p->ended; });
    }
}

void MqttSession::Shared::Run()
{
    WaitForPredecessors();
    int delay = 1;
    int shortSessions = 0; // closed by the broker soon after it accepted them, in a row
    while (!stopping) {
        connack = -1;
        takenOver = false;
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
        const bool closedSoon =
            connack == 0 && rc == MOSQ_ERR_CONN_LOST && NowMs() - connectedMs < kShortSessionMs;
        shortSessions = closedSoon ? shortSessions + 1 : 0;
        if (shortSessions >= kShortSessionsTakenOver)
            takenOver = true;
        bool refusal = false;
        const QString reason = Reason(rc, &refusal);
        ToOwner([&](MqttSession *o) {
            if (takenOver)
                emit o->sessionTakenOver();
            emit o->failed(reason, refusal);
        });
        // A session the broker closed soon (taken over by a client with the same id, say)
        // backs off like a refusal, so that two such clients do not take it from each other
        // every second.
        if (connack == 0 && !closedSoon && !takenOver)
            delay = 1;
        if (WaitStop(delay))
            break;
        delay = std::min(delay * 2, kMaxBackOffS);
    }
    std::lock_guard lock(mutex);
    ended = true;
    wake.notify_all();
}

// Runs the network loop until the connection ends or a stop's deadline passes. On a stop it
// publishes the goodbye message, then, once the broker took it, says goodbye.
int MqttSession::Shared::Loop()
{
    enum { Running, Publishing, Leaving } step = Running;
    int goodbyeMid = -1;
    for (;;) {
        if (stopping && step == Running) {
            step = Publishing;
            std::lock_guard lock(mutex);
            if (!goodbyeTopic.isEmpty() &&
                mosquitto_publish(mosq, &goodbyeMid, goodbyeTopic.constData(),
                                  int(goodbyePayload.size()), goodbyePayload.constData(), 1,
                                  true) == MOSQ_ERR_SUCCESS)
                unacked[goodbyeMid] = goodbyeTopic;
        }
        if (step == Publishing) {
            std::lock_guard lock(mutex);
            if (!unacked.count(goodbyeMid)) {
                step = Leaving;
                mosquitto_disconnect(mosq);
            }
        }
        const int rc = mosquitto_loop(mosq, stopping ? 10 : 100, 1);
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
            .arg(where, QString::fromUtf8(mosquitto_reason_string(answer)));
    }
    if (takenOver)
        return QStringLiteral("the broker %1 keeps closing the session right after it opened "
                              "it: another client connects with the same client id \"%2\"")
            .arg(where, connection.clientId);
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
    s->connectedMs = NowMs();
    {
        std::lock_guard lock(s->logMutex);
        s->lastError.clear();
    }
    {
        // What the last connection left unacknowledged is not counted against the new one.
        std::lock_guard lock(s->mutex);
        s->unacked.clear();
        s->wake.notify_all();
    }
    s->ToOwner([](MqttSession *o) { emit o->connected(); });
}

void MqttSession::Shared::OnPublish(mosquitto *, void *self, int mid, int reason,
                                    const mosquitto_property *)
{
    auto *s = static_cast<Shared *>(self);
    QByteArray topic;
    {
        std::lock_guard lock(s->mutex);
        const auto it = s->unacked.find(mid);
        if (it != s->unacked.end()) {
            topic = it->second;
            s->unacked.erase(it);
        }
        s->wake.notify_all();
    }
    if (reason < kFirstFailureCode)
        return;
    const QString text = QString::fromUtf8(mosquitto_reason_string(reason));
    s->ToOwner([&](MqttSession *o) { emit o->publishRefused(QString::fromUtf8(topic), text); });
}

void MqttSession::Shared::OnDisconnect(mosquitto *, void *self, int rc)
{
    // The reason code of the broker's DISCONNECT; libmosquitto's own errors lie below 0x80.
    if (rc == kSessionTakenOver)
        static_cast<Shared *>(self)->takenOver = true;
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

#include "MqttSession.h"

#include <mosquitto.h>

#include <QDateTime>
#include <QFile>

#include <cerrno>
#include <cstring>

namespace {

int64_t NowMs()
{
    return QDateTime::currentMSecsSinceEpoch();
}

constexpr int kMaxBackOffS = 30;

} // namespace

MqttSession::MqttSession(const MqttConfig &config, const QString &willTopic,
                         const QByteArray &willPayload, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_willTopic(willTopic.toUtf8())
    , m_willPayload(willPayload)
{
    static const int init = mosquitto_lib_init();
    Q_UNUSED(init);
}

MqttSession::~MqttSession()
{
    Stop();
    if (m_mosq)
        mosquitto_destroy(m_mosq);
}

bool MqttSession::Start(QString *error)
{
    m_mosq = mosquitto_new(m_config.clientId.toUtf8().constData(), true, this);
    if (!m_mosq) {
        *error = QStringLiteral("cannot create the MQTT client: %1").arg(qt_error_string(errno));
        return false;
    }
    mosquitto_threaded_set(m_mosq, true);
    mosquitto_int_option(m_mosq, MOSQ_OPT_PROTOCOL_VERSION, MQTT_PROTOCOL_V311);
    int rc = mosquitto_will_set(m_mosq, m_willTopic.constData(), int(m_willPayload.size()),
                                m_willPayload.constData(), 1, true);
    if (rc == MOSQ_ERR_SUCCESS && !m_config.username.isEmpty())
        rc = mosquitto_username_pw_set(m_mosq, m_config.username.toUtf8().constData(),
                                       m_config.password.isEmpty() ? nullptr
                                                                   : m_config.password.constData());
    if (rc == MOSQ_ERR_SUCCESS && m_config.tls()) {
        const QByteArray ca = QFile::encodeName(m_config.caFile);
        const QByteArray cert = QFile::encodeName(m_config.certFile);
        const QByteArray key = QFile::encodeName(m_config.keyFile);
        rc = mosquitto_tls_set(m_mosq, ca.constData(), nullptr,
                               cert.isEmpty() ? nullptr : cert.constData(),
                               key.isEmpty() ? nullptr : key.constData(), nullptr);
        if (rc == MOSQ_ERR_SUCCESS)
            rc = mosquitto_tls_opts_set(m_mosq, 1 /* verify the broker */, nullptr, nullptr);
    }
    if (rc != MOSQ_ERR_SUCCESS) {
        *error = QStringLiteral("the MQTT client refused its settings: %1")
                     .arg(QString::fromUtf8(mosquitto_strerror(rc)));
        return false;
    }
    mosquitto_connect_callback_set(m_mosq, &MqttSession::OnConnect);
    mosquitto_publish_callback_set(m_mosq, &MqttSession::OnPublish);
    mosquitto_message_callback_set(m_mosq, &MqttSession::OnMessage);
    mosquitto_log_callback_set(m_mosq, &MqttSession::OnLog);
    m_thread = std::thread([this] { Run(); });
    return true;
}

bool MqttSession::Publish(const QString &topic, const QByteArray &payload, bool retain)
{
    return mosquitto_publish(m_mosq, nullptr, topic.toUtf8().constData(), int(payload.size()),
                             payload.constData(), 1, retain) == MOSQ_ERR_SUCCESS;
}

bool MqttSession::PublishAndWait(const QString &topic, const QByteArray &payload, bool retain,
                                 int timeoutMs)
{
    std::unique_lock lock(m_mutex);
    int mid = 0;
    if (mosquitto_publish(m_mosq, &mid, topic.toUtf8().constData(), int(payload.size()),
                          payload.constData(), 1, retain) != MOSQ_ERR_SUCCESS)
        return false;
    m_waitMid = mid;
    m_acked = false;
    return m_wake.wait_for(lock, std::chrono::milliseconds(timeoutMs), [this] { return m_acked; });
}

bool MqttSession::Subscribe(const QStringList &topics)
{
    bool ok = true;
    for (const QString &topic : topics)
        ok = mosquitto_subscribe(m_mosq, nullptr, topic.toUtf8().constData(), 1) ==
                MOSQ_ERR_SUCCESS &&
            ok;
    return ok;
}

void MqttSession::Stop()
{
    if (!m_thread.joinable())
        return;
    m_deadlineMs = NowMs() + 2000;
    {
        std::lock_guard lock(m_mutex); // so that a back-off wait cannot miss the wake
        m_stopping = true;
    }
    mosquitto_disconnect(m_mosq);
    m_wake.notify_all();
    m_thread.join();
}

void MqttSession::Run()
{
    int delay = 1;
    while (!m_stopping) {
        m_connack = -1;
        {
            std::lock_guard lock(m_logMutex);
            m_lastError.clear();
        }
        const QByteArray host = m_config.host.toUtf8();
        int rc =
            mosquitto_connect_async(m_mosq, host.constData(), m_config.port, m_config.keepAliveS);
        const int connectErrno = errno;
        if (rc == MOSQ_ERR_SUCCESS)
            rc = Loop();
        else if (rc == MOSQ_ERR_ERRNO)
            errno = connectErrno;
        if (m_stopping)
            break;
        bool refusal = false;
        const QString reason = Reason(rc, &refusal);
        emit failed(reason, refusal);
        if (m_connack == 0)
            delay = 1;
        if (WaitStop(delay))
            break;
        delay = std::min(delay * 2, kMaxBackOffS);
    }
}

// Runs the network loop until the connection ends or a stop's deadline passes.
int MqttSession::Loop()
{
    for (;;) {
        const int rc = mosquitto_loop(m_mosq, 100, 1);
        if (rc != MOSQ_ERR_SUCCESS)
            return rc;
        if (m_stopping && NowMs() > m_deadlineMs)
            return MOSQ_ERR_SUCCESS;
    }
}

QString MqttSession::Reason(int rc, bool *refusal)
{
    const int connack = m_connack;
    QString where = QStringLiteral("%1:%2").arg(m_config.host).arg(m_config.port);
    if (connack > 0) {
        *refusal = true;
        return QStringLiteral("the broker %1 refused the login: %2")
            .arg(where, QString::fromUtf8(mosquitto_connack_string(connack)));
    }
    std::lock_guard lock(m_logMutex);
    if (rc == MOSQ_ERR_TLS || (m_config.tls() && connack < 0 && !m_lastError.isEmpty())) {
        *refusal = true;
        return QStringLiteral("TLS with the broker %1 failed: %2")
            .arg(where, m_lastError.isEmpty() ? QStringLiteral("handshake refused") : m_lastError);
    }
    const QString text =
        rc == MOSQ_ERR_ERRNO ? qt_error_string(errno) : QString::fromUtf8(mosquitto_strerror(rc));
    return connack == 0 ? QStringLiteral("lost the broker %1: %2").arg(where, text)
                        : QStringLiteral("cannot reach the broker %1: %2").arg(where, text);
}

// Waits `seconds` or until Stop(); true on Stop().
bool MqttSession::WaitStop(int seconds)
{
    std::unique_lock lock(m_mutex);
    return m_wake.wait_for(lock, std::chrono::seconds(seconds),
                           [this] { return bool(m_stopping); });
}

void MqttSession::OnConnect(mosquitto *, void *self, int rc)
{
    auto *session = static_cast<MqttSession *>(self);
    session->m_connack = rc;
    if (rc == 0) {
        std::lock_guard lock(session->m_logMutex);
        session->m_lastError.clear();
    }
    if (rc == 0)
        emit session->connected();
}

void MqttSession::OnPublish(mosquitto *, void *self, int mid)
{
    auto *session = static_cast<MqttSession *>(self);
    std::lock_guard lock(session->m_mutex);
    if (mid == session->m_waitMid) {
        session->m_acked = true;
        session->m_wake.notify_all();
    }
}

void MqttSession::OnMessage(mosquitto *, void *self, const mosquitto_message *message)
{
    auto *session = static_cast<MqttSession *>(self);
    const int size = std::max(message->payloadlen, 0);
    const QByteArray payload(static_cast<const char *>(message->payload),
                             std::min(size, kMaxPayload));
    emit session->messageArrived(QString::fromUtf8(message->topic), payload, size, message->retain);
}

void MqttSession::OnLog(mosquitto *, void *self, int level, const char *text)
{
    if (level != MOSQ_LOG_ERR || !text)
        return;
    auto *session = static_cast<MqttSession *>(self);
    std::lock_guard lock(session->m_logMutex);
    session->m_lastError = QString::fromUtf8(text);
}

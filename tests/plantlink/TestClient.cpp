#include "TestClient.h"

#include "TestBroker.h"

#include <mosquitto.h>

#include <QDeadlineTimer>
#include <QStringList>
#include <QTest>

TestClient::TestClient(int port, const QString &id)
    : m_port(port)
{
    mosquitto_lib_init();
    m_mosq = mosquitto_new(id.toUtf8().constData(), true, this);
    mosquitto_username_pw_set(m_mosq, TestBroker::kUser, TestBroker::kPassword);
    mosquitto_message_callback_set(m_mosq, &TestClient::OnMessage);
    mosquitto_publish_callback_set(m_mosq, [](mosquitto *, void *self, int mid) {
        auto *client = static_cast<TestClient *>(self);
        std::lock_guard lock(client->m_mutex);
        client->m_acked.insert(mid);
    });
}

TestClient::~TestClient()
{
    mosquitto_disconnect(m_mosq);
    mosquitto_loop_stop(m_mosq, false);
    mosquitto_destroy(m_mosq);
}

bool TestClient::Connect(const QStringList &topics)
{
    if (mosquitto_connect(m_mosq, "127.0.0.1", m_port, 30) != MOSQ_ERR_SUCCESS)
        return false;
    for (const QString &topic : topics)
        mosquitto_subscribe(m_mosq, nullptr, topic.toUtf8().constData(), 1);
    mosquitto_loop_start(m_mosq);
    // A round trip through the broker: the subscriptions are in place once it comes back.
    const QString echo = QStringLiteral("test/echo/%1").arg(quintptr(this));
    mosquitto_subscribe(m_mosq, nullptr, echo.toUtf8().constData(), 1);
    for (int i = 0; i < 50; ++i) {
        Publish(echo, "ping", false, false);
        if (WaitFor(
                [&](const auto &ms) {
                    return std::any_of(ms.begin(), ms.end(),
                                       [&](auto &m) { return m.topic == echo; });
                },
                100))
            return true;
    }
    return false;
}

bool TestClient::Publish(const QString &topic, const QByteArray &payload, bool retain, bool wait)
{
    int mid = 0;
    const int rc = mosquitto_publish(m_mosq, &mid, topic.toUtf8().constData(), int(payload.size()),
                                     payload.constData(), 1, retain);
    if (rc != MOSQ_ERR_SUCCESS || !wait)
        return rc == MOSQ_ERR_SUCCESS;
    return QTest::qWaitFor(
        [&] {
            std::lock_guard lock(m_mutex);
            return m_acked.count(mid) != 0;
        },
        5000);
}

bool TestClient::WaitFor(const std::function<bool(const std::vector<Received> &)> &check,
                         int timeoutMs)
{
    return QTest::qWaitFor([&] { return check(messages()); }, timeoutMs);
}

std::optional<QByteArray> TestClient::Last(const QString &topic) const
{
    std::lock_guard lock(m_mutex);
    for (auto it = m_messages.rbegin(); it != m_messages.rend(); ++it)
        if (it->topic == topic)
            return it->payload;
    return std::nullopt;
}

std::vector<Received> TestClient::messages() const
{
    std::lock_guard lock(m_mutex);
    return m_messages;
}

void TestClient::Clear()
{
    std::lock_guard lock(m_mutex);
    m_messages.clear();
}

void TestClient::OnMessage(mosquitto *, void *self, const mosquitto_message *m)
{
    auto *client = static_cast<TestClient *>(self);
    std::lock_guard lock(client->m_mutex);
    client->m_messages.push_back(
        {QString::fromUtf8(m->topic),
         QByteArray(static_cast<const char *>(m->payload), std::max(m->payloadlen, 0)), m->retain});
}

#pragma once
// A subscriber and publisher for the tests, on libmosquitto with its own network thread: it
// keeps every message it receives (topic, payload, retain flag) for the test to look at.

#include <QByteArray>
#include <QString>

#include <functional>
#include <mutex>
#include <optional>
#include <set>
#include <vector>

struct mosquitto;

struct Received
{
    QString topic;
    QByteArray payload;
    bool retained = false;
};

class TestClient
{
public:
    TestClient(int port, const QString &id);
    ~TestClient();

    // Connects as the broker's test user and subscribes to `topics` (QoS 1); false when the
    // broker does not answer within 5 s.
    bool Connect(const QStringList &topics);
    // Publishes with QoS 1; `wait` for the broker's acknowledgement.
    bool Publish(const QString &topic, const QByteArray &payload, bool retain, bool wait = true);
    // Runs the Qt event loop until `check` holds for the messages so far, up to `timeoutMs`.
    bool WaitFor(const std::function<bool(const std::vector<Received> &)> &check,
                 int timeoutMs = 5000);
    // The last payload received on `topic`.
    std::optional<QByteArray> Last(const QString &topic) const;
    std::vector<Received> messages() const;
    void Clear();

private:
    static void OnMessage(mosquitto *, void *self, const struct mosquitto_message *m);

    mosquitto *m_mosq = nullptr;
    int m_port;
    mutable std::mutex m_mutex;
    std::vector<Received> m_messages;
    std::set<int> m_acked; // message ids the broker acknowledged
};

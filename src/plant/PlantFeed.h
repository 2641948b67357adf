#pragma once
// The Plant window's connection to the broker: an MQTT session (its own network thread)
// subscribed at QoS 0 to what the agents under the topic root publish. Each message is read
// (PlantTopics::Parse) on the network thread and queued; the window is told once per batch and
// takes the whole batch, so a flood never floods the window's event loop. Made only when the
// window opens; deleting it ends the session and its thread.

#include "plant/BrokerSettings.h"
#include "plant/PlantTopics.h"

#include <QObject>

#include <memory>
#include <mutex>
#include <vector>

class MqttSession;

class PlantFeed : public QObject
{
    Q_OBJECT

public:
    PlantFeed(const BrokerSettings &settings, const QByteArray &password,
              QObject *parent = nullptr);
    ~PlantFeed() override;

    bool Start(QString *error);
    // Sends `payload` to `topic` (QoS 1, not retained); false when the session refused it.
    bool Publish(const QString &topic, const QByteArray &payload);
    // The updates read since the last call, in the order they arrived.
    std::vector<PlantUpdate> Take();
    // The broker accepted the connection and it has not broken since.
    bool connected() const;

signals:
    // After a Take() the first new update (queued to the window's thread).
    void updatesReady();
    // The connection came (`reason` empty) or went or could not be made (`reason` says why).
    void connectionChanged(bool connected, const QString &reason, bool refusal);

private:
    void OnMessage(const QString &topic, const QByteArray &payload, int size);
    void OnConnected();
    void OnFailed(const QString &reason, bool refusal);

    const QString m_root;
    std::unique_ptr<MqttSession> m_session;
    mutable std::mutex m_mutex;
    std::vector<PlantUpdate> m_pending;
    bool m_connected = false;
};

#pragma once
// The plant link: puts the agent's boards on an MQTT broker. It publishes "online" (retained)
// on <prefix>/status when connected (the broker's last will says "offline"), every live
// point's value (retained) after each (re)connect, each change as a retained state and a
// JSON event, and, when configured, the discovery config messages. With AllowWrite=1 it
// listens to the set topics of the writable outputs and asks the agent to switch them
// (outputRequested), at most once per point and poll interval, the latest value winning;
// everything else on a set topic is refused and logged, at most one line a second.
// It never writes a board itself and never stops the agent's recording: while the broker is
// away it publishes nothing and the history keeps every change.

#include "MqttConfig.h"

#include <QElapsedTimer>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <vector>

class MqttSession;

// The value of one live point, as the agent reads it.
struct PointState
{
    int32_t card = 0;
    PointDir dir = PointDir::In;
    int point = 0;
    bool value = false;
    QString name; // the point's name from the names file, empty when it has none
};

class PlantLink : public QObject
{
    Q_OBJECT

public:
    // Every live point of the boards with its current value; asked on every (re)connect.
    using StateSource = std::function<std::vector<PointState>()>;

    PlantLink(const MqttConfig &config, std::vector<PlantBoard> boards, StateSource source,
              int pollIntervalMs, QObject *parent = nullptr);
    ~PlantLink() override; // Stop()

    // Starts connecting (in the background; a broker that is away is retried). False with
    // `error` when the client cannot be set up at all.
    bool Start(QString *error);
    // Publishes "offline" (retained) while connected, then disconnects. Blocks up to ~2 s.
    void Stop();

    // One change the agent recorded: the state topic (retained) and an event. Nothing while
    // the broker is away: the next connect publishes the latest values.
    void PublishChange(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point,
                       bool value, const QString &name = {});

    // Topics beyond the set topics (the watchdog's kick and clear), subscribed at every
    // connect whatever AllowWrite= says; their messages go to `handler`, retained or not.
    using TopicHandler =
        std::function<void(const QString &topic, const QByteArray &payload, bool retained)>;
    void AddTopics(const QStringList &topics, TopicHandler handler);
    // Publishes one message while connected (nothing while the broker is away).
    void Publish(const QString &topic, const QByteArray &payload, bool retain);

    bool isConnected() const { return m_connected; }
    uint64_t refusedSets() const { return m_refused; }
    uint64_t droppedSets() const { return m_dropped; } // replaced by a newer value in time

signals:
    // An accepted set message: the agent switches the output through the library and
    // publishes the value it reads back with PublishChange.
    void outputRequested(int32_t card, int point, bool value);
    // One line for the operator's log ("plant link: ...").
    void logMessage(const QString &line);
    void connectedChanged(bool connected);

private:
    void OnConnected();
    void OnFailed(const QString &reason, bool refusal);
    void OnMessage(const QString &topic, const QByteArray &payload, int size, bool retained);
    void PublishAll();
    void PublishDiscovery(const std::vector<PointState> &states);
    void Refuse(const QString &topic, const QString &reason);
    void ReportLater();
    void FlushReports();
    void SwitchPending();
    void Log(const QString &text) { emit logMessage(QStringLiteral("plant link: ") + text); }

    MqttConfig m_config;
    std::vector<PlantBoard> m_boards;
    StateSource m_source;
    std::unique_ptr<MqttSession> m_session;
    bool m_connected = false;
    QSet<QString> m_reported; // failures reported since the last successful connect

    std::map<std::pair<int32_t, int>, bool> m_pending; // set messages waiting for the tick
    QTimer m_switchTimer;
    uint64_t m_dropped = 0;
    uint64_t m_refused = 0;
    uint64_t m_unreported = 0; // refusals since the last log line
    uint64_t m_droppedReported = 0;
    QString m_lastRefusal;
    QElapsedTimer m_lastLog;
    QTimer m_logTimer;
    QStringList m_extraTopics;
    TopicHandler m_extraHandler;
};

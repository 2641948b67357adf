#pragma once
// The plant link: puts the agent's boards on an MQTT broker. It publishes "online" (retained)
// on <prefix>/status when connected (the broker's last will says "offline"), every live
// point's value (retained) after each (re)connect, each change as a retained state and a
// JSON event, and, when configured, the discovery config messages. With AllowWrite=1 it
// listens to the set topics of the writable outputs and asks the agent to switch them
// (outputRequested), at most once per point and poll interval, the latest value winning;
// everything else on a set topic is refused and logged, at most one line a second.
// It never writes a board itself and never stops the agent's recording: while the broker is
// away it publishes nothing and the history keeps every change. What waits for a broker that
// does not acknowledge is bounded: at most kWindow messages in the client, beyond them the
// latest retained payload of each topic; events that do not fit are dropped and counted.

#include "MqttConfig.h"

#include <QElapsedTimer>
#include <QHash>
#include <QObject>
#include <QSet>
#include <QString>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <list>
#include <map>
#include <memory>
#include <vector>

#include "PlantTopics.h"

class MqttSession;

class PlantLink : public QObject
{
    Q_OBJECT

public:
    // Every live point of the boards with its current value; asked on every (re)connect.
    using StateSource = std::function<std::vector<PointState>()>;

    PlantLink(const MqttConfig &config, std::vector<PlantBoard> boards, StateSource source,
              int pollIntervalMs, QObject *parent = nullptr);
    ~PlantLink() override; // Stop()

    // What the inventory and the discovery configs say about the agent; before Start().
    void SetInfo(const PlantInfo &info) { m_info = info; }
    // Retained topics the link publishes for its config, boards and points.
    QSet<QString> RetainedTopics() const;
    // Topics another link published that this one does not: emptied on its first connect.
    void ClearOnConnect(const QSet<QString> &topics) { m_clear = topics; }
    // A board's availability (<p>/card<N>/status and its reason), retained.
    void SetBoardStatus(int32_t card, bool online, const QString &reason);
    // The agent's answer to outputRequested: published on the request's result topic.
    void AnswerSet(int32_t card, int point, bool ok, bool value, const QString &reason);

    // Starts connecting (in the background; a broker that is away is retried). False with
    // `error` when the client cannot be set up at all.
    bool Start(QString *error);
    // Publishes "offline" (retained) while connected, then disconnects; waits up to 2 s for
    // it (at the agent's end), or, with `wait` false, not at all (the network thread finishes
    // the goodbye by itself; a broker that does not take it publishes the last will).
    void Stop(bool wait = true);

    // The most messages waiting for the broker's acknowledgement.
    static constexpr int kWindow = 1000;
    // Longer set payloads are refused unread (a JSON request with its id fits).
    static constexpr int kMaxSetPayload = 256;

    // One change the agent recorded: the state topic (retained) and an event. Nothing while
    // the broker is away: the next connect publishes the latest values.
    void PublishChange(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point,
                       bool value, const QString &name = {});

    // The poll interval: set messages for one point are carried out at most once per interval.
    void SetInterval(int pollIntervalMs) { m_switchTimer.setInterval(std::max(1, pollIntervalMs)); }

    bool isConnected() const { return m_connected; }
    uint64_t refusedSets() const { return m_refused; }
    uint64_t droppedSets() const { return m_dropped; } // replaced by a newer value in time
    uint64_t droppedEvents() const { return m_droppedEvents; } // while the broker did not answer
    // Messages not yet taken by the broker: queued here or unacknowledged.
    int waiting() const;

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
    void Retain(const QString &topic, const QByteArray &payload);
    void Flush();
    void Congested();
    void PublishDiscovery(const std::vector<PointState> &states);
    void Refuse(const QString &topic, const QString &reason);
    void OnSet(const QString &topic, const QByteArray &payload, int size, bool retained);
    void OnGet();
    void Answer(int32_t card, int point, bool ok, bool value, const QString &reason,
                const QByteArray &request, const QString &id);
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

    struct Request
    {
        bool value = false;
        QByteArray payload;
        QString id;
    };
    std::map<std::pair<int32_t, int>, Request> m_pending; // set messages waiting for the tick
    std::map<std::pair<int32_t, int>, Request> m_asked; // handed to the agent, not answered
    PlantInfo m_info;
    QSet<QString> m_clear;
    std::map<int32_t, QString> m_offline; // boards that are not available, with the reason
    QElapsedTimer m_lastGet;
    uint64_t m_ignoredGets = 0;
    uint64_t m_ignoredGetsReported = 0;
    QTimer m_switchTimer;
    uint64_t m_dropped = 0;
    uint64_t m_refused = 0;
    uint64_t m_unreported = 0; // refusals since the last log line
    uint64_t m_droppedReported = 0;
    QString m_lastRefusal;
    QElapsedTimer m_lastLog;
    QTimer m_logTimer;

    // Retained messages waiting for room in the window: the latest payload of each topic, in
    // the order the topics were first queued.
    std::list<QString> m_order;
    QHash<QString, QByteArray> m_outbox;
    QTimer m_flushTimer;
    bool m_congested = false; // said once, until the broker takes messages again
    uint64_t m_droppedEvents = 0;
    uint64_t m_droppedReportedEvents = 0;
    bool m_oldCleared = false; // the discovery topics without the node level
    bool m_takenOver = false; // said once: another client uses the same client id
};

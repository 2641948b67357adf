#include "PlantLink.h"

#include "PlantTopics.h"
#include "link/MqttSession.h"

namespace {

// A payload as a log line shows it: quoted when it is short printable text, else its size.
QString PayloadText(const QByteArray &payload, int size)
{
    const bool printable =
        std::all_of(payload.begin(), payload.end(), [](char c) { return c >= 0x20 && c < 0x7F; });
    if (size == 0)
        return QStringLiteral("an empty payload");
    if (printable && size <= 32)
        return QStringLiteral("the payload \"%1\"").arg(QString::fromLatin1(payload));
    return QStringLiteral("a payload of %1 bytes").arg(size);
}

} // namespace

PlantLink::PlantLink(const MqttConfig &config, std::vector<PlantBoard> boards, StateSource source,
                     int pollIntervalMs, QObject *parent)
    : QObject(parent)
    , m_config(config)
    , m_boards(std::move(boards))
    , m_source(std::move(source))
{
    m_switchTimer.setSingleShot(true);
    m_switchTimer.setTimerType(Qt::PreciseTimer);
    m_switchTimer.setInterval(std::max(1, pollIntervalMs));
    connect(&m_switchTimer, &QTimer::timeout, this, &PlantLink::SwitchPending);
    m_logTimer.setSingleShot(true);
    connect(&m_logTimer, &QTimer::timeout, this, &PlantLink::FlushReports);
    m_flushTimer.setInterval(20);
    connect(&m_flushTimer, &QTimer::timeout, this, &PlantLink::Flush);
}

PlantLink::~PlantLink()
{
    Stop();
}

bool PlantLink::Start(QString *error)
{
    if (m_session)
        return true;
    m_session = std::make_unique<MqttSession>(m_config, StatusTopic(m_config.topicPrefix),
                                              QByteArrayLiteral("offline"));
    m_session->SetGoodbye(StatusTopic(m_config.topicPrefix), QByteArrayLiteral("offline"));
    m_session->SetMaxPayload(kMaxSetPayload);
    connect(m_session.get(), &MqttSession::connected, this, &PlantLink::OnConnected);
    connect(m_session.get(), &MqttSession::sessionTakenOver, this, [this] {
        if (std::exchange(m_takenOver, true))
            return;
        Log(QStringLiteral("the broker keeps closing the session right after it opened it: "
                           "another client connects with the same client id \"%1\" "
                           "(ClientId= in [Mqtt]); trying again quietly, up to every 30 s")
                .arg(m_config.clientId));
    });
    connect(m_session.get(), &MqttSession::failed, this, &PlantLink::OnFailed);
    connect(m_session.get(), &MqttSession::messageArrived, this, &PlantLink::OnMessage);
    if (m_session->Start(error))
        return true;
    m_session.reset();
    return false;
}

void PlantLink::Stop(bool wait)
{
    if (!m_session)
        return;
    m_switchTimer.stop();
    m_flushTimer.stop();
    if (wait && !m_session->Stop(2000))
        Log(QStringLiteral("the broker did not take \"offline\" in time; its last will says it"));
    else if (!wait)
        m_session->StopInBackground(2000);
    m_session.reset();
    FlushReports();
    if (m_connected)
        emit connectedChanged(m_connected = false);
}

void PlantLink::PublishChange(int64_t timeUtcMicroseconds, int32_t card, PointDir dir, int point,
                              bool value, const QString &name)
{
    if (!m_connected)
        return;
    const QString &p = m_config.topicPrefix;
    Retain(StateTopic(p, card, dir, point), value ? "1" : "0");
    if (m_session->unacknowledged() >= kWindow) {
        ++m_droppedEvents;
        return Congested();
    }
    m_session->Publish(EventsTopic(p),
                       EventJson(timeUtcMicroseconds, card, dir, point, value, name), false);
}

int PlantLink::waiting() const
{
    return int(m_order.size()) + (m_session ? m_session->unacknowledged() : 0);
}

// Queues a retained message: a newer payload for a topic still waiting replaces the older.
void PlantLink::Retain(const QString &topic, const QByteArray &payload)
{
    const auto it = m_outbox.find(topic);
    if (it != m_outbox.end()) {
        *it = payload;
    } else {
        m_outbox.insert(topic, payload);
        m_order.push_back(topic);
    }
    Flush();
}

// Publishes what waits while the window has room; says once when it has none.
void PlantLink::Flush()
{
    while (!m_order.empty() && m_session && m_session->unacknowledged() < kWindow) {
        const QString topic = m_order.front();
        m_order.pop_front();
        m_session->Publish(topic, m_outbox.take(topic), true);
    }
    if (!m_order.empty()) {
        Congested();
        if (!m_flushTimer.isActive())
            m_flushTimer.start();
        return;
    }
    m_flushTimer.stop();
    if (!m_congested || !m_session || m_session->unacknowledged() >= kWindow / 2)
        return;
    m_congested = false;
    Log(QStringLiteral("the broker takes messages again; %1 events were dropped meanwhile "
                       "(%2 in all), the latest state of every point is published")
            .arg(m_droppedEvents - m_droppedReportedEvents)
            .arg(m_droppedEvents));
    m_droppedReportedEvents = m_droppedEvents;
}

void PlantLink::Congested()
{
    if (!m_flushTimer.isActive())
        m_flushTimer.start();
    if (std::exchange(m_congested, true))
        return;
    Log(QStringLiteral("the broker has not acknowledged the last %1 messages; until it does, "
                       "only the latest state of each point waits for it, and events are "
                       "dropped and counted")
            .arg(kWindow));
}

void PlantLink::OnConnected()
{
    if (!m_session)
        return;
    m_reported.clear();
    if (!m_takenOver)
        Log(QStringLiteral("connected to %1:%2 (%3) as %4, publishing under %5")
                .arg(m_config.host)
                .arg(m_config.port)
                .arg(m_config.tls() ? QStringLiteral("TLS") : QStringLiteral("no TLS"),
                     m_config.clientId, m_config.topicPrefix));
    m_connected = true;
    PublishAll();
    emit connectedChanged(true);
}

void PlantLink::OnFailed(const QString &reason, bool refusal)
{
    if (!m_session)
        return;
    if (m_connected)
        emit connectedChanged(m_connected = false);
    m_order.clear(); // every retained message is published again on the next connect
    m_outbox.clear();
    if (m_reported.contains(reason) || m_takenOver)
        return;
    m_reported.insert(reason);
    Log(reason +
        (refusal ? QStringLiteral("; retrying quietly up to every 30 s")
                 : QStringLiteral("; retrying")));
}

// "online", every board's availability, every live point's value, the discovery configs,
// the inventory, then the subscriptions; and, on the first connect, the topics to clear.
void PlantLink::PublishAll()
{
    const QString &p = m_config.topicPrefix;
    for (const QString &topic : std::exchange(m_clear, {}))
        Retain(topic, QByteArray());
    Retain(StatusTopic(p), "online");
    for (const PlantBoard &b : m_boards) {
        const auto off = m_offline.find(b.cardNo);
        Retain(BoardStatusTopic(p, b.cardNo), off == m_offline.end() ? "online" : "offline");
        Retain(BoardStatusTopic(p, b.cardNo) + QStringLiteral("/reason"),
               off == m_offline.end() ? QByteArray() : off->second.toUtf8());
    }
    const std::vector<PointState> states = m_source ? m_source() : std::vector<PointState>{};
    for (const PointState &s : states)
        Retain(StateTopic(p, s.card, s.dir, s.point), s.value ? "1" : "0");
    if (m_config.discovery == Discovery::HomeAssistant)
        PublishDiscovery(states);
    Retain(InfoTopic(p), InfoJson(m_config, m_info, m_boards, states));
    QStringList topics{p + QStringLiteral("/+/out/+/set"), GetTopic(p)};
    if (m_config.discovery == Discovery::HomeAssistant)
        topics << m_config.discoveryStatusTopic;
    if (!m_session->Subscribe(topics))
        Log(QStringLiteral("could not subscribe to the set topics"));
}

QSet<QString> PlantLink::RetainedTopics() const
{
    const QString &p = m_config.topicPrefix;
    QSet<QString> topics{StatusTopic(p), InfoTopic(p)};
    for (const PlantBoard &b : m_boards)
        topics << BoardStatusTopic(p, b.cardNo) << BoardStatusTopic(p, b.cardNo) + "/reason";
    for (const PointState &s : m_source ? m_source() : std::vector<PointState>{}) {
        topics << StateTopic(p, s.card, s.dir, s.point);
        if (m_config.discovery == Discovery::HomeAssistant)
            topics << DiscoveryTopic(m_config, s.card, s.dir, s.point);
    }
    return topics;
}

// A config for each point under this node (a switch for a writable output, else a binary
// sensor); the other form of an output's config and the form without the node level are
// emptied, so a point that stopped being writable leaves no switch behind.
void PlantLink::PublishDiscovery(const std::vector<PointState> &states)
{
    MqttConfig writable = m_config;
    writable.allowWrite = true;
    for (const PointState &s : states) {
        auto board = std::find_if(m_boards.begin(), m_boards.end(),
                                  [&](const PlantBoard &b) { return b.cardNo == s.card; });
        PlantBoard known;
        known.cardNo = s.card;
        if (board != m_boards.end())
            known = *board;
        const QString topic = DiscoveryTopic(m_config, s.card, s.dir, s.point);
        if (s.dir == PointDir::Out) {
            writable.writable = {{s.card, s.point}};
            const QString asSwitch = DiscoveryTopic(writable, s.card, s.dir, s.point);
            const QString other = topic == asSwitch
                ? QString(asSwitch).replace(QStringLiteral("/switch/"), "/binary_sensor/")
                : asSwitch;
            Retain(other, QByteArray());
        }
        if (!m_oldCleared)
            Retain(OldDiscoveryTopic(m_config.clientId, s.card, s.dir, s.point), QByteArray());
        Retain(topic, DiscoveryConfig(m_config, known, s.dir, s.point, s.name, m_info));
    }
    m_oldCleared = true;
}

void PlantLink::SetBoardStatus(int32_t card, bool online, const QString &reason)
{
    const bool was = !m_offline.count(card);
    if (online)
        m_offline.erase(card);
    else
        m_offline[card] = reason;
    if (!m_connected || (was && online))
        return;
    const QString topic = BoardStatusTopic(m_config.topicPrefix, card);
    Retain(topic, online ? "online" : "offline");
    Retain(topic + QStringLiteral("/reason"), online ? QByteArray() : reason.toUtf8());
}

void PlantLink::OnMessage(const QString &topic, const QByteArray &payload, int size, bool retained)
{
    if (topic == GetTopic(m_config.topicPrefix))
        return OnGet();
    if (topic == m_config.discoveryStatusTopic) {
        // The home-automation system's birth message: it lost its configs and states.
        if (m_config.discovery == Discovery::HomeAssistant && payload == "online" && !retained &&
            m_connected)
            PublishAll();
        return;
    }
    OnSet(topic, payload, size, retained);
}

void PlantLink::OnSet(const QString &topic, const QByteArray &payload, int size, bool retained)
{
    const auto target = ParseAnySetTopic(m_config.topicPrefix, topic);
    if (!target)
        return Refuse(topic, QStringLiteral("not an output's set topic"));
    const auto [card, point] = *target;
    SetRequest r;
    if (size > kMaxSetPayload)
        r.problem = QStringLiteral("is too long");
    else
        r = ParseSetRequest(payload);
    QString reason;
    if (!m_config.IsWritable(card, point))
        reason = QStringLiteral("not a writable output");
    else if (retained)
        reason = QStringLiteral("a retained (stored) set message is never carried out");
    else if (!r.value)
        reason = PayloadText(payload, size) +
            (r.problem.isEmpty() ? QStringLiteral(" is not 1, 0, ON, OFF, on or off")
                                 : u' ' + r.problem);
    if (!reason.isEmpty()) {
        Refuse(topic, reason);
        if (!retained)
            Answer(card, point, false, false, reason, payload, r.id);
        return;
    }
    Request request{*r.value, payload, r.id};
    const auto it = m_pending.find(*target);
    if (it != m_pending.end()) {
        ++m_dropped;
        ReportLater();
        Answer(card, point, false, false,
               QStringLiteral("replaced by a newer set message within one poll interval"),
               it->second.payload, it->second.id);
    }
    m_pending[*target] = request;
    if (!m_switchTimer.isActive())
        m_switchTimer.start();
}

// <p>/get: every state and the inventory again, at most once a second.
void PlantLink::OnGet()
{
    if (m_lastGet.isValid() && !m_lastGet.hasExpired(1000)) {
        ++m_ignoredGets;
        return ReportLater();
    }
    m_lastGet.start();
    if (m_connected)
        PublishAll();
}

void PlantLink::AnswerSet(int32_t card, int point, bool ok, bool value, const QString &reason)
{
    const auto it = m_asked.find({card, point});
    if (it == m_asked.end())
        return;
    const Request request = it->second;
    m_asked.erase(it);
    Answer(card, point, ok, value, reason, request.payload, request.id);
}

void PlantLink::Answer(int32_t card, int point, bool ok, bool value, const QString &reason,
                       const QByteArray &request, const QString &id)
{
    if (m_connected)
        m_session->Publish(ResultTopic(m_config.topicPrefix, card, point),
                           SetResultJson(ok, value, reason, request, id), false);
}

// Hands the latest value of each point asked for since the last tick to the agent.
void PlantLink::SwitchPending()
{
    const auto pending = std::exchange(m_pending, {});
    for (const auto &[target, request] : pending) {
        m_asked[target] = request;
        emit outputRequested(target.first, target.second, request.value);
    }
}

void PlantLink::Refuse(const QString &topic, const QString &reason)
{
    ++m_refused;
    ++m_unreported;
    m_lastRefusal = topic + QStringLiteral(": ") + reason;
    ReportLater();
}

// At most one line a second about refused and dropped set messages.
void PlantLink::ReportLater()
{
    if (!m_lastLog.isValid() || m_lastLog.hasExpired(1000))
        FlushReports();
    else if (!m_logTimer.isActive())
        m_logTimer.start(int(std::max<qint64>(1, 1000 - m_lastLog.elapsed())));
}

void PlantLink::FlushReports()
{
    QStringList parts;
    if (m_unreported == 1)
        parts << QStringLiteral("refused a set message on ") + m_lastRefusal;
    else if (m_unreported > 1)
        parts << QStringLiteral("refused %1 set messages (%2 in all; the last on %3)")
                     .arg(m_unreported)
                     .arg(m_refused)
                     .arg(m_lastRefusal);
    if (m_dropped > m_droppedReported)
        parts << QStringLiteral("dropped %1 set messages for a newer value of the same point "
                                "within one poll interval (%2 in all)")
                     .arg(m_dropped - m_droppedReported)
                     .arg(m_dropped);
    if (m_ignoredGets > m_ignoredGetsReported)
        parts << QStringLiteral("ignored %1 get requests that came within a second of the last "
                                "(%2 in all)")
                     .arg(m_ignoredGets - m_ignoredGetsReported)
                     .arg(m_ignoredGets);
    m_ignoredGetsReported = m_ignoredGets;
    m_unreported = 0;
    m_droppedReported = m_dropped;
    if (parts.isEmpty())
        return;
    Log(parts.join(QStringLiteral("; ")));
    m_lastLog.restart();
}

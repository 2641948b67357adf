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
    connect(m_session.get(), &MqttSession::connected, this, &PlantLink::OnConnected);
    connect(m_session.get(), &MqttSession::failed, this, &PlantLink::OnFailed);
    connect(m_session.get(), &MqttSession::messageArrived, this, &PlantLink::OnMessage);
    if (m_session->Start(error))
        return true;
    m_session.reset();
    return false;
}

void PlantLink::Stop()
{
    if (!m_session)
        return;
    m_switchTimer.stop();
    if (m_connected &&
        !m_session->PublishAndWait(StatusTopic(m_config.topicPrefix), "offline", true, 2000))
        Log(QStringLiteral("the broker did not take \"offline\" in time; its last will says it"));
    m_session->Stop();
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
    m_session->Publish(StateTopic(p, card, dir, point), value ? "1" : "0", true);
    m_session->Publish(EventsTopic(p),
                       EventJson(timeUtcMicroseconds, card, dir, point, value, name), false);
}

void PlantLink::OnConnected()
{
    if (!m_session)
        return;
    m_reported.clear();
    Log(QStringLiteral("connected to %1:%2 as %3, publishing under %4")
            .arg(m_config.host)
            .arg(m_config.port)
            .arg(m_config.clientId, m_config.topicPrefix));
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
    if (m_reported.contains(reason))
        return;
    m_reported.insert(reason);
    Log(reason +
        (refusal ? QStringLiteral("; retrying quietly up to every 30 s")
                 : QStringLiteral("; retrying")));
}

// "online", every live point's value, the discovery configs, then the set topics.
void PlantLink::PublishAll()
{
    const QString &p = m_config.topicPrefix;
    m_session->Publish(StatusTopic(p), "online", true);
    const std::vector<PointState> states = m_source ? m_source() : std::vector<PointState>{};
    for (const PointState &s : states)
        m_session->Publish(StateTopic(p, s.card, s.dir, s.point), s.value ? "1" : "0", true);
    if (m_config.discovery == Discovery::HomeAssistant)
        PublishDiscovery(states);
    if (!m_config.allowWrite)
        return;
    QStringList topics;
    for (const auto &[card, point] : m_config.writable)
        topics << SetTopic(p, card, point);
    if (!m_session->Subscribe(topics))
        Log(QStringLiteral("could not subscribe to the set topics"));
}

// A config for each input and writable output; an empty one removes the switch of every
// other output, so a point taken out of WritablePoints disappears from the dashboards.
void PlantLink::PublishDiscovery(const std::vector<PointState> &states)
{
    for (const PointState &s : states) {
        auto board = std::find_if(m_boards.begin(), m_boards.end(),
                                  [&](const PlantBoard &b) { return b.cardNo == s.card; });
        PlantBoard known;
        known.cardNo = s.card;
        if (board != m_boards.end())
            known = *board;
        const QString topic = DiscoveryTopic(m_config.clientId, s.card, s.dir, s.point);
        const bool shown = s.dir == PointDir::In || m_config.IsWritable(s.card, s.point);
        m_session->Publish(
            topic, shown ? DiscoveryConfig(m_config, known, s.dir, s.point, s.name) : QByteArray(),
            true);
    }
}

void PlantLink::OnMessage(const QString &topic, const QByteArray &payload, int size, bool retained)
{
    const auto target = ParseSetTopic(m_config.topicPrefix, topic);
    if (!target || !m_config.IsWritable(target->first, target->second))
        return Refuse(topic, QStringLiteral("not a writable output"));
    if (retained)
        return Refuse(topic,
                      QStringLiteral("a retained (stored) set message is never carried out"));
    const std::optional<bool> value =
        size <= MqttSession::kMaxPayload ? ParseSetPayload(payload) : std::nullopt;
    if (!value)
        return Refuse(
            topic, PayloadText(payload, size) + QStringLiteral(" is not 1, 0, ON, OFF, on or off"));
    const auto [it, added] = m_pending.insert_or_assign(*target, *value);
    Q_UNUSED(it);
    if (!added) {
        ++m_dropped;
        ReportLater();
    }
    if (!m_switchTimer.isActive())
        m_switchTimer.start();
}

// Hands the latest value of each point asked for since the last tick to the agent.
void PlantLink::SwitchPending()
{
    const auto pending = std::exchange(m_pending, {});
    for (const auto &[target, value] : pending)
        emit outputRequested(target.first, target.second, value);
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
    m_unreported = 0;
    m_droppedReported = m_dropped;
    if (parts.isEmpty())
        return;
    Log(parts.join(QStringLiteral("; ")));
    m_lastLog.restart();
}

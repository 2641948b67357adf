#include "MqttComponent.h"

#include "Agent.h"
#include "Watchdog.h"
#include "model/PointIo.h"

#include <QJsonDocument>

#include <QSysInfo>

#include <algorithm>

MqttComponent::MqttComponent(Watchdog *watchdog)
    : m_watchdog(watchdog)
{
}

MqttComponent::~MqttComponent() = default;

bool MqttComponent::Check(const Section &section, const std::vector<PlantBoard> *boards,
                          std::optional<MqttConfig> *config, QString *error)
{
    config->reset();
    if (section.line == 0)
        return true;
    std::vector<MqttIniLine> lines;
    for (const ConfigEntry &e : section.entries) {
        // Which outputs exist is known once the boards are read.
        if (boards || e.key.compare(u"WritablePoints", Qt::CaseInsensitive) != 0)
            lines.push_back({e.line, e.key, e.value});
    }
    MqttConfigResult result =
        ParseMqttConfig(section.file, section.line, lines,
                        boards ? *boards : std::vector<PlantBoard>{}, QSysInfo::machineHostName());
    if (!result.config) {
        *error = result.errors.join(QStringLiteral("\norvane-agent: "));
        return false;
    }
    *config = std::move(result.config);
    return true;
}

bool MqttComponent::Configure(const QList<ConfigEntry> &entries, const QString &file,
                              int sectionLine, QString *error)
{
    const Section section{entries, file, sectionLine};
    std::optional<MqttConfig> config;
    if (!Check(section, m_model ? &m_boards : nullptr, &config, error))
        return false;
    m_section = section;
    m_config = std::move(config);
    if (m_haveState)
        Restart();
    return true;
}

bool MqttComponent::SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards,
                              int intervalMs, QString *error)
{
    std::vector<PlantBoard> plant;
    for (const BoardInfo &b : boards)
        plant.push_back({b.cardNo, QString::fromLatin1(b.name), b.liveMask(PointDir::In),
                         b.liveMask(PointDir::Out)});
    std::optional<MqttConfig> config;
    if (!Check(m_section, &plant, &config, error))
        return false;
    m_model = &model;
    m_boards = std::move(plant);
    m_intervalMs = intervalMs;
    m_config = std::move(config);
    m_restartDue = true; // once the state of these boards is known
    m_haveState = false;
    return true;
}

void MqttComponent::FullState(const std::vector<HistoryChange> &state)
{
    m_values.clear();
    for (const HistoryChange &c : state)
        m_values[HistoryPointKey(c.card, c.dir, c.point)] = c;
    m_haveState = true;
    if (std::exchange(m_restartDue, false))
        Restart();
}

void MqttComponent::Changes(const std::vector<HistoryChange> &changes)
{
    for (const HistoryChange &c : changes) {
        m_values[HistoryPointKey(c.card, c.dir, c.point)] = c;
        if (m_link)
            m_link->PublishChange(c.timeUs, c.card, c.dir, c.point, c.value,
                                  Name(c.card, c.dir, c.point));
    }
}

void MqttComponent::Stop()
{
    m_link.reset(); // "offline" (retained) before it disconnects
}

// The link in force goes ("offline"), the one of the section and boards now in force starts.
void MqttComponent::Restart()
{
    m_link.reset();
    if (!m_config)
        return;
    m_link = std::make_unique<PlantLink>(
        *m_config, m_boards, [this] { return States(); }, m_intervalMs);
    connect(m_link.get(), &PlantLink::logMessage, this,
            [](const QString &line) { AgentLog(line); });
    connect(m_link.get(), &PlantLink::outputRequested, this, &MqttComponent::Switch);
    LinkWatchdog();
    QString error;
    if (!m_link->Start(&error)) {
        AgentLog(QStringLiteral("plant link: %1; nothing is published").arg(error));
        m_link.reset();
    }
}

// An accepted set message: the output is written through the library and read back; the
// poll asked for at once records the new value and hands it to the link like any change.
void MqttComponent::Switch(int32_t card, int point, bool value)
{
    // The link asks only for these; checked again, since this is where a board is written.
    const bool live = std::any_of(m_boards.begin(), m_boards.end(), [&](const PlantBoard &b) {
        return b.cardNo == card && point >= 0 && point < 64 && (b.outMask >> point & 1);
    });
    if (!m_config || !m_config->IsWritable(card, point) || !live)
        return AgentLog(QStringLiteral("plant link: output %1 of card %2 may not be written")
                            .arg(point)
                            .arg(card));
    if (m_watchdog && m_watchdog->tripped())
        return AgentLog(QStringLiteral("plant link: refused a set message for output %1 of "
                                       "card %2: the watchdog is tripped")
                            .arg(point)
                            .arg(card));
    const WriteResult written = VerifiedWrite(card, point, value);
    if (!written.ok)
        AgentLog(QStringLiteral("plant link: ") + written.reason);
    if (!written.written)
        return; // nothing changed
    if (pollSoon)
        pollSoon();
}

std::vector<PointState> MqttComponent::States() const
{
    std::vector<PointState> states;
    states.reserve(m_values.size());
    for (const auto &[key, c] : m_values)
        states.push_back({c.card, c.dir, c.point, c.value, Name(c.card, c.dir, c.point)});
    return states;
}

QString MqttComponent::Name(int32_t card, PointDir dir, int point) const
{
    return m_model ? m_model->names().Name(card, dir, point) : QString();
}

// -- The watchdog on the broker: <p>/watchdog (retained), <p>/watchdog/kick and /clear.

void MqttComponent::LinkWatchdog()
{
    if (!m_watchdog || !m_watchdog->configured())
        return;
    const QString p = m_config->topicPrefix;
    m_link->AddTopics({p + QStringLiteral("/watchdog/kick"), p + QStringLiteral("/watchdog/clear")},
                      [this](const QString &topic, const QByteArray &payload, bool retained) {
                          OnWatchdogMessage(topic, payload, retained);
                      });
    connect(m_link.get(), &PlantLink::connectedChanged, this, [this](bool connected) {
        if (connected)
            PublishWatchdog();
    });
    connect(m_watchdog, &Watchdog::changed, m_link.get(), [this] { PublishWatchdog(); });
}

void MqttComponent::PublishWatchdog()
{
    if (!m_link || !m_config)
        return;
    QJsonObject o = m_watchdog->Status();
    o[QStringLiteral("clearable")] = m_config->allowWrite;
    m_link->Publish(m_config->topicPrefix + QStringLiteral("/watchdog"),
                    QJsonDocument(o).toJson(QJsonDocument::Compact), true);
}

// A kick feeds the watchdog; a clear clears a trip with AllowWrite=1. A retained (stored)
// message is never taken: it would feed or clear the watchdog at every connect; an empty one
// (a retained message being removed) is nothing.
void MqttComponent::OnWatchdogMessage(const QString &topic, const QByteArray &payload,
                                      bool retained)
{
    if (payload.isEmpty()) // what removes a retained message from the broker
        return;
    if (retained)
        return AgentLog(
            QStringLiteral("plant link: a retained message on %1 is ignored").arg(topic));
    if (topic.endsWith(QStringLiteral("/kick")))
        return m_watchdog->Kick();
    if (!m_config->allowWrite)
        return AgentLog(
            QStringLiteral("plant link: %1 refused: AllowWrite=0 in [Mqtt]").arg(topic));
    QString why;
    if (!m_watchdog->Clear(QStringLiteral("a message on ") + topic, &why))
        AgentLog(QStringLiteral("plant link: %1: %2").arg(topic, why));
}

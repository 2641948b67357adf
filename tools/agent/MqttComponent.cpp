#include "MqttComponent.h"

#include "Agent.h"
#include "OrvaneBuild.h"
#include "Watchdog.h"
#include "device/LoadedLibrary.h"
#include "model/PointIo.h"

#include <QJsonDocument>

#include <QSysInfo>
#include <QTimer>

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
    if (config == m_config)
        return true; // the link goes on: a subscriber sees no offline
    m_config = std::move(config);
    m_restartDue = true;
    // After the agent's reload: the boards may follow, and then restart it once with them.
    QTimer::singleShot(0, this, [this] {
        if (m_restartDue && m_haveState) {
            m_restartDue = false;
            Restart();
        }
    });
    return true;
}

bool MqttComponent::SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards,
                              int intervalMs, QString *error)
{
    std::vector<PlantBoard> plant;
    for (const BoardInfo &b : boards)
        plant.push_back({b.cardNo, QString::fromLatin1(b.name), b.liveMask(PointDir::In),
                         b.liveMask(PointDir::Out), b.type, b.firmware, b.inputs, b.outputs});
    std::optional<MqttConfig> config;
    if (!Check(m_section, &plant, &config, error))
        return false;
    const bool same = m_model && plant == m_boards && config == m_config;
    m_model = &model;
    m_boards = std::move(plant);
    if (same && intervalMs == m_intervalMs)
        return true;
    m_intervalMs = intervalMs;
    m_config = std::move(config);
    if (same && m_link)
        m_link->SetInterval(intervalMs);
    else
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
    if (m_link)
        m_link->Stop(); // "offline" (retained) before it disconnects, 2 s at most
    m_link.reset();
}

// The link in force goes ("offline", finished by its own thread: the poll never waits for a
// broker), the one of the section and boards now in force starts.
void MqttComponent::Restart()
{
    if (m_link)
        m_link->Stop(false);
    m_link.reset();
    if (!m_config)
        return;
    m_link = std::make_unique<PlantLink>(
        *m_config, m_boards, [this] { return States(); }, m_intervalMs);
    const LoadedLibraryInfo &library = LoadedLibrary();
    m_link->SetInfo(
        {QStringLiteral(ORVANE_VERSION), library.path, library.simulated, m_intervalMs});
    // What the link before published and this one does not (a board or a point gone,
    // discovery off): emptied, so that nothing stale stays on the broker.
    const QSet<QString> topics = m_link->RetainedTopics();
    m_link->ClearOnConnect(m_published - topics);
    m_published = topics;
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
    const auto refuse = [&](const QString &reason) {
        AgentLog(QStringLiteral("plant link: ") + reason);
        if (m_link)
            m_link->AnswerSet(card, point, false, value, reason);
    };
    if (!m_config || !m_config->IsWritable(card, point) || !live)
        return refuse(
            QStringLiteral("output %1 of card %2 may not be written").arg(point).arg(card));
    if (m_watchdog && m_watchdog->tripped())
        return refuse(QStringLiteral("the watchdog is tripped; outputs stay in their safe "
                                     "state until it is cleared"));
    const WriteResult written = VerifiedWrite(card, point, value);
    if (!written.ok)
        refuse(written.reason);
    else if (m_link)
        m_link->AnswerSet(card, point, true, value, {});
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

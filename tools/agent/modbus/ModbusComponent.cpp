#include "ModbusComponent.h"

#include "Agent.h"
#include "ModbusServer.h"
#include "Watchdog.h"
#include "model/PointIo.h"

#include <chrono>
#include <ctime>

namespace {

int64_t NowMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

} // namespace

ModbusComponent::ModbusComponent(Watchdog *watchdog)
    : m_watchdog(watchdog)
{
    m_writeTimer.setSingleShot(true);
    connect(&m_writeTimer, &QTimer::timeout, this, &ModbusComponent::WritePending);
    if (m_watchdog)
        connect(m_watchdog, &Watchdog::changed, this, &ModbusComponent::Publish);
    const QStringList version = QStringLiteral(ORVANE_AGENT_VERSION).split(u'.');
    m_image.versionMajor = version.value(0).toInt();
    m_image.versionMinor = version.value(1).toInt();
    Publish();
}

ModbusComponent::~ModbusComponent()
{
    Stop();
}

std::vector<PlantBoard> ModbusComponent::PlantBoards() const
{
    std::vector<PlantBoard> plant;
    for (const BoardInfo &b : m_boards)
        plant.push_back({b.cardNo, {}, b.liveMask(PointDir::In), b.liveMask(PointDir::Out)});
    return plant;
}

bool ModbusComponent::Configure(const QList<ConfigEntry> &entries, const QString &file,
                                int sectionLine, QString *error)
{
    std::optional<ModbusConfig> config;
    if (sectionLine != 0) {
        const std::vector<PlantBoard> plant = PlantBoards();
        config.emplace();
        if (!ParseModbusConfig(entries, file, m_haveBoards ? &plant : nullptr, &*config, error))
            return false;
    }
    m_section = {entries, file, sectionLine};
    const bool changed = config != m_config;
    m_config = std::move(config);
    if (changed && m_haveBoards)
        Restart();
    return true;
}

bool ModbusComponent::SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards,
                                int intervalMs, QString *error)
{
    const std::vector<BoardInfo> old = std::exchange(m_boards, boards);
    std::optional<ModbusConfig> config;
    if (m_section.line != 0) {
        const std::vector<PlantBoard> plant = PlantBoards();
        config.emplace();
        if (!ParseModbusConfig(m_section.entries, m_section.file, &plant, &*config, error)) {
            m_boards = old;
            return false;
        }
    }
    m_positions.clear();
    for (auto &b : m_image.boards)
        b = {};
    for (const BoardInfo &b : boards) {
        int position = 0;
        while (position < model.boardSlots() && model.cardNo(position) != b.cardNo)
            ++position;
        m_positions.push_back(position);
        if (position >= ModbusMap::kBoards)
            continue;
        ModbusMap::ImageBoard &i = m_image.boards[size_t(position)];
        i.present = true;
        i.card = b.cardNo;
        i.inMask = b.liveMask(PointDir::In);
        i.outMask = b.liveMask(PointDir::Out);
    }
    const bool first = !m_haveBoards;
    m_haveBoards = true;
    m_intervalMs = intervalMs;
    const bool changed = config != m_config;
    m_config = std::move(config);
    if (first || changed)
        Restart();
    Publish();
    return true;
}

void ModbusComponent::FullState(const std::vector<HistoryChange> &state)
{
    for (auto &b : m_image.boards)
        b.in = b.out = 0;
    Changes(state);
}

void ModbusComponent::Changes(const std::vector<HistoryChange> &changes)
{
    for (const HistoryChange &c : changes) {
        for (size_t n = 0; n < m_boards.size(); ++n) {
            if (m_boards[n].cardNo != c.card || m_positions[n] >= ModbusMap::kBoards)
                continue;
            ModbusMap::ImageBoard &b = m_image.boards[size_t(m_positions[n])];
            uint64_t &word = c.dir == PointDir::In ? b.in : b.out;
            word = (word & ~(1ull << c.point)) | (uint64_t(c.value) << c.point);
        }
    }
    Publish();
}

// A copy of the image for the connection threads, with the watchdog's state and the writable
// outputs of the section in force.
void ModbusComponent::Publish()
{
    for (auto &b : m_image.boards) {
        b.writable = 0;
        for (int point = 0; m_config && m_config->allowWrite && point < 64; ++point)
            if (b.present && m_config->writable.count({b.card, point}))
                b.writable |= 1ull << point;
        b.safe = m_watchdog && m_watchdog->BoardSafe(b.card);
    }
    if (m_watchdog) {
        m_image.watchdogState = m_watchdog->state() == Watchdog::Waiting ? 0 : m_watchdog->state();
        m_image.watchdogTimeoutMs = m_watchdog->timeoutMs();
        m_image.trips = m_watchdog->trips();
    }
    auto image = std::make_shared<const ModbusMap::Image>(m_image);
    std::lock_guard lock(m_imageMutex);
    m_published = std::move(image);
}

void ModbusComponent::Restart()
{
    m_stopping = true; // a connection thread waiting for its write gives up
    m_server.reset();
    m_stopping = false;
    if (!m_config)
        return;
    ModbusServer::Hooks hooks;
    hooks.image = [this] {
        std::lock_guard lock(m_imageMutex);
        return m_published;
    };
    hooks.carryOut = [this](const ModbusMap::Verdict &v, const QString &client) {
        return CarryOut(v, client);
    };
    if (m_watchdog) {
        hooks.masterRequest = [w = m_watchdog](bool write) {
            w->MasterRequest(write);
        };
        hooks.msSinceRequest = [w = m_watchdog] {
            return w->MsSinceRequest();
        };
    }
    hooks.log = [](const QString &line) {
        AgentLog(line);
    };
    m_server = std::make_unique<ModbusServer>(*m_config, std::move(hooks));
    QString error;
    if (!m_server->Start(&error)) {
        AgentLog(QStringLiteral("modbus: %1; nothing is served").arg(error));
        m_server.reset();
        return;
    }
    AgentLog(QStringLiteral("modbus: listening on %1 port %2 (%3)")
                 .arg(m_config->listen)
                 .arg(m_config->port)
                 .arg(m_config->allowWrite ? QStringLiteral("writes allowed")
                                           : QStringLiteral("read only")));
}

// A connection thread's write: done on the main thread, answered after the read-back.
uint8_t ModbusComponent::CarryOut(const ModbusMap::Verdict &verdict, const QString &client)
{
    auto job = std::make_shared<Job>();
    job->verdict = verdict;
    job->client = client;
    std::future<uint8_t> done = job->done.get_future();
    QMetaObject::invokeMethod(
        this, [this, job] { Take(job); }, Qt::QueuedConnection);
    job.reset(); // the main thread holds it; when it is dropped unanswered, the promise breaks
    try {
        while (done.wait_for(std::chrono::milliseconds(50)) != std::future_status::ready)
            if (m_stopping)
                return MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
        return done.get();
    } catch (const std::future_error &) {
        return MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
    }
}

void ModbusComponent::Take(const std::shared_ptr<Job> &job)
{
    const ModbusMap::Verdict &v = job->verdict;
    if (v.action == ModbusMap::Action::WriteWatchdog) {
        if (m_watchdog && v.timeoutMs)
            m_watchdog->SetTimeout(*v.timeoutMs);
        if (m_watchdog && v.clear)
            m_watchdog->Clear(QStringLiteral("a Modbus client at ") + job->client);
        return job->done.set_value(0);
    }
    if (m_watchdog && m_watchdog->tripped())
        return job->done.set_value(MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
    m_jobs.push_back(job);
    if (!m_writeTimer.isActive())
        m_writeTimer.start(
            int(std::clamp<int64_t>(m_lastTickMs + m_intervalMs - NowMs(), 0, m_intervalMs)));
}

// The writes asked for since the last tick: the latest value of each output, once.
void ModbusComponent::WritePending()
{
    m_lastTickMs = NowMs();
    const std::vector<std::shared_ptr<Job>> jobs = std::exchange(m_jobs, {});
    const bool tripped = m_watchdog && m_watchdog->tripped();
    std::map<std::pair<int32_t, int>, bool> latest;
    for (const auto &job : jobs)
        for (const ModbusMap::PointWrite &w : job->verdict.writes)
            latest[{w.card, w.point}] = w.value;
    std::map<std::pair<int32_t, int>, QString> failed;
    for (const auto &[point, value] : latest) {
        if (tripped)
            break;
        const WriteResult r = VerifiedWrite(point.first, point.second, value);
        if (!r.ok)
            failed[point] = r.reason;
        else
            Changes({{0, point.first, PointDir::Out, uint8_t(point.second), value}}); // read back
    }
    for (const auto &job : jobs) {
        uint8_t code = tripped ? MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE : 0;
        for (const ModbusMap::PointWrite &w : job->verdict.writes) {
            const auto it = failed.find({w.card, w.point});
            if (it == failed.end())
                continue;
            AgentLog(QStringLiteral("modbus: a write from %1: %2").arg(job->client, it->second));
            code = MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE;
            break;
        }
        job->done.set_value(code);
    }
    if (!latest.empty() && pollSoon)
        pollSoon();
}

void ModbusComponent::Stop()
{
    m_stopping = true;
    m_server.reset();
    for (const auto &job : std::exchange(m_jobs, {}))
        job->done.set_value(MODBUS_EXCEPTION_SLAVE_OR_SERVER_FAILURE);
}

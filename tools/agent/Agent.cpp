#include "Agent.h"

#include "config/PointNames.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "device/DeviceTable.h"
#include "device/SystemLoad.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QFileInfo>

#include <cstdio>
#include <ctime>

namespace {

constexpr int kLoadRetryMs = 5000;
constexpr int64_t kWriteRetryMs = 5000;
constexpr int64_t kFlushMs = 1000;
constexpr size_t kFlushEarly =
    1000; // changes: written in short transactions that keep polls on time
constexpr int64_t kTrimEveryMs = 60'000;
constexpr int64_t kReportEveryMs = 60'000;

int64_t MonotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1'000'000;
}

int64_t WallClockUs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

} // namespace

void AgentLog(const QString &text)
{
    std::fprintf(stderr, "orvane-agent: %s\n", qPrintable(text));
    std::fflush(stderr);
}

Agent::Agent(const AgentOptions &options, const QString &executableDir)
    : m_options(options)
    , m_executableDir(executableDir)
{
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, &Agent::Poll);
    m_loadTimer.setInterval(kLoadRetryMs);
    connect(&m_loadTimer, &QTimer::timeout, this, &Agent::TryLoad);
}

Agent::~Agent() = default;

void Agent::AddComponent(std::unique_ptr<AgentComponent> component)
{
    component->pollSoon = [this] {
        PollSoon();
    };
    // An event goes to the history's events table and the log.
    component->recordEvent = [this](const QString &kind, const QString &text) {
        AgentLog(QStringLiteral("event %1: %2").arg(kind, text));
        QString error;
        if (m_writer.isOpen() && !m_writer.AppendEvent(WallClockUs(), kind, text, &error))
            AgentLog(QStringLiteral("the event is not in the history: ") + error);
    };
    m_components.push_back(std::move(component));
}

// One extra poll when the event loop is free, however often it is asked for meanwhile.
void Agent::PollSoon()
{
    if (m_pollQueued || !m_pollTimer.isActive())
        return;
    m_pollQueued = true;
    QTimer::singleShot(0, this, [this] {
        m_pollQueued = false;
        if (m_pollTimer.isActive())
            Poll();
    });
}

bool Agent::ReadConfig(AgentConfig *config, QString *error)
{
    QStringList sections;
    for (const auto &component : m_components)
        sections << component->section();
    *config = AgentConfig{};
    if (!m_options.config.isEmpty() && !ReadAgentConfig(m_options.config, sections, config, error))
        return false;
    // The command line goes before the file.
    if (!m_options.database.isEmpty())
        config->recorder.database = m_options.database;
    if (m_options.intervalMs)
        config->recorder.intervalMs = *m_options.intervalMs;
    return true;
}

bool Agent::ConfigureComponents(const AgentConfig &config, QString *error)
{
    const auto configure = [this](AgentComponent &c, const AgentConfig &from, QString *e) {
        return c.Configure(from.Section(c.section()), m_options.config,
                           from.SectionLine(c.section()), e);
    };
    for (size_t i = 0; i < m_components.size(); ++i) {
        if (configure(*m_components[i], config, error))
            continue;
        // The one that refused kept its configuration; those before it take theirs back.
        QString ignored;
        for (size_t j = 0; j < i; ++j)
            configure(*m_components[j], m_config, &ignored);
        return false;
    }
    return true;
}

int Agent::Start()
{
    QString error;
    if (!ReadConfig(&m_config, &error) || !ConfigureComponents(m_config, &error)) {
        AgentLog(error);
        return kAgentUsage;
    }
    AgentLog(QStringLiteral("starting, config %1")
                 .arg(m_options.config.isEmpty() ? QStringLiteral("none (the defaults)")
                                                 : m_options.config));
    DeviceLoadError loadError;
    const QString library =
        Settings::DeviceLibraryPath(m_executableDir, m_config.recorder.deviceLibrary);
    if (!m_library.Load(library, &loadError)) {
        AgentLog(LoadFailureText(DeviceTable::kNotLoaded) + u' ' + loadError.text());
        return kAgentRefused;
    }
    SetDeviceTable(m_library.Table());
    if (m_library.IsSimulated())
        AgentLog(QStringLiteral("warning: %1 is the simulated device library: the boards "
                                "recorded and published are not real")
                     .arg(m_library.FilePath()));

    m_databasePath = m_config.recorder.database.isEmpty() ? HistoryFile::DefaultPath()
                                                          : m_config.recorder.database;
    if (m_config.recorder.database.isEmpty())
        QDir().mkpath(QFileInfo(m_databasePath).absolutePath()); // the default folder only
    if (!m_writer.Open(m_databasePath, &error)) {
        AgentLog(error);
        return kAgentRefused;
    }
    AgentLog(QStringLiteral("database %1").arg(m_databasePath));
    const QString names = m_config.recorder.pointNames.isEmpty()
        ? PointNames::PathBeside(Settings::ChooseSettingsPath(m_executableDir))
        : m_config.recorder.pointNames;
    m_model.LoadNames(names);
    TryLoad();
    return m_exitStatus; // -1 unless a component refused the boards
}

QString Agent::DeviceLibraryPath()
{
    AgentConfig config;
    QString ignored;
    ReadConfig(&config, &ignored);
    return Settings::DeviceLibraryPath(m_executableDir, config.recorder.deviceLibrary);
}

void Agent::TryLoad()
{
    int32_t mode = DXS_LOAD_AUTO;
    if (m_config.recorder.loadingMode) {
        mode = *m_config.recorder.loadingMode;
    } else {
        const QByteArray text =
            Settings::ReadLoadingModeText(Settings::ChooseSettingsPath(m_executableDir));
        mode = text.isEmpty() ? DXS_LOAD_AUTO : Atoi(text);
    }
    const int32_t status = m_model.LoadSystem(mode);
    if (status < 0) {
        if (!m_loadReported)
            AgentLog(QStringLiteral("%1 (%2 failed with status %3); trying again every %4 s")
                         .arg(LoadFailureText(status), m_model.failedCall())
                         .arg(status)
                         .arg(kLoadRetryMs / 1000));
        m_loadReported = true;
        m_loadTimer.start();
        return;
    }
    m_loadTimer.stop();
    if (m_loadReported)
        AgentLog(QStringLiteral("the device system loaded"));
    if (m_model.ReadCardMap() < 0) {
        AgentLog(QStringLiteral("%1 failed; nothing is recorded").arg(m_model.failedCall()));
        return;
    }
    ChooseBoards();
}

void Agent::ChooseBoards()
{
    std::vector<BoardInfo> boards;
    QStringList found;
    const std::vector<int32_t> &wanted = m_config.recorder.boards;
    for (int i = 0; i < m_model.boardSlots(); ++i) {
        const int32_t card = m_model.cardNo(i);
        const bool chosen = wanted.empty() || std::count(wanted.begin(), wanted.end(), card);
        const bool seen = std::any_of(boards.begin(), boards.end(),
                                      [card](const BoardInfo &b) { return b.cardNo == card; });
        if (!chosen || seen)
            continue;
        if (m_model.ReadBoard(i) < 0) {
            AgentLog(QStringLiteral("%1 failed; card %2 is not recorded")
                         .arg(m_model.failedCall())
                         .arg(card));
            continue;
        }
        const BoardInfo &b = m_model.board(i);
        boards.push_back(b);
        found << QStringLiteral("card %1 (%2 in, %3 out)").arg(card).arg(b.inputs).arg(b.outputs);
    }
    for (int32_t card : wanted) {
        if (!std::any_of(boards.begin(), boards.end(),
                         [card](const BoardInfo &b) { return b.cardNo == card; }))
            AgentLog(
                QStringLiteral("card %1 is not in the card map; it is not recorded").arg(card));
    }
    AgentLog(found.isEmpty() ? QStringLiteral("no board to record")
                             : QStringLiteral("recording every %1 ms: %2")
                                   .arg(m_config.recorder.intervalMs)
                                   .arg(found.join(QStringLiteral(", "))));
    if (!HandBoards(boards))
        return;
    std::vector<RecordedBoard> recorded;
    for (const BoardInfo &b : boards)
        recorded.push_back({b.cardNo, b.liveMask(PointDir::In), b.liveMask(PointDir::Out)});
    m_recorder.SetLastTime(m_writer.LastTimeUs());
    m_recorder.SetBoards(recorded, m_writer.LastValues());
    m_stateDue = true;
    m_lastFlushMs = MonotonicMs();
    m_pollTimer.start(m_config.recorder.intervalMs);
}

// The components take the boards; one that cannot use them stops the agent at the start
// (exit 2), and later keeps what it had.
bool Agent::HandBoards(const std::vector<BoardInfo> &boards)
{
    for (const auto &component : m_components) {
        QString error;
        if (component->SetBoards(m_model, boards, m_config.recorder.intervalMs, &error))
            continue;
        if (!m_boardsHanded) {
            AgentLog(error);
            Finish(kAgentUsage);
            return false;
        }
        AgentLog(error +
                 QStringLiteral("; [%1] keeps the boards it had").arg(component->section()));
    }
    m_boardsHanded = true;
    return true;
}

void Agent::Poll()
{
    const std::vector<HistoryChange> &changes = m_recorder.Poll(WallClockUs());
    // The place where the plant link takes the state and every change.
    for (const auto &component : m_components) {
        if (m_stateDue)
            component->FullState(m_recorder.State());
        else if (!changes.empty())
            component->Changes(changes);
    }
    m_stateDue = false;
    const int64_t nowMs = MonotonicMs();
    FlushIfDue(nowMs);
    TrimIfDue(nowMs);
    ReportCounters(nowMs);
}

void Agent::FlushIfDue(int64_t nowMs)
{
    const bool due = nowMs - m_lastFlushMs >= kFlushMs || m_recorder.buffered() >= kFlushEarly;
    if (!due || (!m_writeError.isEmpty() && nowMs < m_retryWriteMs))
        return;
    m_lastFlushMs = nowMs;
    QString error;
    if (m_recorder.Flush(&error)) {
        if (!m_writeError.isEmpty())
            AgentLog(QStringLiteral("writing the history again"));
        m_writeError.clear();
        return;
    }
    // Reported once; polling goes on, the buffer holds the changes, and the write is retried.
    if (m_writeError.isEmpty())
        AgentLog(
            QStringLiteral("%1%2; keeping up to %3 changes in memory and trying again "
                           "every %4 s")
                .arg(error, m_writer.diskFull() ? QStringLiteral(" (the disk is full)") : QString())
                .arg(Recorder::kDefaultBufferLimit)
                .arg(kWriteRetryMs / 1000));
    m_writeError = error;
    m_retryWriteMs = nowMs + kWriteRetryMs;
}

void Agent::TrimIfDue(int64_t nowMs)
{
    if (nowMs < m_nextTrimMs || !m_writeError.isEmpty())
        return;
    const RecorderConfig &r = m_config.recorder;
    const int64_t cutoff = WallClockUs() - int64_t(r.retentionDays) * 86'400'000'000;
    QString error;
    const int64_t removed = m_writer.Retain(cutoff, r.maxDatabaseMB * 1024 * 1024, &error);
    if (removed < 0)
        AgentLog(error);
    // While old changes go, the next slice follows a second later.
    m_nextTrimMs = nowMs + (removed > 0 ? kFlushMs : kTrimEveryMs);
}

void Agent::ReportCounters(int64_t nowMs)
{
    if (nowMs < m_nextReportMs)
        return;
    m_nextReportMs = nowMs + kReportEveryMs;
    QString first;
    if (const int64_t refused = m_recorder.TakeRefusals(&first))
        AgentLog(QStringLiteral("%1 reads refused in the last minute (the first: %2); those "
                                "points keep their last value")
                     .arg(refused)
                     .arg(first));
    if (const int64_t lost = m_recorder.TakeOverflow())
        AgentLog(QStringLiteral("%1 changes did not fit in memory while the history could not be "
                                "written; each such point's value is recorded once there is room")
                     .arg(lost));
}

void Agent::Finish(int status)
{
    if (m_exitStatus >= 0)
        return;
    m_exitStatus = status;
    m_pollTimer.stop();
    m_loadTimer.stop();
    for (const auto &component : m_components)
        component->Stop();
    QString error;
    if (m_writer.isOpen() && !m_recorder.Flush(&error))
        AgentLog(QStringLiteral("%1; %2 changes are lost").arg(error).arg(m_recorder.buffered()));
    m_writer.Close();
    if (m_model.loaded() && m_model.Unload() < 0)
        AgentLog(QStringLiteral("%1 failed").arg(m_model.failedCall()));
    AgentLog(QStringLiteral("stopped"));
    QCoreApplication::exit(status); // nothing before the event loop runs: Start() answers it
}

void Agent::Reload()
{
    AgentConfig config;
    QString error;
    if (!ReadConfig(&config, &error) || !ConfigureComponents(config, &error)) {
        AgentLog(error + QStringLiteral("; the configuration in force stays"));
        return;
    }
    const RecorderConfig old = m_config.recorder;
    m_config = config;
    if (config.recorder.database != old.database || config.recorder.loadingMode != old.loadingMode)
        AgentLog(QStringLiteral("Database and LoadingMode take effect at the next start"));
    m_config.recorder.database = old.database;
    m_config.recorder.loadingMode = old.loadingMode;
    if (!config.recorder.pointNames.isEmpty())
        m_model.LoadNames(config.recorder.pointNames);
    m_nextTrimMs = 0;
    AgentLog(QStringLiteral("configuration read again"));
    if (m_pollTimer.isActive() &&
        (config.recorder.boards != old.boards || config.recorder.intervalMs != old.intervalMs))
        ChooseBoards();
}

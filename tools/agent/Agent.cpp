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
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kLoadRetryMs = 5000;
constexpr int kLoadRetryMostMs = 300'000;
constexpr int64_t kReportEveryMs = 60'000;
constexpr int kLatenessStepUs = 10;

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

int64_t MonotonicMs()
{
    return MonotonicNs() / 1'000'000;
}

int64_t WallClockUs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

// Benchmarks only: "lateness" prints the polls' lateness at the end; "nohistory" also drops
// every change unwritten.
QByteArray BenchMode()
{
    return qgetenv("ORVANE_AGENT_BENCH");
}

} // namespace

namespace {

// Standard error is the journal when systemd says so (JOURNAL_STREAM names its device and inode).
bool ToJournal()
{
    static const bool journal = [] {
        const QByteArray stream = qgetenv("JOURNAL_STREAM");
        struct stat st = {};
        return !stream.isEmpty() && fstat(STDERR_FILENO, &st) == 0 &&
            stream ==
            QByteArray::number(quint64(st.st_dev)) + ':' + QByteArray::number(quint64(st.st_ino));
    }();
    return journal;
}

} // namespace

void AgentLog(const QString &text, LogLevel level)
{
    if (ToJournal())
        std::fprintf(stderr, "<%d>", int(level));
    std::fprintf(stderr, "orvane-agent: %s\n", qPrintable(text));
    std::fflush(stderr);
}

QString AgentClause(const QString &text)
{
    QString clause = text.trimmed();
    while (clause.endsWith(u'.') && !clause.endsWith(QStringLiteral("...")))
        clause.chop(1);
    return clause;
}

QString AgentTimeText(int64_t us)
{
    const QDateTime t = QDateTime::fromMSecsSinceEpoch(us / 1000, Qt::UTC);
    return t.toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.")) +
        QStringLiteral("%1Z").arg(us % 1'000'000 < 0 ? 0 : us % 1'000'000, 6, 10, QChar(u'0'));
}

Agent::Agent(const AgentOptions &options, const QString &executableDir)
    : m_options(options)
    , m_executableDir(executableDir)
{
    m_pollTimer.setTimerType(Qt::PreciseTimer);
    connect(&m_pollTimer, &QTimer::timeout, this, &Agent::Poll);
    m_loadTimer.setSingleShot(true);
    connect(&m_loadTimer, &QTimer::timeout, this, &Agent::TryLoad);
}

Agent::~Agent()
{
    if (m_sink && m_sink->abandoned())
        (void)m_sink.release(); // its thread is still inside the database: left to the exit
}

void Agent::AddComponent(std::unique_ptr<AgentComponent> component)
{
    component->pollSoon = [this] {
        PollSoon();
    };
    component->recordEvent = [this](const QString &kind, const QString &text) {
        RecordEvent(kind, text);
    };
    m_components.push_back(std::move(component));
}

void Agent::RecordEvent(const QString &kind, const QString &text)
{
    if (m_sink)
        m_sink->PushEvent(WallClockUs(), kind, text);
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
            PollOnce();
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
        AgentError(error);
        return kAgentUsage;
    }
    AgentLog(QStringLiteral("starting, config %1")
                 .arg(m_options.config.isEmpty() ? QStringLiteral("none (the defaults)")
                                                 : m_options.config));
    DeviceLoadError loadError;
    const QString library =
        Settings::DeviceLibraryPath(m_executableDir, m_config.recorder.deviceLibrary);
    if (!m_library.Load(library, &loadError)) {
        AgentError(LoadFailureText(DeviceTable::kNotLoaded) + u' ' + loadError.text());
        return kAgentRefused;
    }
    SetDeviceTable(m_library.Table());
    if (m_library.IsSimulated())
        AgentWarn(QStringLiteral("warning: %1 is the simulated device library: the boards "
                                 "recorded and published are not real")
                      .arg(m_library.FilePath()));
    if (!OpenHistory(&error)) {
        AgentError(error);
        return kAgentRefused;
    }
    LoadNames(m_config.recorder.pointNames);
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

// The database opens here, the rows stamped in the clock's future go aside, and the writer's
// thread starts.
bool Agent::OpenHistory(QString *error)
{
    m_databasePath = m_config.recorder.database.isEmpty() ? HistoryFile::DefaultPath()
                                                          : m_config.recorder.database;
    if (m_config.recorder.database.isEmpty())
        QDir().mkpath(QFileInfo(m_databasePath).absolutePath()); // the default folder only
    m_sink = std::make_unique<HistorySink>();
    if (!m_sink->Open(m_databasePath, WallClockUs(), error))
        return false;
    AgentLog(QStringLiteral("database %1").arg(m_databasePath));
    m_recorder.SetHistory(m_sink->lastValues(), m_sink->lastTimeUs());
    m_sink->SetRetention(m_config.recorder.retentionDays,
                         m_config.recorder.maxDatabaseMB * 1024 * 1024);
    m_sink->Start(BenchMode() != "nohistory");
    return true;
}

// The names file the config names, else the one under /etc/orvane; one that cannot be used
// (or a named one that is missing) is said, and the points go unnamed.
void Agent::LoadNames(const QString &configured)
{
    const QString path =
        configured.isEmpty() ? QString::fromLatin1(kDefaultPointNames) : configured;
    m_model.LoadNames(path);
    QString why = m_model.names().loadError();
    if (why.isEmpty() && !configured.isEmpty() && !QFileInfo::exists(configured))
        why = QStringLiteral("it does not exist");
    if (!why.isEmpty())
        AgentWarn(QStringLiteral("the point names file %1 cannot be used: %2; the points have no "
                                 "names")
                      .arg(path, why));
}

void Agent::TryLoad()
{
    const int32_t mode = m_config.recorder.loadingMode.value_or(DXS_LOAD_AUTO);
    const int32_t status = m_model.LoadSystem(mode);
    if (status < 0)
        return LoadFailed(mode, status);
    if (m_loadRetryMs > 0)
        AgentLog(QStringLiteral("the device system loaded"));
    m_loadRetryMs = 0;
    if (m_model.ReadCardMap() < 0) {
        AgentError(QStringLiteral("%1 failed; nothing is recorded").arg(m_model.failedCall()));
        return;
    }
    ChooseBoards();
}

// Said once; tried again after 5 s, then twice as long each time, up to 5 min. A system loaded
// in the other mode names that mode, as qrxio does.
void Agent::LoadFailed(int32_t mode, int32_t status)
{
    if (m_loadRetryMs == 0) {
        const QString call =
            QStringLiteral("%1 failed with status %2").arg(m_model.failedCall()).arg(status);
        const QString text = status != DXS_ERR_OPEN_MODE
            ? QStringLiteral("%1 (%2)").arg(LoadFailureText(status), call)
            : QStringLiteral("%1 (%2 in %3 mode); try the other loading mode: LoadingMode=%4 "
                             "in [Recorder]")
                  .arg(OpenModeQuestion().section(u'\n', 0, 0), call,
                       mode == DXS_LOAD_MANUAL ? QStringLiteral("manual") : QStringLiteral("auto"),
                       mode == DXS_LOAD_MANUAL ? QStringLiteral("auto") : QStringLiteral("manual"));
        AgentError(QStringLiteral("%1; trying again in %2 s, then less often (at least every %3 "
                                  "min)")
                       .arg(text)
                       .arg(kLoadRetryMs / 1000)
                       .arg(kLoadRetryMostMs / 60'000));
        m_loadRetryMs = kLoadRetryMs;
    } else {
        m_loadRetryMs = std::min(m_loadRetryMs * 2, kLoadRetryMostMs);
    }
    m_loadTimer.start(m_loadRetryMs);
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
            AgentWarn(QStringLiteral("%1 failed; card %2 is not recorded")
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
    // The time kept stays: the history's last time is below changes still on their way.
    m_recorder.SetBoards(recorded);
    m_stateDue = true;
    m_pollTimer.start(m_config.recorder.intervalMs);
    m_dueNs = MonotonicNs() + int64_t(m_config.recorder.intervalMs) * 1'000'000;
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
            AgentError(error);
            Finish(kAgentUsage);
            return false;
        }
        AgentWarn(AgentClause(error) +
                  QStringLiteral("; [%1] keeps the boards it had").arg(component->section()));
    }
    m_boardsHanded = true;
    return true;
}

void Agent::Poll()
{
    NoteLateness(MonotonicNs());
    PollOnce();
}

void Agent::PollOnce()
{
    if (m_sink->TakeReopened())
        m_recorder.ForgetRecorded(); // a new database starts with every point's value
    const std::vector<HistoryChange> &changes = m_recorder.Poll(WallClockUs());
    HandToHistory();
    // The place where the plant link takes the state and every change.
    for (const auto &component : m_components) {
        if (m_stateDue)
            component->FullState(m_recorder.State());
        else if (!changes.empty())
            component->Changes(changes);
    }
    m_stateDue = false;
    ReportCounters(MonotonicMs());
}

// The poll's changes go to the writer's thread; a step back of the clock is said once and kept
// as an event, before them.
void Agent::HandToHistory()
{
    if (const std::optional<Recorder::ClockStep> step = m_recorder.TakeClockStep()) {
        const QString text = step->reset
            ? QStringLiteral("the clock went back from %1 to %2, more than %3 s: recording "
                             "follows the clock again, and the changes stamped after %4 are "
                             "moved aside")
                  .arg(AgentTimeText(step->fromUs), AgentTimeText(step->toUs))
                  .arg(Recorder::kClockBoundUs / 1'000'000)
                  .arg(AgentTimeText(step->toUs + HistorySink::kFutureUs))
            : QStringLiteral("the clock went back from %1 to %2: changes are stamped 1 us "
                             "after the last one until the clock passes it")
                  .arg(AgentTimeText(step->fromUs), AgentTimeText(step->toUs));
        AgentWarn(text);
        if (step->reset)
            m_sink->ClockReset(step->toUs);
        m_sink->PushEvent(step->toUs, QStringLiteral("clock"), text);
    }
    m_sink->Push(m_recorder.Take());
}

// How late the timer's poll starts against the time it was due (benchmarks read it).
void Agent::NoteLateness(int64_t nowNs)
{
    const int64_t intervalNs = int64_t(m_config.recorder.intervalMs) * 1'000'000;
    if (m_lateness.empty())
        m_lateness.assign(100'000 / kLatenessStepUs + 1, 0); // up to 100 ms, and above
    const int64_t lateUs = std::max<int64_t>(0, (nowNs - m_dueNs) / 1000);
    ++m_lateness[std::min<size_t>(size_t(lateUs / kLatenessStepUs), m_lateness.size() - 1)];
    // As the precise timer does: the next one an interval later, or from now when that passed.
    m_dueNs += intervalNs;
    if (m_dueNs < nowNs)
        m_dueNs = nowNs + intervalNs;
}

void Agent::ReportCounters(int64_t nowMs)
{
    if (nowMs < m_nextReportMs)
        return;
    m_nextReportMs = nowMs + kReportEveryMs;
    QString first;
    if (const int64_t refused = m_recorder.TakeRefusals(&first))
        AgentWarn(QStringLiteral("%1 reads refused in the last minute (the first: %2); those "
                                 "points keep their last value")
                      .arg(refused)
                      .arg(first));
    if (const int64_t lost = m_recorder.TakeOverflow())
        AgentError(QStringLiteral("%1 changes did not fit in memory while the history could not be "
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
    // The last poll's changes reach the database first, then the components stop, then the
    // database closes; each step waits a bounded time.
    const int64_t deadlineMs = MonotonicMs() + HistorySink::kFinishMs;
    const auto left = [deadlineMs] {
        return int(std::max<int64_t>(0, deadlineMs - MonotonicMs()));
    };
    if (m_sink) {
        m_sink->Push(m_recorder.Take());
        m_sink->Drain(left());
    }
    for (const auto &component : m_components)
        component->Stop();
    if (m_sink) {
        if (const size_t lost = m_sink->Finish(left()))
            AgentError(QStringLiteral("%1 changes could not be written; they are lost").arg(lost));
    }
    if (m_model.loaded() && m_model.Unload() < 0)
        AgentWarn(QStringLiteral("%1 failed").arg(m_model.failedCall()));
    PrintLateness();
    AgentLog(QStringLiteral("stopped"));
    QCoreApplication::exit(status); // nothing before the event loop runs: Start() answers it
}

void Agent::PrintLateness()
{
    if (BenchMode().isEmpty() || m_lateness.empty())
        return;
    int64_t polls = 0;
    for (uint32_t n : m_lateness)
        polls += n;
    const auto percentile = [&](double p) {
        int64_t seen = 0;
        for (size_t i = 0; i < m_lateness.size(); ++i)
            if ((seen += m_lateness[i]) >= int64_t(p * double(polls)))
                return double(i * kLatenessStepUs) / 1000;
        return 100.0;
    };
    AgentLog(QStringLiteral("poll lateness over %1 polls: median %2 ms, p99 %3 ms, p99.9 %4 ms")
                 .arg(polls)
                 .arg(percentile(0.5), 0, 'f', 2)
                 .arg(percentile(0.99), 0, 'f', 2)
                 .arg(percentile(0.999), 0, 'f', 2));
}

void Agent::Reload()
{
    AgentConfig config;
    QString error;
    if (!ReadConfig(&config, &error) || !ConfigureComponents(config, &error)) {
        AgentError(AgentClause(error) + QStringLiteral("; the configuration in force stays"));
        return;
    }
    const RecorderConfig old = m_config.recorder;
    m_config = config;
    if (config.recorder.database != old.database || config.recorder.loadingMode != old.loadingMode)
        AgentWarn(QStringLiteral("Database and LoadingMode take effect at the next start"));
    m_config.recorder.database = old.database;
    m_config.recorder.loadingMode = old.loadingMode;
    LoadNames(config.recorder.pointNames); // the file may have changed
    if (m_sink)
        m_sink->SetRetention(config.recorder.retentionDays,
                             config.recorder.maxDatabaseMB * 1024 * 1024);
    AgentLog(QStringLiteral("configuration read again"));
    // The boards are chosen again (and handed to the components) only when they or the
    // interval changed.
    if (m_pollTimer.isActive() &&
        (config.recorder.boards != old.boards || config.recorder.intervalMs != old.intervalMs))
        ChooseBoards();
}

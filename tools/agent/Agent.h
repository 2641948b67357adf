#pragma once
// orvane-agent: records every change of the live inputs and outputs of the chosen boards in the
// history database, in the foreground, until SIGTERM or SIGINT; SIGHUP reads the config again.
// It loads the device system as qrxio does, reads the boards through the board model and hands
// the boards, their state and every change to its components (the plant link). It never writes
// a parameter, and an output only when a component's config allows that point. Each event
// worth an operator's attention is one line on stderr.

#include "AgentComponent.h"
#include "AgentConfig.h"
#include "HistorySink.h"
#include "Recorder.h"
#include "device/DeviceLibrary.h"
#include "model/BoardModel.h"

#include <QObject>
#include <QString>
#include <QTimer>

#include <memory>
#include <optional>
#include <vector>

enum AgentExit : int {
    kAgentOk = 0,
    kAgentRefused = 1, // the library, a file or the database refused
    kAgentUsage = 2, // the command line or the config
};

// The command line.
struct AgentOptions
{
    QString config; // empty: no config file, the defaults
    QString database;
    std::optional<int> intervalMs;
    bool help = false;
    bool version = false;

    static bool Parse(const QStringList &words, AgentOptions *options, QString *error);
    static QString HelpText();
};

// One line on stderr: "orvane-agent: <text>". Any thread may call it.
// How much a line of the agent's log matters; written as the journal's priority prefix when
// standard error is the journal (<3> error, <4> warning, <6> info).
enum class LogLevel : int { Error = 3, Warning = 4, Info = 6 };
void AgentLog(const QString &text, LogLevel level = LogLevel::Info);
inline void AgentWarn(const QString &text)
{
    AgentLog(text, LogLevel::Warning);
}
inline void AgentError(const QString &text)
{
    AgentLog(text, LogLevel::Error);
}
// `text` without its closing full stop, to be followed by "; ...".
QString AgentClause(const QString &text);
// A time in microseconds since 1970 as UTC, "2026-12-08T13:38:16.123456Z".
QString AgentTimeText(int64_t us);

// Where the agent's defaults live, never in a user's home.
inline constexpr char kDefaultPointNames[] = "/etc/orvane/OrvanePointNames.ini";

class Agent : public QObject
{
    Q_OBJECT

public:
    Agent(const AgentOptions &options, const QString &executableDir);
    ~Agent() override;

    // Parts that read a config section of their own and take the recorded changes.
    void AddComponent(std::unique_ptr<AgentComponent> component);

    // Reads the config, binds the library, opens the database and starts loading the system;
    // answers the exit status when it cannot start, else -1 (the event loop then runs).
    int Start();
    // The device library the agent loads (see Settings::DeviceLibraryPath), with the config's
    // DeviceLibrary= when the config can be read.
    QString DeviceLibraryPath();

public slots:
    void Stop() { Finish(kAgentOk); } // SIGTERM, SIGINT
    // Writes what the last poll recorded, stops the components, closes the database, unloads,
    // quits with `status`; each step waits a bounded time.
    void Finish(int status);
    void Reload(); // SIGHUP: the config again; a bad one is reported and the old one stays

private:
    bool ReadConfig(AgentConfig *config, QString *error);
    bool ConfigureComponents(const AgentConfig &config, QString *error);
    bool OpenHistory(QString *error);
    void LoadNames(const QString &configured);
    void TryLoad();
    void LoadFailed(int32_t mode, int32_t status);
    void ChooseBoards();
    bool HandBoards(const std::vector<BoardInfo> &boards);
    void PollSoon();
    void Poll();
    void PollOnce();
    void HandToHistory();
    void ReportCounters(int64_t nowMs);
    void NoteLateness(int64_t nowNs);
    void PrintLateness();
    void RecordEvent(const QString &kind, const QString &text);

    AgentOptions m_options;
    QString m_executableDir;
    AgentConfig m_config;
    QString m_databasePath;
    DeviceLibrary m_library;
    BoardModel m_model;
    std::unique_ptr<HistorySink> m_sink;
    Recorder m_recorder{Recorder::kDefaultBufferLimit, [this] {
                            return m_sink ? m_sink->backlog() : 0;
                        }};
    std::vector<std::unique_ptr<AgentComponent>> m_components;
    QTimer m_pollTimer;
    QTimer m_loadTimer;
    int m_loadRetryMs = 0; // while the system does not load: the wait before the next try
    bool m_stateDue = false;
    bool m_boardsHanded = false; // the components took boards once
    bool m_pollQueued = false;
    int m_exitStatus = -1; // set once the agent finished
    int64_t m_nextReportMs = 0;
    // Poll lateness (benchmarks): when the timer's next poll is due, and a histogram in
    // 10 us steps.
    int64_t m_dueNs = 0;
    std::vector<uint32_t> m_lateness;
};

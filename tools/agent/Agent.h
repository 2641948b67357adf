#pragma once
// orvane-agent: records every change of the live inputs and outputs of the chosen boards in the
// history database, in the foreground, until SIGTERM or SIGINT; SIGHUP reads the config again.
// It loads the device system as qrxio does, reads the boards through the board model and hands
// the boards, their state and every change to its components (the plant link). It never writes
// a parameter, and an output only when a component's config allows that point. Each event
// worth an operator's attention is one line on stderr.

#include "AgentComponent.h"
#include "AgentConfig.h"
#include "Recorder.h"
#include "device/DeviceLibrary.h"
#include "history/HistoryWriter.h"
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

// One line on stderr: "orvane-agent: <text>".
void AgentLog(const QString &text);

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
    // Stops the components, writes what it holds, closes the database, unloads, quits with
    // `status`.
    void Finish(int status);
    void Reload(); // SIGHUP: the config again; a bad one is reported and the old one stays

private:
    bool ReadConfig(AgentConfig *config, QString *error);
    bool ConfigureComponents(const AgentConfig &config, QString *error);
    void TryLoad();
    void ChooseBoards();
    bool HandBoards(const std::vector<BoardInfo> &boards);
    void PollSoon();
    void Poll();
    void FlushIfDue(int64_t nowMs);
    void TrimIfDue(int64_t nowMs);
    void ReportCounters(int64_t nowMs);

    AgentOptions m_options;
    QString m_executableDir;
    AgentConfig m_config;
    QString m_databasePath;
    DeviceLibrary m_library;
    BoardModel m_model;
    HistoryWriter m_writer;
    Recorder m_recorder{&m_writer};
    std::vector<std::unique_ptr<AgentComponent>> m_components;
    QTimer m_pollTimer;
    QTimer m_loadTimer;
    bool m_loadReported = false;
    bool m_stateDue = false;
    bool m_boardsHanded = false; // the components took boards once
    bool m_pollQueued = false;
    int m_exitStatus = -1; // set once the agent finished
    int64_t m_lastFlushMs = 0;
    int64_t m_retryWriteMs = 0; // while writes fail: when to try again
    QString m_writeError; // the failure reported, until a write succeeds
    int64_t m_nextTrimMs = 0;
    int64_t m_nextReportMs = 0;
};

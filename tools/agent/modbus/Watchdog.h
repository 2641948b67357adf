#pragma once
// The safe-state watchdog ([Watchdog]): armed by the first master request after the start (a
// Modbus request, or with Trigger=writes a Modbus write; a non-retained <p>/watchdog/kick
// either way), it trips when no such request came for TimeoutMs=: it writes the SafeOutputs=
// values through the verified write, refuses network writes, records the trip in the history
// and keeps it in a state file, so a restart (or a crash) starts tripped. AutoClear=0 latches
// it until a Modbus client that may write, a <p>/watchdog/clear message (with AllowWrite=1 in
// [Mqtt]) or "qrxio watchdog clear" (the local socket) clears it; AutoClear=1 clears it at the
// next master request. The state lives on the agent's main thread; MasterRequest() may be
// called from any thread.

#include "AgentComponent.h"
#include "MqttConfig.h"

#include <QJsonObject>
#include <QObject>
#include <QTimer>

#include <atomic>
#include <map>
#include <memory>
#include <optional>
#include <set>

class WatchdogSocket;

struct WatchdogConfig
{
    int timeoutMs = 0; // 0: off
    bool writesOnly = false; // Trigger=writes
    QString safeText; // SafeOutputs= as written, checked with the boards
    std::map<std::pair<int32_t, int>, bool> safe; // (card, output) -> value; others hold
    bool autoClear = false;
    QString stateFile; // empty: watchdog.json in the agent's state folder
    QString socket; // empty: watchdog.sock in the runtime folder

    bool operator==(const WatchdogConfig &) const = default;
};

// Parses the [Watchdog] entries (keys without case); `boards` null: SafeOutputs= unchecked.
bool ParseWatchdogConfig(const QList<ConfigEntry> &entries, const QString &file,
                         const std::vector<PlantBoard> *boards, WatchdogConfig *config,
                         QString *error);

class Watchdog : public QObject, public AgentComponent
{
    Q_OBJECT

public:
    enum State : int { Off = 0, Waiting = 3, Armed = 1, Tripped = 2 }; // 0-2 as the status block

    Watchdog();
    ~Watchdog() override;

    QString section() const override { return QStringLiteral("Watchdog"); }
    bool Configure(const QList<ConfigEntry> &entries, const QString &file, int sectionLine,
                   QString *error) override;
    bool SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards, int intervalMs,
                   QString *error) override;
    void FullState(const std::vector<HistoryChange> &) override { }
    void Changes(const std::vector<HistoryChange> &) override { }
    void Stop() override;

    // Any thread: a Modbus request came (`write`: a write function).
    void MasterRequest(bool write);
    int64_t MsSinceRequest() const;
    State state() const { return State(m_state.load()); }
    bool tripped() const { return state() == Tripped; }

    // Main thread.
    void Kick(); // a non-retained <p>/watchdog/kick
    // Clears a trip; false with `why` when it is not tripped.
    bool Clear(const QString &by, QString *why = nullptr);
    void SetTimeout(int ms); // the Modbus register; until the next start or reload
    int timeoutMs() const { return m_timeoutMs.load(); }
    int trips() const { return m_trips; }
    bool BoardSafe(int32_t card) const { return tripped() && m_safeBoards.count(card); }
    // The state: state, timeoutMs, trips, lastTrip, reason (<p>/watchdog adds clearable).
    QJsonObject Status() const;
    bool configured() const { return m_configured; }

signals:
    void changed();

private:
    void Feed();
    void RunCheck();
    void Check();
    void Trip(const QString &reason);
    void WriteSafeValues(QStringList *done, QStringList *failed);
    void Load();
    void Save();
    void Record(const QString &text);
    void Log(const QString &text);
    QString StatePath() const;
    void SetState(State s);

    WatchdogConfig m_config;
    std::vector<PlantBoard> m_boards;
    bool m_haveBoards = false;
    int m_intervalMs = 10;
    bool m_configured = false; // a [Watchdog] section is in force
    bool m_loaded = false;
    std::atomic<int> m_state{Off};
    std::atomic<int> m_timeoutMs{0};
    std::atomic<bool> m_writesOnly{false}; // m_config's, for the connection threads
    std::atomic<bool> m_autoClear{false};
    std::atomic<int64_t> m_lastRequestMs{0}; // monotonic; feeds the watchdog
    std::atomic<int64_t> m_lastAnyMs{0}; // any request, for the status block
    int m_trips = 0;
    int64_t m_lastTripUs = 0;
    QString m_reason;
    std::set<int32_t> m_safeBoards;
    QTimer m_check; // every poll interval
    QTimer m_deadline; // the deadline before the next check
    std::unique_ptr<WatchdogSocket> m_socket;
};

#pragma once
// The Modbus TCP server as a part of the agent ([Modbus]; no section: no server). It keeps the
// image of the recorded boards (the newest poll's values, at their card map positions) for the
// server's threads to answer reads from, and carries out their writes on the agent's main
// thread: at most one write per output per poll interval, the latest request winning, each
// through the verified write, and the client answered after the read-back. While the watchdog
// is tripped every point write is refused with exception 04.

#include "AgentComponent.h"
#include "ModbusConfig.h"
#include "ModbusMap.h"

#include <QObject>
#include <QTimer>

#include <future>
#include <map>
#include <memory>
#include <mutex>

class ModbusServer;
class Watchdog;

class ModbusComponent : public QObject, public AgentComponent
{
    Q_OBJECT

public:
    explicit ModbusComponent(Watchdog *watchdog);
    ~ModbusComponent() override;

    QString section() const override { return QStringLiteral("Modbus"); }
    bool Configure(const QList<ConfigEntry> &entries, const QString &file, int sectionLine,
                   QString *error) override;
    bool SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards, int intervalMs,
                   QString *error) override;
    void FullState(const std::vector<HistoryChange> &state) override;
    void Changes(const std::vector<HistoryChange> &changes) override;
    void Stop() override;

private:
    struct Job
    {
        ModbusMap::Verdict verdict;
        QString client;
        std::promise<uint8_t> done;
    };
    struct Section
    {
        QList<ConfigEntry> entries;
        QString file;
        int line = 0;
    };
    uint8_t CarryOut(const ModbusMap::Verdict &verdict, const QString &client);
    void Take(const std::shared_ptr<Job> &job);
    void WritePending();
    void Restart();
    void Publish();
    std::vector<PlantBoard> PlantBoards() const;

    Watchdog *m_watchdog;
    Section m_section;
    std::optional<ModbusConfig> m_config;
    std::vector<BoardInfo> m_boards;
    std::vector<int> m_positions; // each board's card map position
    bool m_haveBoards = false;
    ModbusMap::Image m_image; // main thread
    std::mutex m_imageMutex;
    std::shared_ptr<const ModbusMap::Image> m_published;
    std::vector<std::shared_ptr<Job>> m_jobs; // writes waiting for the next tick
    QTimer m_writeTimer;
    int m_intervalMs = 10;
    int64_t m_lastTickMs = -1'000'000; // monotonic
    std::atomic<bool> m_stopping{false};
    std::unique_ptr<ModbusServer> m_server;
};

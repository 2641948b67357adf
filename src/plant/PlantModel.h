#pragma once
// What the Plant window knows of the agents under its topic root, as plain data: each agent
// (by topic prefix) with its status, inventory, watchdog, boards, their availability and point
// states, and when the window last heard from it. Fed with the updates PlantTopics reads; pure
// and single-threaded (the window applies the updates on its own thread). QtCore only.

#include "plant/PlantTopics.h"

#include <QString>

#include <cstdint>
#include <map>
#include <optional>

struct RemoteBoard
{
    int32_t card = 0;
    std::optional<PlantBoardInfo> info; // from the inventory; null for a board it does not name
    PlantUpdate::Presence status = PlantUpdate::Unknown; // <p>/card<N>/status
    QString reason; // why it is offline
    uint64_t values[2] = {0, 0}; // by PointDir: bit p = point p on
    uint64_t known[2] = {0, 0}; // the points whose state was received

    bool available() const { return status != PlantUpdate::Offline; }
    bool Value(PointDir dir, int point) const { return values[int(dir)] >> point & 1; }
    bool Known(PointDir dir, int point) const { return known[int(dir)] >> point & 1; }
    QString PointName(PointDir dir, int point) const;
    // The points of a direction: the inventory's count, else one past the highest point heard of.
    int Count(PointDir dir) const;
    // The output may be switched from the network (the inventory says so).
    bool Writable(int point) const { return info && (info->writable >> point & 1); }
};

struct PlantAgent
{
    QString prefix;
    PlantUpdate::Presence status = PlantUpdate::Unknown;
    int64_t offlineSinceMs = 0; // when the window saw the status go offline
    int64_t lastMessageMs = 0;
    std::optional<AgentInventory> info;
    QString infoProblem; // why the last inventory could not be read
    std::optional<PlantWatchdogInfo> watchdog;
    std::map<int32_t, RemoteBoard> boards;
    int64_t malformed = 0; // messages with a payload the window could not use

    // The host from the inventory, else the prefix's last level.
    QString host() const;
    bool online() const { return status == PlantUpdate::Online; }
    bool tripped() const { return watchdog && watchdog->state == QLatin1String("tripped"); }
    // The boards its inventory names, in card order; without an inventory read, the boards it
    // published states of.
    std::vector<const RemoteBoard *> ListedBoards() const;
};

class PlantModel
{
public:
    // Bounds that keep a flood of made-up topics from taking the memory.
    static constexpr int kMaxAgents = 1000;
    static constexpr int kMaxBoardsPerAgent = 64;

    // What an update changed: the agent (null when nothing), and whether a board's points or
    // the agent's own line changed.
    struct Change
    {
        const PlantAgent *agent = nullptr;
        bool agentLine = false;
        std::optional<int32_t> card;
    };

    Change Apply(const PlantUpdate &update, int64_t nowMs);
    const PlantAgent *Agent(const QString &prefix) const;
    const std::map<QString, PlantAgent> &agents() const { return m_agents; }
    int64_t dropped() const { return m_dropped; }
    void Clear() { m_agents.clear(); }

private:
    RemoteBoard *BoardOf(PlantAgent &agent, int32_t card);
    // Whether the update changed what the board shows.
    static bool ApplyToBoard(RemoteBoard &board, const PlantUpdate &u);

    std::map<QString, PlantAgent> m_agents;
    int64_t m_dropped = 0; // updates beyond the bounds
};

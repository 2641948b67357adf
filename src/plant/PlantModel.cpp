#include "plant/PlantModel.h"

#include <bit>

QString RemoteBoard::PointName(PointDir dir, int point) const
{
    if (!info)
        return {};
    const std::map<int, QString> &names = dir == PointDir::In ? info->inNames : info->outNames;
    const auto it = names.find(point);
    return it == names.end() ? QString() : it->second;
}

int RemoteBoard::Count(PointDir dir) const
{
    if (info)
        return dir == PointDir::In ? info->inCount : info->outCount;
    const uint64_t heard = known[int(dir)];
    return heard ? 64 - std::countl_zero(heard) : 0;
}

QString PlantAgent::host() const
{
    if (info && !info->host.isEmpty())
        return info->host;
    return prefix.section(u'/', -1);
}

std::vector<const RemoteBoard *> PlantAgent::ListedBoards() const
{
    std::vector<const RemoteBoard *> listed;
    for (const auto &[card, board] : boards)
        if (info ? bool(board.info) : (board.known[0] | board.known[1]) != 0)
            listed.push_back(&board);
    return listed;
}

RemoteBoard *PlantModel::BoardOf(PlantAgent &agent, int32_t card)
{
    auto it = agent.boards.find(card);
    if (it != agent.boards.end())
        return &it->second;
    if (int(agent.boards.size()) >= kMaxBoardsPerAgent)
        return nullptr;
    RemoteBoard &board = agent.boards[card];
    board.card = card;
    return &board;
}

const PlantAgent *PlantModel::Agent(const QString &prefix) const
{
    const auto it = m_agents.find(prefix);
    return it == m_agents.end() ? nullptr : &it->second;
}

namespace {

// The inventory's boards replace the old ones' descriptions; states and availability stay.
void TakeInventory(PlantAgent &agent, const std::optional<AgentInventory> &info)
{
    agent.info = info;
    for (auto &[card, board] : agent.boards)
        board.info.reset();
    if (!info)
        return;
    for (const auto &[card, described] : info->boards) {
        RemoteBoard &board = agent.boards[card];
        board.card = card;
        board.info = described;
    }
    // Boards neither described nor heard from go.
    std::erase_if(agent.boards, [](const auto &entry) {
        return !entry.second.info && !entry.second.known[0] && !entry.second.known[1] &&
            entry.second.status == PlantUpdate::Unknown;
    });
}

} // namespace

PlantModel::Change PlantModel::Apply(const PlantUpdate &u, int64_t nowMs)
{
    Change change;
    if (u.kind == PlantUpdate::Ignored || u.prefix.isEmpty())
        return change;
    auto it = m_agents.find(u.prefix);
    if (it == m_agents.end()) {
        if (int(m_agents.size()) >= kMaxAgents) {
            ++m_dropped;
            return change;
        }
        it = m_agents.emplace(u.prefix, PlantAgent{}).first;
        it->second.prefix = u.prefix;
    }
    PlantAgent &agent = it->second;
    agent.lastMessageMs = nowMs;
    change.agent = &agent;
    change.agentLine = true;
    switch (u.kind) {
    case PlantUpdate::Malformed:
        ++agent.malformed;
        if (u.problem.contains(QLatin1String("JSON")) || u.problem.contains(QLatin1String("board")))
            agent.infoProblem = u.problem;
        return change;
    case PlantUpdate::AgentStatus:
        if (u.presence == PlantUpdate::Offline && agent.status != PlantUpdate::Offline)
            agent.offlineSinceMs = nowMs;
        agent.status = u.presence;
        return change;
    case PlantUpdate::Info:
        agent.infoProblem.clear();
        TakeInventory(agent, u.info);
        return change;
    case PlantUpdate::Watchdog:
        agent.watchdog = u.watchdog;
        return change;
    default:
        break;
    }
    RemoteBoard *board = BoardOf(agent, u.card);
    if (!board) {
        ++m_dropped;
        return change;
    }
    if (ApplyToBoard(*board, u))
        change.card = u.card;
    return change;
}

bool PlantModel::ApplyToBoard(RemoteBoard &board, const PlantUpdate &u)
{
    const int d = int(u.dir);
    const uint64_t bit = 1ull << u.point;
    switch (u.kind) {
    case PlantUpdate::BoardStatus:
        board.status = u.presence;
        return true;
    case PlantUpdate::BoardReason:
        board.reason = u.text;
        return true;
    case PlantUpdate::State:
        board.known[d] = u.cleared ? board.known[d] & ~bit : board.known[d] | bit;
        board.values[d] = u.value ? board.values[d] | bit : board.values[d] & ~bit;
        return true;
    default: // a set answer changes nothing shown here: the state topic carries the value
        return false;
    }
}

// qrxio monitor: a line for each change of the watched points (whole boards or points chosen as
// CARD[:in|out][:POINT|NAME]), until stopped, -n changes, an idle timeout (exit status 3), or a
// reader that has gone.
#include "Commands.h"
#include "Monitor.h"
#include "QrxIo.h"
#include "StopSignal.h"
#include "history/ChangeFormat.h"

#include <algorithm>
#include <ctime>

namespace {

const OptionSpec kOptions[] = {
    {"--out", nullptr, nullptr, "outputs too",
     [](const QString &, Arguments *a, QString *) {
         return a->outputs = true;
     }},
    {"--interval", nullptr, "MS", "read the points every MS milliseconds (default 10)",
     [](const QString &v, Arguments *a, QString *e) {
         return (a->intervalMs = OptionNumber("--interval", v, 1, 3'600'000, e).value_or(0)) > 0;
     }},
    {"-n", nullptr, "N", "stop after N changes",
     [](const QString &v, Arguments *a, QString *e) {
         return (a->maxChanges = OptionNumber("-n", v, 1, 1'000'000'000, e)).has_value();
     }},
    {"--idle-timeout", nullptr, "MS", "stop after MS milliseconds without a change",
     [](const QString &v, Arguments *a, QString *e) {
         return (a->idleTimeoutMs = OptionNumber("--idle-timeout", v, 1, 1'000'000'000, e))
             .has_value();
     }},
    {"--local", nullptr, nullptr, "local time instead of UTC",
     [](const QString &, Arguments *a, QString *) {
         return a->local = true;
     }},
    {"--rising", nullptr, nullptr, "only changes to 1 (default: both edges)",
     [](const QString &, Arguments *a, QString *) {
         return a->rising = true;
     }},
    {"--falling", nullptr, nullptr, "only changes to 0",
     [](const QString &, Arguments *a, QString *) {
         return a->falling = true;
     }},
};

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// Adds the points of `board` that `chosen` names to `watched`: a point, every point of a
// direction, or a whole board (its inputs, and its outputs with --out). A usage error for a
// point the board lacks, or for a board named that has none of the points asked for.
int AddChosen(const QrxIo &tool, const PointOperand &chosen, const BoardInfo &board, bool named,
              WatchedBoard *watched)
{
    if (chosen.point) {
        const PointDir dir = chosen.dir.value_or(PointDir::In); // as for get: an input
        if (int status = QrxIo::CheckPoint(board, dir, *chosen.point))
            return status;
        (dir == PointDir::Out ? watched->outputs : watched->inputs) |= uint64_t(1) << *chosen.point;
        return kExitOk;
    }
    const bool inputs = chosen.dir != PointDir::Out;
    const bool outputs = chosen.dir ? *chosen.dir == PointDir::Out : tool.args.outputs;
    const uint64_t in = inputs ? board.liveMask(PointDir::In) : 0;
    const uint64_t out = outputs ? board.liveMask(PointDir::Out) : 0;
    watched->inputs |= in;
    watched->outputs |= out;
    if ((in | out) != 0 || !named)
        return kExitOk;
    if (chosen.dir)
        return UsageError(QStringLiteral("card %1 has no %2")
                              .arg(board.cardNo)
                              .arg(inputs ? QStringLiteral("inputs") : QStringLiteral("outputs")));
    return UsageError((outputs
                           ? QStringLiteral("card %1 has no inputs or outputs")
                           : QStringLiteral("card %1 has no inputs (--out watches its outputs)"))
                          .arg(board.cardNo));
}

// The boards to watch, with their points: those chosen, else every card of the map once.
int WatchedBoards(QrxIo &tool, std::vector<WatchedBoard> *boards)
{
    for (int32_t cardNo : tool.CardsOrAll()) {
        const BoardInfo *board = nullptr;
        if (int status = tool.ReadBoard(cardNo, &board))
            return status;
        WatchedBoard watched{cardNo, 0, 0};
        PointOperand whole; // no operands: every board, whole
        whole.card = cardNo;
        for (const PointOperand &c : tool.chosen.empty() ? std::vector{whole} : tool.chosen) {
            if (c.card != cardNo)
                continue;
            if (int status = AddChosen(tool, c, *board, !tool.chosen.empty(), &watched))
                return status;
        }
        if ((watched.inputs | watched.outputs) != 0)
            boards->push_back(watched);
    }
    if (boards->empty())
        return UsageError(tool.args.outputs ? QStringLiteral("no board has inputs or outputs")
                                            : QStringLiteral("no board has inputs"));
    return kExitOk;
}

// Prints the changes of one poll; false once -n changes are printed.
bool PrintChanges(QrxIo &tool, const std::vector<PointChange> &changes, int64_t *printed)
{
    timespec wallClock;
    clock_gettime(CLOCK_REALTIME, &wallClock);
    const int64_t us = int64_t(wallClock.tv_sec) * 1'000'000 + wallClock.tv_nsec / 1000;
    for (const PointChange &change : changes) {
        const PointDir dir = change.output ? PointDir::Out : PointDir::In;
        const ChangeEvent event{us,
                                change.cardNo,
                                dir,
                                change.point,
                                change.value != 0,
                                tool.model.names().Name(change.cardNo, dir, change.point)};
        tool.out.Result(ChangeLine(event, tool.args.local), ChangeJson(event, tool.args.local));
        if (++*printed == tool.args.maxChanges)
            return false;
    }
    return true;
}

// Leaves the changes of the edges asked for: --rising keeps changes to 1, --falling to 0.
void KeepEdges(const Arguments &args, std::vector<PointChange> *changes)
{
    if (args.rising == args.falling)
        return;
    std::erase_if(*changes,
                  [&args](const PointChange &c) { return (c.value != 0) != args.rising; });
}

int Watch(QrxIo &tool, Monitor &monitor)
{
    const int64_t interval = tool.args.intervalMs * 1'000'000;
    const int64_t idle = tool.args.idleTimeoutMs.value_or(0) * 1'000'000;
    int64_t next = MonotonicNs() + interval;
    int64_t lastChange = MonotonicNs();
    int64_t printed = 0;
    std::vector<PointChange> changes;
    FailedCall failed;
    bool readerGone = false;
    // A reader that has gone ends the watch at once, not at the next change's failed write.
    while (!StopSignal::WaitFor(next - MonotonicNs(), &readerGone) && !readerGone) {
        changes.clear();
        if (!monitor.Poll(&changes, &failed))
            return Refused(failed);
        KeepEdges(tool.args, &changes);
        const int64_t now = MonotonicNs();
        if (changes.empty()) {
            if (idle && now - lastChange >= idle)
                return kExitIdle; // nothing happened: no success, for a script to tell apart
        } else {
            lastChange = now;
            const bool more = PrintChanges(tool, changes, &printed);
            // Each change reaches a reader at once; a reader that has gone ends the watch.
            if (!tool.out.Flush() || !more)
                break;
        }
        next += interval;
        if (next <= now) // a poll that took longer than the interval: the missed ones are skipped
            next = now + interval;
    }
    return kExitOk;
}

} // namespace

std::span<const OptionSpec> MonitorOptions()
{
    return kOptions;
}

// The cards and points named, read before anything is loaded; the names come from the file.
int CheckMonitor(QrxIo &tool)
{
    tool.LoadNames();
    for (const QString &text : tool.args.operands) {
        PointOperand chosen;
        QString why;
        if (!ParsePointOperand(text, tool.model.names(), &chosen, &why))
            return UsageError(why);
        tool.chosen.push_back(chosen);
        if (std::find(tool.cards.begin(), tool.cards.end(), chosen.card) == tool.cards.end())
            tool.cards.push_back(chosen.card);
    }
    return kExitOk;
}

int RunMonitor(QrxIo &tool)
{
    std::vector<WatchedBoard> boards;
    if (int status = WatchedBoards(tool, &boards))
        return status;
    const bool outputs =
        std::any_of(boards.begin(), boards.end(), [](const WatchedBoard &b) { return b.outputs; });
    Monitor monitor(boards, outputs);
    FailedCall failed;
    if (!monitor.Poll(nullptr, &failed))
        return Refused(failed);
    return Watch(tool, monitor);
}

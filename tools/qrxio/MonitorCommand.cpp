// qrxio monitor: a line for each change of the watched points, until stopped, -n changes, an
// idle timeout, or a reader that has gone.
#include "Commands.h"
#include "Monitor.h"
#include "QrxIo.h"
#include "StopSignal.h"

#include <QJsonObject>

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
};

int64_t MonotonicNs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

// The boards to watch: the cards named, else every card of the map once.
int WatchedBoards(QrxIo &tool, std::vector<WatchedBoard> *boards)
{
    std::vector<int32_t> cards = tool.cards;
    for (int i = 0; tool.cards.empty() && i < tool.model.boardSlots(); ++i) {
        // A card number the map holds twice addresses its first board only.
        if (std::find(cards.begin(), cards.end(), tool.model.cardNo(i)) == cards.end())
            cards.push_back(tool.model.cardNo(i));
    }
    const bool outputs = tool.args.outputs;
    for (int32_t cardNo : cards) {
        const BoardInfo *board = nullptr;
        if (int status = tool.ReadBoard(cardNo, &board))
            return status;
        const WatchedBoard watched{cardNo, board->liveMask(PointDir::In),
                                   outputs ? board->liveMask(PointDir::Out) : 0};
        if ((watched.inputs | watched.outputs) != 0)
            boards->push_back(watched);
        else if (!tool.cards.empty())
            return UsageError((outputs ? QStringLiteral("card %1 has no inputs or outputs")
                                       : QStringLiteral("card %1 has no inputs (--out watches "
                                                        "its outputs)"))
                                  .arg(cardNo));
    }
    if (boards->empty())
        return UsageError(outputs ? QStringLiteral("no board has inputs or outputs")
                                  : QStringLiteral("no board has inputs"));
    return kExitOk;
}

// Prints the changes of one poll; false once -n changes are printed.
bool PrintChanges(QrxIo &tool, const std::vector<PointChange> &changes, int64_t *printed)
{
    timespec wallClock;
    clock_gettime(CLOCK_REALTIME, &wallClock);
    const QString time = QString::fromLatin1(TimeStamp(wallClock, tool.args.local));
    for (const PointChange &change : changes) {
        const PointDir pointDir = change.output ? PointDir::Out : PointDir::In;
        const QString dir = DirText(pointDir);
        const QString name = tool.model.names().Name(change.cardNo, pointDir, change.point);
        QJsonObject json{{"time", time},
                         {"card", change.cardNo},
                         {"dir", dir},
                         {"point", change.point},
                         {"value", change.value}};
        if (!name.isEmpty())
            json[QStringLiteral("name")] = name;
        // A name comes last, after the fields a script reads by position.
        tool.out.Result(QStringLiteral("%1 %2 %3 %4 %5")
                                .arg(time)
                                .arg(change.cardNo)
                                .arg(dir)
                                .arg(change.point)
                                .arg(change.value) +
                            (name.isEmpty() ? QString() : u' ' + name),
                        json);
        if (++*printed == tool.args.maxChanges)
            return false;
    }
    return true;
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
    while (!StopSignal::WaitFor(next - MonotonicNs())) {
        changes.clear();
        if (!monitor.Poll(&changes, &failed))
            return Refused(failed);
        const int64_t now = MonotonicNs();
        if (changes.empty()) {
            if (idle && now - lastChange >= idle)
                break;
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

int RunMonitor(QrxIo &tool)
{
    std::vector<WatchedBoard> boards;
    if (int status = WatchedBoards(tool, &boards))
        return status;
    tool.LoadNames();
    Monitor monitor(Dev(), boards, tool.args.outputs);
    FailedCall failed;
    if (!monitor.Poll(nullptr, &failed))
        return Refused(failed);
    return Watch(tool, monitor);
}

#pragma once
// A part of the agent beside the recorder, such as the plant link: it reads a config section
// of its own, and the agent hands it the boards it records, each (re)start's full state and
// every poll's changes.

#include "AgentConfig.h"
#include "history/HistoryFile.h"
#include "model/BoardModel.h"

#include <QString>

#include <functional>
#include <vector>

class AgentComponent
{
public:
    virtual ~AgentComponent() = default;

    // The config section it reads ("Mqtt").
    virtual QString section() const = 0;
    // Checks and takes its section (`sectionLine` is the line of "[Name]", 0 when the file has
    // no such section, and `entries` then empty); false with `error` naming `file` and the
    // line, and the component keeps what it had. Called at the start and at each reload.
    virtual bool Configure(const QList<ConfigEntry> &entries, const QString &file, int sectionLine,
                           QString *error) = 0;
    // The boards recorded from now on, as `model` read them (the model also holds the point
    // names and outlives the component), and the poll interval. False with `error` when the
    // section taken cannot be used with these boards: at the start the agent then stops with
    // exit 2; later the component keeps what it had.
    virtual bool SetBoards(const BoardModel &model, const std::vector<BoardInfo> &boards,
                           int intervalMs, QString *error) = 0;
    // The value of every recorded point, after the agent started polling or chose its boards
    // again.
    virtual void FullState(const std::vector<HistoryChange> &state) = 0;
    // The changes of one poll, in the order they were recorded.
    virtual void Changes(const std::vector<HistoryChange> &changes) = 0;
    // The agent stops; the last call.
    virtual void Stop() { }

    // Set by the agent: asks for a poll as soon as the event loop is free (after the
    // component switched an output, so the history and the component see it at once).
    std::function<void()> pollSoon;
    // Set by the agent: keeps an event in the history's events (kind "watchdog", "clock", ...),
    // written in order with the changes; never waits.
    std::function<void(const QString &kind, const QString &text)> recordEvent;
};

#pragma once
// A part of the agent beside the recorder, such as the plant link: it reads a config section
// of its own, and the agent hands it each (re)start's full state and every poll's changes.

#include "AgentConfig.h"
#include "history/HistoryFile.h"

#include <QString>

#include <vector>

class AgentComponent
{
public:
    virtual ~AgentComponent() = default;

    // The config section it reads ("Mqtt").
    virtual QString section() const = 0;
    // Checks and takes its section (empty when the file has none); false with `error` naming
    // `file` and the line. Called at the start and at each reload; on false the agent keeps
    // the configuration it had.
    virtual bool Configure(const QList<ConfigEntry> &entries, const QString &file,
                           QString *error) = 0;
    // The value of every recorded point, after the agent started polling or reloaded.
    virtual void FullState(const std::vector<HistoryChange> &state) = 0;
    // The changes of one poll, in the order they were recorded.
    virtual void Changes(const std::vector<HistoryChange> &changes) = 0;
    // The agent stops; the last call.
    virtual void Stop() { }
};

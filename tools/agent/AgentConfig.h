#pragma once
// The agent's configuration: an INI file (/etc/orvane/agent.ini for the service) whose
// [Recorder] section the agent reads itself, while the sections of other parts (the plant
// link's [Mqtt]) are handed to them whole. An unknown section or key, a key given twice or a
// bad value is an error naming the file and the line: the agent refuses to start rather than
// guess.

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>
#include <vector>

// One "key=value" line of a section.
struct ConfigEntry
{
    QString key;
    QString value; // trimmed, one pair of enclosing quotes removed
    int line = 0;
};

struct RecorderConfig
{
    QString database; // empty: the default path
    int intervalMs = 10;
    std::vector<int32_t> boards; // empty: every board
    QString pointNames; // empty: the file beside the program's settings file
    QString deviceLibrary; // empty: the search order of Settings::DeviceLibraryPath
    int retentionDays = 30;
    int64_t maxDatabaseMB = 1024;
    std::optional<int32_t> loadingMode; // 0 auto, 1 manual; else the settings file's

    bool operator==(const RecorderConfig &) const = default;
};

struct AgentConfig
{
    RecorderConfig recorder;
    // The sections that belong to other parts of the agent, by name, as they were written.
    QList<QPair<QString, QList<ConfigEntry>>> handed;
    QHash<QString, int> sectionLines; // a handed section's name, lower case: the line of [Name]

    QList<ConfigEntry> Section(const QString &name) const;
    // The line of a handed section's [Name], or 0 when the file has no such section.
    int SectionLine(const QString &name) const { return sectionLines.value(name.toLower()); }
};

// Parses a config file's text. `handedSections` names the sections other parts read (matched
// without case); any other section but [Recorder] is an error. `file` names the file in
// messages ("agent.ini:12: ...").
bool ParseAgentConfig(const QByteArray &text, const QString &file,
                      const QStringList &handedSections, AgentConfig *config, QString *error);
// Reads and parses a file (at most 1 MiB); a missing or unreadable file is an error.
bool ReadAgentConfig(const QString &path, const QStringList &handedSections, AgentConfig *config,
                     QString *error);

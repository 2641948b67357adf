#pragma once
// "qrxio history": the changes orvane-agent recorded, read back from its database (read-only,
// while the agent writes or while it is stopped), as monitor's lines or JSON objects, or as
// the CSV and VCD files the Change Log exports. Needs no device library.

#include <QString>
#include <QStringList>

#include <cstdint>
#include <optional>

// Runs the command: `words` are qrxio's arguments ("history" among them). Answers the exit
// status: 0 success, 1 the database refused or the output could not be written, 2 usage.
int RunHistory(const QStringList &words, const QString &executableDir);

// True when the command of qrxio's arguments is "history".
bool IsHistoryCommand(const QStringList &words);

// A TIME of --since and --until in microseconds since 1970 (UTC): ISO 8601 with up to six
// fractional digits and "Z" or an offset (local time without either), or relative to `nowUs`
// ("-10m", "-2h", "-1d", "-30s").
std::optional<int64_t> ParseHistoryTime(const QString &text, int64_t nowUs);

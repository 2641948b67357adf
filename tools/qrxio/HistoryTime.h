#pragma once
// The TIME of "qrxio history --since/--until". QtCore only, so that it can be fuzzed alone.

#include <QString>

#include <cstdint>
#include <optional>

// A TIME of --since and --until in microseconds since 1970 (UTC): ISO 8601 with up to six
// fractional digits and "Z" or an offset from -23:59 to +23:59 (local time without either), or
// relative to `nowUs` ("-10m", "-2h", "-1d", "-30s"). Nothing, with `why` saying so when given,
// for a text that is none of these or a time that does not fit.
std::optional<int64_t> ParseHistoryTime(const QString &text, int64_t nowUs, QString *why = nullptr);

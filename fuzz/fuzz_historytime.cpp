// Fuzzes the TIME of "qrxio history --since/--until" (UndefinedBehaviorSanitizer catches an
// overflow). The input's first 8 bytes are the clock ("now"), the rest the text. A time is
// refused with a reason, or answered; and:
// - a relative time ("-10m") is never later than now, and exactly its count of units earlier;
// - a UTC time ("...Z") reads back as the same time through Qt's own ISO 8601 reader, within
//   the microseconds it gave.
#include "HistoryTime.h"

#include <QDateTime>
#include <QRegularExpression>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

void Check(bool ok, const char *what, const QString &input)
{
    if (ok)
        return;
    std::fprintf(stderr, "fuzz_historytime: %s\ninput: %s\n", what, qPrintable(input));
    std::abort();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size)
{
    int64_t now = 0;
    if (size >= sizeof now)
        std::memcpy(&now, data, sizeof now);
    const size_t skip = size >= sizeof now ? sizeof now : size;
    const QString text =
        QString::fromUtf8(reinterpret_cast<const char *>(data) + skip, qsizetype(size - skip));
    QString why;
    const std::optional<int64_t> us = ParseHistoryTime(text, now, &why);
    Check(us.has_value() == why.isEmpty(), "a refusal without a reason, or a reason given", text);
    if (!us)
        return 0;
    static const QRegularExpression relative(QStringLiteral("^-(\\d+)([smhd])$"));
    if (const auto m = relative.match(text); m.hasMatch()) {
        const QChar u = m.captured(2)[0];
        const int64_t unit = u == u's' ? 1 : u == u'm' ? 60 : u == u'h' ? 3600 : 86400;
        Check(*us <= now && (now - *us) / 1'000'000 / unit == m.captured(1).toLongLong(),
              "a relative time is not its units before now", text);
        return 0;
    }
    if (text.endsWith(u'Z') && !text.contains(u' ') && text.size() <= 20) {
        const QDateTime qt = QDateTime::fromString(text, Qt::ISODate);
        Check(!qt.isValid() || qt.toMSecsSinceEpoch() * 1000 == *us,
              "a UTC time differs from Qt's reading", text);
    }
    return 0;
}

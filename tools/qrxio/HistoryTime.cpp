#include "HistoryTime.h"

#include <QDateTime>
#include <QRegularExpression>

std::optional<int64_t> ParseHistoryTime(const QString &text, int64_t nowUs, QString *why)
{
    QString unused;
    why = why ? why : &unused;
    static const QRegularExpression relative(QStringLiteral("^-(\\d{1,9})([smhd])$"));
    if (const auto m = relative.match(text); m.hasMatch()) {
        const QChar u = m.captured(2)[0];
        const int64_t unit = u == u's' ? 1 : u == u'm' ? 60 : u == u'h' ? 3600 : 86400;
        int64_t back = 0, at = 0;
        if (__builtin_mul_overflow(m.captured(1).toLongLong(), unit * 1'000'000, &back) ||
            __builtin_sub_overflow(nowUs, back, &at)) {
            *why = QStringLiteral("it is too far back");
            return std::nullopt;
        }
        return at;
    }
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})-(\\d\\d)-(\\d\\d)[T ](\\d\\d):(\\d\\d)(?::(\\d\\d)(?:[.,](\\d{1,6}))?)?"
        "(Z|[+-](\\d\\d):?(\\d\\d))?$"));
    const auto m = iso.match(text);
    *why = QStringLiteral("it is neither an ISO 8601 time (2026-12-08T03:00:00Z) nor -30s, -10m, "
                          "-2h or -1d");
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid()) {
        *why = QStringLiteral("there is no such date or time");
        return std::nullopt;
    }
    const QString zone = m.captured(8);
    const int offsetH = m.captured(9).toInt(), offsetM = m.captured(10).toInt();
    if (offsetH > 23 || offsetM > 59) {
        *why = QStringLiteral("%1 is not an offset from UTC (-23:59 to +23:59)").arg(zone);
        return std::nullopt;
    }
    const int64_t offsetS = (offsetH * 3600 + offsetM * 60) * (zone.startsWith(u'-') ? -1 : 1);
    const QDateTime at = zone.isEmpty() ? QDateTime(date, time) // local time
                                        : QDateTime(date, time, Qt::UTC).addSecs(-offsetS);
    const int64_t fraction = m.captured(7).leftJustified(6, u'0').toLongLong();
    why->clear();
    return at.toMSecsSinceEpoch() * 1000 + fraction;
}

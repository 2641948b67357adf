#include "History.h"

#include "Arguments.h"
#include "Monitor.h"
#include "Output.h"
#include "PointOperand.h"
#include "Status.h"
#include "config/PointNames.h"
#include "config/Settings.h"
#include "history/ChangeFormat.h"
#include "history/HistoryReader.h"

#include <QDateTime>
#include <QFile>
#include <QJsonDocument>
#include <QJsonObject>
#include <QRegularExpression>

#include <cstdio>
#include <ctime>

namespace {

enum class Format { Lines, Json, Csv, Vcd };

// One CARD[:in|out][:POINT|NAME] operand.
struct PointFilter : PointOperand
{
    bool Matches(const HistoryPoint &p) const
    {
        return p.card == card && (!dir || p.dir == *dir) && (!point || p.point == *point);
    }
};

struct HistoryArgs
{
    QString db;
    int64_t sinceUs = INT64_MIN;
    int64_t untilUs = INT64_MAX;
    Format format = Format::Lines;
    std::vector<PointFilter> filters;
};

int64_t NowUs()
{
    timespec ts;
    clock_gettime(CLOCK_REALTIME, &ts);
    return int64_t(ts.tv_sec) * 1'000'000 + ts.tv_nsec / 1000;
}

int ParseArgs(const QStringList &words, const PointNames &names, HistoryArgs *args)
{
    QStringList operands;
    bool commandSeen = false;
    for (qsizetype i = 0; i < words.size(); ++i) {
        const QString &w = words[i];
        const bool takesValue = w == "--db" || w == "--since" || w == "--until";
        if (takesValue && i + 1 >= words.size())
            return UsageError(QStringLiteral("%1 needs a value").arg(w));
        const QString value = takesValue ? words[++i] : QString();
        std::optional<int64_t> time;
        if (w == "--db")
            args->db = value;
        else if ((w == "--since" || w == "--until") && !(time = ParseHistoryTime(value, NowUs())))
            return UsageError(QStringLiteral("%1 takes an ISO 8601 time (2026-12-08T03:00:00Z) or "
                                             "-10m, -2h, -1d, not %2")
                                  .arg(w, Quoted(value)));
        else if (time)
            (w == "--since" ? args->sinceUs : args->untilUs) = *time;
        else if (w == "--json" || w == "--csv" || w == "--vcd")
            args->format = w == "--json" ? Format::Json : w == "--csv" ? Format::Csv : Format::Vcd;
        else if (w == "history" && !commandSeen)
            commandSeen = true;
        else if (w.startsWith(u'-'))
            return UsageError(QStringLiteral("%1 is not an option of \"history\"").arg(Quoted(w)));
        else
            operands << w;
    }
    for (const QString &op : operands) {
        PointFilter filter;
        QString why;
        if (!ParsePointOperand(op, names, &filter, &why))
            return UsageError(
                QStringLiteral("%1 is not CARD[:in|out][:POINT|NAME]").arg(Quoted(op)));
        args->filters.push_back(filter);
    }
    if (args->sinceUs > args->untilUs)
        return UsageError(QStringLiteral("--since is later than --until"));
    return 0;
}

QByteArray MonitorTime(int64_t us)
{
    const int64_t seconds = us >= 0 ? us / 1'000'000 : (us - 999'999) / 1'000'000;
    const timespec ts{time_t(seconds), long(us - seconds * 1'000'000) * 1000};
    return TimeStamp(ts, false);
}

// The lines of monitor, or its JSON objects.
QByteArray MonitorLine(const HistoryRecord &r, const HistoryPoint &p, const QString &name,
                       bool json)
{
    const QString time = QString::fromLatin1(MonitorTime(r.timeUs));
    if (!json)
        return (QStringLiteral("%1 %2 %3 %4 %5")
                    .arg(time)
                    .arg(p.card)
                    .arg(DirText(p.dir))
                    .arg(p.point)
                    .arg(int(r.value)) +
                (name.isEmpty() ? QString() : u' ' + name) + u'\n')
            .toLocal8Bit();
    QJsonObject object{{"time", time},
                       {"card", p.card},
                       {"dir", DirText(p.dir)},
                       {"point", p.point},
                       {"value", int(r.value)}};
    if (!name.isEmpty())
        object[QStringLiteral("name")] = name;
    return QJsonDocument(object).toJson(QJsonDocument::Compact) + '\n';
}

} // namespace

namespace {

// Writes the records of a range in the chosen format, the header once the points are known.
class HistoryPrinter
{
public:
    HistoryPrinter(QIODevice *out, const HistoryArgs &args, const PointNames &names,
                   int64_t originUs, int64_t pollIntervalUs)
        : m_w(out)
        , m_file(out, args.format == Format::Vcd ? ChangeFileFormat::Vcd : ChangeFileFormat::Csv,
                 pollIntervalUs)
        , m_args(args)
        , m_names(names)
        , m_originMs(originUs >= 0 ? originUs / 1000 : (originUs - 999) / 1000)
        , m_startUtc(QDateTime::fromMSecsSinceEpoch(m_originMs, Qt::UTC))
    {
    }

    // The points of the range, in order: each one the operands name gets a wire.
    void Begin(const std::vector<HistoryPoint> &points)
    {
        m_begun = true;
        std::vector<ExportPoint> wires;
        for (const HistoryPoint &p : points) {
            const bool shown = m_args.filters.empty() ||
                std::any_of(m_args.filters.begin(), m_args.filters.end(),
                            [&p](const PointFilter &f) { return f.Matches(p); });
            m_wireOf.push_back(shown ? int(wires.size()) : -1);
            m_pointNames.push_back(m_names.Name(p.card, p.dir, p.point));
            if (shown) {
                wires.push_back({p.card, p.dir, p.point, m_pointNames.back(), p.startValue});
                m_known.push_back(p.startValue >= 0);
            }
        }
        if (m_args.format == Format::Csv || m_args.format == Format::Vcd)
            m_file.Begin(m_startUtc, wires, Relative(m_args.sinceUs));
    }

    bool Record(const std::vector<HistoryPoint> &points, const HistoryRecord &r)
    {
        if (!m_begun)
            Begin(points);
        const int wire = m_wireOf[r.point];
        if (wire < 0)
            return true;
        const HistoryPoint &p = points[r.point];
        const QString &name = m_pointNames[r.point];
        if (m_args.format == Format::Csv || m_args.format == Format::Vcd) {
            // A point's first value, without one before the range, is its first read.
            (m_known[size_t(wire)] ? m_file.Change(Relative(r.timeUs), wire, r.value)
                                   : m_file.Start(Relative(r.timeUs), wire, r.value));
            m_known[size_t(wire)] = true;
        } else {
            m_w << MonitorLine(r, p, name, m_args.format == Format::Json);
        }
        m_lastUs = r.timeUs;
        return true;
    }

    bool End(const std::vector<HistoryPoint> &points)
    {
        if (!m_begun)
            Begin(points);
        if (m_args.format != Format::Vcd && m_args.format != Format::Csv)
            return m_w.flush();
        const int64_t end =
            m_args.untilUs == INT64_MAX ? m_lastUs : std::min(m_args.untilUs, NowUs());
        return m_file.End(Relative(std::max(end, m_lastUs)));
    }

private:
    int64_t Relative(int64_t us) const { return us == INT64_MIN ? 0 : us - m_originMs * 1000; }

    ChunkWriter m_w;
    ChangeFileWriter m_file;
    const HistoryArgs &m_args;
    const PointNames &m_names;
    int64_t m_originMs;
    QDateTime m_startUtc;
    bool m_begun = false;
    std::vector<int> m_wireOf;
    std::vector<bool> m_known; // per wire: its level is known
    QStringList m_pointNames;
    int64_t m_lastUs = INT64_MIN;
};

} // namespace

bool IsHistoryCommand(const QStringList &words)
{
    for (const QString &w : words) {
        if (!w.startsWith(u'-'))
            return w == "history";
        if (w == "--")
            return false;
    }
    return false;
}

std::optional<int64_t> ParseHistoryTime(const QString &text, int64_t nowUs)
{
    static const QRegularExpression relative(QStringLiteral("^-(\\d{1,9})([smhd])$"));
    if (const auto m = relative.match(text); m.hasMatch()) {
        const QChar u = m.captured(2)[0];
        const int64_t unit = u == u's' ? 1 : u == u'm' ? 60 : u == u'h' ? 3600 : 86400;
        return nowUs - m.captured(1).toLongLong() * unit * 1'000'000;
    }
    static const QRegularExpression iso(QStringLiteral(
        "^(\\d{4})-(\\d\\d)-(\\d\\d)[T ](\\d\\d):(\\d\\d)(?::(\\d\\d)(?:[.,](\\d{1,6}))?)?"
        "(Z|[+-]\\d\\d:?\\d\\d)?$"));
    const auto m = iso.match(text);
    if (!m.hasMatch())
        return std::nullopt;
    const QDate date(m.captured(1).toInt(), m.captured(2).toInt(), m.captured(3).toInt());
    const QTime time(m.captured(4).toInt(), m.captured(5).toInt(), m.captured(6).toInt());
    if (!date.isValid() || !time.isValid())
        return std::nullopt;
    const QString zone = m.captured(8);
    int64_t offsetS = 0;
    if (!zone.isEmpty() && zone != "Z") {
        const QString digits = zone.mid(1).remove(u':');
        offsetS = (digits.left(2).toInt() * 3600 + digits.mid(2).toInt() * 60) *
            (zone[0] == u'-' ? -1 : 1);
    }
    const QDateTime at = zone.isEmpty() ? QDateTime(date, time) // local time
                                        : QDateTime(date, time, Qt::UTC).addSecs(-offsetS);
    const int64_t fraction = m.captured(7).leftJustified(6, u'0').toLongLong();
    return at.toMSecsSinceEpoch() * 1000 + fraction;
}

int RunHistory(const QStringList &words, const QString &executableDir)
{
    PointNames names;
    names.Load(PointNames::PathBeside(Settings::ChooseSettingsPath(executableDir)));
    HistoryArgs args;
    if (const int status = ParseArgs(words, names, &args))
        return status;
    const QString db = args.db.isEmpty() ? HistoryFile::DefaultPath() : args.db;
    HistoryReader reader;
    QString error;
    int64_t first = 0, last = -1;
    if (!reader.Open(db, &error) || !reader.Span(&first, &last, &error)) {
        Output::Message(error);
        return 1;
    }
    const int64_t since = args.sinceUs == INT64_MIN ? first : args.sinceUs;
    args.sinceUs = since;
    QFile out;
    out.open(stdout, QIODevice::WriteOnly | QIODevice::Unbuffered);
    HistoryPrinter printer(&out, args, names, since, reader.PollIntervalUs(since, args.untilUs));
    std::vector<HistoryPoint> points;
    if (!reader.Read(
            since, args.untilUs, &points,
            [&](const HistoryRecord &r) { return printer.Record(points, r); }, &error)) {
        Output::Message(error);
        return 1;
    }
    if (!printer.End(points)) {
        Output::Message(QStringLiteral("cannot write the output: %1").arg(out.errorString()));
        return 1;
    }
    return 0;
}

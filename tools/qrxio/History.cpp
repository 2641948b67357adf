#include "History.h"

#include "Commands.h"
#include "QrxIo.h"
#include "history/ChangeFormat.h"
#include "history/HistoryReader.h"

#include <QDateTime>
#include <QFile>

#include <ctime>
#include <unistd.h>

namespace {

enum class Format { Lines, Json, Csv, Vcd };

// One CARD[:in|out][:POINT|NAME] operand: a point without a direction is an input, as for
// monitor; a card without a point is every point of the card (of the direction given).
struct PointFilter : PointOperand
{
    bool Matches(const HistoryPoint &p) const
    {
        const std::optional<PointDir> wanted = point ? dir.value_or(PointDir::In) : dir;
        return p.card == card && (!wanted || p.dir == *wanted) && (!point || p.point == *point);
    }
};

struct HistoryArgs
{
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

bool SetTime(const char *option, const QString &value, int64_t *us, QString *error)
{
    QString why;
    const std::optional<int64_t> time = ParseHistoryTime(value, NowUs(), &why);
    if (time)
        *us = *time;
    else
        *error = QStringLiteral("%1 %2: %3").arg(QLatin1String(option), Quoted(value), why);
    return time.has_value();
}

const OptionSpec kOptions[] = {
    {"--db", nullptr, "PATH", "the database (default: the agent's, see qrxio(1))",
     [](const QString &v, Arguments *a, QString *e) {
         a->db = v;
         return !v.isEmpty() || (*e = QStringLiteral("--db needs a path"), false);
     }},
    {"--since", nullptr, "TIME", "changes from TIME on (default: the first recorded)",
     [](const QString &v, Arguments *a, QString *e) {
         return SetTime("--since", v, &a->sinceUs, e);
     }},
    {"--until", nullptr, "TIME", "changes up to TIME (default: the newest)",
     [](const QString &v, Arguments *a, QString *e) {
         return SetTime("--until", v, &a->untilUs, e);
     }},
    {"--csv", nullptr, nullptr, "as the Change Log's CSV export",
     [](const QString &, Arguments *a, QString *) {
         return a->csv = true;
     }},
    {"--vcd", nullptr, nullptr, "as the Change Log's VCD export",
     [](const QString &, Arguments *a, QString *) {
         return a->vcd = true;
     }},
    {"--moved", nullptr, nullptr,
     "the changes moved aside, stamped ahead of the clock when the agent started",
     [](const QString &, Arguments *a, QString *) {
         return a->moved = true;
     }},
};

// The lines of monitor, or its JSON objects.
QByteArray MonitorLine(const HistoryRecord &r, const HistoryPoint &p, const QString &name,
                       bool json)
{
    const ChangeEvent change{r.timeUs, p.card, p.dir, p.point, r.value, name};
    return json ? ChangeJson(change) + '\n' : (ChangeLine(change) + u'\n').toLocal8Bit();
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
            // The name the recorder kept, else the one the names file gives it now.
            const QString recorded = RecordedName(p, m_args.sinceUs);
            m_pointNames.push_back(p.names.empty() ? m_names.Name(p.card, p.dir, p.point)
                                                   : recorded);
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
        const QString name = p.names.empty() ? m_pointNames[r.point] : RecordedName(p, r.timeUs);
        if (m_args.format == Format::Csv || m_args.format == Format::Vcd) {
            // A point's first value, without one before the range, is its first read.
            (m_known[size_t(wire)] ? m_file.Change(Relative(r.timeUs), wire, r.value)
                                   : m_file.Start(Relative(r.timeUs), wire, r.value));
            m_known[size_t(wire)] = true;
        } else {
            m_w << MonitorLine(r, p, name, m_args.format == Format::Json);
        }
        m_lastUs = r.timeUs;
        // The first write that fails ends the reading: a reader that has gone reads no more.
        return m_w.ok() && m_file.ok();
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

std::span<const OptionSpec> HistoryOptions()
{
    return kOptions;
}

// The operands, with the names of the settings the program reads (nothing is created); the
// options were read with the command line.
int CheckHistory(QrxIo &tool)
{
    const Arguments &a = tool.args;
    if (int(a.csv) + int(a.vcd) + int(a.json) > 1)
        return UsageError(QStringLiteral("--csv, --vcd and --json each choose the form: give one"));
    if (a.sinceUs > a.untilUs)
        return UsageError(QStringLiteral("--since is later than --until"));
    tool.LoadNames();
    for (const QString &text : a.operands) {
        PointOperand chosen;
        QString why;
        if (!ParsePointOperand(text, tool.model.names(), &chosen, &why))
            return UsageError(why);
        tool.chosen.push_back(chosen);
    }
    return kExitOk;
}

int RunHistory(QrxIo &tool)
{
    const Arguments &a = tool.args;
    HistoryArgs args;
    args.sinceUs = a.sinceUs;
    args.untilUs = a.untilUs;
    args.format = a.csv ? Format::Csv : a.vcd ? Format::Vcd : a.json ? Format::Json : Format::Lines;
    for (const PointOperand &chosen : tool.chosen)
        args.filters.push_back({chosen});
    const QString db = a.db.isEmpty()
        ? HistoryFile::PathToRead(HistoryFile::DefaultPath(),
                                  QLatin1String(HistoryFile::kServicePath))
        : a.db;
    HistoryReader reader;
    if (a.moved)
        reader.SelectRows(HistoryRows::MovedAside);
    QString error;
    int64_t first = 0, last = -1;
    if (!reader.Open(db, &error) || !reader.Span(&first, &last, &error))
        return RefusedWith(error);
    const int64_t since = args.sinceUs == INT64_MIN ? first : args.sinceUs;
    args.sinceUs = since;
    // Written to the descriptor itself: through the C stream a failed write would only show
    // when the stream is flushed at the end, after the whole range was read.
    QFile out;
    out.open(STDOUT_FILENO, QIODevice::WriteOnly | QIODevice::Unbuffered);
    HistoryPrinter printer(&out, args, tool.model.names(), since,
                           reader.PollIntervalUs(since, args.untilUs));
    std::vector<HistoryPoint> points;
    const bool read = reader.Read(
        since, args.untilUs, &points,
        [&](const HistoryRecord &r) { return printer.Record(points, r); }, &error);
    if (!read)
        return RefusedWith(error);
    if (!printer.End(points))
        return RefusedWith(QStringLiteral("cannot write the output: %1").arg(out.errorString()));
    return kExitOk;
}

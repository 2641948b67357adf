// A long recording's VCD in the analyser tools: generates the export of an 8-hour recording of
// 64 points polled every 10 ms (each point changing every 1 to 60 s, at the poll times with the
// timer's jitter), written by the exports' own writer, then times "sigrok-cli -I vcd ... -O vcd"
// and, when installed, GTKWave's vcd2fst on it under /usr/bin/time -v. Target: sigrok-cli under
// 5 s. Usage: bench_vcd [HOURS] [POINTS] [POLL_US] (defaults 8, 64, 10000).

#include "history/ChangeFormat.h"

#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <queue>

namespace {

// Writes the recording; answers the number of changes.
qint64 Generate(QIODevice *out, qint64 hours, int points, qint64 pollUs)
{
    QRandomGenerator random(42);
    std::vector<ExportPoint> wires;
    using Next = std::pair<qint64, int>; // (time, wire)
    std::priority_queue<Next, std::vector<Next>, std::greater<>> due;
    std::vector<bool> level(size_t(points), false);
    for (int n = 0; n < points; ++n) {
        wires.push_back({n / 64, PointDir::In, n % 64, QStringLiteral("Sensor %1").arg(n), 0});
        due.push({qint64(random.bounded(1, 61)) * 1'000'000, n});
    }
    ChangeFileWriter w(out, ChangeFileFormat::Vcd, pollUs);
    w.Begin(QDateTime::fromSecsSinceEpoch(1'796'000'000, Qt::UTC), wires, 0);
    const qint64 endUs = hours * 3600 * 1'000'000;
    qint64 changes = 0;
    while (due.top().first < endUs) {
        auto [us, n] = due.top();
        due.pop();
        // The poll that saw it: the next poll time, late by up to a fifth of the interval.
        const qint64 seen = (us / pollUs + 1) * pollUs + qint64(random.bounded(pollUs / 5 + 1));
        level[size_t(n)] = !level[size_t(n)];
        w.Change(seen, n, level[size_t(n)]);
        ++changes;
        due.push({seen + qint64(random.bounded(1, 61)) * 1'000'000, n});
    }
    w.End(endUs);
    return changes;
}

// Runs a program under /usr/bin/time -v and prints its wall time and peak memory.
void Measure(const char *what, const QString &program, const QStringList &arguments)
{
    if (QStandardPaths::findExecutable(program).isEmpty()) {
        std::printf("%-10s not installed\n", what);
        return;
    }
    QProcess p;
    p.start(QStringLiteral("/usr/bin/time"), QStringList({"-v", program}) + arguments);
    p.waitForFinished(-1);
    const QString report = QString::fromLocal8Bit(p.readAllStandardError());
    const auto field = [&report](const char *name) {
        const QRegularExpression re(QLatin1String(name) + QStringLiteral(".*: (\\S+)"));
        return re.match(report).captured(1);
    };
    std::printf("%-10s exit %d, %s s wall, %.1f MB peak memory\n", what, p.exitCode(),
                qPrintable(field("Elapsed \\(wall clock\\) time")),
                field("Maximum resident set size").toDouble() / 1024);
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const qint64 hours = argc > 1 ? std::max(1LL, atoll(argv[1])) : 8;
    const int points = argc > 2 ? std::clamp(atoi(argv[2]), 1, 1024) : 64;
    const qint64 pollUs = argc > 3 ? std::max(1LL, atoll(argv[3])) : 10'000;
    QTemporaryDir dir;
    const QString vcd = dir.filePath("recording.vcd");
    QFile file(vcd);
    if (!file.open(QIODevice::WriteOnly)) {
        std::fprintf(stderr, "%s: %s\n", qPrintable(vcd), qPrintable(file.errorString()));
        return 1;
    }
    const qint64 changes = Generate(&file, hours, points, pollUs);
    file.close();
    std::printf("recording: %lld h, %d points, poll %lld us, %lld changes, timescale %lld us, "
                "%.1f MB of VCD\n",
                hours, points, pollUs, changes, VcdTickUs(pollUs),
                double(QFileInfo(vcd).size()) / 1e6);
    Measure("sigrok-cli", QStringLiteral("sigrok-cli"),
            {"-I", "vcd", "-i", vcd, "-O", "vcd", "-o", dir.filePath("converted.vcd")});
    Measure("vcd2fst", QStringLiteral("vcd2fst"), {vcd, dir.filePath("recording.fst")});
    return 0;
}

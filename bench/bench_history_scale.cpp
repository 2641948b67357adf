// The history at scale: "qrxio history" of a one-second range of a large database (median of 21
// runs, target <= 50 ms for 1 GB), beside the sqlite3 shell's time for the same rows; and the
// WAL's size while a writer writes 10,000 changes/s (one batch a second, as the agent does)
// and a "qrxio history" of everything is paused (its output not read).
// Usage: bench_history_scale [MB (default 1024)] [PAUSE_S (default 60)] [FOLDER (default /tmp)]
// The database is made first, by the writer (a minute or two for 1 GB), and removed at the end.

#include "history/HistoryWriter.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <sys/resource.h>
#include <thread>

namespace {

constexpr int64_t kStart = 1'796'000'000'000'000;
constexpr int64_t kStepUs = 100; // 10,000 changes a second of recorded time
constexpr int kPoints = 2048; // 16 boards x 128 points

HistoryChange Change(int64_t n)
{
    const int point = int(n % kPoints);
    return {kStart + n * kStepUs, point / 128, PointDir(point / 64 % 2), uint8_t(point % 64),
            bool(n / kPoints % 2)};
}

// Writes changes from `*next` on in batches of `batch` until the file is `bytes` large.
bool Fill(HistoryWriter &writer, int64_t bytes, int64_t *next, QString *error)
{
    std::vector<HistoryChange> changes;
    while (writer.SizeBytes() < bytes) {
        changes.clear();
        for (int i = 0; i < 200'000; ++i)
            changes.push_back(Change((*next)++));
        if (!writer.Append(changes, error))
            return false;
    }
    return true;
}

struct Times
{
    double wallMs = -1, cpuMs = -1; // medians
};

double CpuOfChildrenMs()
{
    rusage usage;
    getrusage(RUSAGE_CHILDREN, &usage);
    return (usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) * 1e3 +
        (usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e3;
}

Times Median(const QString &program, const QStringList &args, int runs)
{
    std::vector<double> wall, cpu;
    for (int i = 0; i < runs; ++i) {
        QProcess p;
        p.setStandardOutputFile(QProcess::nullDevice());
        const double cpuBefore = CpuOfChildrenMs();
        QElapsedTimer t;
        t.start();
        p.start(program, args);
        if (!p.waitForFinished(60'000) || p.exitCode() != 0)
            return {};
        wall.push_back(double(t.nsecsElapsed()) / 1e6);
        cpu.push_back(CpuOfChildrenMs() - cpuBefore);
    }
    std::sort(wall.begin(), wall.end());
    std::sort(cpu.begin(), cpu.end());
    return {wall[wall.size() / 2], cpu[cpu.size() / 2]};
}

QString Utc(int64_t us)
{
    return QDateTime::fromMSecsSinceEpoch(us / 1000, Qt::UTC)
        .toString(QStringLiteral("yyyy-MM-ddTHH:mm:ss.zzzZ"));
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int64_t mb = argc > 1 ? std::max(1LL, atoll(argv[1])) : 1024;
    const int pauseS = argc > 2 ? std::max(1, atoi(argv[2])) : 60;
    QTemporaryDir dir(QDir(argc > 3 ? argv[3] : "/tmp").filePath("bench_history_scale-XXXXXX"));
    const QString db = dir.filePath("history.db");
    const QString qrxio = QDir(app.applicationDirPath()).filePath("qrxio");
    HistoryWriter writer;
    QString error;
    int64_t next = 0;
    QElapsedTimer timer;
    timer.start();
    if (!writer.Open(db, &error) || !Fill(writer, mb << 20, &next, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    writer.Close();
    std::printf("database: %.0f MB, %lld changes of %d points, made in %.0f s\n",
                double(QFileInfo(db).size()) / 1e6, static_cast<long long>(next), kPoints,
                timer.elapsed() / 1000.0);

    // A second in the middle of the recorded time.
    const int64_t from = kStart + next / 2 * kStepUs / 1'000'000 * 1'000'000;
    const QStringList range{"history",          "--db", db, "--since", Utc(from), "--until",
                            Utc(from + 999'999)};
    const QString select = QStringLiteral("SELECT * FROM history WHERE time_us BETWEEN %1 AND %2;")
                               .arg(from)
                               .arg(from + 999'999);
    const Times ours = Median(qrxio, range, 21), shell = Median("sqlite3", {db, select}, 21);
    std::printf("one second (%lld changes), median of 21 runs, wall (CPU): qrxio history %.1f ms "
                "(%.1f ms; target <= 50 ms); sqlite3 shell, the same rows from the view history: "
                "%.1f ms (%.1f ms)\n",
                static_cast<long long>(1'000'000 / kStepUs), ours.wallMs, ours.cpuMs, shell.wallMs,
                shell.cpuMs);

    // The WAL while a reader of everything is paused and the writer goes on.
    if (!writer.Open(db, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    writer.Retain(INT64_MIN, 2048LL << 20, &error); // MaxDatabaseMB=2048: no trim
    QProcess paused; // "qrxio history | sleep PAUSE": it waits once the pipe is full
    paused.start("sh",
                 {"-c", "\"$0\" history --db \"$1\" | sleep \"$2\"", qrxio, db,
                  QString::number(pauseS + 5)});
    paused.waitForStarted();
    std::atomic<bool> stop = false;
    std::atomic<int64_t> walMax = 0, written = 0;
    std::thread writing([&] {
        std::vector<HistoryChange> batch;
        auto due = std::chrono::steady_clock::now();
        while (!stop) {
            batch.clear();
            for (int i = 0; i < 10'000; ++i)
                batch.push_back(Change(next++));
            QString why;
            if (writer.Append(batch, &why))
                written += int64_t(batch.size());
            walMax = std::max<int64_t>(walMax, QFileInfo(db + "-wal").size());
            std::this_thread::sleep_until(due += std::chrono::seconds(1));
        }
    });
    std::this_thread::sleep_for(std::chrono::seconds(pauseS));
    stop = true;
    writing.join();
    const bool stillWaiting = paused.state() == QProcess::Running;
    paused.waitForFinished(15'000); // sleep ends, qrxio meets the closed pipe
    const QString notice = writer.TakeWalNotice();
    writer.Close();
    std::printf(
        "WAL with qrxio history | sleep %d (%s) while %lld changes were written at "
        "10,000/s: at most %.1f MB (its limit %.0f MB), %.1f MB after the writer closed%s\n",
        pauseS, stillWaiting ? "still waiting at the end" : "it had ended",
        static_cast<long long>(written.load()), double(walMax) / 1e6,
        double(HistoryWriter::WalLimitBytes(2048LL << 20)) / 1e6,
        double(QFileInfo(db + "-wal").size()) / 1e6,
        notice.isEmpty() ? "" : qPrintable("; " + notice));
    return 0;
}

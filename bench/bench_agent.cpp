// orvane-agent on 16 simulated boards of 64 inputs and 64 outputs: its CPU time at 10 ms with
// nothing changing, from /proc/PID/schedstat over SECONDS, beside "qrxio monitor --out" on the
// same boards (target: at most 1.3 x); then 10,000 input changes a second, spread so that no
// point changes twice within a poll interval, for SECONDS, into a history of 1 GB
// (MaxDatabaseMB=2048, so no trim runs): every change must reach the database, memory flat, and
// the polls' lateness (from its due time to its start) p99 at most 2 ms, printed beside the same
// run with the history writer off (a benchmark-only switch of the agent).
// Usage: bench_agent [SECONDS] (default 60) [DATABASE_MB] (default 1024) [load: the load alone];
// the agent, qrxio and the library are the ones beside this.

#include "BoardConfig.h"
#include "SharedState.h"
#include "history/HistoryWriter.h"
#include "history/Sqlite.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstring>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int kBoards = 16;

// The CPU time of a process so far (every thread of it), in seconds, as the scheduler counts it.
double CpuSeconds(qint64 pid)
{
    const QString tasks = QStringLiteral("/proc/%1/task").arg(pid);
    double seconds = 0;
    for (const QString &task : QDir(tasks).entryList(QDir::Dirs | QDir::NoDotAndDotDot)) {
        QFile stat(tasks + u'/' + task + QStringLiteral("/schedstat"));
        if (stat.open(QIODevice::ReadOnly))
            seconds += double(stat.readAll().split(' ').first().toLongLong()) / 1e9;
    }
    return seconds;
}

long RssKiB(qint64 pid)
{
    QFile status(QStringLiteral("/proc/%1/status").arg(pid));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').first().toLong();
    return -1;
}

// The CPU share of a program over `seconds`, after a second to start.
double CpuShare(const QString &program, const QStringList &args, int seconds)
{
    QProcess p;
    p.setStandardOutputFile(QProcess::nullDevice());
    p.start(program, args);
    if (!p.waitForStarted())
        return -1;
    QThread::sleep(1);
    const double before = CpuSeconds(p.processId());
    QThread::sleep(seconds);
    const double share = (CpuSeconds(p.processId()) - before) / seconds;
    ::kill(pid_t(p.processId()), SIGTERM);
    p.waitForFinished(10000);
    return share;
}

// A history of `mb` MiB before the run: 16 boards x 128 points, changes 10 us apart ending a
// day ago (the agent's first poll records each point's value again).
bool MakeHistory(const QString &db, int64_t mb)
{
    HistoryWriter writer;
    QString error;
    if (!writer.Open(db, &error) || !writer.Append({{1, 0, PointDir::In, 0, false}}, &error))
        return std::fprintf(stderr, "%s\n", qPrintable(error)), false;
    writer.Close();
    SqliteDb sql;
    if (!sql.Open(db, SQLITE_OPEN_READWRITE, &error) ||
        !sql.Exec("PRAGMA synchronous = OFF; PRAGMA cache_size = -524288; DELETE FROM changes;",
                  &error))
        return std::fprintf(stderr, "%s\n", qPrintable(error)), false;
    for (int p = 0; p < kBoards * 128; ++p) {
        const QByteArray insert = QStringLiteral("INSERT OR IGNORE INTO points(card, direction, "
                                                 "point) VALUES(%1, '%2', %3)")
                                      .arg(p / 128)
                                      .arg(p / 64 % 2 ? "out" : "in")
                                      .arg(p % 64)
                                      .toLatin1();
        sql.Exec(insert.constData());
    }
    constexpr int64_t kRound = 2048 * 1024; // each point changes 1024 times (an even number)
    const int64_t end = (QDateTime::currentMSecsSinceEpoch() - 86'400'000) * 1000;
    for (int64_t round = 0; QFileInfo(db).size() < mb * 1024 * 1024; ++round) {
        sql.Exec("BEGIN");
        SqliteStatement insert(sql,
                               "INSERT INTO changes(time_us, point_id, value) VALUES(?1, "
                               "(SELECT id FROM points WHERE card = ?2 AND direction = "
                               "iif(?3, 'out', 'in') AND point = ?4), ?5)");
        for (int64_t n = 0; n < kRound; ++n) {
            const int point = int(n % 2048);
            insert.Bind(1, end - (round + 1) * kRound * 10 + n * 10);
            insert.Bind(2, point / 128);
            insert.Bind(3, point / 64 % 2);
            insert.Bind(4, point % 64);
            insert.Bind(5, n / 2048 % 2);
            insert.Step();
            insert.Reset();
        }
        if (!sql.Exec("COMMIT", &error))
            return std::fprintf(stderr, "%s\n", qPrintable(error)), false;
    }
    return sql.Exec("PRAGMA wal_checkpoint(TRUNCATE)");
}

struct LoadRun
{
    int64_t made = 0, recorded = 0;
    long rssStart = 0, rssEnd = 0;
    QString lateness;
};

// 100 inputs every 10 ms, round the 1024 inputs: each changes every 102 ms.
LoadRun Load(const QString &agent, const QString &ini, const QString &db, SharedState &state,
             int seconds, const QByteArray &bench)
{
    LoadRun run;
    const int64_t since = QDateTime::currentMSecsSinceEpoch() * 1000;
    QProcess recorder;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    env.insert("ORVANE_AGENT_BENCH", QString::fromLatin1(bench));
    recorder.setProcessEnvironment(env);
    recorder.start(agent, {"--config", ini, "--database", db});
    QThread::sleep(2);
    std::vector<uint64_t> words(kBoards, 0);
    int64_t next = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int tick = 0; tick < seconds * 100; ++tick) {
        std::this_thread::sleep_until(begin + std::chrono::milliseconds(10 * tick));
        for (int j = 0; j < 100; ++j, ++run.made, next = (next + 1) % (kBoards * 64)) {
            words[next / 64] ^= uint64_t(1) << (next % 64);
            Atomic(state.slot(int(next / 64)).held).store(words[next / 64]);
        }
        if (tick == 500)
            run.rssStart = RssKiB(recorder.processId());
    }
    QThread::msleep(100);
    run.rssEnd = RssKiB(recorder.processId());
    ::kill(pid_t(recorder.processId()), SIGTERM);
    recorder.waitForFinished(30000);
    const QString err = QString::fromLocal8Bit(recorder.readAllStandardError());
    run.lateness = err.mid(err.indexOf("poll lateness")).section(u'\n', 0, 0);
    // The inputs back where they started, for the next run.
    for (int b = 0; b < kBoards; ++b)
        Atomic(state.slot(b).held).store(0);
    SqliteDb sql;
    sql.Open(db, SQLITE_OPEN_READONLY, nullptr);
    const QByteArray count = QStringLiteral("SELECT count(*) FROM changes JOIN points ON id = "
                                            "point_id WHERE direction = 'in' AND time_us >= %1")
                                 .arg(since)
                                 .toLatin1();
    run.recorded = sql.Integer(count.constData());
    return run;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
    const int64_t databaseMb = argc > 2 ? std::max(1, atoi(argv[2])) : 1024;
    QTemporaryDir dir;
    QByteArray ini;
    for (int b = 0; b < kBoards; ++b)
        ini += QStringLiteral("[Board%1]\nType=2803\nCardNo=%1\nInputs=64\nOutputs=64\n")
                   .arg(b)
                   .toLatin1();
    QFile config(dir.filePath("boards.ini"));
    if (!config.open(QIODevice::WriteOnly) || config.write(ini) != ini.size())
        return 1;
    config.close();
    QFile agentIni(dir.filePath("agent.ini"));
    if (!agentIni.open(QIODevice::WriteOnly) ||
        agentIni.write("[Recorder]\nMaxDatabaseMB=2048\n") < 0)
        return 1;
    agentIni.close();
    qputenv("QRXSIM_CONFIG", config.fileName().toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    const QDir bin(app.applicationDirPath());
    const QString agent = bin.filePath("orvane-agent"), db = dir.filePath("history.db");

    const bool idle = argc <= 3 || strcmp(argv[3], "load") != 0;
    const double agentCpu =
        idle ? CpuShare(agent, {"--database", dir.filePath("idle.db")}, seconds) : 0;
    const double monitorCpu =
        idle ? CpuShare(bin.filePath("qrxio"), {"monitor", "--out"}, seconds) : 1;
    if (idle)
        std::printf(
            "idle, 16 x 128 points at 10 ms over %d s (schedstat): agent %.2f %% of a core, "
            "qrxio monitor --out %.2f %%: %.2f x (target <= 1.3 x)\n",
            seconds, agentCpu * 100, monitorCpu * 100, agentCpu / monitorCpu);
    std::fflush(stdout);

    BoardConfig boards;
    std::string error;
    SharedState state;
    if (BoardConfig::Locate({}, &boards, &error) != 0 ||
        !state.Open(dir.filePath("state").toStdString(), boards, false, &error)) {
        std::fprintf(stderr, "shared state: %s\n", error.c_str());
        return 1;
    }
    QElapsedTimer made;
    made.start();
    if (!MakeHistory(db, databaseMb))
        return 1;
    std::printf("a history of %lld MiB made in %.0f s\n",
                static_cast<long long>(QFileInfo(db).size() >> 20), double(made.elapsed()) / 1000);
    for (const QByteArray &mode : {QByteArray("lateness"), QByteArray("nohistory")}) {
        const LoadRun run = Load(agent, agentIni.fileName(), db, state, seconds, mode);
        std::printf("%d s at 10,000 changes/s, history writer %s: %s (target p99 <= 2 ms)\n",
                    seconds, mode == "nohistory" ? "off" : "on ", qPrintable(run.lateness));
        if (mode == "lateness")
            std::printf("  %lld made, %lld in the database (%s); agent resident memory %ld KiB "
                        "after 5 s, %ld KiB at the end\n",
                        static_cast<long long>(run.made), static_cast<long long>(run.recorded),
                        run.recorded >= run.made ? "all" : "MISSING", run.rssStart, run.rssEnd);
        std::fflush(stdout);
    }
    return 0;
}

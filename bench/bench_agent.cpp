// orvane-agent on 16 simulated boards of 64 inputs and 64 outputs: its CPU share at 10 ms with
// nothing changing, beside "qrxio monitor --out" on the same boards (target: at most 1.3 x);
// then 10,000 input changes a second, spread so that no point changes twice within a poll
// interval, for SECONDS (default 60): every change must reach the database, memory flat.
// Usage: bench_agent [SECONDS]; the agent, qrxio and the library are the ones beside this.

#include "BoardConfig.h"
#include "SharedState.h"
#include "history/Sqlite.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <chrono>
#include <csignal>
#include <cstdio>
#include <sqlite3.h>
#include <unistd.h>

namespace {

constexpr int kBoards = 16;

// The user and system CPU seconds of a process, and its resident memory in KiB.
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    return fields.size() < 13
        ? -1
        : double(fields[11].toLongLong() + fields[12].toLongLong()) / sysconf(_SC_CLK_TCK);
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

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 60;
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
    qputenv("QRXSIM_CONFIG", config.fileName().toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    const QDir bin(app.applicationDirPath());
    const QString agent = bin.filePath("orvane-agent"), db = dir.filePath("history.db");

    const int idle = std::min(seconds, 10);
    const double agentCpu = CpuShare(agent, {"--database", dir.filePath("idle.db")}, idle);
    const double monitorCpu = CpuShare(bin.filePath("qrxio"), {"monitor", "--out"}, idle);
    std::printf("idle, 16 x 128 points at 10 ms over %d s: agent %.2f %% of a core, qrxio monitor "
                "--out %.2f %%: %.2f x (target <= 1.3 x)\n",
                idle, agentCpu * 100, monitorCpu * 100, agentCpu / monitorCpu);

    BoardConfig boards;
    std::string error;
    SharedState state;
    if (BoardConfig::Locate({}, &boards, &error) != 0 ||
        !state.Open(dir.filePath("state").toStdString(), boards, false, &error)) {
        std::fprintf(stderr, "shared state: %s\n", error.c_str());
        return 1;
    }
    QProcess recorder;
    recorder.start(agent, {"--database", db});
    QThread::sleep(1);
    // 100 inputs every 10 ms, round the 1024 inputs: each changes every 102 ms.
    std::vector<uint64_t> words(kBoards, 0);
    int64_t made = 0, next = 0;
    long rssStart = 0;
    const auto begin = std::chrono::steady_clock::now();
    for (int tick = 0; tick < seconds * 100; ++tick) {
        std::this_thread::sleep_until(begin + std::chrono::milliseconds(10 * tick));
        for (int j = 0; j < 100; ++j, ++made, next = (next + 1) % (kBoards * 64)) {
            words[next / 64] ^= uint64_t(1) << (next % 64);
            Atomic(state.slot(int(next / 64)).held).store(words[next / 64]);
        }
        if (tick == 500)
            rssStart = RssKiB(recorder.processId());
    }
    QThread::msleep(100);
    const long rssEnd = RssKiB(recorder.processId());
    ::kill(pid_t(recorder.processId()), SIGTERM);
    recorder.waitForFinished(30000);

    SqliteDb sql;
    sql.Open(db, SQLITE_OPEN_READONLY, nullptr);
    // Every point's starting value is a row too; the rest are the changes.
    const int64_t rows = sql.Integer("SELECT count(*) FROM changes JOIN points ON id = point_id "
                                     "WHERE direction = 'in'");
    std::printf("%d s at 10,000 changes/s: %lld made, %lld in the database (%s); agent resident "
                "memory %ld KiB after 5 s, %ld KiB at the end\n",
                seconds, static_cast<long long>(made), static_cast<long long>(rows - kBoards * 64),
                rows - kBoards * 64 == made ? "all" : "MISSING", rssStart, rssEnd);
    return 0;
}

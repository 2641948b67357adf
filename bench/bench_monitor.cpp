// qrxio monitor on 16 simulated boards with 64 inputs and 64 outputs each: the cost of one poll
// (inputs only, and inputs and outputs as with --out; and qrxio's own part of it, on a library
// that answers at once), and the CPU share of a running "qrxio monitor" and "qrxio monitor
// --out" over 10 seconds each at the default 10 ms interval. Target: a poll under
// 40 us median, so that 100 polls a second take under 0.4 % of a core.
// Usage: bench_monitor [SECONDS]; the library is ORVANE_DEVICE_LIBRARY, else the one beside
// this program, and qrxio the one beside it.

#include "Monitor.h"
#include "device/DeviceLibrary.h"
#include "device/DeviceTable.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QThread>

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <unistd.h>
#include <vector>

namespace {

constexpr int kBoards = 16;
constexpr int kPolls = 20000;

struct Figures
{
    double median;
    double p99;
};

// Times kPolls polls one by one, after a warm-up, in microseconds.
Figures TimePolls(Monitor &monitor)
{
    std::vector<PointChange> changes;
    FailedCall failed;
    for (int i = 0; i < kPolls / 10; ++i)
        monitor.Poll(&changes, &failed);
    std::vector<double> us(kPolls);
    for (double &t : us) {
        const auto start = std::chrono::steady_clock::now();
        monitor.Poll(&changes, &failed);
        t = std::chrono::duration<double, std::micro>(std::chrono::steady_clock::now() - start)
                .count();
    }
    std::sort(us.begin(), us.end());
    return {us[us.size() / 2], us[us.size() * 99 / 100]};
}

// The user and system CPU time of a process so far, in seconds.
double CpuSeconds(qint64 pid)
{
    QFile stat(QStringLiteral("/proc/%1/stat").arg(pid));
    if (!stat.open(QIODevice::ReadOnly))
        return -1;
    // The fields after the command name, which stands in parentheses and may hold blanks.
    const QByteArray text = stat.readAll();
    const QList<QByteArray> fields = text.mid(text.lastIndexOf(')') + 2).split(' ');
    if (fields.size() < 13)
        return -1;
    return double(fields[11].toLongLong() + fields[12].toLongLong()) / sysconf(_SC_CLK_TCK);
}

// The poll on a library whose bit reads do nothing: what the loop around the calls costs.
int32_t ReadNothing(int32_t, int32_t, int32_t *value)
{
    *value = 0;
    return 0;
}
Figures OwnPart(const std::vector<WatchedBoard> &watched)
{
    DeviceTable table = DeviceTable::Unloaded();
    table.DXS_devDiGetBit = ReadNothing;
    table.DXS_devDoGetBit = ReadNothing;
    SetDeviceTable(table);
    Monitor monitor(watched, true);
    const Figures figures = TimePolls(monitor);
    SetDeviceTable(DeviceTable::Unloaded());
    return figures;
}

// Runs qrxio with `args` and measures its CPU share, in percent of a core, over `seconds` after
// a second to settle; -1 when it does not run and end as it should.
double CpuShare(const QString &qrxio, const QStringList &args, int seconds)
{
    QProcess monitor;
    monitor.setStandardOutputFile(QProcess::nullDevice());
    monitor.start(qrxio, args);
    if (!monitor.waitForStarted()) {
        std::fprintf(stderr, "%s did not start\n", qPrintable(qrxio));
        return -1;
    }
    QThread::sleep(1);
    const double before = CpuSeconds(monitor.processId());
    const auto start = std::chrono::steady_clock::now();
    QThread::sleep(unsigned(seconds));
    const double after = CpuSeconds(monitor.processId());
    const double wall =
        std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    ::kill(pid_t(monitor.processId()), SIGINT);
    const bool ended = monitor.waitForFinished(10000) && monitor.exitCode() == 0;
    if (before < 0 || after < 0 || !ended) {
        std::fprintf(stderr, "qrxio did not run and end as expected: %s\n",
                     monitor.readAllStandardError().constData());
        return -1;
    }
    return (after - before) / wall * 100;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int seconds = argc > 1 ? std::max(1, atoi(argv[1])) : 10;
    QString path = qEnvironmentVariable("ORVANE_DEVICE_LIBRARY");
    if (path.isEmpty())
        path = QDir(app.applicationDirPath()).filePath(DeviceLibrary::FileName());
    const QString qrxio = QDir(app.applicationDirPath()).filePath(QStringLiteral("qrxio"));

    QTemporaryDir dir;
    QByteArray boards = "[System]\nLogLevel=0\nDataDir=" + dir.path().toLocal8Bit() + "\n";
    for (int i = 0; i < kBoards; ++i)
        boards += QStringLiteral("[Board%1]\nType=2803\nCardNo=%1\nInputs=64\nOutputs=64\n")
                      .arg(i)
                      .toLatin1();
    QFile config(dir.filePath(QStringLiteral("boards.ini")));
    if (!config.open(QIODevice::WriteOnly) || config.write(boards) != boards.size())
        return 1;
    config.close();
    qputenv("QRXSIM_CONFIG", config.fileName().toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath(QStringLiteral("state")).toLocal8Bit());

    DeviceLibrary library;
    DeviceLoadError error;
    if (!library.Load(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return 1;
    }
    const DeviceTable &dev = library.Table();
    int32_t count = 0;
    if (dev.DXS_devSysLoad(DXS_LOAD_AUTO, &count) < 0 || count != kBoards) {
        std::fprintf(stderr, "the library did not load the %d boards\n", kBoards);
        return 1;
    }
    std::vector<WatchedBoard> watched;
    for (int card = 0; card < kBoards; ++card)
        watched.push_back({card, ~0ull, ~0ull}); // all 64 inputs and outputs
    SetDeviceTable(dev); // the monitor reads through the model's point I/O
    Monitor inputs(watched, false);
    Monitor both(watched, true);
    const Figures in = TimePolls(inputs);
    const Figures inOut = TimePolls(both);
    dev.DXS_devSysUnload();

    std::printf("library: %s\n", qPrintable(path));
    std::printf("one poll, %d boards x 64 inputs: median %.1f us, 99th percentile %.1f us\n",
                kBoards, in.median, in.p99);
    std::printf("one poll, %d boards x 64 inputs + 64 outputs (--out): median %.1f us, "
                "99th percentile %.1f us\n",
                kBoards, inOut.median, inOut.p99);
    // A poll of t us, 100 times a second, takes t / 100 percent of a core.
    std::printf("at 100 polls a second: %.2f %% of a core, %.2f %% with --out (target: a poll "
                "under 40 us median, under 0.4 %%)\n",
                in.median / 100, inOut.median / 100);

    std::printf("one poll with --out on a library that answers at once (qrxio's own part): "
                "median %.1f us\n",
                OwnPart(watched).median);

    for (const QStringList &args : {QStringList{"monitor"}, QStringList{"monitor", "--out"}}) {
        const double share = CpuShare(qrxio, args, seconds);
        if (share < 0)
            return 1;
        std::printf("qrxio %s, %d boards, 10 ms interval: %.2f %% of a core over %d s\n",
                    qPrintable(args.join(' ')), kBoards, share, seconds);
    }
    return 0;
}

// Time from process start to the main window being shown, with the simulated library's
// built-in boards and with 16 boards. Runs the real program (offscreen unless a display is
// given) several times and prints the median and the slowest run, in wall time and in CPU time
// (until the window is shown, as the process says, and of the whole process, which quits once
// shown). A bare Qt main window (this program run with --bare) is the yardstick: it starts in
// turn with the program, and the CPU ratios program / bare window are printed.
//
//   build/bin/bench_startup [runs]

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QMainWindow>
#include <QProcess>
#include <QTemporaryDir>
#include <QTimer>
#include <algorithm>
#include <cstdio>

#include <sys/resource.h>

namespace {

// CPU time (user and system) in milliseconds: of this process so far (RUSAGE_SELF), or of the
// children waited for so far (RUSAGE_CHILDREN).
double CpuMs(int who)
{
    rusage usage{};
    getrusage(who, &usage);
    const auto ms = [](const timeval &t) {
        return t.tv_sec * 1e3 + t.tv_usec / 1e3;
    };
    return ms(usage.ru_utime) + ms(usage.ru_stime);
}

struct Run
{
    double wallMs = -1; // until "shown"
    double cpuMs = -1; // of the process until shown, as it says itself
    double processCpuMs = -1; // of the whole process, which quits once shown
};

Run RunOnce(const QString &program, const QStringList &args, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    const double childrenBefore = CpuMs(RUSAGE_CHILDREN);
    QElapsedTimer timer;
    timer.start();
    process.start(program, args);
    if (!process.waitForStarted(10000))
        return {};
    QByteArray out;
    while (!out.contains("shown") || !out.endsWith('\n')) {
        if (!process.waitForReadyRead(10000))
            return {};
        out += process.readAllStandardOutput();
    }
    Run run;
    run.wallMs = timer.nsecsElapsed() / 1e6;
    run.cpuMs = out.mid(out.indexOf("shown") + 5).trimmed().toDouble();
    process.waitForFinished(10000);
    run.processCpuMs = CpuMs(RUSAGE_CHILDREN) - childrenBefore;
    return run;
}

double Median(QList<double> values)
{
    std::sort(values.begin(), values.end());
    return values.isEmpty() ? 0 : values[values.size() / 2];
}

// Runs the program and the bare window in turn, so that both see the same machine.
void Measure(const char *label, const QString &program, const QProcessEnvironment &env, int runs)
{
    QList<double> wall, cpu, bareCpu, processCpu, bareProcessCpu;
    for (int i = 0; i < runs; ++i) {
        const Run bare = RunOnce(QCoreApplication::applicationFilePath(), {"--bare"}, env);
        const Run run = RunOnce(program, {}, env);
        if (run.wallMs < 0 || bare.wallMs < 0) {
            std::printf("%-16s failed to start or never showed its window\n", label);
            return;
        }
        wall << run.wallMs;
        cpu << run.cpuMs;
        bareCpu << bare.cpuMs;
        processCpu << run.processCpuMs;
        bareProcessCpu << bare.processCpuMs;
    }
    std::printf("%-16s median %7.1f ms   slowest %7.1f ms   (%d runs; target < 300 ms)\n", label,
                Median(wall), *std::max_element(wall.begin(), wall.end()), runs);
    const auto ratio = [](const QList<double> &a, const QList<double> &b) {
        return Median(a) / qMax(0.1, Median(b));
    };
    std::printf("%-16s CPU until shown    %6.1f ms, bare window %6.1f ms: %.2fx\n", label,
                Median(cpu), Median(bareCpu), ratio(cpu, bareCpu));
    std::printf("%-16s CPU of the process %6.1f ms, bare window %6.1f ms: %.2fx (target <= 1.3x)\n",
                label, Median(processCpu), Median(bareProcessCpu),
                ratio(processCpu, bareProcessCpu));
}

// The yardstick: a bare maximised main window that says when it is shown and quits.
int BareWindow(int argc, char *argv[])
{
    QApplication app(argc, argv);
    QMainWindow window;
    window.showMaximized();
    QTimer::singleShot(0, [] {
        std::printf("shown %.3f\n", CpuMs(RUSAGE_SELF));
        std::fflush(stdout);
        QApplication::quit();
    });
    return QApplication::exec();
}

} // namespace

int main(int argc, char *argv[])
{
    if (argc > 1 && qstrcmp(argv[1], "--bare") == 0)
        return BareWindow(argc, argv);
    QCoreApplication app(argc, argv);
    const int runs = argc > 1 ? qMax(1, atoi(argv[1])) : 10;
    const QString program = QDir(QCoreApplication::applicationDirPath()).filePath("orvane");

    QTemporaryDir dir;
    QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
    if (!env.contains("DISPLAY") && !env.contains("QT_QPA_PLATFORM"))
        env.insert("QT_QPA_PLATFORM", "offscreen");
    env.insert("ORVANE_QUIT_WHEN_SHOWN", "1");
    env.insert("QRXSIM_STATE", dir.filePath("state"));
    env.insert("XDG_CONFIG_HOME", dir.filePath("config"));
    env.remove("QRXSIM_CONFIG");
    Measure("built-in boards", program, env, runs);

    QFile config(dir.filePath("sixteen.ini"));
    if (!config.open(QIODevice::WriteOnly))
        return 1;
    for (int i = 0; i < 16; ++i)
        config.write(QStringLiteral("[Board%1]\nType=2803\nCardNo=%1\nInputs=64\nOutputs=64\n"
                                    "Loopback=1\n\n")
                         .arg(i)
                         .toLatin1());
    config.close();
    env.insert("QRXSIM_CONFIG", config.fileName());
    env.insert("QRXSIM_STATE", dir.filePath("state16"));
    Measure("16 boards", program, env, runs);
    return 0;
}

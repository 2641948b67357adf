// Time from process start to the main window being shown, with the simulated library's
// built-in boards and with 16 boards. Runs the real program (offscreen unless a display is
// given) several times and prints the median and the slowest run.
//
//   build/bin/bench_startup [runs]

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QProcess>
#include <QTemporaryDir>
#include <algorithm>
#include <cstdio>

namespace {

double RunOnce(const QString &program, const QProcessEnvironment &env)
{
    QProcess process;
    process.setProcessEnvironment(env);
    QElapsedTimer timer;
    timer.start();
    process.start(program, {});
    if (!process.waitForStarted(10000))
        return -1;
    while (!process.readAllStandardOutput().contains("shown")) {
        if (!process.waitForReadyRead(10000))
            return -1;
    }
    const double ms = timer.nsecsElapsed() / 1e6;
    process.waitForFinished(10000);
    return ms;
}

void Measure(const char *label, const QString &program, const QProcessEnvironment &env, int runs)
{
    QList<double> times;
    for (int i = 0; i < runs; ++i) {
        const double ms = RunOnce(program, env);
        if (ms < 0) {
            std::printf("%-16s failed to start or never showed its window\n", label);
            return;
        }
        times << ms;
    }
    std::sort(times.begin(), times.end());
    std::printf("%-16s median %7.1f ms   slowest %7.1f ms   (%d runs; target < 300 ms)\n", label,
                times[times.size() / 2], times.back(), runs);
}

} // namespace

int main(int argc, char *argv[])
{
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

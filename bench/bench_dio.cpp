// The Digital IO window's tick on a 64-input / 64-output simulated board, offscreen: the cost
// of one tick with steady inputs and with every input toggling each tick, the device calls
// and the controls repainted per tick, the tick rate the 10 ms timer reaches, and the latency
// from an input change in the shared state (as qrxsim makes it) to the repaint of its LED.
// Targets: steady tick under 30 us, no repaint when nothing changes, at least 99 ticks per
// second, latency under 12 ms at the 99th percentile.

#include "BoardConfig.h"
#include "app/ChildFrame.h"
#include "dio/DIoWnd.h"
#include "device/DeviceLibrary.h"
#include "device/DeviceTable.h"
#include "dio/DiWnd.h"
#include "controls/LedIndicator.h"
#include "app/MainFrame.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "SharedState.h"
#include "app/VelmarApp.h"

#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QTimer>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

// Bit calls counted on their way to the loaded library.
DeviceTable g_real;
long g_calls = 0;
int32_t CountDiGetBit(int32_t c, int32_t b, int32_t *v)
{
    ++g_calls;
    return g_real.DXS_devDiGetBit(c, b, v);
}
int32_t CountDoGetBit(int32_t c, int32_t b, int32_t *v)
{
    ++g_calls;
    return g_real.DXS_devDoGetBit(c, b, v);
}

class PaintWatch : public QObject
{
public:
    QSet<QObject *> painted;
    QObject *target = nullptr;
    Clock::time_point targetPainted;
    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() == QEvent::Paint) {
            painted << watched;
            if (watched == target)
                targetPainted = Clock::now();
        }
        return false;
    }
};

double Percentile(std::vector<double> v, double p)
{
    if (v.empty())
        return 0;
    std::sort(v.begin(), v.end());
    return v[std::min(v.size() - 1, size_t(p / 100.0 * double(v.size())))];
}

void Wait(int ms)
{
    QEventLoop loop;
    QTimer::singleShot(ms, &loop, &QEventLoop::quit);
    loop.exec();
}

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    QTemporaryDir dir;
    const QString config = dir.filePath("boards.ini");
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write("[Board0]\nType=2803\nCardNo=0\nInputs=64\nOutputs=64\n");
    }
    qputenv("QRXSIM_CONFIG", config.toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    QApplication app(argc, argv);
    if (qEnvironmentVariableIsEmpty("ORVANE_DEVICE_LIBRARY"))
        qputenv("ORVANE_DEVICE_LIBRARY",
                QDir(app.applicationDirPath()).filePath(DeviceLibrary::FileName()).toLocal8Bit());
    SetMessageBoxHandler([](QWidget *, const MessageBoxRequest &r) {
        std::fprintf(stderr, "message box: %s\n", qPrintable(r.text));
        return int(kIdNo);
    });

    QDir().mkpath(dir.filePath("app"));
    CVelmarApp orvane(dir.filePath("app"));
    if (!orvane.InitInstance())
        return 1;
    SendWindowMessage(orvane.mainFrame(), UM_OPEN_WINDOW, kDigitalIoView);
    CChildFrame *frame = CChildFrame::OpenFrame(kDigitalIoView);
    auto *view = frame ? qobject_cast<CVL_DIoWnd *>(frame->widget()) : nullptr;
    if (!view)
        return 1;
    view->timer()->stop();

    // The inputs are changed from outside, through the shared state, as qrxsim does.
    BoardConfig boards;
    std::string error;
    SharedState state;
    if (BoardConfig::Locate({}, &boards, &error) != 0 ||
        !state.Open(dir.filePath("state").toStdString(), boards, false, &error)) {
        std::fprintf(stderr, "shared state: %s\n", error.c_str());
        return 1;
    }
    auto setInputs = [&](uint64_t word) {
        Atomic(state.slot(0).held).store(word);
    };

    g_real = Dev();
    DeviceTable counting = g_real;
    counting.DXS_devDiGetBit = CountDiGetBit;
    counting.DXS_devDoGetBit = CountDoGetBit;
    SetDeviceTable(counting);

    PaintWatch watch;
    app.installEventFilter(&watch);
    for (int i = 0; i < 5; ++i)
        view->OnTimer();
    Wait(50);

    auto tickCost = [&](bool toggle, int ticks) {
        std::vector<double> us;
        uint64_t word = 0;
        for (int i = 0; i < ticks; ++i) {
            if (toggle)
                setInputs(word = ~word);
            const auto start = Clock::now();
            view->OnTimer();
            us.push_back(std::chrono::duration<double, std::micro>(Clock::now() - start).count());
            if (i % 64 == 0)
                QCoreApplication::processEvents(); // let paints and reports through now and then
        }
        return us;
    };
    // Controls repainted per tick: each tick followed by the paints it caused.
    auto repaints = [&](bool toggle, int ticks) {
        std::vector<double> counts;
        uint64_t word = 0;
        for (int i = 0; i < ticks; ++i) {
            if (toggle)
                setInputs(word = ~word);
            watch.painted.clear();
            view->OnTimer();
            Wait(15);
            counts.push_back(double(watch.painted.size()));
        }
        return counts;
    };

    setInputs(0x00FF'00FF'F0F0'0F0Full);
    tickCost(false, 200);
    const std::vector<double> steady = tickCost(false, 20000);
    g_calls = 0;
    tickCost(false, 1000);
    const double callsPerTick = double(g_calls) / 1000.0;
    const std::vector<double> toggling = tickCost(true, 20000);
    setInputs(0x00FF'00FF'F0F0'0F0Full);
    view->OnTimer();
    view->OnTimer();
    Wait(50);
    const std::vector<double> steadyPaints = repaints(false, 100);
    const std::vector<double> togglingPaints = repaints(true, 100);

    std::printf("Digital IO window, 64 inputs / 64 outputs, simulated library, offscreen\n");
    std::printf("tick cost, steady inputs:        median %.2f us, p99 %.2f us (target < 30 us)\n",
                Percentile(steady, 50), Percentile(steady, 99));
    std::printf("tick cost, every input toggling: median %.2f us, p99 %.2f us\n",
                Percentile(toggling, 50), Percentile(toggling, 99));
    std::printf("device calls per tick:           %.1f\n", callsPerTick);
    std::printf("widgets repainted per tick:      steady %.1f (max %.0f, target 0), "
                "toggling %.1f\n",
                Percentile(steadyPaints, 50), Percentile(steadyPaints, 100),
                Percentile(togglingPaints, 50));

    // The real 10 ms timer for 5 seconds.
    setInputs(0);
    long ticks = 0;
    QObject::connect(view->timer(), &QTimer::timeout, [&ticks] { ++ticks; });
    view->timer()->start();
    QElapsedTimer elapsed;
    elapsed.start();
    Wait(5000);
    const double rate = double(ticks) * 1000.0 / double(elapsed.elapsed());
    std::printf("tick rate over 5 s:              %.1f ticks per second (target >= 99)\n", rate);

    // Input 0 toggled at random moments; latency until its LED is repainted.
    watch.target = view->inputPage->leds[0];
    std::vector<double> latency;
    QRandomGenerator random(7);
    uint64_t word = 0;
    for (int i = 0; i < 300; ++i) {
        Wait(int(random.bounded(5, 25)));
        watch.targetPainted = {};
        const auto changed = Clock::now();
        setInputs(word ^= 1);
        QElapsedTimer waited;
        waited.start();
        while (watch.targetPainted < changed && waited.elapsed() < 1000)
            QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 1);
        latency.push_back(
            std::chrono::duration<double, std::milli>(watch.targetPainted - changed).count());
    }
    std::printf("input-to-LED latency:            p50 %.2f ms, p99 %.2f ms (target p99 < 12 ms)\n",
                Percentile(latency, 50), Percentile(latency, 99));
    view->timer()->stop();
    SetDeviceTable(g_real);
    orvane.ExitInstance();
    return 0;
}

// The cost of the bit calls through the loaded device library, logging off. Target: under
// 50 ns per call each. Usage: bench_device [LIBRARY]; the library defaults to
// ORVANE_DEVICE_LIBRARY, else the one beside this program (both are built into bin/).

#include "device/DeviceLibrary.h"

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <chrono>
#include <cstdio>

namespace {

constexpr int kCalls = 20'000'000;

template<typename Call> double NsPerCall(Call call)
{
    for (int i = 0; i < kCalls / 10; ++i) // warm up
        call(i);
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kCalls; ++i)
        call(i);
    const std::chrono::duration<double, std::nano> spent = std::chrono::steady_clock::now() - start;
    return spent.count() / kCalls;
}

} // namespace

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    QString path =
        argc > 1 ? QString::fromLocal8Bit(argv[1]) : qEnvironmentVariable("ORVANE_DEVICE_LIBRARY");
    if (path.isEmpty())
        path = QDir(app.applicationDirPath()).filePath(DeviceLibrary::FileName());

    // The built-in boards, in a state file of the benchmark's own.
    QTemporaryDir dir;
    qputenv("QRXSIM_CONFIG", "");
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());

    DeviceLibrary library;
    DeviceLoadError error;
    if (!library.Load(path, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error.text()));
        return 1;
    }
    const DeviceTable &dev = library.Table();
    int32_t boards = 0;
    if (dev.DXS_devSysLoad(DXS_LOAD_AUTO, &boards) < 0 || dev.DXS_devDLogSetLevel(0) < 0) {
        std::fprintf(stderr, "the library did not load its boards\n");
        return 1;
    }

    // Card 1 is a 64/64 board wired in loopback: a read also merges the outputs.
    volatile int32_t sink = 0;
    const double di = NsPerCall([&](int i) {
        int32_t value = 0;
        dev.DXS_devDiGetBit(1, i & 63, &value);
        sink = value;
    });
    // Card 2 walks a pattern: a read also asks the monotonic clock.
    const double diPattern = NsPerCall([&](int i) {
        int32_t value = 0;
        dev.DXS_devDiGetBit(2, i & 63, &value);
        sink = value;
    });
    const double doGet = NsPerCall([&](int i) {
        int32_t value = 0;
        dev.DXS_devDoGetBit(1, i & 63, &value);
        sink = value;
    });
    const double doSet = NsPerCall([&](int i) { dev.DXS_devDoSetBit(1, i & 63, (i >> 6) & 1); });
    dev.DXS_devSysUnload();

    std::printf("library: %s\n", qPrintable(path));
    std::printf("DXS_devDiGetBit: %.1f ns/call\n", di);
    std::printf("DXS_devDiGetBit (pattern board): %.1f ns/call\n", diPattern);
    std::printf("DXS_devDoGetBit: %.1f ns/call\n", doGet);
    std::printf("DXS_devDoSetBit: %.1f ns/call\n", doSet);
    std::printf("target: under 50 ns/call each\n");
    return 0;
}

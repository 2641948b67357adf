// The history database: how fast a batch of changes is written, how large a million changes
// are (pages in use, and the file), and how long "qrxio history --vcd" takes for all of them.
// Targets: under 40 MB per million changes, the VCD of a million in under 3 s.
// Usage: bench_history [CHANGES] (default 1000000); qrxio is the one beside this program.

#include "history/HistoryWriter.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryDir>

#include <cstdio>

int main(int argc, char **argv)
{
    QCoreApplication app(argc, argv);
    const int64_t total = argc > 1 ? std::max(1LL, atoll(argv[1])) : 1'000'000;
    QTemporaryDir dir;
    const QString db = dir.filePath("history.db");
    HistoryWriter writer;
    QString error;
    if (!writer.Open(db, &error)) {
        std::fprintf(stderr, "%s\n", qPrintable(error));
        return 1;
    }
    // 16 boards x 128 points, one change every 100 us, written in batches of 10,000.
    constexpr int64_t kBatch = 10'000;
    const int64_t start = 1'796'000'000'000'000;
    std::vector<HistoryChange> batch;
    QElapsedTimer timer;
    timer.start();
    for (int64_t i = 0; i < total; i += kBatch) {
        batch.clear();
        for (int64_t n = i; n < std::min(total, i + kBatch); ++n) {
            const int point = int(n % 2048);
            batch.push_back({start + n * 100, point / 128, PointDir(point / 64 % 2),
                             uint8_t(point % 64), bool(n / 2048 % 2)});
        }
        if (!writer.Append(batch, &error)) {
            std::fprintf(stderr, "%s\n", qPrintable(error));
            return 1;
        }
    }
    const double writeS = timer.elapsed() / 1000.0;
    const double inUse = double(writer.BytesInUse());
    writer.Close();
    const double file = double(QFileInfo(db).size());
    const double perMillion = 1e6 / double(total);
    std::printf("changes written:           %lld in %.2f s (%.0f changes/s, batches of %lld)\n",
                static_cast<long long>(total), writeS, double(total) / writeS,
                static_cast<long long>(kBatch));
    std::printf("size per million changes:  %.1f MB in use, %.1f MB file (target < 40 MB)\n",
                inUse * perMillion / 1e6, file * perMillion / 1e6);

    for (const char *format : {"--vcd", "--csv", "--json"}) {
        QProcess qrxio;
        qrxio.setStandardOutputFile(QProcess::nullDevice());
        timer.restart();
        qrxio.start(QDir(app.applicationDirPath()).filePath("qrxio"),
                    {"history", "--db", db, format});
        if (!qrxio.waitForFinished(600'000) || qrxio.exitCode() != 0) {
            std::fprintf(stderr, "qrxio history %s failed: %s\n", format,
                         qrxio.readAllStandardError().constData());
            return 1;
        }
        std::printf("qrxio history %-6s        %.2f s for %lld changes%s\n", format,
                    timer.elapsed() / 1000.0, static_cast<long long>(total),
                    QByteArray(format) == "--vcd" ? " (target < 3 s for a million)" : "");
    }
    return 0;
}

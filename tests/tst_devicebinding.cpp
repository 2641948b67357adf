// The run-time binding, the call table and the bounds on what the library reports.
#include "FakeDevice.h"
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"
#include "device/SystemInfo.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestDeviceBinding : public QObject
{
    Q_OBJECT

private slots:
    void loadsEveryFunctionOfTheSimulator()
    {
        DeviceLibrary lib;
        DeviceLoadError error;
        QVERIFY2(lib.Load(qEnvironmentVariable("ORVANE_SIMLIB"), &error), qPrintable(error.text()));
#define CHECK_RESOLVED(name) QVERIFY2(lib.Table().name != nullptr, #name);
        DXS_FUNCTION_LIST(CHECK_RESOLVED)
#undef CHECK_RESOLVED
    }

    void reportsWhatFailed_data()
    {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("symbol");
        QTest::addColumn<QString>("reasonPart");

        static QTemporaryDir dir;
        const QString notALibrary = dir.filePath("libqrxDApiLmd_x64.so");
        QFile f(notALibrary);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("this is no shared library\n");
        f.close();

        QTest::newRow("missing file")
            << dir.filePath("nothing.so") << QString() << "does not exist";
        QTest::newRow("not a library") << notALibrary << QString() << "";
        QTest::newRow("missing function")
            << qEnvironmentVariable("ORVANE_INCOMPLETE_LIB") << "DXS_devDLogSetFile"
            << "";
        // Read as a library, a pipe would hold the caller until someone wrote to it.
        const QString fifo = dir.filePath("fifo.so");
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QTest::newRow("a FIFO") << fifo << QString() << "not a regular file";
        const QString fifoLink = dir.filePath("fifo-link.so");
        QVERIFY(QFile::link(fifo, fifoLink));
        QTest::newRow("a link to a FIFO") << fifoLink << QString() << "not a regular file";
        QTest::newRow("a folder") << dir.path() << QString() << "not a regular file";
        const QString loop = dir.filePath("loop.so"), back = dir.filePath("back.so");
        QVERIFY(QFile::link(back, loop) && QFile::link(loop, back));
        QTest::newRow("a link loop") << loop << QString() << "too many levels of symbolic links";
        const QString dangling = dir.filePath("dangling.so");
        QVERIFY(QFile::link(dir.filePath("gone.so"), dangling));
        QTest::newRow("a link to nothing") << dangling << QString() << "does not exist";
        // Loading runs the file's code: another user's library is never taken.
        if (geteuid() == 0) {
            const QString foreign = dir.filePath("foreign.so");
            QVERIFY(QFile::copy(qEnvironmentVariable("ORVANE_SIMLIB"), foreign));
            QCOMPARE(chown(QFile::encodeName(foreign).constData(), 65534, 65534), 0);
            QTest::newRow("another user's library") << foreign << QString() << "another user";
        }
    }

    void reportsWhatFailed()
    {
        QFETCH(QString, path);
        QFETCH(QString, symbol);
        QFETCH(QString, reasonPart);

        DeviceLibrary lib;
        DeviceLoadError error;
        alarm(60); // a load that blocks ends the test instead of holding it
        QVERIFY(!lib.Load(path, &error));
        alarm(0);
        QCOMPARE(error.file, path);
        QCOMPARE(error.symbol, symbol);
        QVERIFY(!error.reason.isEmpty());
        QVERIFY(error.reason.contains(reasonPart));
        QVERIFY(error.text().contains(QDir::toNativeSeparators(path)));
        if (!symbol.isEmpty())
            QVERIFY(error.text().contains(symbol));
        // A failed load leaves no half-resolved table behind.
        QVERIFY(lib.Table().DXS_devSysLoad == nullptr);
    }

    void missingFunctionGivesTheReasonAlone()
    {
        const QString path = qEnvironmentVariable("ORVANE_INCOMPLETE_LIB");
        DeviceLibrary lib;
        DeviceLoadError error;
        QVERIFY(!lib.Load(path, &error));
        QCOMPARE(error.text(),
                 QStringLiteral("Device library: %1\nMissing function: DXS_devDLogSetFile")
                     .arg(QDir::toNativeSeparators(path)));
    }

    void environmentChoosesTheLibrary()
    {
        qputenv("ORVANE_DEVICE_LIBRARY", "/somewhere/else.so");
        QCOMPARE(DeviceLibrary::DefaultPath("/opt/orvane"), QString("/somewhere/else.so"));
        qputenv("ORVANE_DEVICE_LIBRARY", "");
        QCOMPARE(DeviceLibrary::DefaultPath("/opt/orvane"),
                 QString("/opt/orvane/") + DeviceLibrary::FileName());
    }

    void unloadedTableFailsWithoutWriting()
    {
        SetDeviceTable(DeviceTable::Unloaded());
        int32_t count = 77, value = 77;
        char path[kPathBytes] = "untouched";
        QVERIFY(Dev().DXS_devSysLoad(0, &count) < 0);
        QVERIFY(Dev().DXS_devDiGetBit(0, 0, &value) < 0);
        QVERIFY(Dev().DXS_devDLogGetFile(path) < 0);
        QCOMPARE(count, 77);
        QCOMPARE(value, 77);
        QCOMPARE(QByteArray(path), QByteArray("untouched"));
    }

    void cardMapFieldsLieAtTheirOffsets()
    {
        CardMap map;
        map.setMapCount(2);
        map.setEntry(1, 2803, 7, 64, 48);
        auto at = [&](int offset) {
            int32_t v;
            memcpy(&v, map.bytes + offset, 4);
            return v;
        };
        QCOMPARE(at(0), 2);
        QCOMPARE(at(24 + 64), 2803);
        QCOMPARE(at(28 + 64), 7);
        QCOMPARE(at(48 + 64), 64);
        QCOMPARE(at(56 + 64), 48);
        QCOMPARE(map.cardNo(1), 7);
        // Every other byte stays zero.
        int nonZero = 0;
        for (unsigned char b : map.bytes)
            nonZero += b != 0;
        QCOMPARE(nonZero, 1 + 2 + 1 + 1 + 1); // 2, 0x0AF3, 7, 64, 48
    }

    void countsAreBounded_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("boards");
        QTest::addColumn<int>("points");
        QTest::newRow("negative") << -1 << 0 << 0;
        QTest::newRow("zero") << 0 << 0 << 0;
        QTest::newRow("sixteen") << 16 << 16 << 16;
        QTest::newRow("seventeen") << 17 << 16 << 17;
        QTest::newRow("sixty-five") << 65 << 16 << 64;
        QTest::newRow("255") << 255 << 16 << 64;
        QTest::newRow("most negative") << int(INT32_MIN) << 0 << 0;
    }

    void countsAreBounded()
    {
        QFETCH(int, reported);
        QFETCH(int, boards);
        QFETCH(int, points);
        QCOMPARE(BoundBoards(reported), boards);
        QCOMPARE(BoundPoints(reported), points);
        CardMap map;
        map.setMapCount(reported);
        QCOMPARE(map.boardSlots(), boards);
    }

    void recordsCallsAndFailsOnRequest()
    {
        FakeDevice fake;
        fake.boards = {Board(174, 3, 32, 32)};
        int32_t value = 5;
        QCOMPARE(Dev().DXS_devDoSetBit(3, 5, 1), 0);
        QCOMPARE(Dev().DXS_devDoGetBit(3, 5, &value), 0);
        QCOMPARE(value, 1);
        fake.failing << "DXS_devDoGetBit";
        value = 9;
        QVERIFY(Dev().DXS_devDoGetBit(3, 5, &value) < 0);
        QCOMPARE(value, 9);
        QCOMPARE(fake.calls,
                 QStringList({"DXS_devDoSetBit(3, 5, 1)", "DXS_devDoGetBit(3, 5)",
                              "DXS_devDoGetBit(3, 5)"}));
    }

    void systemRecordsStartZeroed()
    {
        SystemRecords records;
        const SystemInfo *info = records.info();
        QVERIFY(info->boardTable && info->cardMap);
        QCOMPARE(info->activeCardType, 0);
        QCOMPARE(info->paramChanged[4][15], 0);
        QCOMPARE(info->boardTable->boardName[15][0], '\0');
    }

    void copyAnsiAlwaysTerminates()
    {
        char buf[8];
        CopyAnsi(buf, sizeof buf, "0123456789");
        QCOMPARE(QByteArray(buf), QByteArray("0123456"));
        CopyAnsi(buf, sizeof buf, nullptr);
        QCOMPARE(QByteArray(buf), QByteArray());
    }
};

QTEST_GUILESS_MAIN(TestDeviceBinding)
#include "tst_devicebinding.moc"

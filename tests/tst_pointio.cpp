// Point I/O on the recording fake: the word read and the verified write; what every reader of
// points does with a refused read (each its own policy); and the point counts every program
// takes from one source when the card map and DXS_devGnGetDioNum disagree.
#include "Arguments.h"
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "QrxIo.h"
#include "Recorder.h"
#include "SimStatus.h"
#include "controls/LedIndicator.h"
#include "device/CardCatalogue.h"
#include "diag/ChangeExport.h"
#include "diag/ChgLogWnd.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "model/BoardModel.h"
#include "model/PointIo.h"

#include <QTemporaryDir>
#include <QTemporaryFile>
#include <QTimer>
#include <QtTest>

#include <csignal>
#include <thread>

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

struct Run
{
    int status = -1;
    QString err;
};

// Runs qrxio in process on the fake (its output is dropped), answering its status and errors.
Run Qrxio(const QString &line)
{
    Run run;
    QTemporaryFile err;
    if (!err.open())
        return run;
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2), null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(err.handle(), 2);
    Arguments args;
    QString error;
    if (Arguments::Parse(line.split(u' '), &args, &error)) {
        QrxIo tool(args, QString());
        tool.bindLibrary = false;
        run.status = tool.Run();
    }
    std::fflush(stdout);
    std::fflush(stderr);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    close(null);
    err.seek(0);
    run.err = error + QString::fromLocal8Bit(err.readAll());
    return run;
}

// The points the calls read, per direction, as masks: "in=0x... out=0x...".
QString ReadMasks(const QStringList &calls)
{
    uint64_t masks[2] = {0, 0};
    static const QRegularExpression read(R"(^DXS_dev(Di|Do)GetBit\(\d+, (\d+)\)$)");
    for (const QString &call : calls) {
        const QRegularExpressionMatch m = read.match(call);
        if (m.hasMatch())
            masks[m.captured(1) == "Do"] |= uint64_t(1) << m.captured(2).toInt();
    }
    return QStringLiteral("in=0x%1 out=0x%2").arg(masks[0], 0, 16).arg(masks[1], 0, 16);
}

QStringList CallsOfMask(const char *function, uint64_t mask)
{
    QStringList calls;
    for (int bit = 0; bit < 64; ++bit)
        if (mask >> bit & 1)
            calls << QStringLiteral("%1(0, %2)").arg(QLatin1String(function)).arg(bit);
    return calls;
}

} // namespace

class TestPointIo : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    // One call a point of the mask, counting up; a refusal leaves its bit 0, is named, and
    // does not stop the read.
    void readPoints_data()
    {
        QTest::addColumn<int>("dir");
        QTest::addColumn<qulonglong>("mask");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<qulonglong>("word");
        QTest::addColumn<qulonglong>("refused");
        QTest::addColumn<QString>("first");
        const int in = int(PointDir::In), out = int(PointDir::Out);
        QTest::newRow("a board of 24 inputs") << in << 0xFFFF00FFull << QStringList() //
                                              << 0xFFFF00FFull << 0ull << "";
        QTest::newRow("its unwired bits read 0")
            << in << 0xFF00ull << QStringList() << 0ull << 0ull << "";
        QTest::newRow("one refused input, the rest read")
            << in << 0xFull << QStringList{"DXS_devDiGetBit(0, 2)"} << 0b1011ull << 0b100ull
            << "DXS_devDiGetBit(card=0, bit=2) failed with status -1";
        QTest::newRow("outputs beyond the board")
            << out << 0x3FFull << QStringList() << 0b1010ull << 0x300ull
            << QStringLiteral("DXS_devDoGetBit(card=0, bit=8) failed with status %1")
                   .arg(kSimBadPoint);
        QTest::newRow("no point, no call") << in << 0ull << QStringList() << 0ull << 0ull << "";
    }
    void readPoints()
    {
        QFETCH(int, dir);
        QFETCH(qulonglong, mask);
        QFETCH(QStringList, failing);
        FakeDevice fake;
        fake.boards = {Board(kTypeLmDio, 0, 24, 8)};
        fake.boards[0].in = ~0ull;
        fake.boards[0].out = 0b1010;
        fake.failingCalls = QSet<QString>(failing.begin(), failing.end());
        const WordRead read = ReadPoints(0, PointDir(dir), mask);
        QTEST(qulonglong(read.word), "word");
        QTEST(qulonglong(read.refused), "refused");
        QTEST(read.first ? read.first->text() : QString(), "first");
        QCOMPARE(fake.calls, CallsOfMask(dir == 0 ? "DXS_devDiGetBit" : "DXS_devDoGetBit", mask));
    }

    // The write, then the read-back of that output: what failed or differs is the reason.
    void verifiedWrite_data()
    {
        QTest::addColumn<QString>("fault");
        QTest::addColumn<bool>("written");
        QTest::addColumn<bool>("readBack");
        QTest::addColumn<QString>("reason");
        QTest::newRow("switched") << "" << true << true << "";
        QTest::newRow("the write refused")
            << "DXS_devDoSetBit(0, 5, 1)" << false << false
            << "DXS_devDoSetBit(card=0, bit=5, value=1) failed with status -1";
        QTest::newRow("the read-back refused")
            << "DXS_devDoGetBit(0, 5)" << true << false
            << "DXS_devDoGetBit(card=0, bit=5) failed with status -1";
        QTest::newRow("the output reads back off")
            << "stuck" << true << true << "output 5 of card 0 reads 0 after 1 was written";
    }
    void verifiedWrite()
    {
        QFETCH(QString, fault);
        QFETCH(bool, written);
        QFETCH(QString, reason);
        FakeDevice fake;
        fake.boards = {Board(kTypeLmDio, 0, 32, 32)};
        if (fault == "stuck")
            fake.onCall = [&fake](const QString &call) {
                if (call.startsWith("DXS_devDoGetBit"))
                    fake.board(0)->out = 0; // the output falls back before it is read
            };
        else if (!fault.isEmpty())
            fake.failingCalls.insert(fault);
        const WriteResult result = VerifiedWrite(0, 5, true);
        QCOMPARE(result.written, written);
        QTEST(result.readBack, "readBack");
        QCOMPARE(result.reason, reason);
        QCOMPARE(result.ok, reason.isEmpty());
        QCOMPARE(result.failure.has_value(), reason.contains("failed with status"));
        QCOMPARE(fake.calls.size(), written ? 2 : 1); // no read-back of a refused write
    }

    // Every reader of points, on a board whose input and output 3 are read as on, then
    // refused while 2 came on: what each makes of it is its own policy.
    void refusalPolicy_data()
    {
        QTest::addColumn<QString>("reader");
        QTest::addColumn<QString>("seen");
        const QString refusedIn = "DXS_devDiGetBit(card=0, bit=3) failed with status -1";
        QTest::newRow("qrxio get stops") << "get"
                                         << "exit 1: " + refusedIn;
        QTest::newRow("qrxio info stops") << "info"
                                          << "exit 1: " + refusedIn;
        QTest::newRow("qrxio monitor stops") << "monitor"
                                             << "exit 1: " + refusedIn;
        QTest::newRow("the agent keeps the last value and counts")
            << "agent"
            << "in=0xc out=0xc, 2 refused, first " + refusedIn;
        QTest::newRow("the Change Log skips the point")
            << "changelog"
            << "changes: in 2 on, out 2 on; in 3 last on";
        QTest::newRow("the snapshot marks it (and the settings) unknown")
            << "snapshot"
            << "DI_0: 0x0000000? (not read: 3)|DO_0: 0x0000000? (not read: 3)|"
               "Filter: not read|Run LED: not read";
        QTest::newRow("the input page shows it off") << "inputs"
                                                     << "word 0x4, LED 3 off";
        QTest::newRow("the output page shows it off") << "outputs"
                                                      << "word 0x4, button 3 off";
    }
    void refusalPolicy()
    {
        QFETCH(QString, reader);
        FakeDevice fake;
        fake.boards = {Board(kTypeLmDio, 0, 8, 8)};
        fake.boards[0].in = fake.boards[0].out = 0b1000;
        BoardModel model;
        LoadModel(model, fake);
        auto refuse = [&fake] {
            fake.failingCalls = {"DXS_devDiGetBit(0, 3)", "DXS_devDoGetBit(0, 3)"};
            fake.boards[0].in = fake.boards[0].out = 0b0100;
        };
        QString seen;
        if (reader == "get" || reader == "info" || reader == "monitor") {
            refuse();
            fake.loaded = false;
            const Run run = Qrxio(reader == "monitor" ? "monitor 0 --out" : reader + " 0");
            seen = QStringLiteral("exit %1: ").arg(run.status) +
                run.err.section(u'\n', 0, 0).remove("qrxio: ").section(u':', 0, 0);
        } else if (reader == "agent") {
            Recorder recorder;
            recorder.SetBoards({{0, 0xFF, 0xFF}});
            recorder.Poll(1000);
            refuse();
            recorder.Poll(2000);
            uint64_t words[2] = {0, 0};
            for (const HistoryChange &c : recorder.State())
                words[int(c.dir)] |= uint64_t(c.value) << c.point;
            QString first;
            const int64_t refused = recorder.TakeRefusals(&first);
            seen = QStringLiteral("in=0x%1 out=0x%2, %3 refused, first %4")
                       .arg(words[0], 0, 16)
                       .arg(words[1], 0, 16)
                       .arg(refused)
                       .arg(first);
        } else if (reader == "changelog") {
            ChangeRecorder recorder;
            recorder.SetBoards({{0, 8, 8}});
            recorder.Poll();
            refuse();
            recorder.Poll();
            QStringList changes;
            for (quint64 s = recorder.ring().firstSeq(); s < recorder.ring().endSeq(); ++s) {
                const RecordedPoint &p = recorder.points()[recorder.ring().at(s).point];
                changes << QStringLiteral("%1 %2 %3")
                               .arg(p.dir == PointDir::In ? "in" : "out")
                               .arg(p.point)
                               .arg(recorder.ring().at(s).value ? "on" : "off");
            }
            const int in3 = recorder.PointIndex(0, PointDir::In, 3);
            seen = QStringLiteral("changes: %1; in 3 last %2")
                       .arg(changes.join(", "), recorder.points()[in3].last ? "on" : "off");
        } else if (reader == "snapshot") {
            refuse();
            fake.failingCalls << "DXS_devDiGetFilterTime(0, 0)"
                              << "DXS_devConGetCheckOn(0)";
            const QString text = SnapshotText({ReadSnapshot(0, "0 : x", 8, 8)}, {});
            seen = text.section(u'\n', 3).trimmed().replace(u'\n', u'|');
        } else if (reader == "inputs") {
            CVL_DiWnd page(model);
            page.diCount = 8;
            page.SetupLeds();
            page.RefreshInputs();
            refuse();
            page.RefreshInputs();
            seen = QStringLiteral("word 0x%1, LED 3 %2")
                       .arg(page.diWord, 0, 16)
                       .arg(page.leds[3]->GetCurrentState() ? "on" : "off");
        } else if (reader == "outputs") {
            CVL_DoWnd page(model);
            page.doCount = 8;
            page.SetupButtons();
            page.RefreshOutputs();
            refuse();
            page.RefreshOutputs();
            seen = QStringLiteral("word 0x%1, button 3 %2")
                       .arg(page.doWord, 0, 16)
                       .arg(page.shownState[0][3] ? "on" : "off");
        }
        QTEST(seen, "seen");
    }

    // The device is called from one thread: a debug build stops a call from another; a test
    // that needs one installs the table there first.
    void deviceFromOneThread()
    {
#ifdef QT_NO_DEBUG
        QSKIP("a release build does not check the thread");
#else
        FakeDevice fake;
        std::thread installer([] {
            SetDeviceTable(FakeDevice::Table());
            int32_t version = 0;
            Dev().DXS_devConGetFwVersion(0, &version); // its own thread: allowed
        });
        installer.join();
        SetDeviceTable(FakeDevice::Table()); // this thread again
        const pid_t child = fork();
        if (child == 0) {
            signal(SIGABRT, SIG_DFL);
            std::thread([] { Dev(); }).join();
            _exit(0);
        }
        int status = 0;
        QCOMPARE(waitpid(child, &status, 0), child);
        QVERIFY2(WIFSIGNALED(status) && WTERMSIG(status) == SIGABRT, "no assertion");
#endif
    }

    // The card map says 64 inputs and 16 outputs, DXS_devGnGetDioNum 32 and 32 (what the
    // board's point calls accept): every program reads the same points, by the latter.
    void disagreeingCounts_data()
    {
        QTest::addColumn<QString>("program");
        QTest::newRow("the Digital IO window") << "window";
        QTest::newRow("the Change Log") << "changelog";
        QTest::newRow("Copy Snapshot") << "snapshot";
        QTest::newRow("qrxio get") << "get 0";
        QTest::newRow("qrxio info") << "info 0";
        QTest::newRow("qrxio monitor") << "monitor 0 --out -n 1 --idle-timeout 1";
        QTest::newRow("the agent's recorder") << "agent";
    }
    void disagreeingCounts()
    {
        QFETCH(QString, program);
        FakeDevice fake;
        fake.boards = {Board(kTypeLmDio, 0, 32, 32)};
        fake.boards[0].mapInputs = 64;
        fake.boards[0].mapOutputs = 16;
        BoardModel model;
        LoadModel(model, fake);
        QCOMPARE(model.cardMap().diCount(0), 64); // the disagreement is there
        if (program == "window") {
            CVL_DIoWnd view(model);
            view.timer()->stop();
            QCOMPARE(view.diCount, 32);
            QCOMPARE(view.doCount, 32);
            fake.takeCalls();
            view.OnTimer();
        } else if (program == "changelog" || program == "snapshot") {
            CVL_ChgLogWnd log(model);
            log.timer()->stop();
            QCOMPARE(log.recorder().boards(), QList<PolledBoard>({{0, 32, 32}}));
            fake.takeCalls();
            if (program == "snapshot")
                QVERIFY(!log.SnapshotOfBoards().contains("DI_1")); // 64 inputs would show it
            else
                log.OnTimer();
        } else if (program == "agent") {
            QVERIFY(model.ReadBoard(0) >= 0);
            const BoardInfo &b = model.board(0);
            Recorder recorder;
            recorder.SetBoards({{b.cardNo, b.liveMask(PointDir::In), b.liveMask(PointDir::Out)}});
            fake.takeCalls();
            recorder.Poll(1000);
        } else {
            fake.loaded = false;
            fake.takeCalls();
            const Run run = Qrxio(program);
            QVERIFY2(run.status == 0 || run.status == 3, qPrintable(run.err));
        }
        QCOMPARE(ReadMasks(fake.calls), QString("in=0xffffffff out=0xffffffff"));
    }
};

QTEST_MAIN(TestPointIo)
#include "tst_pointio.moc"

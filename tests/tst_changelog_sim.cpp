// Point names, the Change Log and the simulated-boards marker end to end: the real application
// loads the simulated device library, and the qrxsim tool changes the inputs from outside.
// With ORVANE_VCD_EXPORT_DIR set, the recording of scripted changes is left there (changes.vcd,
// changes.csv and sets.txt) for a VCD reader that nobody here wrote (scripts/test-vcd.sh).
#include "ScriptedMessageBoxes.h"
#include "SimBoards.h"
#include "SmallDisk.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/VelmarApp.h"
#include "config/PointNames.h"
#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "diag/ChangeListModel.h"
#include "diag/ChgLogWnd.h"
#include "diag/TimelineStrip.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "platform/Messages.h"

#include <QClipboard>
#include <QLabel>
#include <QProcess>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

class TestChangeLogSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CVelmarApp> m_app;

    bool qrxsim(const QStringList &arguments) { return Qrxsim(arguments).status == 0; }

    CVL_ChgLogWnd *OpenChangeLog(const QList<int32_t> &boards)
    {
        SendWindowMessage(m_app->mainFrame(), UM_OPEN_WINDOW, kChangeLogView);
        CChildFrame *frame = CChildFrame::OpenFrame(kChangeLogView);
        auto *view = frame ? qobject_cast<CVL_ChgLogWnd *>(frame->widget()) : nullptr;
        if (view) {
            view->SetBoards(boards);
            view->timer()->stop(); // the test ticks the window itself
            view->OnTimer(); // the points' start values
        }
        return view;
    }

    void CloseChangeLog()
    {
        if (CChildFrame *frame = CChildFrame::OpenFrame(kChangeLogView))
            frame->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    // "card in/out point name value" of every row the list shows.
    static QStringList Rows(const CVL_ChgLogWnd *view)
    {
        QStringList rows;
        const ChangeListModel *m = view->model();
        for (int r = 0; r < m->rowCount(); ++r) {
            QStringList cells;
            for (int c = ChangeListModel::Card; c < ChangeListModel::ColumnCount; ++c)
                cells << m->data(m->index(r, c)).toString();
            rows << cells.join(' ');
        }
        return rows;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(UseSimBoards(m_dir.path(), "boards",
                             "[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\nLoopback=1\n"
                             "[Board1]\nType=2801\nCardNo=3\nInputs=64\n"));
        const QString appDir = m_dir.filePath("app");
        QVERIFY(QDir().mkpath(appDir));
        QFile names(QDir(appDir).filePath("OrvanePointNames.ini"));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write("[Card3]\nIn5=Door sensor\nIn63=Light curtain\n[Card0]\nOut12=Conveyor lamp\n");
        names.close();
        QVERIFY(qrxsim({"reset"}));

        m_app = std::make_unique<CVelmarApp>(appDir);
        QVERIFY(m_app->InitInstance());
    }

    void cleanupTestCase()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
    }

    void cleanup() { CloseChangeLog(); }

    void simulatedBoardsAreMarked()
    {
        auto *marker = m_app->mainFrame()->statusBar()->findChild<QLabel *>("SimulatedBoards");
        QVERIFY(marker);
        QCOMPARE(marker->text(), QString("Simulated boards"));
        QVERIFY(marker->isVisibleTo(m_app->mainFrame()));
        QCOMPARE(marker->palette().color(QPalette::Window), QColor(255, 230, 0));

        CAboutDlg about;
        auto *library = about.findChild<QLabel *>("DeviceLibrary");
        QVERIFY(library);
        QVERIFY(
            library->text().endsWith(QFileInfo(qEnvironmentVariable("ORVANE_SIMLIB")).fileName()));
        QVERIFY(about.findChild<QLabel *>("SimulatedLibrary"));
    }

    // The Digital IO window names its points where they have a name, and follows new names.
    void namesInTooltipsAndAccessibleNames()
    {
        SendWindowMessage(m_app->mainFrame(), UM_OPEN_WINDOW, kDigitalIoView);
        auto *dio = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
        QVERIFY(dio);
        dio->timer()->stop();
        SendWindowMessage(m_app->mainFrame(), UM_VIEW_SELECT_CARD, 3);
        QVERIFY(qrxsim({"set", "3", "in", "5", "1"}));
        dio->OnTimer();
        CLedIndicator *door = dio->inputPage->leds[5];
        QCOMPARE(door->accessibleName(), QString("Input 5, Door sensor: on"));
        QCOMPARE(door->toolTip(), QString("Input 5, Door sensor: on"));
        QVERIFY(qrxsim({"set", "3", "in", "5", "0"}));
        dio->OnTimer();
        QCOMPARE(door->toolTip(), QString("Input 5, Door sensor: off"));
        QCOMPARE(dio->inputPage->leds[6]->accessibleName(), QString("Input 6: off"));
        QVERIFY(dio->inputPage->leds[6]->toolTip().isEmpty());

        SendWindowMessage(m_app->mainFrame(), UM_VIEW_SELECT_CARD, 0);
        CImageButton *lamp = dio->outputPage->bitButtons[12];
        QCOMPARE(lamp->accessibleName(), QString("Output 12, Conveyor lamp: off"));
        QTest::mouseClick(lamp, Qt::LeftButton);
        dio->OnTimer();
        QCOMPARE(lamp->toolTip(), QString("Output 12, Conveyor lamp: on"));
        QCOMPARE(dio->inputPage->leds[12]->accessibleName(), QString("Input 12: on"));

        // A new name shows at once; a removed one leaves the plain label and no tooltip.
        CardNames card0 = m_app->mainFrame()->boardModel().names().Card(0);
        card0.at(PointDir::In, 12) = "Lamp feedback";
        card0.at(PointDir::Out, 12).clear();
        QVERIFY(m_app->mainFrame()->boardModel().names().SaveCard(0, card0));
        QCOMPARE(dio->inputPage->leds[12]->toolTip(), QString("Input 12, Lamp feedback: on"));
        QCOMPARE(lamp->accessibleName(), QString("Output 12: on"));
        QVERIFY(lamp->toolTip().isEmpty());
        QTest::mouseClick(lamp, Qt::LeftButton);
        CChildFrame::OpenFrame(kDigitalIoView)->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }

    void changeShowsWithinTwoTicks()
    {
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        QVERIFY(view);
        QCOMPARE(view->parentWidget()->windowTitle(), QString("Change Log"));
        QVERIFY(Rows(view).isEmpty());
        QVERIFY(qrxsim({"set", "3", "in", "5", "1"}));
        for (int tick = 0; tick < 2 && Rows(view).isEmpty(); ++tick)
            view->OnTimer();
        QCOMPARE(Rows(view), QStringList({"3 in 5 Door sensor on"}));
        // The newest line stays in view.
        const QModelIndex last = view->model()->index(view->model()->rowCount() - 1, 0);
        QVERIFY(view->list()->visualRect(last).intersects(view->list()->viewport()->rect()));
        QCOMPARE(view->timeline()->rows().size(), size_t(1));
        QVERIFY(qrxsim({"set", "3", "in", "5", "0"}));
    }

    // While paused nothing is polled; what changed meanwhile shows on resuming.
    void pause()
    {
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        QVERIFY(view);
        view->SetPaused(true);
        QVERIFY(!view->timer()->isActive());
        QCOMPARE(view->pauseButton()->text(), QString("Resume"));
        QTest::qWait(20); // the window's first paint
        const int paints = view->timeline()->paintCount();
        QVERIFY(qrxsim({"set", "3", "in", "7", "1"}));
        QTest::qWait(50);
        QVERIFY(Rows(view).isEmpty());
        QCOMPARE(view->timeline()->paintCount(), paints);
        view->SetPaused(false);
        QVERIFY(view->timer()->isActive());
        view->timer()->stop();
        view->OnTimer();
        QCOMPARE(Rows(view), QStringList({"3 in 7  on"}));
        QVERIFY(qrxsim({"set", "3", "in", "7", "0"}));
    }

    void filter()
    {
        CVL_ChgLogWnd *view = OpenChangeLog({0, 3});
        QVERIFY(view);
        QVERIFY(qrxsim({"set", "3", "in-word", "0x8000000000000021"}));
        view->OnTimer();
        QCOMPARE(Rows(view).size(), 3);
        view->SetFilter(3, "door");
        QCOMPARE(Rows(view), QStringList({"3 in 5 Door sensor on"}));
        QCOMPARE(view->timeline()->rows().size(), size_t(1));
        view->SetFilter(-1, "in63");
        QCOMPARE(Rows(view), QStringList({"3 in 63 Light curtain on"}));
        view->SetFilter(0, "");
        QVERIFY(Rows(view).isEmpty());
        QCOMPARE(view->countsLabel()->text(), QString("0 of 3 changes, 0 dropped"));
        // New changes pass the filter as they come.
        QVERIFY(qrxsim({"set", "3", "in-word", "0"}));
        view->SetFilter(-1, "5");
        view->OnTimer();
        QCOMPARE(Rows(view), QStringList({"3 in 5 Door sensor on", "3 in 5 Door sensor off"}));
        view->Clear();
        QVERIFY(Rows(view).isEmpty());
        QCOMPARE(view->timeline()->rows().size(), size_t(0));
    }

    void ringOverflow()
    {
        CVL_ChgLogWnd::SetRingCapacity(10);
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        CVL_ChgLogWnd::SetRingCapacity(ChangeRecorder::kDefaultCapacity);
        QVERIFY(view);
        QVERIFY(qrxsim({"set", "3", "in-word", "0xFFFF"}));
        view->OnTimer();
        QVERIFY(qrxsim({"set", "3", "in-word", "0xFF"}));
        view->OnTimer();
        QCOMPARE(view->recorder().ring().size(), 10);
        QCOMPARE(view->recorder().dropped(), quint64(14));
        QCOMPARE(view->countsLabel()->text(), QString("10 changes, 14 dropped"));
        QStringList expected;
        for (int bit = 14; bit < 16; ++bit)
            expected << QStringLiteral("3 in %1  on").arg(bit);
        for (int bit = 8; bit < 16; ++bit)
            expected << QStringLiteral("3 in %1  off").arg(bit);
        QCOMPARE(Rows(view), expected);
        QVERIFY(qrxsim({"set", "3", "in-word", "0"}));
    }

    // An export that does not fit on the disk fails whole: the old file stays and the user is
    // told.
    void exportToAFullDisk()
    {
        SmallDisk disk(m_dir.path(), 64);
        if (!disk.isMounted())
            QSKIP("a small disk needs root");
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        QVERIFY(view);
        for (const char *word : {"0xFFFFFFFFFFFFFFFF", "0"}) {
            QVERIFY(qrxsim({"set", "3", "in-word", word}));
            view->OnTimer();
        }
        const QString path = QDir(disk.path()).filePath("changes.csv");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old export\n");
        }
        QVERIFY(disk.Fill(4 * 1024));
        ScriptedMessageBoxes boxes;
        CVL_ChgLogWnd::SetSaveFileChooser(
            [&](QWidget *, const QString &, const QString &) { return path; });
        view->findChild<QPushButton *>("ExportCsv")->click();
        CVL_ChgLogWnd::SetSaveFileChooser({});
        QCOMPARE(boxes.texts(), QStringList({"The change log could not be exported."}));
        QFile old(path);
        QVERIFY(old.open(QIODevice::ReadOnly));
        QCOMPARE(old.readAll(), QByteArray("old export\n"));
        QCOMPARE(QDir(disk.path()).entryList(QDir::Files), QStringList({"changes.csv", "filler"}));
    }

    void snapshotOnTheClipboard()
    {
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        QVERIFY(view);
        QVERIFY(qrxsim({"set", "3", "in-word", "0x100000020"}));
        view->findChild<QPushButton *>("CopySnapshot")->click();
        const QString text = QGuiApplication::clipboard()->text();
        QVERIFY2(text.contains("\n3 : QRX-LN64DI\nDI_0: 0x00000020\nDI_1: 0x00000001\nFilter: "),
                 qPrintable(text));
        QVERIFY(text.contains("Run LED: "));
        QVERIFY(qrxsim({"set", "3", "in-word", "0"}));
    }

    // Scripted changes, recorded and exported: the CSV read back holds exactly what was set,
    // in order. scripts/test-vcd.sh reads the VCD left beside it with sigrok-cli.
    void exportedRecording()
    {
        CVL_ChgLogWnd *view = OpenChangeLog({3});
        QVERIFY(view);
        struct Set
        {
            int point;
            int value;
            QString ref;
        };
        const QList<Set> sets = {{5, 1, "c3_in5_Door_sensor"},
                                 {7, 1, "c3_in7"},
                                 {63, 1, "c3_in63_Light_curtain"},
                                 {5, 0, "c3_in5_Door_sensor"},
                                 {7, 0, "c3_in7"},
                                 {5, 1, "c3_in5_Door_sensor"},
                                 {63, 0, "c3_in63_Light_curtain"},
                                 {5, 0, "c3_in5_Door_sensor"}};
        for (const Set &s : sets) {
            QTest::qWait(15);
            QVERIFY(qrxsim({"set", "3", "in", QString::number(s.point), QString::number(s.value)}));
            view->OnTimer();
        }
        QTest::qWait(15);
        view->OnTimer();

        const QString envDir = qEnvironmentVariable("ORVANE_VCD_EXPORT_DIR");
        const QString dir = envDir.isEmpty() ? m_dir.path() : envDir;
        QString error;
        QVERIFY2(view->ExportCsv(QDir(dir).filePath("changes.csv"), &error), qPrintable(error));
        QVERIFY2(view->ExportVcd(QDir(dir).filePath("changes.vcd"), &error), qPrintable(error));
        QFile expected(QDir(dir).filePath("sets.txt"));
        QVERIFY(expected.open(QIODevice::WriteOnly));
        for (const Set &s : sets)
            expected.write(QStringLiteral("%1 %2\n").arg(s.ref).arg(s.value).toUtf8());
        expected.close();

        QFile csv(QDir(dir).filePath("changes.csv"));
        QVERIFY(csv.open(QIODevice::ReadOnly));
        // After the header, each input's level at the start, then the changes.
        QList<QByteArray> lines = csv.readAll().split('\n');
        QCOMPARE(lines.size(), 64 + sets.size() + 2); // the header and the final line end
        lines = lines.mid(1 + 64);
        double previous = -1;
        for (int i = 0; i < sets.size(); ++i) {
            const QList<QByteArray> f = lines[i].split(',');
            QCOMPARE(f.size(), 8);
            QCOMPARE(f[7], QByteArray("change"));
            QCOMPARE(f[2] + ' ' + f[3] + ' ' + f[4] + ' ' + f[6],
                     QStringLiteral("3 in %1 %2").arg(sets[i].point).arg(sets[i].value).toUtf8());
            QVERIFY(QDateTime::fromString(QString::fromLatin1(f[0]), Qt::ISODateWithMs).isValid());
            QVERIFY(f[1].toDouble() > previous);
            previous = f[1].toDouble();
        }
    }
};

QTEST_MAIN(TestChangeLogSim)
#include "tst_changelog_sim.moc"

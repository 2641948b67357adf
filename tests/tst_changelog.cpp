// The Change Log window, the Point Names dialog and the program's new entries with the
// recording fake: the exact calls of a Change Log tick, that nothing else changes while it is
// open or closed, the names the dialog saves, and that a vendor library (the fake) shows no
// simulated-boards marker.
#include "FakeDevice.h"
#include "ScriptedMessageBoxes.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "app/Views.h"
#include "device/LoadedLibrary.h"
#include "device/SystemInfo.h"
#include "diag/ChgLogWnd.h"
#include "diag/PointNamesDlg.h"
#include "diag/TimelineStrip.h"
#include "dio/DIoWnd.h"
#include "history/HistoryWriter.h"
#include "platform/Messages.h"

#include <QAction>
#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QProgressBar>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QtTest>

namespace {

QStringList Reads(const char *function, int card, int first, int end)
{
    QStringList calls;
    for (int i = first; i < end; ++i)
        calls << QStringLiteral("%1(%2, %3)").arg(QLatin1String(function)).arg(card).arg(i);
    return calls;
}

constexpr int64_t kT0 = 1'765'000'000'000'000; // a history's first record, us since 1970
constexpr int64_t kSecond = 1'000'000;

// A history as the agent writes it: first reads at kT0 (card 0 in1 off, in2 on; card 3 in16
// off), then in1 on at +1 s, card 3 in16 on at +1.5 s, in1 off at +2 s, and card 0 out4 first
// read at +3 s.
bool WriteHistory(const QString &path, QString *error)
{
    HistoryWriter writer;
    return writer.Open(path, error) &&
        writer.Append({{kT0, 0, PointDir::In, 1, false},
                       {kT0, 0, PointDir::In, 2, true},
                       {kT0, 3, PointDir::In, 16, false},
                       {kT0 + kSecond, 0, PointDir::In, 1, true},
                       {kT0 + kSecond * 3 / 2, 3, PointDir::In, 16, true},
                       {kT0 + 2 * kSecond, 0, PointDir::In, 1, false},
                       {kT0 + 3 * kSecond, 0, PointDir::Out, 4, true}},
                      error);
}

// The rows of the list: card, direction, point and value.
QStringList Rows(const CVL_ChgLogWnd *view)
{
    QStringList rows;
    const QAbstractItemModel *m = view->list()->model();
    for (int r = 0; r < m->rowCount(); ++r)
        rows << QStringLiteral("%1 %2 %3 %4")
                    .arg(m->index(r, 1).data().toString(), m->index(r, 2).data().toString(),
                         m->index(r, 3).data().toString(), m->index(r, 5).data().toString());
    return rows;
}

QStringList MenuTexts(QMenuBar *bar, const QString &title)
{
    QStringList texts;
    for (QAction *menu : bar->actions())
        if (menu->text() == title)
            for (QAction *entry : menu->menu()->actions())
                texts << entry->text();
    return texts;
}

} // namespace

class TestChangeLog : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<CVL_MainFrame> m_frame;

    void start()
    {
        m_fake = std::make_unique<FakeDevice>();
        m_fake->boards = {Board(174, 0, 32, 32), Board(2801, 3, 24, 0), Board(2802, 5, 0, 8)};
        m_frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(m_frame->OnCreate(), 0);
        m_frame->resize(1000, 800);
        m_frame->show();
    }

    PointNames &names() { return m_frame->boardModel().names(); }

    template<typename View> View *open(int kind)
    {
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kind);
        CChildFrame *frame = CChildFrame::OpenFrame(kind);
        auto *view = frame ? qobject_cast<View *>(frame->widget()) : nullptr;
        if (view)
            view->timer()->stop();
        return view;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
        SetLoadedLibrary({});
    }

    void init() { start(); }

    void cleanup()
    {
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_fake.reset();
        QFile::remove(PointNames::PathBeside(m_dir.filePath("Orvane.ini")));
    }

    // A vendor library: the status bar and the About box as they always were.
    void noMarkerWithAVendorLibrary()
    {
        QVERIFY(!m_frame->statusBar()->findChild<QLabel *>("SimulatedBoards"));
        QStringList panes;
        for (QLabel *label : m_frame->statusBar()->findChildren<QLabel *>())
            if (!label->text().isEmpty())
                panes << label->text();
        QCOMPARE(panes, QStringList({"CAP", "NUM", "SCRL"}));
        CAboutDlg about;
        QStringList lines;
        for (QLabel *label : about.findChildren<QLabel *>())
            if (!label->text().isEmpty())
                lines << label->text();
        QCOMPARE(lines, QStringList({"Orvane Version V14.0.0.0000"}));
    }

    void menuEntries()
    {
        QCOMPARE(MenuTexts(m_frame->menuBar(), "S&etup"),
                 QStringList({"Log Level", "Point Names", "Plant Broker..."}));
        QCOMPARE(MenuTexts(m_frame->menuBar(), "&Monitoring"),
                 QStringList({"Digital IO", "Change Log", "Plant"}));
        m_frame->commandAction(ID_CHANGE_LOG)->trigger();
        CChildFrame *frame = CChildFrame::OpenFrame(kChangeLogView);
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QString("Change Log"));
        QCOMPARE(frame->minimumSize(), frame->maximumSize());
        m_frame->commandAction(ID_CHANGE_LOG)->trigger(); // raises the open one
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 1);
        // The Plant window, once, without a broker set up: no device call, no thread.
        const int threads =
            int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size());
        m_fake->takeCalls();
        m_frame->commandAction(ID_PLANT)->trigger();
        m_frame->commandAction(ID_PLANT)->trigger();
        CChildFrame *plant = CChildFrame::OpenFrame(kPlantView);
        QVERIFY(plant);
        QCOMPARE(plant->windowTitle(), QString("Plant"));
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 2);
        QVERIFY(m_fake->takeCalls().isEmpty());
        QCOMPARE(int(QDir("/proc/self/task").entryList(QDir::Dirs | QDir::NoDotAndDotDot).size()),
                 threads);
        plant->close();
    }

    // A tick reads every live input, then every live output, of each chosen board, and only
    // while the window is open and recording.
    void tickCalls()
    {
        auto *log = open<CVL_ChgLogWnd>(kChangeLogView);
        QVERIFY(log);
        QCOMPARE(log->boards(), QList<int32_t>({0})); // the active board
        m_fake->takeCalls();
        log->OnTimer();
        QCOMPARE(m_fake->takeCalls(),
                 Reads("DXS_devDiGetBit", 0, 0, 32) + Reads("DXS_devDoGetBit", 0, 0, 32));

        log->SetBoards({3, 5});
        m_fake->takeCalls();
        log->OnTimer();
        QCOMPARE(m_fake->takeCalls(),
                 Reads("DXS_devDiGetBit", 3, 0, 8) + Reads("DXS_devDiGetBit", 3, 16, 32) +
                     Reads("DXS_devDoGetBit", 5, 0, 8));
        QVERIFY(log->timer()->isActive());
        log->SetPaused(true);
        QVERIFY(!log->timer()->isActive());
        log->SetPaused(false);
        QVERIFY(log->timer()->isActive());
        log->SetBoards({});
        QVERIFY(!log->timer()->isActive());

        log->SetBoards({0});
        CChildFrame::OpenFrame(kChangeLogView)->close();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_fake->takeCalls();
        QTest::qWait(40);
        QVERIFY(m_fake->takeCalls().isEmpty());
    }

    // The Digital IO window's tick makes the same calls whether the Change Log is open or not.
    void digitalIoTickUnchanged()
    {
        auto *dio = open<CVL_DIoWnd>(kDigitalIoView);
        QVERIFY(dio);
        m_fake->takeCalls();
        dio->OnTimer();
        const QStringList alone = m_fake->takeCalls();
        QCOMPARE(alone, Reads("DXS_devDiGetBit", 0, 0, 32) + Reads("DXS_devDoGetBit", 0, 0, 32));
        auto *log = open<CVL_ChgLogWnd>(kChangeLogView);
        QVERIFY(log);
        m_fake->takeCalls();
        dio->OnTimer();
        QCOMPARE(m_fake->takeCalls(), alone);
    }

    // "Open History...": a range of a history in the list and the timeline, read-only, while
    // the live recording goes on unseen; "Back to Live" shows it again, with what it took in.
    void openHistory()
    {
        const QString path = m_dir.filePath("history.db");
        QString error;
        QVERIFY2(WriteHistory(path, &error), qPrintable(error));
        auto *log = open<CVL_ChgLogWnd>(kChangeLogView);
        QVERIFY(log);
        log->OnTimer();
        m_fake->board(0)->in = 1;
        log->OnTimer();
        QCOMPARE(Rows(log), QStringList({"0 in 0 on"}));
        ScriptedMessageBoxes boxes;
        QStringList asked;
        CVL_ChgLogWnd::SetOpenFileChooser(
            [&](QWidget *, const QString &, const QString &, const QString &) {
                asked << "file";
                return path;
            });
        CVL_ChgLogWnd::SetRangeChooser(
            [&](QWidget *, qint64 first, qint64 last, qint64 *since, qint64 *until) {
                asked << QStringLiteral("range %1 %2").arg(first - kT0).arg(last - kT0);
                *since = kT0 + kSecond / 2;
                *until = kT0 + kSecond * 5 / 2;
                return true;
            });
        log->findChild<QPushButton *>("OpenHistory")->click();
        QTRY_VERIFY(!log->isLoadingHistory()); // the file, then the range, read meanwhile
        CVL_ChgLogWnd::SetOpenFileChooser({});
        CVL_ChgLogWnd::SetRangeChooser({});
        QCOMPARE(asked, QStringList({"file", "range 0 3000000"}));
        QVERIFY(boxes.texts().isEmpty());
        QVERIFY(log->isShowingHistory());
        QCOMPARE(Rows(log), QStringList({"0 in 1 on", "3 in 16 on", "0 in 1 off"}));
        QCOMPARE(log->timeline()->rows().size(), size_t(2));
        QCOMPARE(log->sourceLabel()->text(), QString("History: history.db"));
        QVERIFY(log->findChild<QPushButton *>("Live")->isVisibleTo(log));
        QVERIFY(!log->pauseButton()->isEnabled());
        const auto local = [](qint64 us) {
            return QDateTime::fromMSecsSinceEpoch(us / 1000).toString("yyyy-MM-dd HH:mm:ss");
        };
        QCOMPARE(log->countsLabel()->text(),
                 QStringLiteral("3 changes, %1 to %2")
                     .arg(local(kT0 + kSecond / 2), local(kT0 + kSecond * 5 / 2)));
        // The filter narrows the history as it does the live recording, and the export holds
        // the filtered points that changed (with their start levels); it asks for its file only.
        log->SetFilter(3, "");
        QCOMPARE(Rows(log), QStringList({"3 in 16 on"}));
        log->findChild<QCheckBox *>("ExportChanged")->setChecked(true);
        const QString csv = m_dir.filePath("history.csv");
        CVL_ChgLogWnd::SetSaveFileChooser([&](QWidget *, const QString &, const QString &) {
            asked << "export";
            return csv;
        });
        log->findChild<QPushButton *>("ExportCsv")->click();
        CVL_ChgLogWnd::SetSaveFileChooser({});
        QCOMPARE(asked.last(), QString("export"));
        QVERIFY(boxes.texts().isEmpty());
        QFile file(csv);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QStringList lines;
        for (const QByteArray &line : file.readAll().trimmed().split('\n').mid(1))
            lines << QString::fromUtf8(line).section(',', 2);
        QCOMPARE(lines, QStringList({"3,in,16,,0,start", "3,in,16,,1,change"}));
        log->SetFilter(-1, "");

        m_fake->board(0)->in = 0;
        log->OnTimer();
        QCOMPARE(Rows(log).size(), 3);
        log->findChild<QPushButton *>("Live")->click();
        QVERIFY(!log->isShowingHistory());
        QCOMPARE(Rows(log), QStringList({"0 in 0 on", "0 in 0 off"}));
        QCOMPARE(log->sourceLabel()->text(), QString("Live recording"));
        QVERIFY(!log->findChild<QPushButton *>("Live")->isVisibleTo(log));
        QVERIFY(log->pauseButton()->isEnabled());
    }

    // Open History reads on a thread of its own: the window goes on polling meanwhile and shows
    // the progress with Cancel. A cancelled load leaves the live recording shown and says
    // nothing; a file that is no history is said when the load ends; a window closed during a
    // load waits for it to end.
    void historyLoadsInTheBackground_data()
    {
        QTest::addColumn<QString>("ending");
        QTest::newRow("read whole") << "read";
        QTest::newRow("cancelled") << "cancel";
        QTest::newRow("no history") << "error";
        QTest::newRow("window closed") << "closed";
    }
    void historyLoadsInTheBackground()
    {
        QFETCH(QString, ending);
        constexpr int kChanges = 200'000;
        const QString large = m_dir.filePath("large.db");
        QString error;
        if (!QFile::exists(large)) {
            std::vector<HistoryChange> changes;
            for (int i = 0; i < kChanges; ++i)
                changes.push_back(
                    {kT0 + i * 100, 0, PointDir::In, uint8_t(i % 64), i / 64 % 2 == 0});
            HistoryWriter writer;
            QVERIFY2(writer.Open(large, &error) && writer.Append(changes, &error),
                     qPrintable(error));
        }
        const QString text = m_dir.filePath("text.db");
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
        f.close();
        auto *log = open<CVL_ChgLogWnd>(kChangeLogView);
        QVERIFY(log);
        log->timer()->start();
        ScriptedMessageBoxes boxes;
        m_fake->takeCalls();
        log->StartHistoryLoad(ending == "error" ? text : large, kT0, kT0 + 3600 * kSecond);
        QVERIFY(log->isLoadingHistory());
        QVERIFY(log->loadProgress()->isVisibleTo(log));
        QVERIFY(log->findChild<QPushButton *>("CancelHistory")->isVisibleTo(log));
        if (ending == "cancel")
            log->findChild<QPushButton *>("CancelHistory")->click();
        if (ending == "closed") {
            m_frame.reset();
            return;
        }
        QTRY_VERIFY_WITH_TIMEOUT(!log->isLoadingHistory(), 60000);
        QVERIFY(!log->loadProgress()->isVisibleTo(log));
        QCOMPARE(log->isShowingHistory(), ending == "read");
        QCOMPARE(boxes.texts(),
                 ending == "error" ? QStringList{"The history could not be read."} : QStringList());
        if (ending == "read") {
            QCOMPARE(log->shown().ring().size(), qsizetype(kChanges - 64)); // the first are starts
            QVERIFY(!m_fake->calls.isEmpty()); // the live polling went on meanwhile
        }
    }

    // A file that is no history, or one that cannot be read: the user is told, and the window
    // shows what it showed. A history its agent left behind when killed (its write-ahead log,
    // nobody holding it) opens as any other.
    void openHistoryRefused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message"); // empty: opens
        QTest::newRow("missing") << "missing"
                                 << "no such history";
        QTest::newRow("not a database") << "text"
                                        << "is not an SQLite database";
        QTest::newRow("no changes yet") << "nochanges"
                                        << "holds no changes yet";
        QTest::newRow("held by another program's exclusive lock") << "exclusive"
                                                                  << "locked";
        QTest::newRow("left by a killed agent") << "stale"
                                                << "";
    }
    void openHistoryRefused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        QTemporaryDir dir;
        const QString path = dir.filePath(kind + ".db");
        QString error;
        SqliteDb other;
        if (kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
        } else if (kind == "nochanges") {
            HistoryWriter writer;
            QVERIFY2(writer.Open(path, &error), qPrintable(error));
        } else if (kind == "exclusive") {
            QVERIFY2(WriteHistory(path, &error), qPrintable(error));
            QVERIFY(other.Open(path, 2, &error) &&
                    other.Exec("PRAGMA locking_mode = EXCLUSIVE; BEGIN EXCLUSIVE;"));
        } else if (kind == "stale") {
            // The files as a writer killed between two batches leaves them.
            HistoryWriter writer;
            QVERIFY2(writer.Open(dir.filePath("live.db"), &error), qPrintable(error));
            QVERIFY(writer.Append(
                {{kT0, 0, PointDir::In, 1, false}, {kT0 + kSecond, 0, PointDir::In, 1, true}},
                &error));
            for (const char *suffix : {"", "-wal", "-shm"})
                QVERIFY(
                    QFile::copy(dir.filePath(QStringLiteral("live.db") + suffix), path + suffix));
        }
        auto *log = open<CVL_ChgLogWnd>(kChangeLogView);
        QVERIFY(log);
        m_fake->board(0)->in = 1;
        log->OnTimer();
        log->OnTimer();
        const QStringList before = Rows(log);
        ScriptedMessageBoxes boxes;
        CVL_ChgLogWnd::SetOpenFileChooser(
            [&](QWidget *, const QString &, const QString &, const QString &) { return path; });
        CVL_ChgLogWnd::SetRangeChooser(
            [](QWidget *, qint64 first, qint64 last, qint64 *since, qint64 *until) {
                *since = first;
                *until = last;
                return true;
            });
        log->findChild<QPushButton *>("OpenHistory")->click();
        QTRY_VERIFY(!log->isLoadingHistory()); // the file, then the range, read meanwhile
        CVL_ChgLogWnd::SetOpenFileChooser({});
        CVL_ChgLogWnd::SetRangeChooser({});
        if (message.isEmpty()) {
            QVERIFY(boxes.texts().isEmpty());
            QCOMPARE(Rows(log), QStringList({"0 in 1 on"}));
            return;
        }
        QCOMPARE(boxes.texts(), QStringList({"The history could not be opened."}));
        QVERIFY2(boxes.asked.value(0).informative.contains(message),
                 qPrintable(boxes.asked.value(0).informative));
        QVERIFY(!log->isShowingHistory());
        QCOMPARE(Rows(log), before);
        QVERIFY(!QFile::exists(dir.filePath("missing.db")));
    }

    // The dialog keeps the edits of every board it showed; OK writes them, Cancel does not.
    void pointNamesDialog()
    {
        const QString path = PointNames::PathBeside(m_dir.filePath("Orvane.ini"));
        QCOMPARE(names().path(), path);
        {
            CVL_PointNamesDlg dialog(m_frame->boardModel(), 3, nullptr);
            QCOMPARE(dialog.shownCard(), 3);
            QTableWidget *table = dialog.table();
            QCOMPARE(table->rowCount(), 24);
            QCOMPARE(table->item(8, 0)->text(), QString("Input 16"));
            table->item(8, 1)->setText("  Door sensor ");
            dialog.cardList()->setCurrentIndex(2); // card 5: eight outputs
            QCOMPARE(table->rowCount(), 8);
            QCOMPARE(table->item(7, 0)->text(), QString("Output 7"));
            table->item(7, 1)->setText("Conveyor lamp");
            dialog.cardList()->setCurrentIndex(1);
            QCOMPARE(table->item(8, 1)->text(), QString("Door sensor"));
            dialog.OnOK();
            QCOMPARE(dialog.result(), int(QDialog::Accepted));
        }
        QCOMPARE(names().Name(3, PointDir::In, 16), QString("Door sensor"));
        QCOMPARE(names().Name(5, PointDir::Out, 7), QString("Conveyor lamp"));
        PointNames reread;
        reread.Load(path);
        QCOMPARE(reread.Name(3, PointDir::In, 16), QString("Door sensor"));

        {
            CVL_PointNamesDlg dialog(m_frame->boardModel(), 0, nullptr);
            dialog.table()->item(0, 1)->setText("Forgotten");
            dialog.reject();
        }
        QVERIFY(names().Name(0, PointDir::In, 0).isEmpty());
    }

    // Names that could never be used: a number, or a name another point of the board has
    // (in any case). The dialog says why, shows the board, stays open and saves nothing.
    void pointNamesRefused_data()
    {
        QTest::addColumn<QStringList>("names"); // for the rows of card 3, in order
        QTest::addColumn<QString>("problem"); // empty: saved
        QTest::newRow("a number") << QStringList{"12"} << "Input 0 cannot be named \"12\"";
        QTest::newRow("the same name in another case")
            << QStringList{"Door", "", "dOOR"} << "Input 0 and Input 2 are both named \"dOOR\"";
        QTest::newRow("a number with a word") << QStringList{"12 V supply"} << "";
        QTest::newRow("different names") << QStringList{"Door", "Door 2"} << "";
    }
    void pointNamesRefused()
    {
        QFETCH(QStringList, names);
        QFETCH(QString, problem);
        ScriptedMessageBoxes boxes;
        CVL_PointNamesDlg dialog(m_frame->boardModel(), 3, nullptr);
        dialog.cardList()->setCurrentIndex(0);
        dialog.cardList()->setCurrentIndex(1); // card 3
        for (int row = 0; row < names.size(); ++row)
            dialog.table()->item(row, 1)->setText(names[row]);
        dialog.cardList()->setCurrentIndex(0);
        dialog.OnOK();
        QCOMPARE(dialog.result(), int(problem.isEmpty() ? QDialog::Accepted : QDialog::Rejected));
        QCOMPARE(m_frame->boardModel().names().Name(3, PointDir::In, 0),
                 problem.isEmpty() ? names[0] : QString());
        if (problem.isEmpty())
            return;
        QCOMPARE(boxes.texts(), QStringList({"The point names could not be saved."}));
        QVERIFY2(boxes.asked.value(0).informative.contains(problem),
                 qPrintable(boxes.asked.value(0).informative));
        QCOMPARE(dialog.shownCard(), 3);
    }

    // A names file that cannot be written: the user is told and the dialog stays open.
    void pointNamesNotSaved()
    {
        const QString path = PointNames::PathBeside(m_dir.filePath("Orvane.ini"));
        QVERIFY(QDir().mkpath(path)); // a folder in the file's place
        ScriptedMessageBoxes boxes;
        CVL_PointNamesDlg dialog(m_frame->boardModel(), 0, nullptr);
        dialog.table()->item(0, 1)->setText("Start button");
        dialog.OnOK();
        QCOMPARE(boxes.texts(), QStringList({"The point names could not be saved."}));
        QCOMPARE(dialog.result(), int(QDialog::Rejected));
        QVERIFY(names().Name(0, PointDir::In, 0).isEmpty());
        QDir(path).removeRecursively();
    }
};

QTEST_MAIN(TestChangeLog)
#include "tst_changelog.moc"

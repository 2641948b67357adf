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
#include "dio/DIoWnd.h"
#include "platform/Messages.h"

#include <QAction>
#include <QComboBox>
#include <QLabel>
#include <QMdiArea>
#include <QMenuBar>
#include <QStatusBar>
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
                 QStringList({"Log Level", "Point Names"}));
        QCOMPARE(MenuTexts(m_frame->menuBar(), "&Monitoring"),
                 QStringList({"Digital IO", "Change Log"}));
        m_frame->commandAction(ID_CHANGE_LOG)->trigger();
        CChildFrame *frame = CChildFrame::OpenFrame(kChangeLogView);
        QVERIFY(frame);
        QCOMPARE(frame->windowTitle(), QString("Change Log"));
        QCOMPARE(frame->minimumSize(), frame->maximumSize());
        m_frame->commandAction(ID_CHANGE_LOG)->trigger(); // raises the open one
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 1);
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

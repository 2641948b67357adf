// The main frame's commands, message relay, controller selector, child frames and exit, with
// the recording fake device, scripted message boxes and a test view that records messages.
#include "FakeDevice.h"
#include "ScriptedMessageBoxes.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "platform/Messages.h"
#include "system/WsSysWnd.h"

#include <QAbstractItemView>
#include <QAction>
#include <QComboBox>
#include <QDockWidget>
#include <QMdiArea>
#include <QMdiSubWindow>
#include <QMenu>
#include <QTemporaryDir>
#include <QWheelEvent>
#include <QtTest>

namespace {

// A monitoring view that records the private messages it receives and its close questions.
class TestView : public QWidget, public IFrameClosePrompt
{
public:
    TestView(int kind, QStringList *journal, QWidget *parent)
        : QWidget(parent)
        , m_kind(kind)
        , m_journal(journal)
    {
        setWindowTitle(QStringLiteral("View %1").arg(kind));
    }
    void OnFrameClose() override { *m_journal << QStringLiteral("%1 asks").arg(m_kind); }

protected:
    bool event(QEvent *e) override
    {
        if (WindowMessage *m = WindowMessage::From(e)) {
            *m_journal << QStringLiteral("%1 got %2(%3)").arg(m_kind).arg(m->type()).arg(m->wParam);
            return true;
        }
        return QWidget::event(e);
    }

private:
    int m_kind;
    QStringList *m_journal;
};

} // namespace

class TestMainFrame : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QStringList m_journal;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<CVL_MainFrame> m_frame;

    void start(std::initializer_list<int> cardNumbers)
    {
        m_fake = std::make_unique<FakeDevice>();
        for (int no : cardNumbers) {
            FakeBoard b;
            b.cardNo = no;
            m_fake->boards << b;
        }
        m_frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(m_frame->OnCreate(), 0);
        m_frame->resize(1000, 800);
        m_frame->show();
        m_journal.clear();
    }

    CChildFrame *open(int kind)
    {
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kind);
        return CChildFrame::OpenFrame(kind);
    }

    void wheel(int delta)
    {
        QComboBox *selector = m_frame->controllerSelector();
        QWheelEvent e(QPointF(5, 5), selector->mapToGlobal(QPointF(5, 5)), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
        QCoreApplication::sendEvent(selector, &e);
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        for (int kind : {kSystemIoView, kDigitalIoView})
            CChildFrame::RegisterView(kind, [this, kind](QWidget *parent, BoardModel &) {
                return new TestView(kind, &m_journal, parent);
            });
    }

    void cleanup()
    {
        m_frame.reset();
        m_fake.reset();
        QCOMPARE(CChildFrame::OpenCount(), 0);
    }

    void oneWindowPerKind()
    {
        start({0});
        QVERIFY(m_frame->commandAction(32774)->isEnabled());
        CChildFrame *dio = open(kDigitalIoView);
        QVERIFY(dio);
        QCOMPARE(dio->size(), QSize(410, 505));
        QCOMPARE(dio->minimumSize(), dio->maximumSize());
        QVERIFY(!(dio->windowFlags() & Qt::WindowMaximizeButtonHint));
        CChildFrame *sio = open(kSystemIoView);
        QCOMPARE(sio->size(), QSize(410, 266));
        QCOMPARE(m_frame->mdiClient()->activeSubWindow(), sio);

        // Asking again raises the open one.
        m_frame->commandAction(32774)->trigger();
        QCOMPARE(CChildFrame::OpenFrame(kDigitalIoView), dio);
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 2);
        QCOMPARE(m_frame->mdiClient()->activeSubWindow(), dio);

        dio->close();
        QTest::qWait(0);
        QCOMPARE(CChildFrame::OpenFrame(kDigitalIoView), nullptr);
        QVERIFY(open(kDigitalIoView));
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 2);
    }

    void cascadeOffsets()
    {
        start({0});
        CChildFrame *first = open(kDigitalIoView);
        QCOMPARE(first->pos(), QPoint(0, 0));
        CChildFrame *second = open(kSystemIoView);
        QCOMPARE(second->pos(), QPoint(23, 29));
        delete second;
        QCOMPARE(open(kSystemIoView)->pos(), QPoint(23, 29));
        delete CChildFrame::OpenFrame(kSystemIoView);
        delete first;
        QCOMPARE(CChildFrame::OpenCount(), 0);
        QCOMPARE(open(kSystemIoView)->pos(), QPoint(0, 0));
    }

    void focusAnnouncesTheDigitalIoViewOnce()
    {
        start({0});
        open(kSystemIoView);
        QCOMPARE(m_frame->boardModel().record().focusViewKind, 0);
        CChildFrame *dio = open(kDigitalIoView);
        QCOMPARE(m_frame->boardModel().record().focusViewKind, 101);
        QCOMPARE(m_frame->boardModel().record().announcedViewKind, 101);
        // The frame's announcement is broadcast to every view, topmost first.
        QCOMPARE(m_journal, QStringList({"101 got 1154(101)", "100 got 1154(101)"}));
        m_journal.clear();
        m_frame->mdiClient()->setActiveSubWindow(CChildFrame::OpenFrame(kSystemIoView));
        m_frame->mdiClient()->setActiveSubWindow(dio);
        QCOMPARE(m_journal, QStringList());
    }

    void relaysToTheViewsTopmostFirst()
    {
        start({0, 3});
        open(kSystemIoView);
        open(kDigitalIoView);
        m_journal.clear();
        SendWindowMessage(m_frame.get(), UM_VIEW_SELECT_CARD, 3);
        QCOMPARE(m_frame->boardModel().record().activeCardNo, 3);
        QCOMPARE(m_frame->controllerSelector()->currentIndex(), 1);
        QCOMPARE(m_journal,
                 QStringList(
                     {"101 got 1127(0)", "100 got 1127(0)", "101 got 1155(0)", "100 got 1155(0)"}));
    }

    void selectorChoiceActivatesTheBoard()
    {
        start({0, 3});
        open(kDigitalIoView);
        m_journal.clear();
        m_frame->controllerSelector()->setCurrentIndex(1);
        emit m_frame->controllerSelector()->activated(1);
        QCOMPARE(m_frame->boardModel().record().activeCardNo, 3);
        QVERIFY(m_frame->systemTree()->cardItems[1]->font(0).bold());
        QVERIFY(!m_frame->systemTree()->cardItems[0]->font(0).bold());
        QCOMPARE(m_journal, QStringList({"101 got 1127(0)", "101 got 1155(0)"}));
    }

    void choosingFromTheSelectorList_data()
    {
        QTest::addColumn<int>("entry");
        QTest::addColumn<int>("activeCard");
        QTest::addColumn<QStringList>("journal");
        QTest::newRow("another entry")
            << 1 << 3 << QStringList({"101 got 1127(0)", "101 got 1155(0)"});
        QTest::newRow("the current entry again") << 0 << 0 << QStringList();
    }

    // Chosen with a click in the dropped list, as the operator chooses.
    void choosingFromTheSelectorList()
    {
        QFETCH(int, entry);
        QFETCH(int, activeCard);
        QFETCH(QStringList, journal);
        start({0, 3});
        open(kDigitalIoView);
        m_journal.clear();
        QComboBox *selector = m_frame->controllerSelector();
        QCOMPARE(selector->currentIndex(), 0);
        selector->showPopup();
        QAbstractItemView *list = selector->view();
        QVERIFY(QTest::qWaitForWindowExposed(list->window()));
        const QRect item = list->visualRect(list->model()->index(entry, 0));
        QTest::mouseClick(list->viewport(), Qt::LeftButton, {}, item.center());
        QTRY_VERIFY(!list->isVisible());
        QCOMPARE(m_frame->boardModel().record().activeCardNo, activeCard);
        QCOMPARE(selector->currentIndex(), entry);
        QCOMPARE(m_journal, journal);
    }

    void wheelMovesOneBoardPerNotch_data()
    {
        QTest::addColumn<QList<int>>("deltas");
        QTest::addColumn<int>("activeCard");
        QTest::newRow("down") << QList<int>{-120} << 3;
        QTest::newRow("down past the last") << QList<int>{-120, -120, -120} << 7;
        QTest::newRow("up on the first") << QList<int>{120} << 0;
        QTest::newRow("half notches add up") << QList<int>{-60, -60} << 3;
        QTest::newRow("half a notch does nothing") << QList<int>{-60} << 0;
        QTest::newRow("two notches at once") << QList<int>{-240} << 7;
        QTest::newRow("down then up") << QList<int>{-120, 120} << 0;
    }

    void wheelMovesOneBoardPerNotch()
    {
        QFETCH(QList<int>, deltas);
        QFETCH(int, activeCard);
        start({0, 3, 7});
        for (int delta : deltas)
            wheel(delta);
        QCOMPARE(m_frame->boardModel().record().activeCardNo, activeCard);
        QCOMPARE(m_frame->controllerSelector()->currentIndex(),
                 activeCard == 0 ? 0 : (activeCard == 3 ? 1 : 2));
    }

    void wheelWithNoBoardDoesNothing()
    {
        start({});
        wheel(-120);
        QCOMPARE(m_frame->controllerSelector()->count(), 0);
        QCOMPARE(m_frame->boardModel().record().activeCardNo, 0);
    }

    void closeAllAsksEachViewOnce()
    {
        start({0});
        open(kSystemIoView);
        open(kDigitalIoView);
        m_journal.clear();
        m_frame->commandAction(32794)->trigger();
        QTest::qWait(0);
        QCOMPARE(m_journal, QStringList({"101 asks", "100 asks"}));
        QCOMPARE(m_frame->mdiClient()->subWindowList().size(), 0);
    }

    void closeBoxAsksOnce()
    {
        start({0});
        CChildFrame *dio = open(kDigitalIoView);
        m_journal.clear();
        dio->close();
        QCOMPARE(m_journal, QStringList{"101 asks"});
    }

    void exitAsksAboutEachChangedCard()
    {
        start({0, 2});
        open(kDigitalIoView);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 2);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 0);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 16); // no such flag
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, -1);
        m_frame->boardModel().SetParamChanged(1, 5, true); // another class raises no question
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdNo, kIdYes};
        m_fake->calls.clear();
        m_journal.clear();
        m_frame->close();
        QCOMPARE(boxes.texts(),
                 QStringList({"QRX-LMxxxP(0) board parameters are changed.\nDo you want to save "
                              "parameter to file?",
                              "QRX-LMxxxP(2) board parameters are changed.\nDo you want to save "
                              "parameter to file?"}));
        m_frame.reset();
        QCOMPARE(m_fake->calls, QStringList({"DXS_devConParamSave(2)", "DXS_devSysUnload()"}));
        // The monitoring window went without its own question.
        QCOMPARE(m_journal, QStringList());
    }

    // A save refused at exit is reported, the next question still comes, and the exit ends as
    // usual.
    void refusedExitSaveIsReportedAndTheExitGoesOn()
    {
        start({0, 2});
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 0);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 2);
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdYes, kIdYes};
        m_fake->failStatus = -2022;
        m_fake->failingCalls = {"DXS_devConParamSave(0)"};
        m_fake->calls.clear();
        m_frame->close();
        m_frame.reset();
        const QString question = "QRX-LMxxxP(%1) board parameters are changed.\nDo you want to "
                                 "save parameter to file?";
        QCOMPARE(boxes.texts(),
                 QStringList({question.arg(0), "Fail! Save Parameter File...", question.arg(2)}));
        QCOMPARE(boxes.asked[1].buttons, MessageBoxRequest::Ok);
        QCOMPARE(boxes.asked[1].informative, QString("Card No. 0 (status -2022)"));
        QCOMPARE(m_fake->calls,
                 QStringList(
                     {"DXS_devConParamSave(0)", "DXS_devConParamSave(2)", "DXS_devSysUnload()"}));
    }

    // Asked to end by the session or the terminal: no question, though boards are flagged, and
    // otherwise the exit as usual: the layout stored, the system unloaded.
    void closingWithoutQuestions()
    {
        start({0, 2});
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 2);
        const QString layout =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            "/Orvane/Orvane.conf";
        QFile::remove(layout);
        ScriptedMessageBoxes boxes;
        m_fake->calls.clear();
        m_frame->CloseWithoutQuestions();
        QVERIFY(!m_frame->isVisible());
        m_frame.reset();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(m_fake->calls, QStringList{"DXS_devSysUnload()"});
        QSettings settings(layout, QSettings::IniFormat);
        QVERIFY(!settings.value("NormalLayout").toByteArray().isEmpty());
    }

    // The end asked for while the exit questions are under way: the question on screen goes
    // unanswered, no further one comes, and nothing is saved.
    void endRequestedDuringTheExitQuestions()
    {
        start({0, 2});
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 0);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 2);
        QStringList asked;
        SetMessageBoxHandler([&](QWidget *, const MessageBoxRequest &request) {
            asked << request.text;
            m_frame->CloseWithoutQuestions();
            return int(kIdNo);
        });
        m_fake->calls.clear();
        m_frame->close();
        SetMessageBoxHandler({});
        m_frame.reset();
        QCOMPARE(asked.size(), 1);
        QCOMPARE(m_fake->calls, QStringList{"DXS_devSysUnload()"});
    }

    void exitAsksOnlyAboutCardsInTheMap()
    {
        start({3, 5});
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 0); // Log Level Setup's OK marks card 0
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 5);
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 9);
        QCOMPARE(m_frame->boardModel().record().paramChanged[kDigitalIoClass][0], 1);
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdYes};
        m_fake->calls.clear();
        m_frame->close();
        QCOMPARE(boxes.texts(),
                 QStringList{"QRX-LMxxxP(5) board parameters are changed.\nDo you want to save "
                             "parameter to file?"});
        m_frame.reset();
        QCOMPARE(m_fake->calls, QStringList({"DXS_devConParamSave(5)", "DXS_devSysUnload()"}));
    }

    void exitWithoutBoardsAsksNothing()
    {
        start({});
        SendWindowMessage(m_frame.get(), UM_PARAM_CHANGED, 0); // Log Level Setup with no board
        ScriptedMessageBoxes boxes;
        m_fake->calls.clear();
        m_frame->close();
        m_frame.reset();
        QCOMPARE(boxes.texts(), QStringList());
        QCOMPARE(m_fake->calls, QStringList());
    }

    void childFrameSystemMenu_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<bool>("minimised");
        QTest::addColumn<QStringList>("entries");
        const QStringList normal{"&Restore (disabled)", "&Move", "Mi&nimize", "-", "&Close"};
        const QStringList minimised{"&Restore", "&Move (disabled)", "Mi&nimize (disabled)", "-",
                                    "&Close"};
        QTest::newRow("Digital IO") << int(kDigitalIoView) << false << normal;
        QTest::newRow("System IO") << int(kSystemIoView) << false << normal;
        QTest::newRow("Digital IO minimised") << int(kDigitalIoView) << true << minimised;
    }

    void childFrameSystemMenu()
    {
        QFETCH(int, kind);
        QFETCH(bool, minimised);
        QFETCH(QStringList, entries);
        start({0});
        CChildFrame *frame = open(kind);
        if (minimised)
            frame->showMinimized();
        QMenu *menu = frame->systemMenu();
        QVERIFY(menu);
        emit menu->aboutToShow();
        QStringList shown;
        for (QAction *action : menu->actions()) {
            if (!action->isVisible())
                continue;
            QString entry = action->isSeparator() ? QStringLiteral("-") : action->text();
            if (!action->isEnabled())
                entry += QStringLiteral(" (disabled)");
            if (!action->shortcut().isEmpty())
                entry += QLatin1Char('\t') + action->shortcut().toString();
            shown << entry;
        }
        QCOMPARE(shown, entries);
    }

    void systemPaneDocksOnTheLeftOnly_data()
    {
        QTest::addColumn<Qt::DockWidgetArea>("area");
        QTest::addColumn<bool>("allowed");
        QTest::newRow("left") << Qt::LeftDockWidgetArea << true;
        QTest::newRow("right") << Qt::RightDockWidgetArea << false;
        QTest::newRow("top") << Qt::TopDockWidgetArea << false;
        QTest::newRow("bottom") << Qt::BottomDockWidgetArea << false;
    }

    void systemPaneDocksOnTheLeftOnly()
    {
        QFETCH(Qt::DockWidgetArea, area);
        QFETCH(bool, allowed);
        start({0});
        QCOMPARE(m_frame->dockWidgetArea(m_frame->systemPane()), Qt::LeftDockWidgetArea);
        QCOMPARE(m_frame->systemPane()->isAreaAllowed(area), allowed);
        QVERIFY(!(m_frame->systemPane()->features() & QDockWidget::DockWidgetFloatable));
    }

    void exitStoresTheLayout()
    {
        start({0});
        m_frame->close();
        // In the user's config folder, beside the per-user settings file.
        const QString file =
            QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation) +
            "/Orvane/Orvane.conf";
        QVERIFY(QFileInfo::exists(file));
        QSettings settings(file, QSettings::IniFormat);
        QVERIFY(!settings.value("NormalLayout").toByteArray().isEmpty());
        QCOMPARE(settings.value("CommandBars/MainVisible").toBool(), true);
    }
};

QTEST_MAIN(TestMainFrame)
#include "tst_mainframe.moc"

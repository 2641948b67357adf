// The System IO window with the recording fake device and the real main frame and tree: the
// Run LED poll and toggle, the card-number list and how the window follows the active board.
#include "FakeDevice.h"
#include "ScriptedMessageBoxes.h"
#include "WidgetHelpers.h"
#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "app/Views.h"
#include "controls/ImageButton.h"
#include "device/SystemInfo.h"
#include "dio/DIoWnd.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"
#include "system/SysIoWnd.h"
#include "system/WsSysWnd.h"

#include <QAction>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiSubWindow>
#include <QPushButton>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QToolBar>
#include <QtTest>

namespace {

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage().convertToFormat(QImage::Format_ARGB32);
}

bool Shows(CImageButton *led, int imageId)
{
    return Picture(led->GetActiveImage()) == Picture(Resources::Icon(imageId));
}

} // namespace

class TestSysIoWnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    std::unique_ptr<CVL_MainFrame> m_frame;

    void start(QList<int> cardNumbers)
    {
        m_fake = std::make_unique<FakeDevice>();
        m_boxes = std::make_unique<ScriptedMessageBoxes>();
        for (int no : cardNumbers) {
            FakeBoard b;
            b.cardNo = no;
            b.outputs = no == 5 ? 64 : 32;
            b.inputs = b.outputs;
            m_fake->boards << b;
        }
        m_frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QVERIFY(m_frame->OnCreate() == 0);
        m_frame->resize(1000, 800);
        m_frame->show();
    }

    CVL_SysIoWnd *open()
    {
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kSystemIoView);
        CChildFrame *frame = CChildFrame::OpenFrame(kSystemIoView);
        return frame ? qobject_cast<CVL_SysIoWnd *>(frame->widget()) : nullptr;
    }

    static QString frameTitle(CVL_SysIoWnd *view) { return view->parentWidget()->windowTitle(); }

    static QStringList items(QComboBox *list)
    {
        QStringList texts;
        for (int i = 0; i < list->count(); ++i)
            texts << list->itemText(i);
        return texts;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
    }

    void cleanup()
    {
        m_frame.reset();
        m_boxes.reset();
        m_fake.reset();
    }

    void tabReachesTheToolBarButtons_data()
    {
        QTest::addColumn<int>("command");
        QTest::addColumn<int>("key");
        QTest::addColumn<int>("kind");
        QTest::newRow("System IO, Return")
            << int(ID_SYSTEM_IO) << int(Qt::Key_Return) << int(kSystemIoView);
        QTest::newRow("System IO, Space")
            << int(ID_SYSTEM_IO) << int(Qt::Key_Space) << int(kSystemIoView);
        QTest::newRow("Digital IO, keypad Enter")
            << int(ID_DIGITAL_IO) << int(Qt::Key_Enter) << int(kDigitalIoView);
    }

    // Without a mouse: Tab from the board tree until the button has the focus, then press it.
    void tabReachesTheToolBarButtons()
    {
        QFETCH(int, command);
        QFETCH(int, key);
        QFETCH(int, kind);
        start({0});
        QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
        QWidget *button = m_frame->mainToolBar()->widgetForAction(m_frame->commandAction(command));
        QVERIFY(button);
        m_frame->systemTree()->setFocus(Qt::OtherFocusReason);
        for (int presses = 0; presses < 20 && QApplication::focusWidget() != button; ++presses)
            QTest::keyClick(QApplication::focusWidget(), Qt::Key_Tab);
        QCOMPARE(QApplication::focusWidget(), button);
        QVERIFY(!CChildFrame::OpenFrame(kind));
        QTest::keyClick(button, Qt::Key(key));
        QVERIFY(CChildFrame::OpenFrame(kind));
    }

    void startUpFocusIsWhereItWas_data()
    {
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<QString>("focus");
        QTest::newRow("one board: the selector is disabled") << QList<int>{0} << "SystemTree";
        QTest::newRow("two boards") << QList<int>{0, 3} << "ControllerSelector";
    }

    // The tool bar's buttons join the tab order after the tree, not before it.
    void startUpFocusIsWhereItWas()
    {
        QFETCH(QList<int>, cards);
        QFETCH(QString, focus);
        start(cards);
        QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
        QVERIFY(QApplication::focusWidget());
        QCOMPARE(QApplication::focusWidget()->objectName(), focus);
    }

    void enterClicksTheFocusedButton_data()
    {
        QTest::addColumn<bool>("led"); // the Run LED, else Close
        QTest::addColumn<int>("key");
        QTest::newRow("Run LED, Return") << true << int(Qt::Key_Return);
        QTest::newRow("Run LED, keypad Enter") << true << int(Qt::Key_Enter);
        QTest::newRow("Close, Return") << false << int(Qt::Key_Return);
    }

    void enterClicksTheFocusedButton()
    {
        QFETCH(bool, led);
        QFETCH(int, key);
        start({0});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        QVERIFY(QTest::qWaitForWindowActive(m_frame.get()));
        QPushButton *button = led ? view->ledButton() : view->closeButton();
        button->setFocus(Qt::TabFocusReason);
        QCOMPARE(QApplication::focusWidget(), button);
        m_fake->calls.clear();
        QTest::keyClick(button, Qt::Key(key));
        if (led) {
            QCOMPARE(m_fake->calls,
                     QStringList({"DXS_devConGetCheckOn(0)", "DXS_devConSetCheckOn(0, 1)"}));
        } else {
            QTRY_VERIFY(!CChildFrame::OpenFrame(kSystemIoView));
        }
    }

    void toolBarButtonOpensTheWindow()
    {
        start({0});
        QAction *button = m_frame->commandAction(ID_SYSTEM_IO);
        QVERIFY(button->isEnabled());
        button->trigger();
        CChildFrame *frame = CChildFrame::OpenFrame(kSystemIoView);
        QVERIFY(frame);
        auto *view = qobject_cast<CVL_SysIoWnd *>(frame->widget());
        QVERIFY(view);
        QCOMPARE(frame->size(), QSize(410, 266));
        QCOMPARE(view->outputTab()->count(), 1);
        QCOMPARE(view->outputTab()->tabText(0), QString("Output"));
        QCOMPARE(view->runLedCaption()->text(), QString(" Run Led"));
        QVERIFY(view->runLedCaption()->isReadOnly());
        QCOMPARE(view->runLedCaption()->palette().color(QPalette::Base), QColor(210, 210, 210));
        QCOMPARE(view->runLedCaption()->palette().color(QPalette::Text), QColor(0, 0, 255));
        QCOMPARE(view->closeButton()->text(), QString("Close"));
        QCOMPARE(view->closeButton()->GetActiveImageSize(), QSize(20, 16));
        QVERIFY(!view->closeButton()->GetFlatLook());
        QVERIFY(!view->ledButton()->GetFlatLook());
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_OFF));
        QCOMPARE(view->pollTimer()->interval(), 10);
        QCOMPARE(view->pollTimer()->timerType(), Qt::PreciseTimer);
        QVERIFY(view->pollTimer()->isActive());
        // The form lies inside the frame's client area.
        QVERIFY(view->rect().contains(view->closeButton()->geometry()));
    }

    void cardListAndTitle_data()
    {
        QTest::addColumn<QList<int>>("cards");
        QTest::addColumn<QStringList>("entries");
        QTest::addColumn<int>("selected");
        QTest::addColumn<bool>("enabled");
        QTest::addColumn<QString>("title");
        QTest::newRow("one board")
            << QList<int>{0} << QStringList{"0"} << 0 << false << "System IO - QRX-LM32DIO(0)";
        QTest::newRow("three boards") << QList<int>{7, 3, 5} << QStringList{"7", "3", "5"} << 0
                                      << true << "System IO - QRX-LM32DIO(7)";
        QTest::newRow("no board") << QList<int>{} << QStringList{} << -1 << true << "";
    }

    void cardListAndTitle()
    {
        QFETCH(QList<int>, cards);
        QFETCH(QStringList, entries);
        QFETCH(int, selected);
        QFETCH(bool, enabled);
        QFETCH(QString, title);
        start(cards);
        CVL_SysIoWnd *view = open();
        QVERIFY(view);
        QCOMPARE(items(view->cardList()), entries);
        QCOMPARE(view->cardList()->currentIndex(), selected);
        QCOMPARE(view->cardList()->isEnabled(), enabled);
        QCOMPARE(frameTitle(view), title);
    }

    void pollShowsTheStateAndRepaintsOnlyOnChange()
    {
        start({0});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        QTest::qWait(20);
        PaintCounter paints(view->ledButton());
        m_fake->takeCalls();

        view->OnTimer();
        view->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(m_fake->takeCalls(),
                 QStringList({"DXS_devConGetCheckOn(0)", "DXS_devConGetCheckOn(0)"}));
        QCOMPARE(paints.count, 0);

        m_fake->board(0)->checkOn = 2;
        view->OnTimer();
        QCoreApplication::processEvents();
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_ON));
        QCOMPARE(view->ledShown(), 2);
        QVERIFY(paints.count > 0);

        paints.count = 0;
        m_fake->board(0)->checkOn = 1; // still on: nothing to show
        view->OnTimer();
        view->OnTimer();
        QCoreApplication::processEvents();
        QCOMPARE(paints.count, 0);
        QCOMPARE(view->ledShown(), 2);

        m_fake->board(0)->checkOn = 0;
        view->OnTimer();
        QCoreApplication::processEvents();
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_OFF));
        QCOMPARE(view->ledShown(), 0);
        QVERIFY(paints.count > 0);
    }

    void clickTogglesTheRunLed_data()
    {
        QTest::addColumn<int>("state");
        QTest::addColumn<bool>("readFails");
        QTest::addColumn<int>("written");
        QTest::newRow("off") << 0 << false << 1;
        QTest::newRow("on") << 1 << false << 0;
        QTest::newRow("any non-zero is on") << 2 << false << 0;
        QTest::newRow("failed read counts as off") << 1 << true << 1;
    }

    void clickTogglesTheRunLed()
    {
        QFETCH(int, state);
        QFETCH(bool, readFails);
        QFETCH(int, written);
        start({4});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        m_fake->board(4)->checkOn = state;
        view->OnTimer();
        const bool shownOn = state != 0;
        if (readFails)
            m_fake->failing << "DXS_devConGetCheckOn";
        m_fake->takeCalls();

        QTest::mouseClick(view->ledButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(),
                 QStringList({"DXS_devConGetCheckOn(4)",
                              QString("DXS_devConSetCheckOn(4, %1)").arg(written)}));
        QCOMPARE(m_fake->board(4)->checkOn, written);
        // The image follows at the next poll, not at the click.
        QVERIFY(Shows(view->ledButton(), shownOn ? IDI_RUN_LED_ON : IDI_RUN_LED_OFF));
        m_fake->failing.clear();
        view->OnTimer();
        QVERIFY(Shows(view->ledButton(), written ? IDI_RUN_LED_ON : IDI_RUN_LED_OFF));
    }

    void choosingACardChangesTheActiveBoardEverywhere()
    {
        start({0, 3, 5});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        m_fake->board(0)->checkOn = 1;
        view->OnTimer();
        QCOMPARE(view->ledShown(), 1);

        view->cardList()->setFocus();
        QTest::keyClick(view->cardList(), Qt::Key_Down);

        QCOMPARE(m_frame->boardModel().activeCardNo(), 3);
        CVL_WsSysWnd *tree = m_frame->systemTree();
        QVERIFY(tree->cardItems[1]->font(0).bold());
        QVERIFY(!tree->cardItems[0]->font(0).bold());
        QCOMPARE(m_frame->controllerSelector()->currentIndex(), 1);
        QCOMPARE(frameTitle(view), QString("System IO - QRX-LM32DIO(3)"));
        QCOMPARE(view->cardList()->currentIndex(), 1);
        QCOMPARE(view->cardNo(), 3);
        QCOMPARE(view->ledShown(), 0);
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_OFF));
        m_fake->takeCalls();
        view->OnTimer();
        QCOMPARE(m_fake->takeCalls(), QStringList{"DXS_devConGetCheckOn(3)"});
    }

    void followsTheBoardChosenElsewhere()
    {
        start({0, 3, 5});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        m_fake->board(0)->checkOn = 1;
        view->OnTimer();

        // The controller selector on the tool bar chooses card 5.
        m_frame->controllerSelector()->setCurrentIndex(2);
        emit m_frame->controllerSelector()->activated(2);

        QCOMPARE(view->cardNo(), 5);
        QCOMPARE(view->cardList()->currentIndex(), 2);
        QCOMPARE(frameTitle(view), QString("System IO - QRX-LM64DIO(5)"));
        QCOMPARE(view->ledShown(), 0);
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_OFF));
    }

    void activeCardMissingFromTheMapShowsNoBoard()
    {
        start({0, 3});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        m_frame->boardModel().SetActiveCard(9);
        SendWindowMessage(view, UM_CARD_LIST_CHANGED);
        QCOMPARE(frameTitle(view), QString());
        QCOMPARE(view->cardList()->currentIndex(), -1);
        QCOMPARE(view->cardList()->count(), 2);
        m_fake->takeCalls();
        view->OnTimer();
        QTest::mouseClick(view->ledButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList());
    }

    void withoutABoardNothingIsCalled()
    {
        start({});
        CVL_SysIoWnd *view = open();
        view->pollTimer()->stop();
        m_fake->takeCalls();
        view->OnTimer();
        QTest::mouseClick(view->ledButton(), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), QStringList());
        QVERIFY(Shows(view->ledButton(), IDI_RUN_LED_OFF));
    }

    void enterAndEscapeDoNotClose()
    {
        start({0});
        CVL_SysIoWnd *view = open();
        for (QWidget *target : {static_cast<QWidget *>(view), view->ledButton()->parentWidget(),
                                static_cast<QWidget *>(view->cardList())}) {
            for (int key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape})
                QTest::keyClick(target, Qt::Key(key));
        }
        QCoreApplication::processEvents();
        QVERIFY(CChildFrame::OpenFrame(kSystemIoView));
        QVERIFY(view->isVisible());
    }

    void closeButtonClosesTheFrame()
    {
        start({0});
        CVL_SysIoWnd *view = open();
        QPointer<QMdiSubWindow> frame = CChildFrame::OpenFrame(kSystemIoView);
        QTest::mouseClick(view->closeButton(), Qt::LeftButton);
        QTRY_VERIFY(frame.isNull());
        QCOMPARE(CChildFrame::OpenFrame(kSystemIoView), nullptr);
        QVERIFY(open()); // and it opens again
    }

    void choosingACardMovesTheDigitalIoWindow()
    {
        start({0, 3, 5});
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kDigitalIoView);
        auto *dio = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
        QVERIFY(dio);
        QCOMPARE(dio->cardNo, 0);
        CVL_SysIoWnd *view = open();
        view->cardList()->setFocus();
        QTest::keyClick(view->cardList(), Qt::Key_End);
        QCOMPARE(m_frame->boardModel().activeCardNo(), 5);
        QCOMPARE(dio->cardNo, 5);
        QCOMPARE(dio->cardList()->currentIndex(), 2);
        QCOMPARE(frameTitle(view), QString("System IO - QRX-LM64DIO(5)"));
    }

    void titleText_data()
    {
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<int>("cardNo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("card 0") << QByteArray("QRX-LM32DIO") << 0 << "System IO - QRX-LM32DIO(0)";
        QTest::newRow("two digits")
            << QByteArray("QRX-LN64DI") << 12 << "System IO - QRX-LN64DI(12)";
    }

    void titleText()
    {
        QFETCH(QByteArray, name);
        QFETCH(int, cardNo);
        QFETCH(QString, expected);
        QCOMPARE(CVL_SysIoWnd::TitleText(name.constData(), cardNo), expected);
    }
};

QTEST_MAIN(TestSysIoWnd)
#include "tst_sysiownd.moc"

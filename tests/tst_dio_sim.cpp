// The Digital IO window end to end: the real application loads the simulated device library,
// and a second process (the qrxsim tool) reads the outputs the window switched and sets the
// inputs it shows.
#include "ScriptedMessageBoxes.h"
#include "SimBoards.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/VelmarApp.h"
#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QLineEdit>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage();
}

} // namespace

class TestDioSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<CVelmarApp> m_app;
    CVL_DIoWnd *m_view = nullptr;

    // Runs qrxsim with the test's board and state files; answers its output, trimmed.
    QString qrxsim(const QStringList &arguments)
    {
        const ToolRun run = Qrxsim(arguments);
        return run.status != 0 ? QStringLiteral("failed: ") + run.err : run.out.trimmed();
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(UseSimBoards(m_dir.path(), "boards",
                             "[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\nLoopback=1\n"
                             "[Board1]\nType=2801\nCardNo=3\nInputs=64\n"));
        QVERIFY(QDir().mkpath(m_dir.filePath("app")));
        QCOMPARE(qrxsim({"reset"}).left(7) == "failed:", false);

        m_app = std::make_unique<CVelmarApp>(m_dir.filePath("app"));
        QVERIFY(m_app->InitInstance());
        SendWindowMessage(m_app->mainFrame(), UM_OPEN_WINDOW, kDigitalIoView);
        CChildFrame *frame = CChildFrame::OpenFrame(kDigitalIoView);
        QVERIFY(frame);
        m_view = qobject_cast<CVL_DIoWnd *>(frame->widget());
        QVERIFY(m_view);
        QCOMPARE(frame->windowTitle(), QString("Digital IO - QRX-LM32DIO(0)"));
        // The test ticks the window itself, so that "one tick" is exact.
        m_view->timer()->stop();
        QCoreApplication::processEvents();
    }

    void cleanupTestCase()
    {
        if (m_app)
            m_app->ExitInstance();
        m_app.reset();
    }

    void clickedOutputIsSwitchedShownAndLoopedBack()
    {
        QCOMPARE(qrxsim({"get", "0", "out"}), QString("0x0000000000000000"));
        m_view->OnTimer();
        QTest::mouseClick(m_view->outputPage->bitButtons[5], Qt::LeftButton);
        QCOMPARE(qrxsim({"get", "0", "out"}), QString("0x0000000000000020"));

        m_view->OnTimer();
        QVERIFY(Picture(m_view->outputPage->bitButtons[5]->GetActiveImage()) ==
                Picture(Resources::Icon(IDI_LED_OUTPUT_ON)));
        QCOMPARE(m_view->inputPage->leds[5]->GetCurrentState(), 1u); // looped back
        QCoreApplication::sendPostedEvents(m_view);
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x00000020"));

        QTest::mouseClick(m_view->outputPage->bitButtons[5], Qt::LeftButton);
        QCOMPARE(qrxsim({"get", "0", "out"}), QString("0x0000000000000000"));
        m_view->OnTimer();
        QVERIFY(Picture(m_view->outputPage->bitButtons[5]->GetActiveImage()) ==
                Picture(Resources::Icon(IDI_LED_OFF)));
        QCOMPARE(m_view->inputPage->leds[5]->GetCurrentState(), 0u);
    }

    void inputSetFromOutsideIsShownOnTheNextTick()
    {
        m_view->OnTimer();
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000000"));
        QCOMPARE(qrxsim({"set", "0", "in", "9", "1"}).startsWith("failed"), false);
        m_view->OnTimer();
        QCOMPARE(m_view->inputPage->leds[9]->GetCurrentState(), 1u);
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000000"));
        m_view->OnTimer();
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000200"));
    }

    void typedWordReachesTheBoard()
    {
        ScriptedMessageBoxes boxes;
        m_view->doValueEdit()->setText("0x81");
        QTest::keyClick(m_view->doValueEdit(), Qt::Key_Return);
        QVERIFY(boxes.asked.isEmpty());
        QCOMPARE(qrxsim({"get", "0", "out"}), QString("0x0000000000000081"));
        m_view->OnTimer();
        QCoreApplication::sendPostedEvents(m_view);
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x00000081"));
    }

    void theInputBoardIsShownWithItsSecondTab()
    {
        SendWindowMessage(m_app->mainFrame(), UM_VIEW_SELECT_CARD, 3);
        QCOMPARE(m_view->windowTitle(), QString("Digital IO - QRX-LN64DI(3)"));
        QVERIFY(m_view->outputDisable);
        QCOMPARE(qrxsim({"set", "3", "in-word", "0x8000000100000000"}).startsWith("failed"), false);
        m_view->inputTabs()->setCurrentIndex(1);
        m_view->OnTimer();
        m_view->OnTimer();
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x80000001"));
    }
};

QTEST_MAIN(TestDioSim)
#include "tst_dio_sim.moc"

// Start-up of the main frame with the recording fake device: the settings file, the system
// load loop with its messages, the card map, the parameter loads, and the shutdown.
#include "FakeDevice.h"
#include "ScriptedMessageBoxes.h"
#include "app/MainFrame.h"
#include "system/WsSysWnd.h"

#include <QComboBox>
#include <QDockWidget>
#include <QMdiArea>
#include <QTemporaryDir>
#include <QToolBar>
#include <QtTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QList<FakeBoard> Boards(std::initializer_list<int> cardNumbers)
{
    QList<FakeBoard> boards;
    for (int no : cardNumbers) {
        FakeBoard b;
        b.cardNo = no;
        boards << b;
    }
    return boards;
}

} // namespace

class TestStartup : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString iniPath() const { return m_dir.filePath("Orvane.ini"); }

    void writeIni(const QByteArray &content)
    {
        QFile f(iniPath());
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write(content);
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }
    void cleanup() { QFile::remove(iniPath()); }

    void createsTheSettingsFileBeforeTheFirstLoad()
    {
        FakeDevice fake;
        fake.boards = Boards({0});
        QByteArray atLoad;
        fake.onCall = [&](const QString &call) {
            if (call.startsWith("DXS_devSysLoad"))
                atLoad = ReadAll(iniPath());
        };
        CVL_MainFrame frame(m_dir.path());
        QCOMPARE(frame.OnCreate(), 0);
        QCOMPARE(atLoad, QByteArray("[System]\nController_Loading_Mode=0\n"));
        QCOMPARE(fake.callsOf("DXS_devSysLoad"), QStringList{"DXS_devSysLoad(0)"});
        QCOMPARE(QString::fromLocal8Bit(frame.boardModel().record().settingsPath), iniPath());
    }

    void storedModeIsUsed_data()
    {
        QTest::addColumn<QByteArray>("value");
        QTest::addColumn<QString>("firstLoad");
        QTest::newRow("1") << QByteArray("1") << "DXS_devSysLoad(1)";
        QTest::newRow("1abc") << QByteArray("1abc") << "DXS_devSysLoad(1)";
        QTest::newRow("abc") << QByteArray("abc") << "DXS_devSysLoad(0)";
        QTest::newRow("empty") << QByteArray("") << "DXS_devSysLoad(0)";
        QTest::newRow("hand-edited -1") << QByteArray("-1") << "DXS_devSysLoad(-1)";
    }

    void storedModeIsUsed()
    {
        QFETCH(QByteArray, value);
        QFETCH(QString, firstLoad);
        writeIni("[System]\nController_Loading_Mode=" + value + "\n");
        FakeDevice fake;
        fake.boards = Boards({0});
        // A mode other than 0 or 1 is refused (-1038): reload in the other mode.
        ScriptedMessageBoxes boxes(kIdYes);
        CVL_MainFrame frame(m_dir.path());
        QCOMPARE(frame.OnCreate(), 0);
        QCOMPARE(fake.callsOf("DXS_devSysLoad").value(0), firstLoad);
    }

    void openModeErrorRetriesInTheOtherMode()
    {
        writeIni("[System]\nController_Loading_Mode=1\n");
        FakeDevice fake;
        fake.boards = Boards({0});
        fake.loadStatuses = {DXS_ERR_OPEN_MODE, DXS_ERR_OPEN_MODE};
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdYes, kIdYes};
        {
            CVL_MainFrame frame(m_dir.path());
            QCOMPARE(frame.OnCreate(), 0);
            QCOMPARE(frame.loadingMode(), 1);
        }
        QCOMPARE(fake.callsOf("DXS_devSysLoad"),
                 QStringList({"DXS_devSysLoad(1)", "DXS_devSysLoad(0)", "DXS_devSysLoad(1)"}));
        QCOMPARE(
            boxes.texts(),
            QStringList(2, "Controller Open Mode Error.\nDo you want to reload the controller?"));
        QCOMPARE(boxes.asked[0].buttons, MessageBoxRequest::YesNo);
        QCOMPARE(boxes.asked[0].icon, MessageBoxRequest::Question);
        // The switched mode is never stored.
        QCOMPARE(ReadAll(iniPath()), QByteArray("[System]\nController_Loading_Mode=1\n"));
    }

    void failedLoadEndsStartUp_data()
    {
        QTest::addColumn<int>("status");
        QTest::addColumn<int>("answer");
        QTest::addColumn<QString>("message");
        QTest::newRow("open mode, No")
            << -1038 << int(kIdNo)
            << "Controller Open Mode Error.\nDo you want to reload the controller?";
        QTest::newRow("-1036") << -1036 << 0 << "Fail! Not Support the Process...";
        QTest::newRow("-1035") << -1035 << 0 << "Fail! Module Position Error...";
        QTest::newRow("-1034") << -1034 << 0 << "Fail! PCI Bus Line Error...";
        QTest::newRow("-1032") << -1032 << 0 << "Fail! DIP Switch Error...";
        QTest::newRow("-1030") << -1030 << 0 << "Fail! Controller Not Found Error...";
        QTest::newRow("-1003") << -1003 << 0 << "Fail! Device Handle Error...";
        QTest::newRow("-1001") << -1001 << 0 << "Fail! Memory Create Error...";
        QTest::newRow("-1037") << -1037 << 0 << "Fail! Load Device Driver...";
        QTest::newRow("-1033") << -1033 << 0 << "Fail! Load Device Driver...";
        QTest::newRow("-1031") << -1031 << 0 << "Fail! Load Device Driver...";
        QTest::newRow("-1") << -1 << 0 << "Fail! Load Device Driver...";
        QTest::newRow("most negative") << int(INT32_MIN) << 0 << "Fail! Load Device Driver...";
    }

    void failedLoadEndsStartUp()
    {
        QFETCH(int, status);
        QFETCH(int, answer);
        QFETCH(QString, message);
        FakeDevice fake;
        fake.boards = Boards({0});
        fake.loadStatus = status;
        ScriptedMessageBoxes boxes(answer);
        {
            CVL_MainFrame frame(m_dir.path());
            QCOMPARE(frame.OnCreate(), -1);
        }
        QCOMPARE(boxes.texts(), QStringList{message});
        QCOMPARE(boxes.asked[0].buttons,
                 status == -1038 ? MessageBoxRequest::YesNo : MessageBoxRequest::Ok);
        // Nothing after the failed load: no map, no parameters, no unload.
        QCOMPARE(fake.calls, QStringList{"DXS_devSysLoad(0)"});
    }

    void boardsAreHandledInCardMapOrder()
    {
        FakeDevice fake;
        fake.boards = Boards({0, 3, 7});
        fake.boards[1].type = 2801;
        fake.boards[2].type = 2803;
        {
            CVL_MainFrame frame(m_dir.path());
            QCOMPARE(frame.OnCreate(), 0);
            const QStringList calls = fake.calls;
            QCOMPARE(calls.mid(0, 5),
                     QStringList({"DXS_devSysLoad(0)", "DXS_devGnGetMotDevMap()",
                                  "DXS_devConParamLoad(0)", "DXS_devConParamLoad(3)",
                                  "DXS_devConParamLoad(7)"}));
            QCOMPARE(frame.boardModel().record().boardTable->boardCount, 3);
            QCOMPARE(frame.boardModel().record().cardMap->cardNo(2), 7);
            QCOMPARE(frame.boardModel().record().activeCardNo, 0);
            QCOMPARE(frame.boardModel().record().activeCardType, 3);
            QCOMPARE(QByteArray(frame.boardModel().record().logFilePath),
                     QByteArray("C:\\Default.dbg"));
            // The tree answered with UM_REFRESH_SYSTEM and the selector was filled.
            QComboBox *selector = frame.controllerSelector();
            QCOMPARE(selector->count(), 3);
            QCOMPARE(selector->currentIndex(), 0);
            QVERIFY(selector->itemText(1).startsWith("3 : "));
            QVERIFY(selector->isEnabled());
            fake.calls.clear();
        }
        QCOMPARE(fake.calls, QStringList{"DXS_devSysUnload()"});
    }

    void zeroBoardsStartNormally()
    {
        FakeDevice fake;
        {
            CVL_MainFrame frame(m_dir.path());
            QCOMPARE(frame.OnCreate(), 0);
            QCOMPARE(fake.callsOf("DXS_devConParamLoad"), QStringList());
            QCOMPARE(frame.boardModel().record().activeCardType, 0);
            QCOMPARE(frame.controllerSelector()->count(), 0);
            QCOMPARE(frame.systemTree()->topLevelItemCount(), 1);
            QCOMPARE(QByteArray(frame.boardModel().record().logFilePath),
                     QByteArray("C:\\Default.dbg"));
            fake.calls.clear();
        }
        // An empty map is never unloaded.
        QCOMPARE(fake.calls, QStringList());
    }

    void boardCountsAreBounded_data()
    {
        QTest::addColumn<int>("reported");
        QTest::addColumn<int>("paramLoads");
        QTest::newRow("17") << 17 << 16;
        QTest::newRow("255") << 255 << 16;
        QTest::newRow("negative") << -3 << 0;
    }

    void boardCountsAreBounded()
    {
        QFETCH(int, reported);
        QFETCH(int, paramLoads);
        FakeDevice fake;
        fake.boards = Boards({0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15});
        fake.reportedBoardCount = reported;
        fake.mapCount = reported;
        CVL_MainFrame frame(m_dir.path());
        QCOMPARE(frame.OnCreate(), 0);
        QCOMPARE(fake.callsOf("DXS_devConParamLoad").size(), paramLoads);
        QVERIFY(frame.controllerSelector()->count() <= 16);
    }

    void oneBoardDisablesTheSelector()
    {
        FakeDevice fake;
        fake.boards = Boards({5});
        CVL_MainFrame frame(m_dir.path());
        QCOMPARE(frame.OnCreate(), 0);
        QCOMPARE(frame.controllerSelector()->count(), 1);
        QVERIFY(!frame.controllerSelector()->isEnabled());
    }

    void shellIsComplete()
    {
        FakeDevice fake;
        fake.boards = Boards({0});
        CVL_MainFrame frame(m_dir.path());
        QCOMPARE(frame.OnCreate(), 0);
        QCOMPARE(frame.windowTitle(), QString("OrvaneSoftware_V14.0.0.0000_win64"));
        QCOMPARE(frame.systemPane()->objectName(), QString("4000"));
        QCOMPARE(frame.systemPane()->windowTitle(), QString("System"));
        QVERIFY(!(frame.systemPane()->features() & QDockWidget::DockWidgetClosable));
        QVERIFY(!(frame.systemPane()->features() & QDockWidget::DockWidgetFloatable));
        QCOMPARE(frame.mainToolBar()->objectName(), QString("Main"));
        QCOMPARE(frame.controllerSelector()->width(), 128);
        QVERIFY(qobject_cast<QMdiArea *>(frame.centralWidget()));
        QCOMPARE(frame.commandAction(32773)->toolTip(), QString("System I/O Monitoring"));
        QCOMPARE(frame.commandAction(32774)->statusTip(), QString("Digital I/O Monitoring"));
        QCOMPARE(frame.commandAction(32807)->statusTip(), QString("Save Parameter To File"));
        QCOMPARE(frame.commandAction(57665)->text(), QString("E&xit"));
    }
};

QTEST_MAIN(TestStartup)
#include "tst_startup.moc"

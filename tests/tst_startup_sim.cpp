// Start-up end to end: the real application object loads the simulated device library, and
// the simulator's own log shows the calls the program made.
#include "ScriptedMessageBoxes.h"
#include "SimBoards.h"
#include "app/MainFrame.h"
#include "app/VelmarApp.h"
#include "system/WsSysWnd.h"

#include <QComboBox>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

class TestStartupSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;

    // Writes a board file with the given [System] lines and boards 0 and 3, points the
    // simulator at it with a fresh state file, and answers the log file's path.
    QString useBoards(const QByteArray &systemLines)
    {
        ++m_case;
        const QString log = m_dir.filePath(QStringLiteral("case%1.dbg").arg(m_case));
        if (!UseSimBoards(m_dir.path(), QStringLiteral("case%1").arg(m_case),
                          "[System]\nLogLevel=3\nLogFile=" + log.toLocal8Bit() + "\n" +
                              systemLines +
                              "[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\n"
                              "[Board1]\nType=2801\nCardNo=3\nInputs=64\n"))
            return {};
        return log;
    }

    // The calls of the log, without timestamps, statuses and out-values.
    static QStringList LoggedCalls(const QString &log)
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList calls;
        static const QRegularExpression call(
            QStringLiteral("^\\S+ (DXS_\\w+\\([^)]*\\)) -> (-?\\d+)"));
        for (const QByteArray &line : f.readAll().split('\n')) {
            const auto m = call.match(QString::fromLocal8Bit(line));
            if (m.hasMatch())
                calls << m.captured(1) + " -> " + m.captured(2);
        }
        return calls;
    }

    QString appDir() const { return m_dir.filePath("app"); }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        QVERIFY(QDir().mkpath(appDir()));
    }

    void cleanup() { QFile::remove(QDir(appDir()).filePath("Orvane.ini")); }

    void loadsTheBoardsAndUnloadsAtTheEnd()
    {
        const QString log = useBoards({});
        {
            CVelmarApp app(appDir());
            QVERIFY(app.InitInstance());
            QVERIFY(app.mainFrame()->isVisible());
            QCOMPARE(app.mainFrame()->controllerSelector()->count(), 2);
            QCOMPARE(app.mainFrame()->controllerSelector()->itemText(1), QString("3 : QRX-LN64DI"));
            app.ExitInstance();
        }
        const QStringList calls = LoggedCalls(log);
        QVERIFY2(calls.size() >= 5, qPrintable(calls.join('\n')));
        QCOMPARE(calls.mid(0, 2),
                 QStringList({"DXS_devSysLoad(mode=0) -> 0", "DXS_devGnGetMotDevMap() -> 0"}));
        QVERIFY(calls[2].startsWith("DXS_devConParamLoad(card=0)"));
        QVERIFY(calls[3].startsWith("DXS_devConParamLoad(card=3)"));
        QCOMPARE(calls.last(), QString("DXS_devSysUnload() -> 0"));
        QCOMPARE(calls.filter("DXS_devGnGetDioNum").size(), 2);
    }

    void treeShowsTheBuiltInBoards()
    {
        useBoards({});
        qputenv("QRXSIM_CONFIG", ""); // the simulator's own four boards
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        CVL_WsSysWnd *tree = app.mainFrame()->systemTree();
        QStringList lines;
        for (QTreeWidgetItemIterator it(tree); *it; ++it)
            lines << QString((*it)->parent() ? ((*it)->parent()->parent() ? "    " : "  ") : "") +
                    (*it)->text(0) + ((*it)->font(0).bold() ? " [bold]" : "");
        QCOMPARE(lines,
                 QStringList(
                     {"QRX-LxxxDIO [bold]", "  Dll Ver. : 1.2.3.4", "  0 : QRX-LM32DIO [bold]",
                      "    DO : 32", "    D I : 32", "    Firmware Ver. : 1.2", "  1 : QRX-LN64DIO",
                      "    DO : 64", "    D I : 64", "    Firmware Ver. : 1.5", "  2 : QRX-LN64DI",
                      "    DO :  0", "    D I : 64", "    Firmware Ver. : 2.1", "  3 : QRX-LN32DO",
                      "    DO : 32", "    D I :  0", "    Firmware Ver. : 7.7"}));

        QComboBox *selector = app.mainFrame()->controllerSelector();
        QCOMPARE(selector->itemText(2), QString("2 : QRX-LN64DI"));
        selector->setCurrentIndex(2);
        emit selector->activated(2);
        QCOMPARE(app.mainFrame()->boardModel().activeCardNo(), 2);
        QVERIFY(tree->cardItems[2]->font(0).bold());
        QVERIFY(!tree->cardItems[0]->font(0).bold());
        QCOMPARE(tree->dropHighlightItem(), tree->cardItems[2]);
    }

    void openModeQuestionRetriesInTheOtherMode()
    {
        const QString log = useBoards("RequiredMode=1\n");
        ScriptedMessageBoxes boxes(kIdYes);
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        QCOMPARE(boxes.texts(),
                 QStringList{"Controller Open Mode Error.\nDo you want to reload the controller?"});
        QCOMPARE(LoggedCalls(log).mid(0, 2),
                 QStringList({"DXS_devSysLoad(mode=0) -> -1038", "DXS_devSysLoad(mode=1) -> 0"}));
        QCOMPARE(app.mainFrame()->loadingMode(), 1);
    }

    void failedLoadEndsWithoutUnload()
    {
        const QString log = useBoards("LoadStatus=-1030\n");
        ScriptedMessageBoxes boxes;
        {
            CVelmarApp app(appDir());
            QVERIFY(!app.InitInstance());
            QCOMPARE(app.mainFrame(), nullptr);
        }
        QCOMPARE(boxes.texts(), QStringList{"Fail! Controller Not Found Error..."});
        QCOMPARE(LoggedCalls(log), QStringList{"DXS_devSysLoad(mode=0) -> -1030"});
    }

    void unusableLibraryIsReported_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("detail");
        QTest::newRow("missing") << m_dir.filePath("none/libqrxDApiLmd_x64.so")
                                 << "none/libqrxDApiLmd_x64.so";
        QTest::newRow("lacks a function")
            << qEnvironmentVariable("ORVANE_INCOMPLETE_LIB") << "DXS_devDLogSetFile";
    }

    void unusableLibraryIsReported()
    {
        QFETCH(QString, library);
        QFETCH(QString, detail);
        qputenv("ORVANE_DEVICE_LIBRARY", library.toLocal8Bit());
        ScriptedMessageBoxes boxes;
        CVelmarApp app(appDir());
        QVERIFY(!app.InitInstance());
        QCOMPARE(app.mainFrame(), nullptr);
        QCOMPARE(boxes.texts(), QStringList{"Fail! Load Device Driver..."});
        QVERIFY2(boxes.asked[0].informative.contains(detail),
                 qPrintable(boxes.asked[0].informative));
    }
};

QTEST_MAIN(TestStartupSim)
#include "tst_startup_sim.moc"

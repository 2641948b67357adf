// Fault injection end to end: the real application object binds a device library that is not
// one, or loads the simulated library with boards that are odd but legal for it, and the
// operator's session of FaultsOperator.h runs against the real library. The simulator's log
// names every call it refused. The library cases tst_startup_sim.cpp already covers (a missing
// file, a library that lacks one function) are not repeated.
#include "FaultsOperator.h"
#include "ScriptedMessageBoxes.h"
#include "SimBoards.h"
#include "app/VelmarApp.h"
#include "app/Views.h"
#include "device/SystemInfo.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

class TestFaultsSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;

    QString appDir() const { return m_dir.filePath(QStringLiteral("app")); }
    QString settingsFile() const { return QDir(appDir()).filePath(QStringLiteral("Orvane.ini")); }

    // A board file with a level-2 log (the calls that change something, and every refused
    // call) and the given sections, a fresh state file and data folder; answers the log's path.
    QString useBoards(const QByteArray &sections)
    {
        ++m_case;
        const QString log = m_dir.filePath(QStringLiteral("case%1.dbg").arg(m_case));
        const QString data = m_dir.filePath(QStringLiteral("data%1").arg(m_case));
        if (!UseSimBoards(m_dir.path(), QStringLiteral("case%1").arg(m_case),
                          "[System]\nLogLevel=2\nLogFile=" + log.toLocal8Bit() +
                              "\nDataDir=" + data.toLocal8Bit() + "\n" + sections))
            return {};
        return log;
    }

    static QStringList LogLines(const QString &log)
    {
        QFile f(log);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        return QString::fromLocal8Bit(f.readAll()).split(u'\n', Qt::SkipEmptyParts);
    }

    // The calls the simulator refused, but those the program makes knowingly:
    // - a parameter load before any parameter file was saved;
    // - a bit of a grey output button (a click reads and writes it whether or not it exists);
    // - card 0, whose library version the tree reads with an empty map, when no board has
    //   that number.
    static QStringList UnexpectedRefusals(const QStringList &lines, bool noCardZero)
    {
        static const QRegularExpression refused(QStringLiteral(" (DXS_\\w+)\\((.*)\\) -> (-\\d+)"));
        QStringList wrong;
        for (const QString &line : lines) {
            const auto m = refused.match(line);
            if (!m.hasMatch())
                continue;
            const QString call = m.captured(1) + u'(' + m.captured(2) + u')';
            const int status = m.captured(3).toInt();
            if (call.startsWith(QLatin1String("DXS_devConParamLoad(")) && status == -2020)
                continue;
            if ((call.startsWith(QLatin1String("DXS_devDoGetBit(")) ||
                 call.startsWith(QLatin1String("DXS_devDoSetBit("))) &&
                status == -2003)
                continue;
            if (noCardZero && status == -2002 &&
                call == QLatin1String("DXS_devConGetMApiVersion(card=0)"))
                continue;
            wrong << line;
        }
        return wrong;
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
        QVERIFY(QDir().mkpath(appDir()));
    }

    void cleanup()
    {
        QFile::remove(settingsFile());
        qputenv("ORVANE_DEVICE_LIBRARY", "");
        FaultsOperator::Settle();
    }

    void unusableLibraryEndsStartUp_data()
    {
        QTest::addColumn<QString>("library");
        const QString text = m_dir.filePath(QStringLiteral("text/libqrxDApiLmd_x64.so"));
        const QString empty = m_dir.filePath(QStringLiteral("empty/libqrxDApiLmd_x64.so"));
        const QString folder = m_dir.filePath(QStringLiteral("folder/libqrxDApiLmd_x64.so"));
        QVERIFY(QDir().mkpath(QFileInfo(text).path()));
        QVERIFY(QDir().mkpath(QFileInfo(empty).path()));
        QVERIFY(QDir().mkpath(folder));
        QFile f(text);
        QVERIFY(f.open(QIODevice::WriteOnly));
        f.write("\x7f"
                "ELF but not really a shared library\n");
        f.close();
        QFile e(empty);
        QVERIFY(e.open(QIODevice::WriteOnly));
        e.close();
        QTest::newRow("not a shared library") << text;
        QTest::newRow("an empty file") << empty;
        QTest::newRow("a folder") << folder;
        QTest::newRow("a program") << qEnvironmentVariable("QRXSIM_TOOL");
        const QString fifo = m_dir.filePath(QStringLiteral("fifo/libqrxDApiLmd_x64.so"));
        QVERIFY(QDir().mkpath(QFileInfo(fifo).path()));
        QCOMPARE(mkfifo(QFile::encodeName(fifo).constData(), 0600), 0);
        QTest::newRow("a FIFO") << fifo;
    }

    void unusableLibraryEndsStartUp()
    {
        QFETCH(QString, library);
        qputenv("ORVANE_DEVICE_LIBRARY", library.toLocal8Bit());
        ScriptedMessageBoxes boxes;
        {
            CVelmarApp app(appDir());
            alarm(60); // a start-up that blocks ends the test instead of holding it
            QVERIFY(!app.InitInstance());
            alarm(0);
            QCOMPARE(app.mainFrame(), nullptr);
        }
        QCOMPARE(boxes.texts(), QStringList{"Fail! Load Device Driver..."});
        QCOMPARE(boxes.asked[0].buttons, MessageBoxRequest::Ok);
        QVERIFY2(boxes.asked[0].informative.contains(QDir::toNativeSeparators(library)),
                 qPrintable(boxes.asked[0].informative));
        // No settings file: start-up ended before the frame was made.
        QVERIFY(!QFileInfo::exists(settingsFile()));
    }

    void startAndOperate_data()
    {
        QTest::addColumn<QByteArray>("boards"); // the board file's board sections; "" built-in
        QTest::addColumn<QByteArray>("settings"); // the settings file, when there is one
        QTest::addColumn<QStringList>("startQuestions");
        QTest::addColumn<int>("cardNodes");
        const QStringList none;
        const QString openMode =
            QStringLiteral("Controller Open Mode Error.\nDo you want to reload the controller?");

        QTest::newRow("the built-in boards") << QByteArray() << QByteArray() << none << 4;
        QByteArray sixteen;
        for (int i = 0; i < 16; ++i)
            sixteen += QStringLiteral("[Board%1]\nType=%2\nCardNo=%3\nInputs=64\nOutputs=64\n"
                                      "Loopback=%4\n")
                           .arg(i)
                           .arg(i % 2 ? 2803 : 174)
                           .arg(15 - i)
                           .arg(i % 2)
                           .toLatin1();
        QTest::newRow("16 boards, card numbers backwards") << sixteen << QByteArray() << none << 16;
        QTest::newRow("unknown type code")
            << QByteArray("[Board0]\nType=999\nCardNo=0\nInputs=32\nOutputs=32\n"
                          "[Board1]\nType=2801\nCardNo=1\nInputs=64\nPattern=walk\n")
            << QByteArray() << none << 1;
        QTest::newRow("two boards with card number 2")
            << QByteArray("[Board0]\nType=174\nCardNo=2\nInputs=32\nOutputs=32\nLoopback=1\n"
                          "[Board1]\nType=2803\nCardNo=2\nInputs=64\nOutputs=64\n")
            << QByteArray() << none << 2;
        QTest::newRow("0 inputs and outputs")
            << QByteArray("[Board0]\nType=174\nCardNo=0\n[Board1]\nType=2802\nCardNo=1\n")
            << QByteArray() << none << 2;
        QTest::newRow("24 and 48 points")
            << QByteArray("[Board0]\nType=2803\nCardNo=0\nInputs=24\nOutputs=48\n"
                          "[Board1]\nType=2801\nCardNo=1\nInputs=48\nPattern=counter\n")
            << QByteArray() << none << 2;
        QTest::newRow("no board") << QByteArray("") << QByteArray() << none << 0;
        // The library answers -1038 to a mode other than 0 and 1; Yes goes on with mode 0.
        QTest::newRow("stored loading mode 5")
            << QByteArray() << QByteArray("[System]\nController_Loading_Mode=5\n")
            << QStringList{openMode} << 4;
    }

    void startAndOperate()
    {
        QFETCH(QByteArray, boards);
        QFETCH(QByteArray, settings);
        QFETCH(QStringList, startQuestions);
        QFETCH(int, cardNodes);
        const QString log = useBoards(boards);
        if (boards.isNull())
            qputenv("QRXSIM_CONFIG", "");
        if (!settings.isNull()) {
            QFile f(settingsFile());
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(settings);
        }
        ScriptedMessageBoxes boxes(kIdYes);
        CVelmarApp app(appDir());
        QVERIFY(app.InitInstance());
        QCOMPARE(boxes.texts(), startQuestions);
        CVL_MainFrame *frame = app.mainFrame();
        int nodes = 0;
        for (const QTreeWidgetItem *item : frame->systemTree()->cardItems)
            nodes += item != nullptr;
        QCOMPARE(nodes, cardNodes);

        const QStringList titles = FaultsOperator::Operate(frame);
        QCOMPARE(titles,
                 QStringList({"Save Parameter", "System Reset", "Log Level Setup",
                              "System Environment Setup", "About Orvane"}));
        app.ExitInstance();
        FaultsOperator::Settle();
        QCOMPARE(CChildFrame::OpenCount(), 0);

        if (boards.isNull())
            return; // the built-in boards log nothing
        const QStringList lines = LogLines(log);
        QVERIFY(!lines.isEmpty());
        // The last call unloads the system, unless the map was empty.
        QCOMPARE(lines.back().contains(" DXS_devSysUnload() -> 0"), !boards.isEmpty());
        const QStringList wrong = UnexpectedRefusals(lines, !boards.contains("CardNo=0\n"));
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join('\n')));
    }
};

QTEST_MAIN(TestFaultsSim)
#include "tst_faults_sim.moc"

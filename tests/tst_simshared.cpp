// Several processes on one set of simulated boards: this test with the library loaded, a
// second process that loads the library too (this very program, started with --helper), and
// the qrxsim tool, whose exit codes and output are checked against what the library reads.
#include "OrvaneBuild.h"
#include "SimBoards.h"
#include "device/CardCatalogue.h"
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"

#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <unistd.h>

namespace {

constexpr int kWait = 30000; // generous: only a hung process runs into it

// Card 0: 32/32 in loopback. Card 5: 64 inputs, 16 outputs, no loopback. Card 9: 8 outputs.
const char kBoards[] = R"([Board0]
Type=174
CardNo=0
Inputs=32
Outputs=32
Loopback=1
[Board1]
Type=2803
CardNo=5
Inputs=64
Outputs=16
Firmware=0x21
[Board2]
Type=2802
CardNo=9
Outputs=8
)";

// The second library process: loads the library and runs one command, printing the result.
//   --helper load             prints the load status
//   --helper set CARD BIT V   writes an output
//   --helper get CARD BIT     prints an input
//   --helper save-loop CARD   prints "saving" and saves the board's parameters until killed
//   --helper full-disk        on a full file system (see onAFullDisk): prints the load status
//                             with the state file there, then with QRXSIM_STATE_OUTSIDE, then
//                             the status of a parameter save of card 5, the parameter file
//                             afterwards and the files of the data folder
int RunHelper(const QStringList &args)
{
    DeviceLibrary library;
    DeviceLoadError error;
    if (!library.Load(qEnvironmentVariable("ORVANE_SIMLIB"), &error))
        return 100;
    const DeviceTable &dev = library.Table();
    int32_t count = 0;
    const int32_t loaded = dev.DXS_devSysLoad(DXS_LOAD_AUTO, &count);
    QTextStream out(stdout);
    if (args.value(0) == "full-disk") {
        out << loaded << Qt::endl;
        qputenv("QRXSIM_STATE", qgetenv("QRXSIM_STATE_OUTSIDE"));
        out << dev.DXS_devSysLoad(DXS_LOAD_AUTO, &count) << Qt::endl;
        dev.DXS_devDiSetFilterTime(5, 0, 9);
        out << dev.DXS_devConParamSave(5) << Qt::endl;
        const QString data = qEnvironmentVariable("FULL_DISK") + "/data";
        QFile file(data + "/card5.prm");
        out << (file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("unreadable"));
        out << QDir(data).entryList(QDir::Files | QDir::System | QDir::Hidden).join(' ') << "\n";
        dev.DXS_devSysUnload();
        return 0;
    }
    if (args.value(0) == "load") {
        out << loaded << Qt::endl;
        return 0;
    }
    if (loaded < 0)
        return 101;
    int32_t status = -1;
    if (args.value(0) == "save-loop" && args.size() == 2) {
        out << "saving" << Qt::endl;
        while (dev.DXS_devConParamSave(args[1].toInt()) == 0) {
        }
        return 103;
    }
    if (args.value(0) == "set" && args.size() == 4) {
        status = dev.DXS_devDoSetBit(args[1].toInt(), args[2].toInt(), args[3].toInt());
    } else if (args.value(0) == "get" && args.size() == 3) {
        int32_t value = -1;
        status = dev.DXS_devDiGetBit(args[1].toInt(), args[2].toInt(), &value);
        out << value << Qt::endl;
    }
    dev.DXS_devSysUnload();
    return status == 0 ? 0 : 102;
}

using Run = ToolRun;

} // namespace

class TestSimShared : public QObject
{
    Q_OBJECT

    DeviceLibrary m_library;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    void useBoardFile(const QByteArray &text)
    {
        QFile file(path("qrxsim.ini"));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        qputenv("QRXSIM_CONFIG", path("qrxsim.ini").toLocal8Bit());
    }

    static Run tool(const QStringList &args) { return Qrxsim(args); }
    static Run helper(const QStringList &args)
    {
        return RunTool(QCoreApplication::applicationFilePath(), QStringList{"--helper"} + args);
    }

    static uint64_t inputWord(int32_t card, int inputs)
    {
        uint64_t word = 0;
        for (int bit = 0; bit < inputs; ++bit) {
            int32_t v = 0;
            if (Dev().DXS_devDiGetBit(card, bit, &v) != 0)
                return ~uint64_t(0);
            word |= uint64_t(v != 0) << bit;
        }
        return word;
    }

    static int32_t output(int32_t card, int32_t bit)
    {
        int32_t v = -1;
        return Dev().DXS_devDoGetBit(card, bit, &v) == 0 ? v : -1;
    }

    static QString hex(uint64_t word)
    {
        return QString::asprintf("0x%016llX", static_cast<unsigned long long>(word));
    }

    // The next line a running watch prints.
    static QString nextLine(QProcess &watch)
    {
        while (!watch.canReadLine())
            if (!watch.waitForReadyRead(kWait))
                return {};
        return QString::fromLocal8Bit(watch.readLine()).trimmed();
    }

private slots:
    void initTestCase()
    {
        DeviceLoadError error;
        QVERIFY2(m_library.Load(qEnvironmentVariable("ORVANE_SIMLIB"), &error),
                 qPrintable(error.text()));
        SetDeviceTable(m_library.Table());
        QVERIFY(QFile::exists(qEnvironmentVariable("QRXSIM_TOOL")));
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("QRXSIM_STATE", path("state").toLocal8Bit());
        useBoardFile(kBoards);
        int32_t count = 0;
        QCOMPARE(Dev().DXS_devSysLoad(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(count, 3);
    }

    void cleanup() { Dev().DXS_devSysUnload(); }

    void twoLibraryProcessesSeeEachOthersOutputs()
    {
        const Run set = helper({"set", "0", "5", "1"});
        QCOMPARE(set.status, 0);
        QCOMPARE(output(0, 5), 1);
        QCOMPARE(inputWord(0, 32), uint64_t(1) << 5); // loopback

        QCOMPARE(Dev().DXS_devDoSetBit(0, 6, 1), 0);
        const Run get = helper({"get", "0", "6"});
        QCOMPARE(get.status, 0);
        QCOMPARE(get.out, QString("1\n"));
    }

    void badBoardFileIsReportedOnStderr()
    {
        useBoardFile("[Board0]\nType=174\n");
        const Run r = helper({"load"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QString("-2011\n"));
        QVERIFY2(r.err.startsWith("qrxsim: " + path("qrxsim.ini") + ":1: "), qPrintable(r.err));
        QVERIFY(r.err.contains("CardNo"));
    }

    void toolReadsWhatTheLibraryWrote()
    {
        QCOMPARE(Dev().DXS_devDoSetBit(5, 0, 1), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(5, 15, 1), 0);
        Run r = tool({"get", "5", "out"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QString("0x0000000000008001\n"));
        QVERIFY(r.err.isEmpty());
        // No loopback on card 5: its inputs stay off.
        r = tool({"get", "5", "in"});
        QCOMPARE(r.out, QString("0x0000000000000000\n"));
    }

    void libraryReadsWhatTheToolHolds()
    {
        QCOMPARE(tool({"set", "5", "in", "63", "1"}).status, 0);
        QCOMPARE(tool({"set", "5", "in", "3", "1"}).status, 0);
        QCOMPARE(inputWord(5, 64), (uint64_t(1) << 63) | 8);
        QCOMPARE(tool({"set", "5", "in", "63", "0"}).status, 0);
        QCOMPARE(inputWord(5, 64), uint64_t(8));
        QCOMPARE(tool({"set", "5", "in-word", "0xF0000000000000F0"}).status, 0);
        QCOMPARE(inputWord(5, 64), 0xF0000000000000F0ull);
        QCOMPARE(tool({"set", "5", "in-word", "1"}).status, 0);
        QCOMPARE(inputWord(5, 64), uint64_t(1));
        // Held inputs are the wiring: a board reset leaves them.
        QCOMPARE(Dev().DXS_devConInit(5), 0);
        QCOMPARE(inputWord(5, 64), uint64_t(1));
    }

    void getInShowsHeldAndLoopbackAsTheLibraryReads()
    {
        QCOMPARE(Dev().DXS_devDoSetBit(0, 0, 1), 0);
        QCOMPARE(tool({"set", "0", "in", "31", "1"}).status, 0);
        const uint64_t word = inputWord(0, 32);
        QCOMPARE(word, 0x80000001ull);
        const Run r = tool({"get", "0", "in"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, hex(word) + "\n");
    }

    void listsTheBoards()
    {
        Run r = tool({"boards"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out,
                 QString("position=0 card=0 type=174 model=\"QRX-LM32DIO\" inputs=32 outputs=32\n"
                         "position=1 card=5 type=2803 model=\"QRX-LN16DIO\" inputs=64 outputs=16\n"
                         "position=2 card=9 type=2802 model=\"QRX-LN 8DO\" inputs=0 outputs=8\n"));
        // Without a board file, the built-in boards.
        qputenv("QRXSIM_CONFIG", "");
        qputenv("QRXSIM_STATE", path("builtin-state").toLocal8Bit());
        r = tool({"boards"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.count('\n'), 4);
        QVERIFY(r.out.contains("position=3 card=3 type=2802 model=\"QRX-LN32DO\" inputs=0 "
                               "outputs=32\n"));
    }

    void boardsShowTheModelNameOfTheTree()
    {
        // Every known type with a count of one and of two digits, none, and an unknown type.
        QByteArray text;
        const int32_t boards[][3] = {{174, 0, 8},   {174, 64, 32}, {2801, 24, 0}, {2801, 8, 8},
                                     {2802, 0, 64}, {2802, 5, 0},  {2803, 48, 7}, {2803, 0, 16},
                                     {999, 32, 32}, {-1, 0, 0}};
        for (int i = 0; i < 10; ++i)
            text += QString("[Board%1]\nType=%2\nCardNo=%1\nInputs=%3\nOutputs=%4\n")
                        .arg(i)
                        .arg(boards[i][0])
                        .arg(boards[i][1])
                        .arg(boards[i][2])
                        .toLatin1();
        useBoardFile(text);
        const QStringList lines = tool({"boards"}).out.split('\n', Qt::SkipEmptyParts);
        QCOMPARE(lines.size(), 10);
        for (int i = 0; i < 10; ++i) {
            const QByteArray name = BoardName(boards[i][0], boards[i][1], boards[i][2]);
            QCOMPARE(lines[i],
                     QString("position=%1 card=%1 type=%2 model=\"%3\" inputs=%4 "
                             "outputs=%5")
                         .arg(i)
                         .arg(boards[i][0])
                         .arg(QString::fromLatin1(name))
                         .arg(boards[i][1])
                         .arg(boards[i][2]));
        }
    }

    void showsABoard()
    {
        QCOMPARE(Dev().DXS_devDiSetFilterEnable(5, 0, 1), 0);
        QCOMPARE(Dev().DXS_devDiSetFilterTime(5, 0, 12), 0);
        QCOMPARE(Dev().DXS_devConSetCheckOn(5, 1), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(5, 4, 1), 0);
        QCOMPARE(tool({"set", "5", "in", "1", "1"}).status, 0);
        const Run r = tool({"show", "5"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out.split('\n'),
                 QStringList({"card 5 at position 1: type 2803, firmware 0x21",
                              "inputs:  64  0x0000000000000002  (held 0x0000000000000002, "
                              "loopback off, pattern none)",
                              "outputs: 16  0x0000000000000010", "filter:  enabled, time code 12",
                              "run led: on", ""}));
    }

    void statuss_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("help") << QStringList{"--help"} << 0 << "Usage: qrxsim"
                              << "";
        QTest::newRow("version") << QStringList{"--version"} << 0
                                 << QStringLiteral("qrxsim " ORVANE_VERSION "\n") << "";
        QTest::newRow("help with more") << QStringList{"--help", "extra"} << 2 << ""
                                        << "takes no arguments";
        QTest::newRow("version with more") << QStringList{"--version", "extra"} << 2 << ""
                                           << "takes no arguments";
        QTest::newRow("no command") << QStringList() << 2 << ""
                                    << "a command is missing";
        QTest::newRow("unknown command") << QStringList{"jump"} << 2 << ""
                                         << "unknown command";
        QTest::newRow("too many") << QStringList{"boards", "1"} << 2 << ""
                                  << "number of arguments";
        QTest::newRow("too few") << QStringList{"get", "0"} << 2 << ""
                                 << "number of arguments";
        QTest::newRow("no such card") << QStringList{"show", "1"} << 2 << ""
                                      << "no board has the card number 1";
        QTest::newRow("card not a number") << QStringList{"show", "x1"} << 2 << ""
                                           << "not a card number";
        QTest::newRow("negative card") << QStringList{"show", "-1"} << 2 << ""
                                       << "not a card number";
        QTest::newRow("neither in nor out") << QStringList{"get", "0", "up"} << 2 << ""
                                            << "neither in nor out";
        QTest::newRow("bit beyond the inputs")
            << QStringList{"set", "0", "in", "32", "1"} << 2 << ""
            << "not an input of card 0 (0..31)";
        QTest::newRow("bit not a number") << QStringList{"set", "0", "in", "b", "1"} << 2 << ""
                                          << "not an input";
        QTest::newRow("input of an output board")
            << QStringList{"set", "9", "in", "0", "1"} << 2 << ""
            << "\"0\" is not an input of card 9 (it has none)\n";
        QTest::newRow("word of an output board")
            << QStringList{"set", "9", "in-word", "1"} << 2 << ""
            << "1 sets bits that are not inputs of card 9 (it has none)\n";
        QTest::newRow("value 2") << QStringList{"set", "0", "in", "1", "2"} << 2 << ""
                                 << "0 or 1";
        QTest::newRow("outputs are not set") << QStringList{"set", "0", "out", "1", "1"} << 2 << ""
                                             << "set takes";
        QTest::newRow("word beyond the inputs")
            << QStringList{"set", "0", "in-word", "0x100000000"} << 2 << ""
            << "beyond the 32 inputs";
        QTest::newRow("word not hex") << QStringList{"set", "0", "in-word", "0xG"} << 2 << ""
                                      << "not a hexadecimal word";
        QTest::newRow("word of 17 digits")
            << QStringList{"set", "5", "in-word", "0x10000000000000000"} << 2 << ""
            << "not a hexadecimal word";
        QTest::newRow("good set") << QStringList{"set", "0", "in", "0", "1"} << 0 << ""
                                  << "";
        QTest::newRow("good word") << QStringList{"set", "0", "in-word", "ffffffff"} << 0 << ""
                                   << "";
    }

    void statuss()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const Run r = tool(args);
        QCOMPARE(r.status, status);
        QVERIFY2(out.isEmpty() ? r.out.isEmpty() : r.out.contains(out), qPrintable(r.out));
        if (err.isEmpty()) {
            QVERIFY2(r.err.isEmpty(), qPrintable(r.err));
        } else {
            QVERIFY2(r.err.startsWith("qrxsim: ") && r.err.contains(err), qPrintable(r.err));
            QVERIFY(r.err.endsWith("Try \"qrxsim --help\".\n"));
        }
        // A refused command changes nothing.
        if (status != 0)
            QCOMPARE(inputWord(0, 32), uint64_t(0));
    }

    void twentyFourInputsAreZeroToSevenAndSixteenUp_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<uint64_t>("word");
        QTest::addColumn<QString>("err");
        const QString range = "not an input of card 2 (0..7, 16..31)";
        QTest::newRow("7") << QStringList{"in", "7", "1"} << uint64_t(0x80) << "";
        QTest::newRow("16") << QStringList{"in", "16", "1"} << uint64_t(0x10000) << "";
        QTest::newRow("31") << QStringList{"in", "31", "1"} << uint64_t(0x80000000) << "";
        QTest::newRow("8") << QStringList{"in", "8", "1"} << uint64_t(0) << range;
        QTest::newRow("9") << QStringList{"in", "9", "1"} << uint64_t(0) << range;
        QTest::newRow("15") << QStringList{"in", "15", "1"} << uint64_t(0) << range;
        QTest::newRow("23, set off") << QStringList{"in", "23", "0"} << uint64_t(0) << "";
        QTest::newRow("32") << QStringList{"in", "32", "1"} << uint64_t(0) << range;
        QTest::newRow("every input")
            << QStringList{"in-word", "FFFF00FF"} << uint64_t(0xFFFF00FF) << "";
        QTest::newRow("word with 8") << QStringList{"in-word", "0x100"} << uint64_t(0)
                                     << "0x100 sets bits that are not inputs of card 2 "
                                        "(0..7, 16..31)";
    }

    void twentyFourInputsAreZeroToSevenAndSixteenUp()
    {
        QFETCH(QStringList, args);
        QFETCH(uint64_t, word);
        QFETCH(QString, err);
        useBoardFile("[Board0]\nType=2801\nCardNo=2\nInputs=24\n");
        int32_t count = 0;
        QCOMPARE(Dev().DXS_devSysLoad(DXS_LOAD_AUTO, &count), 0);
        const Run r = tool(QStringList{"set", "2"} + args);
        QCOMPARE(r.status, err.isEmpty() ? 0 : 2);
        QVERIFY2(err.isEmpty() ? r.err.isEmpty() : r.err.contains(err), qPrintable(r.err));
        QCOMPARE(inputWord(2, 32), word);
        QCOMPARE(tool({"get", "2", "in"}).out, hex(word) + "\n");
    }

    void lostOutputExitsWithOne_data()
    {
        QTest::addColumn<QString>("redirect");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QString full = ">/dev/full", closed = ">&-";
        const QString noSpace = "qrxsim: the output was not written: No space left on device\n";
        const QString badFd = "qrxsim: the output was not written: Bad file descriptor\n";
        QTest::newRow("get, full") << full << QStringList{"get", "0", "in"} << 1 << noSpace;
        QTest::newRow("boards, full") << full << QStringList{"boards"} << 1 << noSpace;
        QTest::newRow("help, full") << full << QStringList{"--help"} << 1 << noSpace;
        QTest::newRow("version, full") << full << QStringList{"--version"} << 1 << noSpace;
        QTest::newRow("watch, full") << full << QStringList{"watch", "0"} << 1 << noSpace;
        QTest::newRow("show, closed") << closed << QStringList{"show", "0"} << 1 << badFd;
        QTest::newRow("reset, closed") << closed << QStringList{"reset"} << 1 << badFd;
        // Nothing to write, nothing lost.
        QTest::newRow("set, full") << full << QStringList{"set", "0", "in", "1", "1"} << 0 << "";
        QTest::newRow("set, closed")
            << closed << QStringList{"set", "0", "in", "1", "0"} << 0 << "";
    }

    void lostOutputExitsWithOne()
    {
        QFETCH(QString, redirect);
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, err);
        const Run r = RunTool("/bin/sh",
                              QStringList{"-c", "exec \"$0\" \"$@\" " + redirect,
                                          qEnvironmentVariable("QRXSIM_TOOL")} +
                                  args);
        QCOMPARE(r.status, status);
        QCOMPARE(r.err, err);
    }

    void boardFileFailuresExitWithOne_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("err");
        QTest::newRow("bad value") << QByteArray("[Board0]\nType=1\nCardNo=0\nInputs=65\n")
                                   << ":4: Inputs 65 is outside 0..64";
        QTest::newRow("missing file") << QByteArray() << "does not exist";
    }

    void boardFileFailuresExitWithOne()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, err);
        if (text.isEmpty())
            qputenv("QRXSIM_CONFIG", path("none.ini").toLocal8Bit());
        else
            useBoardFile(text);
        for (const QStringList &args :
             {QStringList{"boards"}, QStringList{"get", "0", "in"}, QStringList{"reset"}}) {
            const Run r = tool(args);
            QCOMPARE(r.status, 1);
            QVERIFY(r.out.isEmpty());
            QVERIFY2(r.err.startsWith("qrxsim: ") && r.err.contains(err), qPrintable(r.err));
        }
    }

    void stateFileFailureExitsWithOne()
    {
        qputenv("QRXSIM_STATE", path("missing/folder/state").toLocal8Bit());
        const Run r = tool({"boards"});
        QCOMPARE(r.status, 1);
        QVERIFY2(r.err.contains("state file"), qPrintable(r.err));
    }

    void resetRebuildsTheStateUnderTheLibrary()
    {
        QCOMPARE(Dev().DXS_devDoSetBit(0, 2, 1), 0);
        QCOMPARE(Dev().DXS_devDiSetFilterTime(0, 0, 7), 0);
        QCOMPARE(tool({"set", "5", "in", "9", "1"}).status, 0);
        const Run r = tool({"reset"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, path("state") + ": rebuilt for 3 boards from " + path("qrxsim.ini") + "\n");
        // The library, still loaded, sees the fresh state at once.
        QCOMPARE(output(0, 2), 0);
        QCOMPARE(inputWord(5, 64), uint64_t(0));
        int32_t code = -1;
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, 0);
        // One board is a board.
        useBoardFile("[Board0]\nType=174\nCardNo=0\n");
        QVERIFY(tool({"reset"}).out.endsWith(": rebuilt for 1 board from " + path("qrxsim.ini") +
                                             "\n"));
    }

    void watchPrintsEachChangeUntilStopped_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("SIGTERM") << int(SIGTERM);
        QTest::newRow("SIGINT") << int(SIGINT);
    }

    void watchPrintsEachChangeUntilStopped()
    {
        QFETCH(int, signal);
        QProcess watch;
        watch.start(qEnvironmentVariable("QRXSIM_TOOL"), {"watch", "0"});
        QVERIFY(watch.waitForStarted(kWait));
        QCOMPARE(nextLine(watch), QString("in=0x0000000000000000 out=0x0000000000000000"));
        QCOMPARE(Dev().DXS_devDoSetBit(0, 2, 1), 0);
        QCOMPARE(nextLine(watch), QString("in=0x0000000000000004 out=0x0000000000000004"));
        QCOMPARE(tool({"set", "0", "in", "8", "1"}).status, 0);
        QCOMPARE(nextLine(watch), QString("in=0x0000000000000104 out=0x0000000000000004"));
        // Changes in quick succession may fold into one line, but the last state shows.
        QCOMPARE(Dev().DXS_devDoSetBit(0, 2, 1), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 2, 0), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 31, 1), 0);
        const QString last = nextLine(watch);
        QVERIFY2(last == "in=0x0000000080000100 out=0x0000000080000000" ||
                     last == "in=0x0000000000000100 out=0x0000000000000000",
                 qPrintable(last));

        ::kill(watch.processId(), signal);
        QVERIFY(watch.waitForFinished(kWait));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 0);
        QVERIFY(watch.readAllStandardError().isEmpty());
    }

    void concurrentFirstUseBuildsOneState()
    {
        // Several tools start together on a state file that does not exist yet; if one built
        // the file over another's, a held input would be lost.
        qputenv("QRXSIM_STATE", path("fresh-state").toLocal8Bit());
        std::vector<std::unique_ptr<QProcess>> tools;
        for (int bit = 0; bit < 8; ++bit) {
            tools.push_back(std::make_unique<QProcess>());
            tools.back()->start(qEnvironmentVariable("QRXSIM_TOOL"),
                                {"set", "5", "in", QString::number(bit * 7), "1"});
        }
        for (auto &p : tools) {
            QVERIFY(p->waitForFinished(kWait));
            QCOMPARE(p->exitCode(), 0);
        }
        int32_t count = 0;
        QCOMPARE(Dev().DXS_devSysLoad(DXS_LOAD_AUTO, &count), 0);
        uint64_t expected = 0;
        for (int bit = 0; bit < 8; ++bit)
            expected |= uint64_t(1) << (bit * 7);
        QCOMPARE(inputWord(5, 64), expected);
    }

    void watchEndsWhenTheStateFileIsCutShort()
    {
        QProcess watch;
        watch.start(qEnvironmentVariable("QRXSIM_TOOL"), {"watch", "0"});
        QVERIFY(watch.waitForStarted(kWait));
        QCOMPARE(nextLine(watch), QString("in=0x0000000000000000 out=0x0000000000000000"));
        QCOMPARE(::truncate(path("state").toLocal8Bit().constData(), 0), 0);
        QVERIFY(watch.waitForFinished(kWait));
        QCOMPARE(watch.exitStatus(), QProcess::NormalExit);
        QCOMPARE(watch.exitCode(), 1);
        QCOMPARE(QString::fromLocal8Bit(watch.readAllStandardError()),
                 "qrxsim: state file " + path("state") +
                     ": cut short while in use, its state is lost; the next command rebuilds "
                     "it\n");
        // So does it.
        QCOMPARE(tool({"set", "0", "in", "4", "1"}).status, 0);
        QCOMPARE(QFileInfo(path("state")).size(), qint64(664));
    }

    void onAFullDisk()
    {
        // A 64 KiB file system of its own, filled up, in a mount namespace of the helper's.
        const QString disk = path("disk");
        QVERIFY(QDir().mkpath(disk));
        useBoardFile("[System]\nDataDir=" + disk.toLocal8Bit() + "/data\nLogFile=" +
                     disk.toLocal8Bit() + "/qrxsim.dbg\nLogLevel=5\n" + QByteArray(kBoards));
        const QString script =
            "mount -t tmpfs -o size=64k tmpfs \"$FULL_DISK\" || exit 77; "
            "mkdir \"$FULL_DISK/data\" && printf 'Type=2803\\nFilterEnable=0\\nFilterTime=4\\n"
            "RunLed=0\\n' >\"$FULL_DISK/data/card5.prm\" || exit 78; "
            "dd if=/dev/zero of=\"$FULL_DISK/fill\" bs=4k 2>/dev/null; exec \"$@\"";
        QProcess p;
        QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
        env.insert("FULL_DISK", disk);
        env.insert("QRXSIM_STATE", disk + "/state");
        env.insert("QRXSIM_STATE_OUTSIDE", path("state"));
        p.setProcessEnvironment(env);
        // Root needs no user namespace; anyone else is root in one of their own.
        const QStringList unshare =
            geteuid() == 0 ? QStringList{"--mount"} : QStringList{"--mount", "--map-root-user"};
        p.start("unshare",
                unshare +
                    QStringList{"sh", "-c", script, "sh", QCoreApplication::applicationFilePath(),
                                "--helper", "full-disk"});
        QVERIFY(p.waitForFinished(kWait));
        const QString err = QString::fromLocal8Bit(p.readAllStandardError());
        if (p.exitStatus() == QProcess::NormalExit && p.exitCode() == 77)
            QSKIP(qPrintable("no file system of its own can be mounted here: " + err));
        QCOMPARE(p.exitStatus(), QProcess::NormalExit);
        QCOMPARE(p.exitCode(), 0);
        // The state file cannot be made: a load failure with its reason. Parameters are not
        // written, and the old file stays whole without a temporary beside it.
        QCOMPARE(QString::fromLocal8Bit(p.readAllStandardOutput()),
                 QString("-2012\n0\n-2022\nType=2803\nFilterEnable=0\nFilterTime=4\nRunLed=0\n"
                         "card5.prm\n"));
        QVERIFY2(err.contains("qrxsim: state file " + disk +
                              "/state: cannot reserve its space: "
                              "No space left on device"),
                 qPrintable(err));
    }

    void killedSavesLeaveNoTemporaryBehind()
    {
        useBoardFile("[System]\nDataDir=data\n" + QByteArray(kBoards));
        int32_t count = 0;
        QCOMPARE(Dev().DXS_devSysLoad(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(Dev().DXS_devConParamSave(5), 0);
        const QDir data(path("data"));
        const auto files = [&data] {
            return data.entryList(QDir::Files | QDir::System | QDir::Hidden);
        };
        int left = 0;
        for (int kill = 0; kill < 40; ++kill) {
            QProcess saver;
            saver.start(QCoreApplication::applicationFilePath(), {"--helper", "save-loop", "5"});
            QVERIFY(saver.waitForReadyRead(kWait));
            QThread::usleep(QRandomGenerator::global()->bounded(20000));
            ::kill(saver.processId(), SIGKILL);
            QVERIFY(saver.waitForFinished(kWait));
            QCOMPARE(saver.exitStatus(), QProcess::CrashExit);
            left += files().size() > 1;
        }
        qInfo("%d of 40 killed saves left a temporary file", left);
        QCOMPARE(Dev().DXS_devConParamSave(5), 0);
        QCOMPARE(files(), QStringList{"card5.prm"});
        QCOMPARE(Dev().DXS_devConParamLoad(5), 0);
    }

    void toolRebuildsAStateOfOtherBoards()
    {
        QCOMPARE(tool({"set", "5", "in", "4", "1"}).status, 0);
        // The same state file, now with card 5 as a 64-input board at position 0.
        useBoardFile("[Board0]\nType=2801\nCardNo=5\nInputs=64\n");
        const Run r = tool({"get", "5", "in"});
        QCOMPARE(r.status, 0);
        QCOMPARE(r.out, QString("0x0000000000000000\n"));
    }
};

int main(int argc, char **argv)
{
    if (argc > 1 && QByteArray(argv[1]) == "--helper") {
        QCoreApplication app(argc, argv);
        return RunHelper(app.arguments().mid(2));
    }
    QCoreApplication app(argc, argv);
    TestSimShared test;
    return QTest::qExec(&test, argc, argv);
}

#include "tst_simshared.moc"

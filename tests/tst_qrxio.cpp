// qrxio end to end: the tool runs as a process on the simulated boards, and its output, its
// messages and its exit status are compared; the simulator's log shows that it unloads.
#include "FakeDevice.h"
#include "QrxIo.h"
#include "SimBoards.h"
#include "device/CardCatalogue.h"
#include "history/ChangeFormat.h"
#include "history/HistoryWriter.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <ctime>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kWait = 30000; // generous: only a hung process runs into it

// Card numbers that are not positions; card 9 has a type the program does not know.
const QByteArray kBoards = R"([Board0]
Type=174
CardNo=0
Inputs=32
Outputs=32
Firmware=0x12
[Board1]
Type=2801
CardNo=4
Inputs=16
Firmware=0x105
[Board2]
Type=2802
CardNo=7
Outputs=8
Firmware=7
[Board3]
Type=999
CardNo=9
Inputs=64
Outputs=64
)";

// A board of 24 inputs (wired to bits 0-7 and 16-31), one of 48, and card 4 twice.
const QByteArray kOddBoards = R"([Board0]
Type=174
CardNo=3
Inputs=24
Outputs=24
[Board1]
Type=2801
CardNo=4
Inputs=48
[Board2]
Type=2802
CardNo=4
Outputs=8
[Board3]
Type=2802
CardNo=5
)";

// 16 boards, cards 0, 3, ... 45.
QByteArray SixteenBoards()
{
    QByteArray text;
    for (int i = 0; i < 16; ++i)
        text += QStringLiteral("[Board%1]\nType=174\nCardNo=%2\nInputs=8\nOutputs=8\n")
                    .arg(i)
                    .arg(i * 3)
                    .toLatin1();
    return text;
}

using Run = ToolRun;

// Runs qrxio in this process on the device table in place (the recording fake), its output and
// messages caught from the standard streams.
Run RunInProcess(const QStringList &words)
{
    Run run;
    QTemporaryFile out, err;
    if (!out.open() || !err.open())
        return run;
    std::fflush(stdout);
    std::fflush(stderr);
    const int savedOut = dup(1), savedErr = dup(2);
    dup2(out.handle(), 1);
    dup2(err.handle(), 2);
    Arguments args;
    QString error;
    if (Arguments::Parse(words, &args, &error)) {
        QrxIo tool(args, QString());
        tool.bindLibrary = false;
        run.status = tool.Run();
    }
    std::fflush(stdout);
    dup2(savedOut, 1);
    dup2(savedErr, 2);
    close(savedOut);
    close(savedErr);
    out.seek(0);
    err.seek(0);
    run.out = QString::fromLocal8Bit(out.readAll());
    run.err = error.isEmpty() ? QString::fromLocal8Bit(err.readAll()) : error;
    return run;
}

// Runs "qrxio ARGS", "qrxsim ARGS" or another program from one command line.
Run RunLine(const QString &line)
{
    QStringList words = line.split(u' ', Qt::SkipEmptyParts);
    QString tool = words.takeFirst();
    if (tool == "qrxsim" || tool == "qrxio")
        tool = qEnvironmentVariable(tool == "qrxsim" ? "QRXSIM_TOOL" : "QRXIO_TOOL");
    return RunTool(tool, words);
}

// The library calls of a simulator log, without timestamps and out-values.
QStringList LoggedCalls(const QString &log)
{
    QFile f(log);
    if (!f.open(QIODevice::ReadOnly))
        return {};
    QStringList calls;
    static const QRegularExpression call(QStringLiteral("^\\S+ (DXS_\\w+\\([^)]*\\) -> -?\\d+)"));
    for (const QByteArray &line : f.readAll().split('\n')) {
        const auto m = call.match(QString::fromLocal8Bit(line));
        if (m.hasMatch())
            calls << m.captured(1);
    }
    return calls;
}

// 2026-12-08T03:00:00Z in microseconds.
constexpr int64_t kHistoryStart = 1796698800'000'000;

// A history database as the agent writes it: card 6's input 3 and output 3 change in turn,
// `count` values each, the input at even milliseconds from kHistoryStart, the output at odd.
bool MakeHistory(const QString &path, int count)
{
    HistoryWriter writer;
    QString error;
    std::vector<HistoryChange> changes;
    for (int i = 0; i < count; ++i) {
        const int64_t at = kHistoryStart + int64_t(i) * 2000;
        changes.push_back({at, 6, PointDir::In, 3, i % 2 == 1});
        changes.push_back({at + 1000, 6, PointDir::Out, 3, i % 2 == 1});
    }
    if (writer.Open(path, &error) && writer.Append(changes, &error))
        return true;
    qWarning() << error;
    return false;
}

} // namespace

class TestQrxio : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_log;

    // Fresh boards and a fresh state for each case, logging changes (level 2) to m_log.
    void useBoards(const QByteArray &systemLines = {}, const QByteArray &boards = kBoards)
    {
        ++m_case;
        m_log = m_dir.filePath(QStringLiteral("case%1.dbg").arg(m_case));
        QVERIFY(UseSimBoards(m_dir.path(), QStringLiteral("case%1").arg(m_case),
                             "[System]\nLogLevel=2\nLogFile=" + m_log.toLocal8Bit() + "\n" +
                                 (systemLines.contains("DataDir=")
                                      ? QByteArray()
                                      : "DataDir=" + m_dir.filePath("data").toLocal8Bit() + "\n") +
                                 systemLines + boards));
    }

    // Starts "qrxio monitor ARGS" logging every call, its output read by `reader` (a shell
    // command, the pipeline ending with qrxio's status when that is not 0) when one is given, and
    // waits until it has taken the values it compares with: its second read of the first point of
    // `card` (or the read `firstRead`) is in the log.
    QString startMonitor(QProcess &monitor, const QStringList &args, int card,
                         const QString &reader = {}, const QStringList &wrapper = {},
                         const QString &firstRead = {})
    {
        const QString log = m_dir.filePath(QStringLiteral("monitor%1.dbg").arg(m_case));
        const QStringList monitorArgs =
            QStringList{"monitor", "--log-level", "5", "--log-file", log} + args;
        if (!wrapper.isEmpty()) // a command that runs qrxio with its arguments
            monitor.start(wrapper.front(),
                          wrapper.mid(1) + QStringList{qEnvironmentVariable("QRXIO_TOOL")} +
                              monitorArgs);
        else if (reader.isEmpty())
            monitor.start(qEnvironmentVariable("QRXIO_TOOL"), monitorArgs);
        else
            monitor.start("sh",
                          {"-c",
                           qEnvironmentVariable("QRXIO_TOOL") + ' ' + monitorArgs.join(' ') +
                               " | " + reader});
        const QString firstPoint = !firstRead.isEmpty()
            ? firstRead
            : QStringLiteral("DXS_devDiGetBit(card=%1, bit=0)").arg(card);
        QElapsedTimer waited;
        waited.start();
        while (LoggedCalls(log).filter(firstPoint).size() < 2 && waited.elapsed() < kWait &&
               monitor.state() != QProcess::NotRunning)
            QTest::qWait(20);
        return log;
    }

    // Waits for a process that may have ended already, and says whether it ended normally with
    // status 0.
    static bool EndsWell(QProcess &p) { return EndsWith(p, 0); }
    static bool EndsWith(QProcess &p, int status)
    {
        if (p.state() != QProcess::NotRunning && !p.waitForFinished(kWait))
            return false;
        return p.exitStatus() == QProcess::NormalExit && p.exitCode() == status;
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        QVERIFY(QFileInfo::exists(qEnvironmentVariable("QRXIO_TOOL")));
    }

    void commands_data()
    {
        QTest::addColumn<QStringList>("before"); // qrxsim or qrxio command lines
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("after"); // a command line that shows the effect
        QTest::addColumn<QString>("afterOut");

        QTest::newRow("list") << QStringList() << "list"
                              << "0 : QRX-LM32DIO\ttype 174\tDO : 32\tD I : 32\tFirmware Ver. : "
                                 "1.2\tDll Ver. : 1.2.3.4\tsimulated\n"
                                 "4 : QRX-LN16DI\ttype 2801\tDO :  0\tD I : 16\tFirmware Ver. : "
                                 "1.5\tDll Ver. : 1.2.3.4\tsimulated\n"
                                 "7 : QRX-LN 8DO\ttype 2802\tDO :  8\tD I :  0\tFirmware Ver. : "
                                 "7.7\tDll Ver. : 1.2.3.4\tsimulated\n"
                                 "9 : (unknown type)\ttype 999\tDO : 64\tD I : 64\tFirmware Ver. : "
                                 "0.0\tDll Ver. : 1.2.3.4\tsimulated\n"
                              << ""
                              << "";
        QTest::newRow("get both words") << QStringList{"qrxsim set 0 in-word 0x80000001",
                                                       "qrxsim set 9 in 63 1", "qrxio set 0 31=1"}
                                        << "get 0"
                                        << "in=0x0000000080000001 out=0x0000000080000000\n"
                                        << "qrxio get 9 in"
                                        << "0x8000000000000000\n";
        QTest::newRow("get one word") << QStringList{"qrxsim set 4 in-word 0xF0F0"} << "get 4 in"
                                      << "0x000000000000F0F0\n"
                                      << "qrxio get 7 out"
                                      << "0x0000000000000000\n";
        QTest::newRow("get points, inputs by default")
            << QStringList{"qrxsim set 4 in 15 1"} << "get 4 15 0"
            << "15=1 0=0\n"
            << "qrxio get 4 in 15"
            << "15=1\n";
        QTest::newRow("set points, then read back") << QStringList() << "set 7 0=1 7=on 3=0"
                                                    << ""
                                                    << "qrxsim get 7 out"
                                                    << "0x0000000000000081\n";
        QTest::newRow("set points off")
            << QStringList{"qrxio set 0 --word 0xFFFFFFFF"} << "set 0 5=off 31=0"
            << ""
            << "qrxio get 0 out"
            << "0x000000007FFFFFDF\n";
        QTest::newRow("set a word") << QStringList{"qrxio set 0 1=1"} << "set 0 --word 0xA5"
                                    << ""
                                    << "qrxio get 0 out"
                                    << "0x00000000000000A5\n";
        QTest::newRow("set the second page")
            << QStringList{"qrxio set 9 0=1"} << "set 9 --word 0x80000001 --page 1"
            << ""
            << "qrxio get 9 out"
            << "0x8000000100000001\n";
        QTest::newRow("set a word on a short board") << QStringList() << "set 7 --word ff"
                                                     << ""
                                                     << "qrxio get 7 out"
                                                     << "0x00000000000000FF\n";
        QTest::newRow("led shown") << QStringList() << "led 0"
                                   << "off\n"
                                   << ""
                                   << "";
        QTest::newRow("led switched") << QStringList() << "led 4 on"
                                      << ""
                                      << "qrxio led 4"
                                      << "on\n";
        QTest::newRow("led switched off") << QStringList{"qrxio led 0 1"} << "led 0 off"
                                          << ""
                                          << "qrxio led 0"
                                          << "off\n";
        QTest::newRow("filter shown") << QStringList() << "filter 0"
                                      << "enable=0 time=0 msec=0.001\n"
                                      << ""
                                      << "";
        QTest::newRow("filter set") << QStringList() << "filter 0 --enable 1 --time 9"
                                    << ""
                                    << "qrxio filter 0"
                                    << "enable=1 time=9 msec=0.512\n";
        QTest::newRow("filter time alone")
            << QStringList{"qrxio filter 4 --enable 1"} << "filter 4 --time 15"
            << ""
            << "qrxio filter 4"
            << "enable=1 time=15 msec=32.768\n";
        QTest::newRow("reset")
            << QStringList{"qrxio set 0 --word 0xFF", "qrxio led 0 on"} << "reset 0"
            << ""
            << "qrxsim show 0"
            << "card 0 at position 0: type 174, firmware 0x12\n"
               "inputs:  32  0x0000000000000000  (held 0x0000000000000000, loopback off, "
               "pattern none)\n"
               "outputs: 32  0x0000000000000000\n"
               "filter:  disabled, time code 0\n"
               "run led: off\n";
        QTest::newRow("save") << QStringList{"qrxio filter 4 --enable 1 --time 3"} << "save 4"
                              << ""
                              << "cat %dir/data/card4.prm"
                              << "# qrxsim board parameters\nType=2801\nFilterEnable=1\n"
                                 "FilterTime=3\nRunLed=0\n";
        QTest::newRow("log") << QStringList() << "log"
                             << "level=2\nfile=%log\n"
                             << ""
                             << "";
        QTest::newRow("log options for the run")
            << QStringList() << "log --log-level 4 --log-file %dir/other.dbg"
            << "level=4\nfile=%dir/other.dbg\n"
            << "qrxio log"
            << "level=2\nfile=%log\n";
    }
    void commands()
    {
        QFETCH(QStringList, before);
        QFETCH(QString, command);
        QFETCH(QString, out);
        QFETCH(QString, after);
        QFETCH(QString, afterOut);
        useBoards();
        auto fill = [this](QString text) {
            return text.replace("%log", m_log).replace("%dir", m_dir.path());
        };
        for (const QString &line : before)
            QCOMPARE(RunLine(line).status, 0);

        const Run run = Qrxio(fill(command).split(u' '));
        QCOMPARE(run.err, QString());
        QCOMPARE(run.out, fill(out));
        QCOMPARE(run.status, 0);
        if (!after.isEmpty()) {
            const Run check = RunLine(fill(after));
            QCOMPARE(check.out, fill(afterOut));
            QCOMPARE(check.status, 0);
        }
        // Every run unloaded what it loaded (a run with a log file of its own logs elsewhere).
        const QStringList calls = LoggedCalls(m_log);
        if (!command.contains("--log-file"))
            QCOMPARE(calls.filter("DXS_devSysLoad").size(),
                     calls.filter("DXS_devSysUnload").size());
    }

    void json_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QStringList>("objects");
        QTest::newRow("list") << "list --json"
                              << QStringList{R"({"position":0,"card":0,"type":174,
                                     "name":"QRX-LM32DIO","label":"0 : QRX-LM32DIO",
                                     "inputs":32,"outputs":32,"firmware":18,
                                     "firmwareText":"Firmware Ver. : 1.2","library":1020304,
                                     "libraryText":"Dll Ver. : 1.2.3.4","simulated":true})",
                                             R"({"position":1,"card":4,"type":2801,
                                     "name":"QRX-LN16DI","label":"4 : QRX-LN16DI",
                                     "inputs":16,"outputs":0,"firmware":261,
                                     "firmwareText":"Firmware Ver. : 1.5","library":1020304,
                                     "libraryText":"Dll Ver. : 1.2.3.4","simulated":true})",
                                             R"({"position":2,"card":7,"type":2802,
                                     "name":"QRX-LN 8DO","label":"7 : QRX-LN 8DO",
                                     "inputs":0,"outputs":8,"firmware":7,
                                     "firmwareText":"Firmware Ver. : 7.7","library":1020304,
                                     "libraryText":"Dll Ver. : 1.2.3.4","simulated":true})",
                                             R"({"position":3,"card":9,"type":999,
                                     "name":null,"label":null,
                                     "inputs":64,"outputs":64,"firmware":0,
                                     "firmwareText":"Firmware Ver. : 0.0","library":1020304,
                                     "libraryText":"Dll Ver. : 1.2.3.4","simulated":true})"};
        QTest::newRow("get words")
            << "--json get 9" << QStringList{R"({"card":9,"in":"0x0000000000000000",
                                                      "out":"0x0000000000000000"})"};
        QTest::newRow("get points")
            << "get 0 out 3 0 --json" << QStringList{R"({"card":0,"out":{"3":0,"0":0}})"};
        QTest::newRow("set points")
            << "set 0 3=1 4=0 --json" << QStringList{R"({"card":0,"out":{"3":1,"4":0}})"};
        QTest::newRow("set a word") << "set 9 --word 0xC --page 1 --json"
                                    << QStringList{R"({"card":9,"page":1,"out":"0x0000000C"})"};
        QTest::newRow("led") << "led 0 on --json" << QStringList{R"({"card":0,"led":"on"})"};
        QTest::newRow("filter") << "filter 4 --time 4 --json"
                                << QStringList{R"({"card":4,"enable":0,"time":4,"msec":0.016})"};
        QTest::newRow("reset") << "reset 7 --json" << QStringList{R"({"card":7,"reset":true})"};
        QTest::newRow("save all") << "save --all --json"
                                  << QStringList{R"({"card":0,"saved":true})",
                                                 R"({"card":4,"saved":true})",
                                                 R"({"card":7,"saved":true})",
                                                 R"({"card":9,"saved":true})"};
        QTest::newRow("log") << "log --json" << QStringList{R"({"level":2,"file":"%log"})"};
    }
    void json()
    {
        QFETCH(QString, command);
        QFETCH(QStringList, objects);
        useBoards();
        const Run run = Qrxio(command.split(u' '));
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QVERIFY(run.out.endsWith(u'\n'));
        const QStringList lines = run.out.chopped(1).split(u'\n');
        QCOMPARE(lines.size(), objects.size());
        for (qsizetype i = 0; i < lines.size(); ++i) {
            QJsonParseError error;
            const QJsonDocument line = QJsonDocument::fromJson(lines[i].toUtf8(), &error);
            QVERIFY2(line.isObject(), qPrintable(lines[i] + ": " + error.errorString()));
            const QJsonDocument expected =
                QJsonDocument::fromJson(objects[i].replace("%log", m_log).toUtf8());
            QVERIFY(expected.isObject());
            QCOMPARE(line.object(), expected.object());
        }
    }

    // Nothing wrong with the command line is done to a board; a command that the map or the
    // boards contradict still unloads the system it loaded.
    void usageErrors_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<bool>("loaded");
        QTest::newRow("no command") << ""
                                    << "a command is missing" << false;
        QTest::newRow("unknown command") << "switch 0"
                                         << "unknown command \"switch\"" << false;
        QTest::newRow("unknown option") << "list --verbose"
                                        << "unknown option \"--verbose\"" << false;
        QTest::newRow("option of another command") << "get 0 --word 1"
                                                   << "--word is not an option of \"get\"" << false;
        QTest::newRow("missing value") << "monitor --interval"
                                       << "--interval needs a value" << false;
        QTest::newRow("value to a switch") << "list --json=1"
                                           << "--json takes no value" << false;
        QTest::newRow("bad mode") << "--mode fast list"
                                  << "--mode is auto or manual, not \"fast\"" << false;
        QTest::newRow("log level too high")
            << "log --log-level 6"
            << "--log-level takes a number from 0 to 5, not \"6\"" << false;
        QTest::newRow("interval of 0")
            << "monitor --interval 0"
            << "--interval takes a number from 1 to 3600000, not \"0\"" << false;
        QTest::newRow("negative count")
            << "monitor -n -1"
            << "-n takes a number from 1 to 1000000000, not \"-1\"" << false;
        QTest::newRow("extra operand") << "list 0"
                                       << "wrong number of arguments for \"list\"" << false;
        QTest::newRow("card missing") << "led"
                                      << "wrong number of arguments for \"led\"" << false;
        QTest::newRow("card not a number") << "get zero"
                                           << "\"zero\" is not a card number" << false;
        QTest::newRow("card too large") << "get 4294967296"
                                        << "\"4294967296\" is not a card number" << false;
        QTest::newRow("neither direction nor point")
            << "get 0 up"
            << "\"up\" is neither in, out nor a point number (0..63)" << false;
        QTest::newRow("point beyond 63")
            << "get 9 in 64"
            << "\"64\" is neither in, out nor a point number (0..63)" << false;
        QTest::newRow("value 2") << "set 0 5=2"
                                 << "\"5=2\" is not POINT=VALUE (a point 0..63, a value 0 or 1)"
                                 << false;
        QTest::newRow("no value") << "set 0 5"
                                  << "\"5\" is not POINT=VALUE (a point 0..63, a value 0 or 1)"
                                  << false;
        QTest::newRow("point twice") << "set 0 5=1 5=0"
                                     << "point 5 is named twice" << false;
        QTest::newRow("nothing to set") << "set 0"
                                        << "set needs POINT=VALUE or --word" << false;
        QTest::newRow("word and points")
            << "set 0 1=1 --word 1"
            << "set takes either POINT=VALUE or --word, not both" << false;
        QTest::newRow("word too wide") << "set 0 --word 0x100000000"
                                       << "--word takes a 32-bit hexadecimal word, not "
                                          "\"0x100000000\""
                                       << false;
        QTest::newRow("page 2") << "set 0 --word 1 --page 2"
                                << "--page takes a number from 0 to 1, not \"2\"" << false;
        QTest::newRow("page without word") << "set 0 5=1 --page 1"
                                           << "--page belongs to --word" << false;
        QTest::newRow("led value") << "led 0 blink"
                                   << "the Run LED is on or off, not \"blink\"" << false;
        QTest::newRow("save what") << "save"
                                   << "wrong number of arguments for \"save\"" << false;
        QTest::newRow("save a card and all") << "save 0 --all"
                                             << "wrong number of arguments for \"save\"" << false;

        QTest::newRow("a negative point is a bad point")
            << "get 0 in -1"
            << "\"-1\" is neither in, out nor a point number (0..63)" << false;
        QTest::newRow("a negative value to set") << "set 0 -1=1"
                                                 << "\"-1=1\" is not POINT=VALUE (a point 0..63, a "
                                                    "value 0 or 1)"
                                                 << false;
        QTest::newRow("monitor: not a card")
            << "monitor x:3"
            << "\"x:3\" is not CARD[:in|out][:POINT|NAME]" << false;
        QTest::newRow("monitor: a name on a card without names")
            << "monitor 0:Door"
            << "\"Door\" in \"0:Door\" is neither a point number (0..63) nor a point name of "
               "card 0"
            << false;
        QTest::newRow("monitor: an input beyond the board")
            << "monitor 4 0:40"
            << "40 is not an input of card 0 (0..31)" << true;
        QTest::newRow("monitor: the outputs of an input board") << "monitor 4:out"
                                                                << "card 4 has no outputs" << true;
        QTest::newRow("position, not card")
            << "get 1"
            << "card 1 is not in the card map (its cards: 0, 4, 7, 9)" << true;
        QTest::newRow("one of several cards not in the map")
            << "monitor 0 5 4"
            << "card 5 is not in the card map (its cards: 0, 4, 7, 9)" << true;
        QTest::newRow("input beyond the board") << "get 0 in 32"
                                                << "32 is not an input of card 0 (0..31)" << true;
        QTest::newRow("output of an input board")
            << "set 4 0=1"
            << "0 is not an output of card 4 (it has none)" << true;
        QTest::newRow("word beyond the board")
            << "set 7 --word 0x100"
            << "0x100 sets outputs beyond the 8 of page 0 of card 7" << true;
        QTest::newRow("page the board lacks") << "set 0 --word 1 --page 1"
                                              << "card 0 has no outputs on page 1" << true;
        QTest::newRow("monitor a board without inputs")
            << "monitor 7"
            << "card 7 has no inputs (--out watches its outputs)" << true;
    }
    void usageErrors()
    {
        QFETCH(QString, command);
        QFETCH(QString, message);
        QFETCH(bool, loaded);
        useBoards();
        const Run run = Qrxio(command.split(u' ', Qt::SkipEmptyParts));
        QCOMPARE(run.err, "qrxio: " + message + "\nTry \"qrxio --help\".\n");
        QCOMPARE(run.out, QString());
        QCOMPARE(run.status, 2);
        const QStringList calls = LoggedCalls(m_log);
        if (loaded) {
            QCOMPARE(calls.filter("DXS_devSysLoad").size(), 1);
            QCOMPARE(calls.last(), QString("DXS_devSysUnload() -> 0"));
            QCOMPARE(calls.filter("DXS_devDoSetBit").size(), 0);
        } else {
            QCOMPARE(calls, QStringList());
        }
        QCOMPARE(Qrxio({"get", "0", "out"}).out, QString("0x0000000000000000\n"));
    }

    // What the library or a board refuses ends with status 1 and names the call; a failed load
    // shows the program's start-up text and is never followed by an unload.
    void refusals_data()
    {
        QTest::addColumn<QByteArray>("systemLines");
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("message");
        QTest::addColumn<QStringList>("calls"); // the log's calls, when they are checked
        QTest::newRow("save refused")
            << QByteArray("DataDir=/proc/no/such/folder\n") << "save 0"
            << "DXS_devConParamSave(card=0) failed with status -2022: the parameter file could not "
               "be written"
            << QStringList{"DXS_devSysLoad(mode=0) -> 0", "DXS_devConParamSave(card=0) -> -2022",
                           "DXS_devSysUnload() -> 0"};
        QTest::newRow("save all tries every board")
            << QByteArray("DataDir=/proc/no/such/folder\n") << "save --all"
            << "DXS_devConParamSave(card=0) failed with status -2022: the parameter file could not "
               "be written\n"
               "qrxio: DXS_devConParamSave(card=4) failed with status -2022: the parameter file "
               "could not be written\n"
               "qrxio: DXS_devConParamSave(card=7) failed with status -2022: the parameter file "
               "could not be written\n"
               "qrxio: DXS_devConParamSave(card=9) failed with status -2022: the parameter file "
               "could not be written"
            << QStringList();
        QTest::newRow("controller not found")
            << QByteArray("LoadStatus=-1030\n") << "list"
            << "Fail! Controller Not Found Error... (DXS_devSysLoad(mode=0) failed with status "
               "-1030)"
            << QStringList{"DXS_devSysLoad(mode=0) -> -1030"};
        QTest::newRow("a status of no name")
            << QByteArray("LoadStatus=-1037\n") << "list"
            << "Fail! Load Device Driver... (DXS_devSysLoad(mode=0) failed with status -1037)"
            << QStringList{"DXS_devSysLoad(mode=0) -> -1037"};
        QTest::newRow("open mode: the other mode is named")
            << QByteArray("RequiredMode=1\n") << "list"
            << "Controller Open Mode Error. (DXS_devSysLoad(mode=0) failed with status -1038 in "
               "auto mode)\nqrxio: try the other loading mode: --mode manual"
            << QStringList{"DXS_devSysLoad(mode=0) -> -1038"};
        QTest::newRow("open mode in manual")
            << QByteArray("RequiredMode=0\n") << "--mode manual list"
            << "Controller Open Mode Error. (DXS_devSysLoad(mode=1) failed with status -1038 in "
               "manual mode)\nqrxio: try the other loading mode: --mode auto"
            << QStringList{"DXS_devSysLoad(mode=1) -> -1038"};
    }
    void refusals()
    {
        QFETCH(QByteArray, systemLines);
        QFETCH(QString, command);
        QFETCH(QString, message);
        QFETCH(QStringList, calls);
        useBoards(systemLines);
        const Run run = Qrxio(command.split(u' '));
        QCOMPARE(run.err, "qrxio: " + message + "\n");
        QCOMPARE(run.status, 1);
        if (!calls.isEmpty())
            QCOMPARE(LoggedCalls(m_log), calls);
    }

    void modeFromTheSettingsFile_data()
    {
        QTest::addColumn<QByteArray>("settings"); // empty: no settings file
        QTest::addColumn<QString>("modeOption");
        QTest::addColumn<int>("status");
        QTest::newRow("stored manual")
            << QByteArray("[System]\nController_Loading_Mode=1\n") << "" << 0;
        QTest::newRow("stored auto")
            << QByteArray("[system]\ncontroller_loading_mode=0\n") << "" << 1;
        QTest::newRow("no file: auto") << QByteArray() << "" << 1;
        QTest::newRow("option over the file")
            << QByteArray("[System]\nController_Loading_Mode=0\n") << "manual" << 0;
        QTest::newRow("1abc reads as 1")
            << QByteArray("[System]\nController_Loading_Mode=1abc\n") << "" << 0;
    }
    void modeFromTheSettingsFile()
    {
        QFETCH(QByteArray, settings);
        QFETCH(QString, modeOption);
        QFETCH(int, status);
        useBoards("RequiredMode=1\n");
        // A copy of the tool in a folder of its own, with the program's settings file beside it.
        const QString app = m_dir.filePath(QStringLiteral("app%1").arg(m_case));
        QVERIFY(QDir().mkpath(app));
        const QString tool = QDir(app).filePath("qrxio");
        QVERIFY(QFile::copy(qEnvironmentVariable("QRXIO_TOOL"), tool));
        const QString ini = QDir(app).filePath("Orvane.ini");
        if (!settings.isEmpty()) {
            QFile f(ini);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(settings);
        }
        QStringList args{"list"};
        if (!modeOption.isEmpty())
            args << "--mode" << modeOption;
        const Run run = RunTool(tool, args);
        QCOMPARE(run.status, status);
        QCOMPARE(run.out.count(u'\n'), status == 0 ? 4 : 0);
        // Reading the mode never creates or changes the program's file.
        QCOMPARE(QFileInfo::exists(ini), !settings.isEmpty());
    }

    void unusableLibrary_data()
    {
        QTest::addColumn<QString>("library");
        QTest::addColumn<QString>("message");
        QTest::newRow("missing") << "/no/such/lib.so"
                                 << "qrxio: Fail! Load Device Driver...\n"
                                    "qrxio: Device library: /no/such/lib.so\n"
                                    "qrxio: The file does not exist.\n";
        QTest::newRow("a function missing") << qEnvironmentVariable("ORVANE_INCOMPLETE_LIB")
                                            << "qrxio: Fail! Load Device Driver...\n"
                                               "qrxio: Device library: " +
                qEnvironmentVariable("ORVANE_INCOMPLETE_LIB") +
                "\n"
                "qrxio: Missing function: DXS_devDLogSetFile\n";
    }
    void unusableLibrary()
    {
        QFETCH(QString, library);
        QFETCH(QString, message);
        useBoards();
        qputenv("ORVANE_DEVICE_LIBRARY", library.toLocal8Bit());
        const Run run = Qrxio({"list"});
        QVERIFY2(run.err.startsWith(message), qPrintable(run.err));
        QCOMPARE(run.status, 1);
    }

    void monitorSeesChanges_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("card"); // the first board watched
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("line"); // a pattern; %t stands for the time
        QTest::newRow("one input, -n 1") << QStringList{"0", "-n", "1"} << 0
                                         << QStringList{"qrxsim set 0 in 3 1"} << "%tZ 0 in 3 1";
        QTest::newRow("all boards") << QStringList{"-n", "1"} << 0
                                    << QStringList{"qrxsim set 9 in 63 1"} << "%tZ 9 in 63 1";
        QTest::newRow("only the cards named")
            << QStringList{"9", "4", "-n", "1"} << 9
            << QStringList{"qrxsim set 0 in 1 1", "qrxsim set 4 in 15 1"} << "%tZ 4 in 15 1";
        // Two inputs that change together may be read in one poll or, when the change falls
        // between the reads of the two, in two: either way only one line is printed.
        QTest::newRow("-n stops within one poll")
            << QStringList{"4", "-n", "1"} << 4 << QStringList{"qrxsim set 4 in-word 0x8001"}
            << "%tZ 4 in (0|15) 1";
        QTest::newRow("outputs with --out") << QStringList{"0", "--out", "-n", "1"} << 0
                                            << QStringList{"qrxio set 0 30=1"} << "%tZ 0 out 30 1";
        QTest::newRow("outputs unwatched without --out")
            << QStringList{"0", "--idle-timeout", "300"} << 0 << QStringList{"qrxio set 0 30=1"}
            << "";
        QTest::newRow("idle timeout after the changes")
            << QStringList{"4", "--idle-timeout", "300"} << 4
            << QStringList{"qrxsim set 4 in 2 1", "qrxsim set 4 in 2 0"}
            << "%tZ 4 in 2 1\n%tZ 4 in 2 0";
        QTest::newRow("local time")
            << QStringList{"0", "-n", "1", "--local"} << 0 << QStringList{"qrxsim set 0 in 0 1"}
            << "%t[+-]\\d\\d:\\d\\d 0 in 0 1";
        QTest::newRow("JSON Lines")
            << QStringList{"0", "--json", "-n", "1"} << 0 << QStringList{"qrxsim set 0 in 7 1"}
            << "\\{\"time\": \"%tZ\", \"card\": 0, \"dir\": \"in\", \"point\": 7, \"value\": 1\\}";
    }
    void monitorSeesChanges()
    {
        QFETCH(QStringList, args);
        QFETCH(int, card);
        QFETCH(QStringList, changes);
        QFETCH(QString, line);
        useBoards();
        QProcess monitor;
        const QString log = startMonitor(monitor, args, card);
        QCOMPARE(monitor.state(), QProcess::Running);
        for (const QString &change : changes) {
            QCOMPARE(RunLine(change).status, 0);
            QTest::qWait(50); // each change seen on its own
        }
        // Ended by --idle-timeout (no -n in these rows): not a success.
        QVERIFY(EndsWith(monitor, args.contains("--idle-timeout") ? kExitIdle : 0));
        QCOMPARE(monitor.readAllStandardError(), QByteArray());
        const QString out = QString::fromLocal8Bit(monitor.readAllStandardOutput());
        if (line.isEmpty()) {
            QCOMPARE(out, QString());
        } else {
            const QString time = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}";
            const QRegularExpression expected("^" + line.replace("%t", time) + "\n$");
            QVERIFY2(expected.match(out).hasMatch(), qPrintable(out));
        }
        QCOMPARE(LoggedCalls(log).last(), QString("DXS_devSysUnload() -> 0"));
    }

    // A stop asked for from outside ends the watch with status 0, and the system is unloaded.
    void monitorStopsOnASignal_data()
    {
        QTest::addColumn<int>("signal");
        QTest::newRow("Ctrl+C") << SIGINT;
        QTest::newRow("SIGTERM") << SIGTERM;
        QTest::newRow("SIGHUP: the ssh session closed") << SIGHUP;
    }
    void monitorStopsOnASignal()
    {
        QFETCH(int, signal);
        useBoards();
        QProcess monitor;
        const QString log = startMonitor(monitor, {"--out"}, 0);
        QCOMPARE(monitor.state(), QProcess::Running);
        ::kill(pid_t(monitor.processId()), signal);
        QVERIFY(EndsWell(monitor));
        QCOMPARE(monitor.readAllStandardError(), QByteArray());
        const QStringList calls = LoggedCalls(log);
        QCOMPARE(calls.last(), QString("DXS_devSysUnload() -> 0"));
        QCOMPARE(calls.filter("DXS_devSysUnload").size(), 1);
    }

    // "qrxio monitor | head -n 1": once the reader has gone, the next change ends the watch,
    // and the system is unloaded.
    void monitorEndsWhenTheReaderGoes()
    {
        useBoards();
        QProcess pipeline;
        const QString log = startMonitor(pipeline, {"0"}, 0, "head -n 1");
        QCOMPARE(pipeline.state(), QProcess::Running);
        QCOMPARE(RunLine("qrxsim set 0 in 1 1").status, 0);
        QTest::qWait(100);
        QCOMPARE(RunLine("qrxsim set 0 in 2 1").status, 0);
        QVERIFY(EndsWell(pipeline));
        QVERIFY(pipeline.readAllStandardOutput().endsWith(" 0 in 1 1\n"));
        QCOMPARE(pipeline.readAllStandardError(), QByteArray());
        QCOMPARE(LoggedCalls(log).last(), QString("DXS_devSysUnload() -> 0"));
    }

    // A closed standard output is a failed write, never a write into a file opened later.
    void closedOutput()
    {
        useBoards();
        const Run run =
            RunTool("bash", {"-c", qEnvironmentVariable("QRXIO_TOOL") + " set 0 5=1 --json >&-"});
        QCOMPARE(run.err, QString("qrxio: cannot write the output: Bad file descriptor\n"));
        QCOMPARE(run.status, 1);
        QCOMPARE(Qrxio({"get", "0", "out"}).out, QString("0x0000000000000020\n"));
        QCOMPARE(LoggedCalls(m_log).filter("DXS_devSysUnload").size(), 2);
    }

    // Installed from the package (the program in lib/orvane with the install marker, qrxio in
    // bin/), run as whoever runs the tests (root in CI) with only HOME set: qrxio reads the
    // settings the program reads, $HOME/.config/Orvane/Orvane.ini, or an earlier version's file
    // in place, and never creates a folder or a file.
    void installedTree_data()
    {
        QTest::addColumn<QString>("file"); // below $HOME, holding the manual mode; or empty
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::newRow("the user's settings") << ".config/Orvane/Orvane.ini"
                                             << "list" << 0;
        QTest::newRow("an earlier version's, in place") << ".config/Orvane/Orvane/Orvane.ini"
                                                        << "list" << 0;
        QTest::newRow("none: auto, refused") << ""
                                             << "list" << 1;
        // Every command, also one that fails: nothing is created or copied in HOME.
        const struct
        {
            const char *command;
            int status;
        } commands[] = {
            {"get 0 --mode manual", 0},
            {"list --mode manual", 0},
            {"info --mode manual", 0},
            {"set 0 3=1 --mode manual", 0},
            {"monitor 0 --idle-timeout 50 --mode manual", 3},
            {"led 0 --mode manual", 0},
            {"filter 4 --mode manual", 0},
            {"reset 7 --mode manual", 0},
            {"save 0 --mode manual", 0},
            {"log --mode manual", 0},
            {"history --db missing.db", 1},
            {"history", 1},
            {"help", 0},
            {"--version", 0},
            {"nosuchcommand", 2},
        };
        for (const auto &c : commands) {
            QTest::addRow("a fresh HOME stays empty: %s", c.command) << "" << c.command << c.status;
            QTest::addRow("an earlier version's, not copied: %s", c.command)
                << ".config/Orvane/Orvane/Orvane.ini" << c.command << c.status;
        }
    }
    void installedTree()
    {
        QFETCH(QString, file);
        QFETCH(QString, command);
        QFETCH(int, status);
        const QString prefix = m_dir.filePath("installed");
        if (!QFileInfo::exists(prefix + "/bin/qrxio")) {
            const Run install =
                RunTool(ORVANE_CMAKE, {"--install", ORVANE_BUILD_DIR, "--prefix", prefix});
            QVERIFY2(install.status == 0, qPrintable(install.err));
        }
        useBoards("RequiredMode=1\n");
        const QString home = m_dir.filePath(QStringLiteral("home%1").arg(m_case));
        QVERIFY(QDir().mkpath(home));
        if (!file.isEmpty()) {
            QVERIFY(QDir(home).mkpath(QFileInfo(file).path()));
            QFile f(QDir(home).filePath(file));
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write("[System]\nController_Loading_Mode=1\n");
        }
        const QByteArray oldHome = qgetenv("HOME"), oldConfig = qgetenv("XDG_CONFIG_HOME");
        qputenv("HOME", QFile::encodeName(home));
        qunsetenv("XDG_CONFIG_HOME");
        const QByteArray oldState = qgetenv("XDG_STATE_HOME");
        qunsetenv("XDG_STATE_HOME");
        const Run run = RunTool(prefix + "/bin/qrxio", command.split(u' '));
        qputenv("HOME", oldHome);
        qputenv("XDG_CONFIG_HOME", oldConfig);
        qputenv("XDG_STATE_HOME", oldState);
        QCOMPARE(run.status, status);
        QStringList files;
        QDirIterator it(home, QDir::AllEntries | QDir::NoDotAndDotDot | QDir::Hidden,
                        QDirIterator::Subdirectories);
        while (it.hasNext())
            files << QDir(home).relativeFilePath(it.next());
        QCOMPARE(files.filter(".ini"), file.isEmpty() ? QStringList() : QStringList{file});
        if (file.isEmpty())
            QCOMPARE(files, QStringList());
    }

    // Boards as the program shows them: a 24-input board reads its inputs on bits 0-7 and
    // 16-31; boards the map holds oddly are answered clearly. Each row starts on fresh boards.
    void boards_data()
    {
        QTest::addColumn<QByteArray>("boards");
        QTest::addColumn<QString>("before"); // a qrxsim command line, or empty
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        const QString usage = "\nTry \"qrxio --help\".\n";
        const QString twice = "qrxio: card 4 is at 2 places of the card map (positions 1, 2): a "
                              "call for card 4 reaches only one of them\n";
        QTest::newRow("24 inputs: the word with bits 8-15 zero")
            << kOddBoards << "qrxsim set 3 in-word 0xFF0000FF"
            << "get 3 in" << 0 << "0x00000000FF0000FF\n"
            << "";
        QTest::newRow("24 inputs: input 28 answers") << kOddBoards << "qrxsim set 3 in 28 1"
                                                     << "get 3 in 28 16 7" << 0 << "28=1 16=0 7=0\n"
                                                     << "";
        QTest::newRow("24 inputs: input 9 is none")
            << kOddBoards << ""
            << "get 3 in 9" << 2 << ""
            << "qrxio: 9 is not an input of card 3 (0..7, 16..31)" + usage;
        QTest::newRow("24 inputs: outputs are 0..23")
            << kOddBoards << ""
            << "set 3 24=1" << 2 << ""
            << "qrxio: 24 is not an output of card 3 (0..23)" + usage;
        QTest::newRow("48 inputs: 47 is the last") << kOddBoards << "qrxsim set 4 in 47 1"
                                                   << "get 4 in 47" << 0 << "47=1\n"
                                                   << twice;
        QTest::newRow("48 inputs: 48 is none") << kOddBoards << ""
                                               << "get 4 in 48" << 2 << ""
                                               << twice +
                "qrxio: 48 is not an input of card 4 "
                "(0..47)" +
                usage;
        QTest::newRow("a card twice in the map is told")
            << kOddBoards << ""
            << "list" << 0
            << "3 : QRX-LM24DIO\ttype 174\tDO : 24\tD I : 24\tFirmware Ver. : 0.0\tDll Ver. : "
               "1.2.3.4\tsimulated\n"
               "4 : QRX-LN48DI\ttype 2801\tDO :  0\tD I : 48\tFirmware Ver. : 0.0\tDll Ver. : "
               "1.2.3.4\tsimulated\n"
               "4 : QRX-LN 0DO\ttype 2802\tDO :  0\tD I : 48\tFirmware Ver. : 0.0\tDll Ver. : "
               "1.2.3.4\tsimulated\n"
               "5 : QRX-LN 0DO\ttype 2802\tDO :  0\tD I :  0\tFirmware Ver. : 0.0\tDll Ver. : "
               "1.2.3.4\tsimulated\n"
            << twice;
        QTest::newRow("a board of no points has no input 0")
            << kOddBoards << ""
            << "get 5 in 0" << 2 << ""
            << "qrxio: 0 is not an input of card 5 (it has none)" + usage;
        QTest::newRow("a board of no points reads empty words")
            << kOddBoards << ""
            << "get 5" << 0 << "in=0x0000000000000000 out=0x0000000000000000\n"
            << "";
        QTest::newRow("no boards: list says so") << QByteArray() << ""
                                                 << "list" << 0 << ""
                                                 << "qrxio: the card map holds no boards\n";
        QTest::newRow("no boards: no card")
            << QByteArray() << ""
            << "get 0" << 2 << ""
            << "qrxio: card 0 is not in the card map (it holds no boards)" + usage;
        QTest::newRow("16 boards: the last one answers")
            << SixteenBoards() << "qrxsim set 45 in 7 1"
            << "get 45 in" << 0 << "0x0000000000000080\n"
            << "";
    }
    void boards()
    {
        QFETCH(QByteArray, boards);
        QFETCH(QString, before);
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        useBoards({}, boards);
        if (!before.isEmpty())
            QCOMPARE(RunLine(before).status, 0);
        const Run run = Qrxio(command.split(u' '));
        QCOMPARE(run.err, err);
        QCOMPARE(run.out, out);
        QCOMPARE(run.status, status);
        const QStringList calls = LoggedCalls(m_log);
        QCOMPARE(calls.filter("DXS_devSysUnload").size(), 1);
    }

    // The monitor of a 24-input board reports inputs 16-31 (and never 8-15).
    void monitorSplitBoard_data()
    {
        QTest::addColumn<QString>("change");
        QTest::addColumn<QString>("line");
        QTest::newRow("input 30") << "qrxsim set 3 in 30 1"
                                  << " 3 in 30 1\n";
        QTest::newRow("input 16") << "qrxsim set 3 in 16 1"
                                  << " 3 in 16 1\n";
        QTest::newRow("input 7") << "qrxsim set 3 in 7 1"
                                 << " 3 in 7 1\n";
    }
    void monitorSplitBoard()
    {
        QFETCH(QString, change);
        QFETCH(QString, line);
        useBoards({}, kOddBoards);
        QProcess monitor;
        startMonitor(monitor, {"3", "-n", "1"}, 3);
        QCOMPARE(RunLine(change).status, 0);
        QVERIFY(EndsWell(monitor));
        const QString out = QString::fromLocal8Bit(monitor.readAllStandardOutput());
        QVERIFY2(out.endsWith(line) && out.count(u'\n') == 1, qPrintable(out));
    }

    // What no board file can hold, on the recording fake: counts above 64 and calls that fail
    // while the boards are read. A refusal names the call and ends with 1.
    void fakeBoards_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<QString>("failing"); // a function that fails, or empty
        QTest::addColumn<QString>("command");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out");
        QTest::addColumn<QString>("err");
        QTest::newRow("99 inputs read as 64") << 99 << ""
                                              << "get 0 in" << 0 << "0x8000000000000001\n"
                                              << "";
        QTest::newRow("99 inputs: 63 is the last") << 99 << ""
                                                   << "get 0 in 63" << 0 << "63=1\n"
                                                   << "";
        QTest::newRow("negative count: no inputs")
            << -5 << ""
            << "get 0 in 0" << 2 << ""
            << "qrxio: 0 is not an input of card 0 (it has none)\nTry \"qrxio --help\".\n";
        QTest::newRow("the card map refused")
            << 32 << "DXS_devGnGetMotDevMap"
            << "list" << 1 << ""
            << "qrxio: DXS_devGnGetMotDevMap() failed with status -1\n";
        QTest::newRow("the counts refused")
            << 32 << "DXS_devGnGetDioNum"
            << "get 0" << 1 << ""
            << "qrxio: DXS_devGnGetDioNum(card=0) failed with status -1\n";
        QTest::newRow("the firmware refused")
            << 32 << "DXS_devConGetFwVersion"
            << "list" << 1 << ""
            << "qrxio: DXS_devConGetFwVersion(card=0) failed with status -1\n";
        QTest::newRow("the unload refused") << 32 << "DXS_devSysUnload"
                                            << "reset 0" << 1 << ""
                                            << "qrxio: DXS_devSysUnload() failed with status -1\n";
    }
    void fakeBoards()
    {
        QFETCH(int, inputs);
        QFETCH(QString, failing);
        QFETCH(QString, command);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        FakeDevice fake;
        fake.loaded = false;
        fake.boards = {Board(kTypeLmDio, 0, inputs, 32)};
        fake.boards[0].in = 0x8000000000000001ull;
        if (!failing.isEmpty())
            fake.failing.insert(failing);
        const Run run = RunInProcess(command.split(u' '));
        QCOMPARE(run.err, err);
        QCOMPARE(run.out, out);
        QCOMPARE(run.status, status);
        QCOMPARE(fake.callsOf("DXS_devSysLoad").size(), 1);
        if (failing != "DXS_devSysUnload")
            QCOMPARE(fake.callsOf("DXS_devSysUnload").size(), 1);
    }

    // Lost output is no success: a reader that has gone (EPIPE), a full disk or a closed
    // standard output end with 1 and say so; only monitor ends with 0 when its reader goes.
    void lostOutput_data()
    {
        QTest::addColumn<QString>("shell"); // %q stands for qrxio
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("err");
        const QString gone = "{ sleep 0.3; exec %q %1; } | true; exit ${PIPESTATUS[0]}";
        const QString pipe = "qrxio: cannot write the output: Broken pipe\n";
        QTest::newRow("list, reader gone") << gone.arg("list") << 1 << pipe;
        QTest::newRow("--json list, reader gone") << gone.arg("--json list") << 1 << pipe;
        QTest::newRow("get, reader gone") << gone.arg("get 0") << 1 << pipe;
        QTest::newRow("--help on a full disk")
            << "%q --help >/dev/full" << 1
            << "qrxio: cannot write the output: No space left on device\n";
        QTest::newRow("--version, stdout closed")
            << "%q --version >&-" << 1 << "qrxio: cannot write the output: Bad file descriptor\n";
        QTest::newRow("monitor, reader gone")
            << "%q monitor 0 --idle-timeout 2000 | (exec 0<&-; sleep 0.3; qrxsim set 0 in 1 1); "
               "exit ${PIPESTATUS[0]}"
            << 0 << "";
    }
    void lostOutput()
    {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QFETCH(QString, err);
        useBoards();
        const QString line = shell.replace("%q", qEnvironmentVariable("QRXIO_TOOL"))
                                 .replace("qrxsim ", qEnvironmentVariable("QRXSIM_TOOL") + ' ');
        const Run run = RunTool("bash", {"-c", line});
        QCOMPARE(run.err, err);
        QCOMPARE(run.status, status);
        const QStringList calls = LoggedCalls(m_log);
        QCOMPARE(calls.filter("DXS_devSysLoad").size(), calls.filter("DXS_devSysUnload").size());
    }

    // qrxio history on a database the history writer made: the operands mean what monitor's
    // mean, the output ends at its first failed write, and bad times, operands and databases
    // are refused with the reason.
    void history_data()
    {
        QTest::addColumn<QString>("shell"); // %q: qrxio; %s, %b: a small and a large database
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // "*": not compared
        QTest::addColumn<QString>("err"); // a pattern
        const QString in = "2026-12-08T03:00:00.000000Z 6 in 3 0\n"
                           "2026-12-08T03:00:00.002000Z 6 in 3 1\n";
        QTest::newRow("CARD:POINT is the input") << "%q history --db %s 6:3" << 0 << in << "";
        QTest::newRow("CARD:in:POINT") << "%q history --db %s 6:in:3" << 0 << in << "";
        QTest::newRow("CARD:out:POINT, as JSON")
            << "%q history --db %s 6:out:3 --json" << 0
            << "{\"time\": \"2026-12-08T03:00:00.001000Z\", \"card\": 6, \"dir\": \"out\", "
               "\"point\": 3, \"value\": 0}\n{\"time\": \"2026-12-08T03:00:00.003000Z\", "
               "\"card\": 6, \"dir\": \"out\", \"point\": 3, \"value\": 1}\n"
            << "";
        QTest::newRow("a card is its inputs and outputs")
            << "%q history --db %s 6 --since 2026-12-08T03:00:00.001Z" << 0
            << "2026-12-08T03:00:00.001000Z 6 out 3 0\n2026-12-08T03:00:00.002000Z 6 in 3 1\n"
               "2026-12-08T03:00:00.003000Z 6 out 3 1\n"
            << "";
        // Rows stamped ten years ahead of the clock, moved aside by the agent, on request only.
        const QString moved = "cp %s %s.m.db && sqlite3 %s.m.db \"INSERT INTO moved_changes "
                              "SELECT time_us + 315360000000000, point_id, value, 0 FROM changes "
                              "JOIN points ON id = point_id WHERE card = 6 AND point = 3\" && ";
        QTest::newRow("--moved: the rows moved aside")
            << moved + "%q history --db %s.m.db --moved 6:in:3 | grep -c '^2036-'" << 0 << "2\n"
            << "";
        QTest::newRow("without --moved: the recorded rows")
            << moved + "%q history --db %s.m.db 6:3" << 0 << in << "";
        const QString pipe = "^qrxio: cannot write the output: Broken pipe\n$";
        QTest::newRow("a reader that goes: the first failed write ends it")
            << "%q history --db %b | head -1 >/dev/null; exit ${PIPESTATUS[0]}" << 1 << "*" << pipe;
        QTest::newRow("as CSV, a reader that goes")
            << "%q history --db %b --csv | head -1 >/dev/null; exit ${PIPESTATUS[0]}" << 1 << "*"
            << pipe;
        QTest::newRow("a full disk")
            << "%q history --db %b >/dev/full" << 1 << ""
            << "^qrxio: cannot write the output: No space left on device\n$";
        QTest::newRow("stdout closed") << "%q history --db %s >&-" << 1 << ""
                                       << "^qrxio: cannot write the output: Bad file descriptor\n$";
        const QString usage = "\nTry \"qrxio --help\".\n$";
        QTest::newRow("--since too far back")
            << "%q history --db %s --since -999999999d" << 2 << ""
            << "^qrxio: --since \"-999999999d\": it is too far back" + usage;
        QTest::newRow("an offset of 99 hours")
            << "%q history --db %s --until 2026-12-08T03:00:00+99:99" << 2 << ""
            << "^qrxio: --until \"2026-12-08T03:00:00\\+99:99\": \\+99:99 is not an offset";
        QTest::newRow("an operand says why")
            << "%q history --db %s 1:in:64" << 2 << ""
            << "^qrxio: \"64\" in \"1:in:64\" is neither a point number \\(0..63\\) nor a point "
               "name of card 1" +
                usage;
        QTest::newRow("two forms") << "%q history --db %s --csv --json" << 2 << ""
                                   << "--csv, --vcd and --json";
        QTest::newRow("an option of monitor")
            << "%q history --db %s --out" << 2 << ""
            << "^qrxio: --out is not an option of \"history\"" + usage;
        QTest::newRow("a folder as the database") << "%q history --db /tmp" << 1 << ""
                                                  << "/tmp";
        QTest::newRow("a FIFO as the database")
            << "rm -f %s.fifo; mkfifo %s.fifo; %q history --db %s.fifo" << 1 << ""
            << ".db.fifo";
        QTest::newRow("/dev/zero as the database") << "%q history --db /dev/zero" << 1 << ""
                                                   << "/dev/zero";
        QTest::newRow("a missing database") << "%q history --db /nonexistent/h.db" << 1 << ""
                                            << "/nonexistent/h.db";
    }
    void history()
    {
        QFETCH(QString, shell);
        QFETCH(int, status);
        QFETCH(QString, out);
        QFETCH(QString, err);
        const QString small = m_dir.filePath("small.db"), big = m_dir.filePath("big.db");
        if (!QFileInfo::exists(small))
            QVERIFY(MakeHistory(small, 2));
        if (!QFileInfo::exists(big))
            QVERIFY(MakeHistory(big, 100'000));
        const QString line = shell.replace("%q", qEnvironmentVariable("QRXIO_TOOL"))
                                 .replace("%s", small)
                                 .replace("%b", big);
        const Run run = RunTool("bash", {"-c", line});
        QVERIFY2(QRegularExpression(err).match(run.err).hasMatch(), qPrintable(run.err));
        QCOMPARE(run.status, status);
        if (out != "*")
            QCOMPARE(run.out, out);
    }

    // A stop signal the caller set to be ignored (nohup) stays ignored: the monitor carries on
    // and a signal it still takes ends it well.
    void ignoredSignals_data()
    {
        QTest::addColumn<QString>("ignored");
        QTest::addColumn<int>("signal");
        QTest::newRow("nohup: SIGHUP") << "HUP" << SIGHUP;
        QTest::newRow("SIGINT, as for a background job") << "INT" << SIGINT;
        QTest::newRow("SIGTERM") << "TERM" << SIGTERM;
    }
    void ignoredSignals()
    {
        QFETCH(QString, ignored);
        QFETCH(int, signal);
        useBoards();
        QProcess monitor;
        const QString log = startMonitor(
            monitor, {"0"}, 0, {}, {"sh", "-c", "trap '' " + ignored + "; exec \"$@\"", "sh"});
        QCOMPARE(monitor.state(), QProcess::Running);
        ::kill(pid_t(monitor.processId()), signal);
        QTest::qWait(300);
        QCOMPARE(monitor.state(), QProcess::Running);
        ::kill(pid_t(monitor.processId()), signal == SIGTERM ? SIGINT : SIGTERM);
        QVERIFY(EndsWell(monitor));
        QCOMPARE(LoggedCalls(log).last(), QString("DXS_devSysUnload() -> 0"));
    }

    // A names file that cannot be read is said once on stderr; the points still answer.
    void unreadableNames_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("why");
        QTest::newRow("a folder") << "folder" << QStringList{"get", "0", "in", "3"}
                                  << "it is not a regular file";
        QTest::newRow("a FIFO") << "fifo" << QStringList{"get", "0", "in", "3"}
                                << "it is not a regular file";
        QTest::newRow("too large")
            << "large" << QStringList{"get", "0", "in", "3"} << "it is larger than 4 MiB";
        QTest::newRow("in the monitor")
            << "folder" << QStringList{"monitor", "0", "--idle-timeout", "100"}
            << "it is not a regular file";
    }
    void unreadableNames()
    {
        QFETCH(QString, kind);
        QFETCH(QStringList, args);
        QFETCH(QString, why);
        useBoards();
        const QString dir = m_dir.filePath(QStringLiteral("names%1").arg(m_case));
        QVERIFY(QDir().mkpath(dir));
        QVERIFY(QFile::copy(qEnvironmentVariable("QRXIO_TOOL"), dir + "/qrxio"));
        const QString names = dir + "/OrvanePointNames.ini";
        if (kind == "folder")
            QVERIFY(QDir().mkpath(names));
        else if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(names).constData(), 0600), 0);
        else {
            QFile f(names);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.resize(5 << 20));
        }
        qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
        const Run run = RunTool(dir + "/qrxio", args);
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        QCOMPARE(run.err, "qrxio: the point names in " + names + " are not used: " + why + "\n");
        QCOMPARE(run.status, args.contains("--idle-timeout") ? int(kExitIdle) : 0);
    }

    // Monitor lines carry microseconds, and local time its offset, also west of UTC and by
    // half hours (POSIX zone rules, which need no time zone files).
    void timeStamp_data()
    {
        QTest::addColumn<QByteArray>("zone");
        QTest::addColumn<bool>("local");
        QTest::addColumn<long>("nanoseconds");
        QTest::addColumn<QByteArray>("expected");
        // 1700000000 is 2023-11-14T22:13:20 UTC.
        QTest::newRow("UTC") << QByteArray("NST3:30") << false << 123456789L
                             << QByteArray("2023-11-14T22:13:20.123456Z");
        QTest::newRow("no microseconds")
            << QByteArray("UTC0") << false << 999L << QByteArray("2023-11-14T22:13:20.000000Z");
        QTest::newRow("last microsecond") << QByteArray("UTC0") << false << 999999999L
                                          << QByteArray("2023-11-14T22:13:20.999999Z");
        QTest::newRow("local UTC")
            << QByteArray("UTC0") << true << 0L << QByteArray("2023-11-14T22:13:20.000000+00:00");
        QTest::newRow("east, half hour") << QByteArray("IST-5:30") << true << 5000L
                                         << QByteArray("2023-11-15T03:43:20.000005+05:30");
        QTest::newRow("west, half hour") << QByteArray("NST3:30") << true << 0L
                                         << QByteArray("2023-11-14T18:43:20.000000-03:30");
    }
    void timeStamp()
    {
        QFETCH(QByteArray, zone);
        QFETCH(bool, local);
        QFETCH(long, nanoseconds);
        QFETCH(QByteArray, expected);
        qputenv("TZ", zone);
        tzset();
        const QByteArray stamp = ChangeTime(1700000000'000'000 + nanoseconds / 1000, local);
        qunsetenv("TZ");
        tzset();
        QCOMPARE(stamp, expected);
    }

    // The program's point names, from the names file beside the settings file the tool uses
    // (a copy of the tool in a folder of its own, so that the file is this test's alone).
    void pointNames_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("out"); // or the start of the message on a usage error
        QTest::newRow("a name, read")
            << QStringList{"get", "0", "door SENSOR"} << 0 << "5=1 (Door sensor)\n";
        QTest::newRow("numbers show their names")
            << QStringList{"get", "0", "6", "5"} << 0 << "6=0 5=1 (Door sensor)\n";
        QTest::newRow("an output's name reads the output")
            << QStringList{"get", "0", "Conveyor lamp"} << 0 << "12=1 (Conveyor lamp)\n";
        QTest::newRow("JSON names the points")
            << QStringList{"get", "0", "--json", "out", "Conveyor lamp", "3"} << 0
            << "{\"card\":0,\"names\":{\"12\":\"Conveyor lamp\"},\"out\":{\"12\":1,"
               "\"3\":0}}\n";
        QTest::newRow("a name of the other direction")
            << QStringList{"get", "0", "in", "Conveyor lamp"} << 2
            << "qrxio: \"Conveyor lamp\" is the name of output 12 of card 0, not of an input";
        QTest::newRow("inputs and outputs mixed")
            << QStringList{"get", "0", "Conveyor lamp", "5"} << 2
            << "qrxio: get reads inputs or outputs, not both";
        QTest::newRow("a card without names")
            << QStringList{"get", "4", "Door sensor"} << 2
            << "qrxio: \"Door sensor\" is neither in, out nor a point number (0..63)";
    }
    void pointNames()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, out);
        const QString tool = m_dir.filePath("tool/qrxio");
        if (!QFileInfo::exists(tool)) {
            QVERIFY(QDir().mkpath(m_dir.filePath("tool")));
            QVERIFY(QFile::copy(qEnvironmentVariable("QRXIO_TOOL"), tool));
        }
        QFile names(m_dir.filePath("tool/OrvanePointNames.ini"));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write("[Card0]\nIn5=Door sensor\nOut12=Conveyor lamp\n");
        names.close();
        useBoards();
        QCOMPARE(RunLine("qrxsim set 0 in 5 1").status, 0);
        QCOMPARE(RunLine("qrxio set 0 12=1").status, 0);
        qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
        const Run run = RunTool(tool, args);
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        QCOMPARE(run.status, status);
        if (status == 0)
            QCOMPARE(run.out, out);
        else
            QVERIFY2(run.err.startsWith(out), qPrintable(run.err));
    }

    void pointNamesInTheMonitor()
    {
        useBoards();
        const QString tool = m_dir.filePath("monitor-tool/qrxio");
        QVERIFY(QDir().mkpath(m_dir.filePath("monitor-tool")));
        QVERIFY(QFile::copy(qEnvironmentVariable("QRXIO_TOOL"), tool));
        QFile names(m_dir.filePath("monitor-tool/OrvanePointNames.ini"));
        QVERIFY(names.open(QIODevice::WriteOnly));
        names.write("[Card0]\nIn5=Door sensor\n");
        names.close();
        const QByteArray realTool = qgetenv("QRXIO_TOOL");
        qputenv("QRXIO_TOOL", tool.toLocal8Bit());
        qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
        QProcess monitor;
        startMonitor(monitor, {"0", "-n", "1"}, 0);
        qputenv("QRXIO_TOOL", realTool);
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        QCOMPARE(monitor.state(), QProcess::Running);
        QCOMPARE(RunLine("qrxsim set 0 in 5 1").status, 0);
        QVERIFY(EndsWell(monitor));
        const QString out = QString::fromLocal8Bit(monitor.readAllStandardOutput());
        QVERIFY2(out.endsWith("Z 0 in 5 1 Door sensor\n"), qPrintable(out));
    }

    // A copy of the tool in a folder of its own with a names file beside it; the names file
    // holds names with a comma, a colon and an equals sign.
    QString toolWithNames()
    {
        const QString dir = m_dir.filePath("named-tool");
        if (!QFileInfo::exists(dir + "/qrxio")) {
            QDir().mkpath(dir);
            QFile::copy(qEnvironmentVariable("QRXIO_TOOL"), dir + "/qrxio");
        }
        QFile names(dir + "/OrvanePointNames.ini");
        if (names.open(QIODevice::WriteOnly))
            names.write("[Card0]\nIn5=Door sensor\nIn6=Gate:open\nOut13=Lamp, 24V\n"
                        "Out14=Pump:A=on\n");
        return dir + "/qrxio";
    }

    // monitor with chosen points, edges, -n and --idle-timeout: exactly the points and edges
    // asked for are printed, and a timeout that comes first ends with 3.
    void monitorChosenPoints_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<QString>("firstRead"); // the read that shows the watch has begun
        QTest::addColumn<QStringList>("changes");
        QTest::addColumn<QString>("line"); // a pattern; %t stands for the time
        QTest::addColumn<int>("status");
        const QString in3 = "DXS_devDiGetBit(card=0, bit=3)";
        QTest::newRow("CARD:POINT is an input; the others unseen")
            << QStringList{"0:3", "-n", "1"} << in3
            << QStringList{"qrxsim set 0 in 2 1", "qrxsim set 0 in 3 1"} << "%tZ 0 in 3 1" << 0;
        QTest::newRow("CARD:in:POINT") << QStringList{"0:in:3", "-n", "1"} << in3
                                       << QStringList{"qrxsim set 0 in 3 1"} << "%tZ 0 in 3 1" << 0;
        QTest::newRow("CARD:out:POINT needs no --out")
            << QStringList{"0:out:30", "-n", "1"} << "DXS_devDoGetBit(card=0, bit=30)"
            << QStringList{"qrxio set 0 29=1", "qrxio set 0 30=1"} << "%tZ 0 out 30 1" << 0;
        QTest::newRow("CARD:out: every output of the card")
            << QStringList{"7:out", "-n", "1"} << "DXS_devDoGetBit(card=7, bit=0)"
            << QStringList{"qrxio set 7 6=1"} << "%tZ 7 out 6 1" << 0;
        QTest::newRow("a point and a bare card")
            << QStringList{"9:63", "4", "-n", "2"} << "DXS_devDiGetBit(card=4, bit=0)"
            << QStringList{"qrxsim set 9 in 62 1", "qrxsim set 4 in 15 1", "qrxsim set 9 in 63 1"}
            << "%tZ 4 in 15 1\n%tZ 9 in 63 1" << 0;
        QTest::newRow("the man page's example: -n reached, 0")
            << QStringList{"0:3", "-n", "1", "--idle-timeout", "60000"} << in3
            << QStringList{"qrxsim set 0 in 3 1"} << "%tZ 0 in 3 1" << 0;
        QTest::newRow("the idle timeout comes first: 3")
            << QStringList{"0:3", "-n", "1", "--idle-timeout", "400"} << in3
            << QStringList{"qrxsim set 0 in 4 1"} << "" << 3;
        QTest::newRow("--rising leaves out the fall")
            << QStringList{"0:3", "--rising", "-n", "1"} << in3
            << QStringList{"qrxsim set 0 in 3 1", "qrxsim set 0 in 3 0", "qrxsim set 0 in 3 1"}
            << "%tZ 0 in 3 1" << 0;
        QTest::newRow("--falling leaves out the rise")
            << QStringList{"0:3", "--falling", "-n", "1"} << in3
            << QStringList{"qrxsim set 0 in 3 1", "qrxsim set 0 in 3 0"} << "%tZ 0 in 3 0" << 0;
        QTest::newRow("an edge not asked for keeps no watch alive")
            << QStringList{"0:3", "--falling", "--idle-timeout", "400"} << in3
            << QStringList{"qrxsim set 0 in 3 1"} << "" << 3;
        QTest::newRow("CARD:NAME, the name holding a colon")
            << QStringList{"names", "0:Gate:open", "-n", "1"} << "DXS_devDiGetBit(card=0, bit=6)"
            << QStringList{"qrxsim set 0 in 5 1", "qrxsim set 0 in 6 1"} << "%tZ 0 in 6 1 Gate:open"
            << 0;
        QTest::newRow("CARD:out:NAME, a colon and an equals sign")
            << QStringList{"names", "0:out:pump:a=ON", "-n", "1"}
            << "DXS_devDoGetBit(card=0, bit=14)" << QStringList{"qrxio set 0 14=1"}
            << "%tZ 0 out 14 1 Pump:A=on" << 0;
    }
    void monitorChosenPoints()
    {
        QFETCH(QStringList, args);
        QFETCH(QString, firstRead);
        QFETCH(QStringList, changes);
        QFETCH(QString, line);
        QFETCH(int, status);
        useBoards();
        const QByteArray realTool = qgetenv("QRXIO_TOOL");
        if (args.removeOne("names")) {
            qputenv("QRXIO_TOOL", toolWithNames().toLocal8Bit());
            qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
        }
        QProcess monitor;
        const QString log = startMonitor(monitor, args, 0, {}, {}, firstRead);
        qputenv("QRXIO_TOOL", realTool);
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        QCOMPARE(monitor.state(), QProcess::Running);
        for (const QString &change : changes) {
            QCOMPARE(RunLine(change).status, 0);
            QTest::qWait(50); // each change seen on its own
        }
        QVERIFY(EndsWith(monitor, status));
        QCOMPARE(monitor.readAllStandardError(), QByteArray());
        const QString out = QString::fromLocal8Bit(monitor.readAllStandardOutput());
        const QString time = "\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d\\.\\d{6}";
        const QRegularExpression expected(line.isEmpty() ? "^$"
                                                         : "^" + line.replace("%t", time) + "\n$");
        QVERIFY2(expected.match(out).hasMatch(), qPrintable(out));
        QCOMPARE(LoggedCalls(log).last(), QString("DXS_devSysUnload() -> 0"));
    }

    // "qrxio monitor 0 | head -n 1" on a board that stays quiet after the first change: the
    // monitor notices that its reader has gone without another change, ends with 0 and unloads.
    void monitorEndsWhenTheReaderGoesOnAQuietBoard()
    {
        useBoards();
        QProcess pipeline;
        const QString log = startMonitor(pipeline, {"0"}, 0, "head -n 1");
        QCOMPARE(pipeline.state(), QProcess::Running);
        QCOMPARE(RunLine("qrxsim set 0 in 1 1").status, 0);
        QElapsedTimer took;
        took.start();
        QVERIFY(EndsWell(pipeline)); // the status of qrxio, the pipeline's first command
        qDebug("the pipeline ended %lld ms after the change", took.elapsed());
        QVERIFY(pipeline.readAllStandardOutput().endsWith(" 0 in 1 1\n"));
        QCOMPARE(pipeline.readAllStandardError(), QByteArray());
        const QStringList calls = LoggedCalls(log);
        QCOMPARE(calls.last(), QString("DXS_devSysUnload() -> 0"));
        QCOMPARE(calls.filter("DXS_devSysUnload").size(), 1);
    }

    // info: every live point of a board, one a line, or one JSON object a board.
    void info_data()
    {
        QTest::addColumn<QByteArray>("boards");
        QTest::addColumn<QString>("before"); // a command line, or empty
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("out");
        auto lines = [](const QString &prefix, int first, int last, int on) {
            QString text;
            for (int p = first; p <= last; ++p)
                text += QStringLiteral("%1 %2 %3\n").arg(prefix).arg(p).arg(p == on ? 1 : 0);
            return text;
        };
        QTest::newRow("an output board") << kBoards << "qrxio set 7 3=1"
                                         << "info 7" << lines("7 out", 0, 7, 3);
        QTest::newRow("inputs, then outputs; boards in the order named")
            << kBoards << "qrxsim set 4 in 15 1"
            << "info 7 4" << lines("7 out", 0, 7, -1) + lines("4 in", 0, 15, 15);
        QTest::newRow("24 inputs: only the live ones")
            << kOddBoards << "qrxsim set 3 in 16 1"
            << "info 3"
            << lines("3 in", 0, 7, -1) + lines("3 in", 16, 31, 16) + lines("3 out", 0, 23, -1);
        QTest::newRow("no card: every board of the map") << kOddBoards << ""
                                                         << "info"
                                                         << lines("3 in", 0, 7, -1) +
                lines("3 in", 16, 31, -1) + lines("3 out", 0, 23, -1) + lines("4 in", 0, 47, -1);
        QTest::newRow("JSON: one object a board")
            << kBoards << "qrxio set 7 1=1"
            << "info 7 4 --json"
            << R"({"card":7,"in":[],"out":[{"point":0,"value":0},{"point":1,"value":1},)"
               R"({"point":2,"value":0},{"point":3,"value":0},{"point":4,"value":0},)"
               R"({"point":5,"value":0},{"point":6,"value":0},{"point":7,"value":0}]})"
               "\n{\"card\":4,\"in\":[" +
                [] {
                    QStringList points;
                    for (int p = 0; p < 16; ++p)
                        points << QStringLiteral(R"({"point":%1,"value":0})").arg(p);
                    return points.join(u',');
                }() +
                "],\"out\":[]}\n";
    }
    void info()
    {
        QFETCH(QByteArray, boards);
        QFETCH(QString, before);
        QFETCH(QString, command);
        QFETCH(QString, out);
        useBoards({}, boards);
        if (!before.isEmpty())
            QCOMPARE(RunLine(before).status, 0);
        const Run run = Qrxio(command.split(u' '));
        // Without cards named, every card of the map is told of, card 4 (twice in it) too.
        const bool twice = boards == kOddBoards && command == "info";
        QCOMPARE(run.err,
                 twice ? "qrxio: card 4 is at 2 places of the card map (positions 1, 2): "
                         "a call for card 4 reaches only one of them\n"
                       : QString());
        QCOMPARE(run.out, out);
        QCOMPARE(run.status, 0);
    }

    // Names for set, get and info (a copy of the tool with a names file): set splits at the
    // last "=", and a name of the other direction is said to be one.
    void namedPoints_data()
    {
        QTest::addColumn<QStringList>("args");
        QTest::addColumn<int>("status");
        QTest::addColumn<QString>("text"); // a part of the output, or the message
        QTest::addColumn<QStringList>("after"); // a run of the same tool that shows the effect
        QTest::addColumn<QString>("afterOut");
        QTest::newRow("set by a name with a comma")
            << QStringList{"set", "0", "Lamp, 24V=1"} << 0 << "" << QStringList{"get", "0", "out"}
            << "0x0000000000002000\n";
        QTest::newRow("set: split at the last =")
            << QStringList{"set", "0", "pump:a=on=on", "Lamp, 24V=0"} << 0 << ""
            << QStringList{"get", "0", "out", "13", "14"} << "13=0 (Lamp, 24V) 14=1 (Pump:A=on)\n";
        QTest::newRow("set: a name and its number are one point")
            << QStringList{"set", "0", "Lamp, 24V=1", "13=0"} << 2
            << "qrxio: point 13 is named twice\n"
            << QStringList{"get", "0", "out"} << "0x0000000000000000\n";
        QTest::newRow("set: an input's name")
            << QStringList{"set", "0", "Door sensor=1"} << 2
            << "qrxio: \"Door sensor\" is the name of input 5 of card 0, not of an output\n"
            << QStringList{"get", "0", "out"} << "0x0000000000000000\n";
        QTest::newRow("set: a name the card lacks")
            << QStringList{"set", "0", "Fan=1"} << 2
            << "qrxio: \"Fan=1\" is not POINT=VALUE (a point 0..63, a value 0 or 1)\n"
            << QStringList() << "";
        QTest::newRow("get in: an output's name")
            << QStringList{"get", "0", "in", "Lamp, 24V"} << 2
            << "qrxio: \"Lamp, 24V\" is the name of output 13 of card 0, not of an input\n"
            << QStringList() << "";
        QTest::newRow("monitor in: an output's name")
            << QStringList{"monitor", "0:in:Lamp, 24V"} << 2
            << "qrxio: \"Lamp, 24V\" is the name of output 13 of card 0, not of an input\n"
            << QStringList() << "";
        QTest::newRow("info shows the names")
            << QStringList{"info", "0"} << 0
            << "0 in 4 0\n0 in 5 1 Door sensor\n0 in 6 0 Gate:open\n"
            << QStringList() << "";
        QTest::newRow("info --json names the points")
            << QStringList{"info", "0", "--json"} << 0
            << R"({"name":"Door sensor","point":5,"value":1})" << QStringList() << "";
    }
    void namedPoints()
    {
        QFETCH(QStringList, args);
        QFETCH(int, status);
        QFETCH(QString, text);
        QFETCH(QStringList, after);
        QFETCH(QString, afterOut);
        const QString tool = toolWithNames();
        useBoards();
        QCOMPARE(RunLine("qrxsim set 0 in 5 1").status, 0);
        qputenv("ORVANE_DEVICE_LIBRARY", qgetenv("ORVANE_SIMLIB"));
        const Run run = RunTool(tool, args);
        const Run check = after.isEmpty() ? Run() : RunTool(tool, after);
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        QCOMPARE(run.status, status);
        if (status == 0)
            QVERIFY2(run.out.contains(text), qPrintable(run.out));
        else
            QCOMPARE(run.err, text + "Try \"qrxio --help\".\n");
        if (!after.isEmpty())
            QCOMPARE(check.out, afterOut);
    }

    // save --all --json: a line for every board, a failed one with its status and message; the
    // exit status says that one failed. Card 4's parameter file cannot be written (a folder has
    // its name).
    void saveAllJson()
    {
        const QString data = m_dir.filePath("save-data");
        QVERIFY(QDir().mkpath(data + "/card4.prm/x"));
        useBoards("DataDir=" + data.toLocal8Bit() + "\n");
        const Run run = Qrxio({"save", "--all", "--json"});
        const QString failed = "DXS_devConParamSave(card=4) failed with status -2022: the "
                               "parameter file could not be written";
        QCOMPARE(run.out,
                 "{\"card\":0,\"saved\":true}\n"
                 "{\"card\":4,\"error\":\"" +
                     failed +
                     "\",\"saved\":false,\"status\":-2022}\n"
                     "{\"card\":7,\"saved\":true}\n{\"card\":9,\"saved\":true}\n");
        QCOMPARE(run.err, "qrxio: " + failed + "\n");
        QCOMPARE(run.status, 1);
    }

    // A refusal through another library (the recording fake): the simulator's numbers stand
    // alone, the interface's are explained.
    void refusalThroughAnotherLibrary_data()
    {
        QTest::addColumn<int>("failStatus");
        QTest::addColumn<QString>("err");
        QTest::newRow("-2022 stands alone")
            << -2022 << "qrxio: DXS_devConParamSave(card=0) failed with status -2022\n";
        QTest::newRow("-1003 explained") << -1003
                                         << "qrxio: DXS_devConParamSave(card=0) failed with "
                                            "status -1003: the device could not be opened\n";
    }
    void refusalThroughAnotherLibrary()
    {
        QFETCH(int, failStatus);
        QFETCH(QString, err);
        FakeDevice fake;
        fake.loaded = false;
        fake.boards = {Board(kTypeLmDio, 0, 32, 32)};
        fake.failing.insert("DXS_devConParamSave");
        fake.failStatus = failStatus;
        const Run run = RunInProcess({"save", "0"});
        QCOMPARE(run.err, err);
        QCOMPARE(run.status, 1);
        QCOMPARE(fake.callsOf("DXS_devSysUnload").size(), 1);
    }

    void helpAndVersion_data()
    {
        QTest::addColumn<QString>("command");
        QTest::addColumn<QString>("start");
        QTest::newRow("--help") << "--help"
                                << "Usage: qrxio [OPTION...] COMMAND [ARGUMENT...]\n";
        QTest::newRow("-h after a command") << "get -h"
                                            << "Usage: qrxio";
        QTest::newRow("help") << "help"
                              << "Usage: qrxio";
        QTest::newRow("--version") << "--version"
                                   << "qrxio (Orvane) ";
        QTest::newRow("-v") << "-v"
                            << "qrxio (Orvane) ";
    }
    void helpAndVersion()
    {
        QFETCH(QString, command);
        QFETCH(QString, start);
        useBoards();
        const Run run = Qrxio(command.split(u' '));
        QVERIFY2(run.out.startsWith(start), qPrintable(run.out));
        if (command == "--version" || command == "-v") // the library is asked, never loaded
            QVERIFY2(run.out.endsWith("libqrxDApiLmd_x64.so (simulated boards)\n"),
                     qPrintable(run.out));
        QCOMPARE(run.err, QString());
        QCOMPARE(run.status, 0);
        QCOMPARE(LoggedCalls(m_log), QStringList()); // nothing is loaded for them
    }
};

QTEST_GUILESS_MAIN(TestQrxio)
#include "tst_qrxio.moc"

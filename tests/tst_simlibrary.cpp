// The simulated device library, loaded through the program's own binding: every function,
// the board file rules, the shared state, parameter files and the log. Each test has its own
// folder, board file and state file; every DXS_devSysLoad re-reads them.
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"

#include <QFile>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <atomic>
#include <ctime>
#include <fcntl.h>
#include <functional>
#include <sys/file.h>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace {

// The simulator's statuses, as sim/README.md lists them.
constexpr int32_t kNotLoaded = -2001;
constexpr int32_t kBadCard = -2002;
constexpr int32_t kBadPoint = -2003;
constexpr int32_t kBadModule = -2004;
constexpr int32_t kBadValue = -2005;
constexpr int32_t kNullPointer = -2006;
constexpr int32_t kPathTooLong = -2007;
constexpr int32_t kBoardFileMissing = -2010;
constexpr int32_t kBoardFileBad = -2011;
constexpr int32_t kStateFileError = -2012;
constexpr int32_t kStateLost = -2013;
constexpr int32_t kParamFileMissing = -2020;
constexpr int32_t kParamFileCorrupt = -2021;
constexpr int32_t kParamFileWrite = -2022;
constexpr int32_t kLogFileError = -2030;

constexpr int32_t kUntouched = 0x5A5A5A5A;

// Three boards: a 32/32 loopback board, a 16-input walking board and an 8-output board, with
// card numbers that are not their positions.
const char kThreeBoards[] = R"([System]
MApiVersion=2030405
DataDir=data
[Board0]
Type=174
CardNo=0
Inputs=32
Outputs=32
Firmware=0x12
Loopback=1
[Board1]
Type=2801
CardNo=7
Inputs=16
Pattern=walk
[Board2]
Type=2802
CardNo=3
Outputs=8
Firmware=81
)";

int64_t MonotonicMs()
{
    timespec ts;
    clock_gettime(CLOCK_MONOTONIC, &ts);
    return int64_t(ts.tv_sec) * 1000 + ts.tv_nsec / 1000000;
}

// A per-board call with valid arguments for a board with inputs and outputs; `out` points to
// two int32 sentinels.
using BoardCall = std::function<int32_t(int32_t card, int32_t *out)>;

QMap<QString, BoardCall> BoardCalls()
{
    return {
        {"DXS_devGnGetDioNum",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devGnGetDioNum(c, o, o + 1);
         }},
        {"DXS_devConGetMApiVersion",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devConGetMApiVersion(c, o);
         }},
        {"DXS_devConGetFwVersion",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devConGetFwVersion(c, o);
         }},
        {"DXS_devConParamLoad",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devConParamLoad(c);
         }},
        {"DXS_devConParamSave",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devConParamSave(c);
         }},
        {"DXS_devConInit",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devConInit(c);
         }},
        {"DXS_devConGetCheckOn",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devConGetCheckOn(c, o);
         }},
        {"DXS_devConSetCheckOn",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devConSetCheckOn(c, 1);
         }},
        {"DXS_devDiGetBit",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devDiGetBit(c, 0, o);
         }},
        {"DXS_devDoGetBit",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devDoGetBit(c, 0, o);
         }},
        {"DXS_devDoSetBit",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devDoSetBit(c, 0, 1);
         }},
        {"DXS_devDiGetFilterEnable",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devDiGetFilterEnable(c, 0, o);
         }},
        {"DXS_devDiSetFilterEnable",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devDiSetFilterEnable(c, 0, 1);
         }},
        {"DXS_devDiGetFilterTime",
         [](int32_t c, int32_t *o) {
             return Dev().DXS_devDiGetFilterTime(c, 0, o);
         }},
        {"DXS_devDiSetFilterTime",
         [](int32_t c, int32_t *) {
             return Dev().DXS_devDiSetFilterTime(c, 0, 3);
         }},
    };
}

} // namespace

class TestSimLibrary : public QObject
{
    Q_OBJECT

    DeviceLibrary m_library;
    std::unique_ptr<QTemporaryDir> m_dir;

    QString path(const QString &name) const { return m_dir->filePath(name); }

    // Writes `text` as the board file and names it in QRXSIM_CONFIG.
    void useBoardFile(const QByteArray &text, const QString &name = "qrxsim.ini")
    {
        QFile file(path(name));
        QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(text);
        file.close();
        qputenv("QRXSIM_CONFIG", path(name).toLocal8Bit());
    }

    int32_t load(int32_t mode = DXS_LOAD_AUTO, int32_t *count = nullptr)
    {
        int32_t n = kUntouched;
        const int32_t status = Dev().DXS_devSysLoad(mode, &n);
        if (count)
            *count = n;
        return status;
    }

    CardMap cardMap()
    {
        CardMap map;
        std::memset(map.bytes, 0xAB, sizeof map.bytes);
        Dev().DXS_devGnGetMotDevMap(map.bytes);
        return map;
    }

    QStringList logLines(const QString &file)
    {
        QFile f(file);
        if (!f.open(QIODevice::ReadOnly))
            return {};
        QStringList lines = QString::fromLocal8Bit(f.readAll()).split('\n', Qt::SkipEmptyParts);
        // Without the timestamp.
        for (QString &line : lines)
            line = line.section(' ', 1);
        return lines;
    }

    void setLog(const QString &file, int32_t level)
    {
        QCOMPARE(Dev().DXS_devDLogSetFile(file.toLocal8Bit().constData()), 0);
        QCOMPARE(Dev().DXS_devDLogSetLevel(level), 0);
    }

private slots:
    void initTestCase()
    {
        DeviceLoadError error;
        QVERIFY2(m_library.Load(qEnvironmentVariable("ORVANE_SIMLIB"), &error),
                 qPrintable(error.text()));
        SetDeviceTable(m_library.Table());
    }

    void init()
    {
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        qputenv("QRXSIM_CONFIG", "");
        qputenv("QRXSIM_STATE", path("state").toLocal8Bit());
    }

    void cleanup()
    {
        Dev().DXS_devSysUnload();
        Dev().DXS_devDLogSetLevel(0);
    }

    void builtInBoardsWhenNoBoardFile()
    {
        int32_t count = 0;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(count, 4);
        const CardMap map = cardMap();
        QCOMPARE(map.mapCount(), 4);
        const int32_t expected[4][4] = {
            {174, 0, 32, 32}, {2803, 1, 64, 64}, {2801, 2, 64, 0}, {2802, 3, 0, 32}};
        for (int i = 0; i < 4; ++i) {
            QCOMPARE(map.cardType(i), expected[i][0]);
            QCOMPARE(map.cardNo(i), expected[i][1]);
            QCOMPARE(map.diCount(i), expected[i][2]);
            QCOMPARE(map.doCount(i), expected[i][3]);
        }
        int32_t version = 0;
        QCOMPARE(Dev().DXS_devConGetMApiVersion(2, &version), 0);
        QCOMPARE(version, 1020304);
        // Two loopback boards: an output shows on the input of the same number.
        QCOMPARE(Dev().DXS_devDoSetBit(1, 63, 1), 0);
        int32_t value = 0;
        QCOMPARE(Dev().DXS_devDiGetBit(1, 63, &value), 0);
        QCOMPARE(value, 1);
    }

    void cardMapHoldsTheFileBoardsAndZeroesElsewhere()
    {
        useBoardFile(kThreeBoards);
        int32_t count = 0;
        QCOMPARE(load(DXS_LOAD_MANUAL, &count), 0);
        QCOMPARE(count, 3);
        const CardMap map = cardMap();
        QCOMPARE(map.mapCount(), 3);
        QCOMPARE(map.cardNo(1), 7);
        QCOMPARE(map.cardType(1), 2801);
        QCOMPARE(map.diCount(1), 16);
        QCOMPARE(map.cardNo(2), 3);
        QCOMPARE(map.doCount(2), 8);
        // Every byte that no field uses is 0, in used and unused slots alike.
        QSet<int> used = {0, 1, 2, 3};
        for (int slot = 0; slot < kMaxBoards; ++slot)
            for (int field : {24, 28, 48, 56})
                for (int b = 0; b < 4; ++b)
                    used.insert(field + 64 * slot + b);
        for (int i = 0; i < CardMap::kBytes; ++i)
            if (!used.contains(i))
                QVERIFY2(map.bytes[i] == 0, qPrintable(QString("byte %1").arg(i)));
        for (int slot = 3; slot < kMaxBoards; ++slot)
            QCOMPARE(map.cardType(slot), 0);

        int32_t counts[2] = {0, 0}, fw = 0, version = 0;
        QCOMPARE(Dev().DXS_devGnGetDioNum(3, &counts[0], &counts[1]), 0);
        QCOMPARE(counts[0], 0);
        QCOMPARE(counts[1], 8);
        QCOMPARE(Dev().DXS_devConGetFwVersion(0, &fw), 0);
        QCOMPARE(fw, 0x12);
        QCOMPARE(Dev().DXS_devConGetFwVersion(3, &fw), 0);
        QCOMPARE(fw, 81);
        QCOMPARE(Dev().DXS_devConGetMApiVersion(7, &version), 0);
        QCOMPARE(version, 2030405);
    }

    void aBoardFileWithoutBoardsLoadsNone()
    {
        useBoardFile("[System]\nLogLevel=0\n");
        int32_t count = -1;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(count, 0);
        QCOMPARE(cardMap().mapCount(), 0);
        int32_t value = kUntouched;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, &value), kBadCard);
    }

    void badBoardFileFailsTheLoad_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray board = "[Board0]\nType=174\nCardNo=0\n";
        QTest::newRow("not a number") << board + "Inputs=3x\n";
        QTest::newRow("inputs above 64") << board + "Inputs=65\n";
        QTest::newRow("outputs below 0") << board + "Outputs=-1\n";
        QTest::newRow("hex outputs above 64") << board + "Outputs=0x41\n";
        QTest::newRow("negative card number") << QByteArray("[Board0]\nType=174\nCardNo=-1\n");
        QTest::newRow("card number too big") << QByteArray("[Board0]\nType=1\nCardNo=2147483648\n");
        QTest::newRow("no Type") << QByteArray("[Board0]\nCardNo=0\n");
        QTest::newRow("no CardNo") << QByteArray("[Board0]\nType=174\n");
        QTest::newRow("empty value") << board + "Firmware=\n";
        QTest::newRow("loopback 2") << board + "Loopback=2\n";
        QTest::newRow("unknown pattern") << board + "Pattern=zigzag\n";
        QTest::newRow("unknown key") << board + "Colour=red\n";
        QTest::newRow("key twice") << board + "Inputs=1\nInputs=2\n";
        QTest::newRow("unknown section") << board + "[Extras]\n";
        QTest::newRow("section twice") << board + "[board0]\nType=1\nCardNo=1\n";
        QTest::newRow("gap") << board + "[Board2]\nType=1\nCardNo=1\n";
        QTest::newRow("no Board0") << QByteArray("[Board1]\nType=1\nCardNo=1\n");
        QTest::newRow("leading zero") << QByteArray("[Board00]\nType=1\nCardNo=1\n");
        QByteArray seventeen;
        for (int i = 0; i < 17; ++i)
            seventeen += QString("[Board%1]\nType=174\nCardNo=%1\n").arg(i).toLatin1();
        QTest::newRow("17 boards") << seventeen;
        QTest::newRow("line without =") << board + "Inputs\n";
        QTest::newRow("key before a section") << "Type=1\n" + board;
        QTest::newRow("unclosed section") << QByteArray("[Board0\nType=1\nCardNo=0\n");
        QTest::newRow("log level 6") << "[System]\nLogLevel=6\n" + board;
        QTest::newRow("required mode 2") << "[System]\nRequiredMode=2\n" + board;
        QTest::newRow("positive load status") << "[System]\nLoadStatus=1\n" + board;
        QTest::newRow("log file too long")
            << "[System]\nLogFile=/" + QByteArray(260, 'x') + "\n" + board;
    }

    void badBoardFileFailsTheLoad()
    {
        QFETCH(QByteArray, text);
        // A good load first, so that the failed one must also undo it.
        QCOMPARE(load(), 0);
        useBoardFile(text);
        int32_t count = kUntouched;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), kBoardFileBad);
        QCOMPARE(count, kUntouched);
        int32_t value = kUntouched;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, &value), kNotLoaded);
        QCOMPARE(value, kUntouched);
    }

    void goodBoardFileVariants_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int32_t>("type");
        QTest::addColumn<int32_t>("firmware");
        QTest::newRow("unknown type") << QByteArray("[Board0]\nType=999\nCardNo=4\n") << 999 << 0;
        QTest::newRow("negative type") << QByteArray("[Board0]\nType=-5\nCardNo=4\n") << -5 << 0;
        QTest::newRow("hex firmware, comments, spaces, case")
            << QByteArray("; boards\n# more\n[board0]\n  type = 174 \ncardno=4\nFIRMWARE=0x1aB\n")
            << 174 << 0x1ab;
        QTest::newRow("16 boards") << [] {
            QByteArray text;
            for (int i = 0; i < 16; ++i)
                text += QString("[Board%1]\nType=174\nCardNo=%2\n")
                            .arg(i)
                            .arg(i == 0 ? 4 : 100 + i)
                            .toLatin1();
            return text;
        }() << 174 << 0;
    }

    void goodBoardFileVariants()
    {
        QFETCH(QByteArray, text);
        QFETCH(int32_t, type);
        QFETCH(int32_t, firmware);
        useBoardFile(text);
        QCOMPARE(load(), 0);
        QCOMPARE(cardMap().cardType(0), type);
        int32_t fw = kUntouched;
        QCOMPARE(Dev().DXS_devConGetFwVersion(4, &fw), 0);
        QCOMPARE(fw, firmware);
    }

    void boardFileThatIsNoSmallFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int32_t>("status");
        QTest::addColumn<QString>("reason");
        const QString irregular = ": cannot be read: not a regular file";
        QTest::newRow("a FIFO") << "fifo" << kBoardFileBad << irregular;
        QTest::newRow("a folder") << "folder" << kBoardFileBad << irregular;
        QTest::newRow("a link to /dev/zero") << "zero" << kBoardFileBad << irregular;
        QTest::newRow("a good file padded beyond 1 MiB")
            << "over" << kBoardFileBad << ": cannot be read: larger than 1048576 bytes";
        QTest::newRow("a good file padded to 1 MiB") << "limit" << 0 << "";
        QTest::newRow("a dangling link")
            << "dangling" << kBoardFileMissing << ": the board file does not exist";
    }

    void boardFileThatIsNoSmallFile()
    {
        QFETCH(QString, kind);
        QFETCH(int32_t, status);
        QFETCH(QString, reason);
        const QString file = path("boards.ini");
        const QByteArray good = "[Board0]\nType=174\nCardNo=0\n";
        auto padded = [&good](qsizetype size) {
            return QByteArray(size - good.size() - 1, ';') + "\n" + good;
        };
        if (kind == "fifo")
            QCOMPARE(mkfifo(file.toLocal8Bit().constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(file));
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", file));
        else if (kind == "dangling")
            QVERIFY(QFile::link(path("nothing"), file));
        else
            useBoardFile(padded(kind == "over" ? (1 << 20) + 1 : 1 << 20), "boards.ini");
        qputenv("QRXSIM_CONFIG", file.toLocal8Bit());
        setLog(path("reason.dbg"), 1);
        int32_t count = kUntouched;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), status);
        QCOMPARE(count, status == 0 ? 1 : kUntouched);
        if (status != 0)
            QCOMPARE(
                logLines(path("reason.dbg")),
                QStringList(
                    QString("DXS_devSysLoad(mode=0) -> %1 (%2%3)").arg(status).arg(file, reason)));
    }

    void missingBoardFileIsAnError()
    {
        qputenv("QRXSIM_CONFIG", path("nothing.ini").toLocal8Bit());
        int32_t count = kUntouched;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), kBoardFileMissing);
        QCOMPARE(count, kUntouched);
    }

    void badBoardFileReasonGoesToTheLog()
    {
        setLog(path("reason.dbg"), 1);
        useBoardFile("[Board0]\nType=174\nCardNo=0\nInputs=99\n");
        QCOMPARE(load(), kBoardFileBad);
        const QStringList lines = logLines(path("reason.dbg"));
        QCOMPARE(lines.size(), 1);
        QVERIFY2(lines[0].startsWith("DXS_devSysLoad(mode=0) -> -2011 (") &&
                     lines[0].contains("qrxsim.ini:4:") && lines[0].contains("Inputs"),
                 qPrintable(lines[0]));
    }

    void boardFileBesideTheLibrary()
    {
        // A copy of the library in a folder of its own, with a board file beside it.
        const QString folder = path("lib");
        QVERIFY(QDir().mkpath(folder));
        const QString copy = folder + "/" + DeviceLibrary::FileName();
        QVERIFY(QFile::copy(qEnvironmentVariable("ORVANE_SIMLIB"), copy));
        QFile ini(folder + "/qrxsim.ini");
        QVERIFY(ini.open(QIODevice::WriteOnly));
        ini.write("[Board0]\nType=2801\nCardNo=42\nInputs=8\n");
        ini.close();

        DeviceLibrary beside;
        DeviceLoadError error;
        QVERIFY2(beside.Load(copy, &error), qPrintable(error.text()));
        int32_t count = 0;
        QCOMPARE(beside.Table().DXS_devSysLoad(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(count, 1);
        CardMap map;
        QCOMPARE(beside.Table().DXS_devGnGetMotDevMap(map.bytes), 0);
        QCOMPARE(map.cardNo(0), 42);
        // QRXSIM_CONFIG wins over the file beside the library.
        qputenv("QRXSIM_CONFIG", "/no/such/board/file.ini");
        QCOMPARE(beside.Table().DXS_devSysLoad(DXS_LOAD_AUTO, &count), kBoardFileMissing);
        beside.Table().DXS_devSysUnload();
    }

    void loadModes_data()
    {
        QTest::addColumn<QByteArray>("system");
        QTest::addColumn<int32_t>("mode");
        QTest::addColumn<int32_t>("status");
        QTest::newRow("auto") << QByteArray() << 0 << 0;
        QTest::newRow("manual") << QByteArray() << 1 << 0;
        QTest::newRow("mode -1") << QByteArray() << -1 << int32_t(DXS_ERR_OPEN_MODE);
        QTest::newRow("mode 2") << QByteArray() << 2 << int32_t(DXS_ERR_OPEN_MODE);
        QTest::newRow("manual required, auto asked")
            << QByteArray("RequiredMode=1") << 0 << int32_t(DXS_ERR_OPEN_MODE);
        QTest::newRow("manual required, manual asked") << QByteArray("RequiredMode=1") << 1 << 0;
        QTest::newRow("auto required, manual asked")
            << QByteArray("RequiredMode=0") << 1 << int32_t(DXS_ERR_OPEN_MODE);
        QTest::newRow("forced status")
            << QByteArray("LoadStatus=-1030") << 0 << int32_t(DXS_ERR_CONTROLLER_NOT_FOUND);
        QTest::newRow("forced status wins over the mode")
            << QByteArray("LoadStatus=-1001\nRequiredMode=1") << 0
            << int32_t(DXS_ERR_MEMORY_CREATE);
        QTest::newRow("forced unknown status") << QByteArray("LoadStatus=-1037") << 1 << -1037;
        QTest::newRow("load status 0") << QByteArray("LoadStatus=0") << 1 << 0;
    }

    void loadModes()
    {
        QFETCH(QByteArray, system);
        QFETCH(int32_t, mode);
        QFETCH(int32_t, status);
        useBoardFile("[System]\n" + system + "\n[Board0]\nType=174\nCardNo=0\nOutputs=1\n");
        int32_t count = kUntouched;
        QCOMPARE(load(mode, &count), status);
        QCOMPARE(count, status == 0 ? 1 : kUntouched);
        int32_t value = kUntouched;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, &value), status == 0 ? 0 : kNotLoaded);
    }

    void callsNeedALoadedSystem_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<bool>("unloadFirst");
        for (const QString &name : BoardCalls().keys() + QStringList{"DXS_devGnGetMotDevMap"}) {
            QTest::newRow(qPrintable(name + " before a load")) << name << false;
            QTest::newRow(qPrintable(name + " after an unload")) << name << true;
        }
    }

    void callsNeedALoadedSystem()
    {
        QFETCH(QString, function);
        QFETCH(bool, unloadFirst);
        if (unloadFirst) {
            QCOMPARE(load(), 0);
            QCOMPARE(Dev().DXS_devSysUnload(), 0);
        }
        int32_t out[2] = {kUntouched, kUntouched};
        if (function == "DXS_devGnGetMotDevMap") {
            CardMap map;
            std::memset(map.bytes, 0xAB, sizeof map.bytes);
            QCOMPARE(Dev().DXS_devGnGetMotDevMap(map.bytes), kNotLoaded);
            QCOMPARE(map.bytes[0], 0xAB);
            return;
        }
        QCOMPARE(BoardCalls()[function](0, out), kNotLoaded);
        QCOMPARE(out[0], kUntouched);
        QCOMPARE(out[1], kUntouched);
    }

    void unloadWhenNotLoaded()
    {
        QCOMPARE(Dev().DXS_devSysUnload(), kNotLoaded);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devSysUnload(), 0);
        QCOMPARE(Dev().DXS_devSysUnload(), kNotLoaded);
    }

    void badCardNumber_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<int32_t>("card");
        for (const QString &name : BoardCalls().keys()) {
            QTest::newRow(qPrintable(name + " card 5")) << name << 5;
            QTest::newRow(qPrintable(name + " card -1")) << name << -1;
        }
    }

    void badCardNumber()
    {
        QFETCH(QString, function);
        QFETCH(int32_t, card);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        int32_t out[2] = {kUntouched, kUntouched};
        QCOMPARE(BoardCalls()[function](card, out), kBadCard);
        QCOMPARE(out[0], kUntouched);
        QCOMPARE(out[1], kUntouched);
    }

    void badArguments_data()
    {
        QTest::addColumn<QString>("call");
        QTest::addColumn<int32_t>("status");
        // Card 0: 32 inputs and 32 outputs; card 7: 16 inputs, no outputs; card 3: 8 outputs.
        const int32_t point = kBadPoint, module = kBadModule, value = kBadValue;
        QTest::newRow("input -1") << "DiGetBit 0 -1" << point;
        QTest::newRow("input 32 of 32") << "DiGetBit 0 32" << point;
        QTest::newRow("input 16 of 16") << "DiGetBit 7 16" << point;
        QTest::newRow("input of an output board") << "DiGetBit 3 0" << point;
        QTest::newRow("output 32 of 32 read") << "DoGetBit 0 32" << point;
        QTest::newRow("output 8 of 8 read") << "DoGetBit 3 8" << point;
        QTest::newRow("output of an input board") << "DoGetBit 7 0" << point;
        QTest::newRow("output -1 written") << "DoSetBit 0 -1 1" << point;
        QTest::newRow("output 8 of 8 written") << "DoSetBit 3 8 1" << point;
        QTest::newRow("output value 2") << "DoSetBit 0 0 2" << value;
        QTest::newRow("output value -1") << "DoSetBit 0 0 -1" << value;
        QTest::newRow("point before value") << "DoSetBit 0 40 2" << point;
        QTest::newRow("enable read, module 1") << "GetFilterEnable 0 1" << module;
        QTest::newRow("enable written, module -1") << "SetFilterEnable 0 -1 1" << module;
        QTest::newRow("enable 2") << "SetFilterEnable 0 0 2" << value;
        QTest::newRow("enable -1") << "SetFilterEnable 0 0 -1" << value;
        QTest::newRow("module before value") << "SetFilterEnable 0 1 2" << module;
        QTest::newRow("time read, module 1") << "GetFilterTime 0 1" << module;
        QTest::newRow("time written, module 2") << "SetFilterTime 0 2 3" << module;
        QTest::newRow("time code 16") << "SetFilterTime 0 0 16" << value;
        QTest::newRow("time code -1") << "SetFilterTime 0 0 -1" << value;
        QTest::newRow("run led 2") << "SetCheckOn 0 2" << value;
        QTest::newRow("log level 6") << "DLogSetLevel 6" << value;
        QTest::newRow("log level -1") << "DLogSetLevel -1" << value;
    }

    void badArguments()
    {
        QFETCH(QString, call);
        QFETCH(int32_t, status);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDLogSetLevel(2), 0);
        const QStringList p = call.split(' ');
        auto n = [&p](int i) {
            return p[i].toInt();
        };
        int32_t out = kUntouched;
        int32_t result = 0;
        const QString f = p[0];
        if (f == "DiGetBit")
            result = Dev().DXS_devDiGetBit(n(1), n(2), &out);
        else if (f == "DoGetBit")
            result = Dev().DXS_devDoGetBit(n(1), n(2), &out);
        else if (f == "DoSetBit")
            result = Dev().DXS_devDoSetBit(n(1), n(2), n(3));
        else if (f == "GetFilterEnable")
            result = Dev().DXS_devDiGetFilterEnable(n(1), n(2), &out);
        else if (f == "SetFilterEnable")
            result = Dev().DXS_devDiSetFilterEnable(n(1), n(2), n(3));
        else if (f == "GetFilterTime")
            result = Dev().DXS_devDiGetFilterTime(n(1), n(2), &out);
        else if (f == "SetFilterTime")
            result = Dev().DXS_devDiSetFilterTime(n(1), n(2), n(3));
        else if (f == "SetCheckOn")
            result = Dev().DXS_devConSetCheckOn(n(1), n(2));
        else if (f == "DLogSetLevel")
            result = Dev().DXS_devDLogSetLevel(n(1));
        else
            QFAIL("unknown call");
        QCOMPARE(result, status);
        QCOMPARE(out, kUntouched);
        // Nothing changed: outputs, filter, Run LED and log level keep their values.
        int32_t v = kUntouched;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devDiGetFilterEnable(0, 0, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devConGetCheckOn(0, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devDLogGetLevel(&v), 0);
        QCOMPARE(v, 2);
    }

    void nullOutPointers()
    {
        useBoardFile(kThreeBoards);
        QCOMPARE(Dev().DXS_devSysLoad(0, nullptr), kNullPointer);
        QCOMPARE(load(), 0);
        int32_t v = 0;
        QCOMPARE(Dev().DXS_devGnGetMotDevMap(nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devGnGetDioNum(0, &v, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devConGetMApiVersion(0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devConGetFwVersion(0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devConGetCheckOn(0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDiGetBit(0, 0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDiGetFilterEnable(0, 0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDLogGetLevel(nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDLogGetFile(nullptr), kNullPointer);
        QCOMPARE(Dev().DXS_devDLogSetFile(nullptr), kNullPointer);
    }

    void duplicateCardNumbersAddressTheFirstBoard()
    {
        useBoardFile("[Board0]\nType=174\nCardNo=5\nInputs=4\nOutputs=4\n"
                     "[Board1]\nType=2803\nCardNo=5\nInputs=64\nOutputs=64\n");
        int32_t count = 0;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), 0);
        QCOMPARE(count, 2);
        int32_t in = 0, out = 0;
        QCOMPARE(Dev().DXS_devGnGetDioNum(5, &in, &out), 0);
        QCOMPARE(in, 4);
        QCOMPARE(Dev().DXS_devDoSetBit(5, 4, 1), kBadPoint);
    }

    void outputsAndTheirLoopback()
    {
        useBoardFile("[Board0]\nType=174\nCardNo=0\nInputs=64\nOutputs=64\nLoopback=1\n"
                     "[Board1]\nType=174\nCardNo=1\nInputs=64\nOutputs=64\n");
        QCOMPARE(load(), 0);
        for (int card : {0, 1}) {
            for (int bit : {0, 31, 32, 63})
                QCOMPARE(Dev().DXS_devDoSetBit(card, bit, 1), 0);
            QCOMPARE(Dev().DXS_devDoSetBit(card, 31, 0), 0);
        }
        for (int card : {0, 1}) {
            for (int bit = 0; bit < 64; ++bit) {
                const int expected = bit == 0 || bit == 32 || bit == 63;
                int32_t out = kUntouched, in = kUntouched;
                QCOMPARE(Dev().DXS_devDoGetBit(card, bit, &out), 0);
                QCOMPARE(out, expected);
                QCOMPARE(Dev().DXS_devDiGetBit(card, bit, &in), 0);
                QCOMPARE(in, card == 0 ? expected : 0);
            }
        }
    }

    void patternsFollowTheMonotonicClock_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("inputs");
        QTest::newRow("walk over 16") << "walk" << 16;
        QTest::newRow("walk over 5") << "walk" << 5;
        QTest::newRow("counter over 64") << "counter" << 64;
        QTest::newRow("counter over 6") << "counter" << 6;
        // Inputs 0..7 and 16..31: the pattern's bits 8..23 show on the inputs 16..31.
        QTest::newRow("walk over 24") << "walk" << 24;
        QTest::newRow("counter over 24") << "counter" << 24;
    }

    void patternsFollowTheMonotonicClock()
    {
        QFETCH(QString, pattern);
        QFETCH(int, inputs);
        useBoardFile(QString("[Board0]\nType=2801\nCardNo=0\nInputs=%1\nPattern=%2\n")
                         .arg(inputs)
                         .arg(pattern)
                         .toLatin1());
        QCOMPARE(load(), 0);
        const uint64_t mask = inputs == 64 ? ~uint64_t(0) : (uint64_t(1) << inputs) - 1;
        const int points = inputs == 24 ? 32 : inputs;
        auto expectedAt = [&](int64_t ms) {
            const uint64_t word = pattern == "walk" ? uint64_t(1) << ((ms / 250) % inputs)
                                                    : uint64_t(ms / 100) & mask;
            return inputs == 24 ? (word & 0xFF) | (word >> 8 << 16) : word;
        };
        // Whatever the number of reads, the word is the one of the clock at that moment. Rounds
        // that may straddle a step are skipped; the library's clock may lag the precise one
        // by a tick of the coarse clock. Over half a second the word moves.
        QSet<uint64_t> seen;
        for (int round = 0; round < 120; ++round) {
            QThread::msleep(4);
            const int64_t before = MonotonicMs() - 20;
            uint64_t word = 0;
            for (int bit = 0; bit < points; ++bit) {
                int32_t v = 0;
                QCOMPARE(Dev().DXS_devDiGetBit(0, bit, &v), 0);
                word |= uint64_t(v != 0) << bit;
            }
            const int64_t after = MonotonicMs();
            if (expectedAt(before) == expectedAt(after)) {
                QCOMPARE(word, expectedAt(before));
                seen.insert(word);
            }
        }
        QVERIFY(seen.size() >= 2);
    }

    void loopbackStopsAtTheInputCount()
    {
        // 8 inputs, 64 outputs in loopback: only outputs 0..7 show on inputs.
        useBoardFile("[Board0]\nType=174\nCardNo=0\nInputs=8\nOutputs=64\nLoopback=1\n");
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 40, 1), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 7, 1), 0);
        int32_t v = 0;
        QCOMPARE(Dev().DXS_devDiGetBit(0, 7, &v), 0);
        QCOMPARE(v, 1);
        QCOMPARE(Dev().DXS_devDiGetBit(0, 40, &v), kBadPoint);
    }

    void twentyFourInputsAreZeroToSevenAndSixteenUp()
    {
        useBoardFile("[Board0]\nType=2803\nCardNo=0\nInputs=24\nOutputs=48\nLoopback=1\n");
        QCOMPARE(load(), 0);
        QCOMPARE(cardMap().diCount(0), 24);
        for (int bit = 0; bit < 48; ++bit)
            QCOMPARE(Dev().DXS_devDoSetBit(0, bit, 1), 0);
        for (int bit = 0; bit < 32; ++bit) {
            int32_t v = kUntouched;
            QCOMPARE(Dev().DXS_devDiGetBit(0, bit, &v), 0);
            QCOMPARE(v, bit < 8 || bit >= 16 ? 1 : 0);
        }
        int32_t v = kUntouched;
        QCOMPARE(Dev().DXS_devDiGetBit(0, 32, &v), kBadPoint);
        QCOMPARE(Dev().DXS_devDiGetBit(0, -1, &v), kBadPoint);
        QCOMPARE(v, kUntouched);
    }

    void filterAndRunLed()
    {
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDiSetFilterEnable(7, 0, 1), 0);
        QCOMPARE(Dev().DXS_devDiSetFilterTime(7, 0, 15), 0);
        QCOMPARE(Dev().DXS_devConSetCheckOn(7, 1), 0);
        int32_t enable = 0, code = 0, on = 0;
        QCOMPARE(Dev().DXS_devDiGetFilterEnable(7, 0, &enable), 0);
        QCOMPARE(Dev().DXS_devDiGetFilterTime(7, 0, &code), 0);
        QCOMPARE(Dev().DXS_devConGetCheckOn(7, &on), 0);
        QCOMPARE(enable, 1);
        QCOMPARE(code, 15);
        QCOMPARE(on, 1);
        // The other boards keep their own settings.
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, 0);
        QCOMPARE(Dev().DXS_devConGetCheckOn(3, &on), 0);
        QCOMPARE(on, 0);
    }

    void parametersSurviveSaveInitAndLoad()
    {
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        auto settings = [](int32_t card) {
            int32_t enable = -1, code = -1, on = -1;
            Dev().DXS_devDiGetFilterEnable(card, 0, &enable);
            Dev().DXS_devDiGetFilterTime(card, 0, &code);
            Dev().DXS_devConGetCheckOn(card, &on);
            return QList<int32_t>{enable, code, on};
        };
        auto set = [](int32_t card, int32_t enable, int32_t code, int32_t on) {
            QCOMPARE(Dev().DXS_devDiSetFilterEnable(card, 0, enable), 0);
            QCOMPARE(Dev().DXS_devDiSetFilterTime(card, 0, code), 0);
            QCOMPARE(Dev().DXS_devConSetCheckOn(card, on), 0);
        };

        // Before any parameter load, a reset returns to the defaults and clears the outputs.
        set(0, 1, 9, 1);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 3, 1), 0);
        QCOMPARE(Dev().DXS_devConInit(0), 0);
        QCOMPARE(settings(0), QList<int32_t>({0, 0, 0}));
        int32_t v = 1;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 3, &v), 0);
        QCOMPARE(v, 0);

        // Save writes the file into DataDir (relative to the board file), leaving no temporary.
        set(0, 1, 9, 1);
        QCOMPARE(Dev().DXS_devConParamSave(0), 0);
        QCOMPARE(QDir(path("data")).entryList(QDir::Files), QStringList{"card0.prm"});
        set(0, 0, 2, 0);
        QCOMPARE(Dev().DXS_devConParamLoad(0), 0);
        QCOMPARE(settings(0), QList<int32_t>({1, 9, 1}));

        // A reset now returns to the loaded values; outputs go off.
        set(0, 0, 4, 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 5, 1), 0);
        QCOMPARE(Dev().DXS_devConInit(0), 0);
        QCOMPARE(settings(0), QList<int32_t>({1, 9, 1}));
        QCOMPARE(Dev().DXS_devDoGetBit(0, 5, &v), 0);
        QCOMPARE(v, 0);

        // The file outlives a reload; the live state does too.
        QCOMPARE(load(), 0);
        QCOMPARE(settings(0), QList<int32_t>({1, 9, 1}));
        set(0, 0, 0, 0);
        QCOMPARE(Dev().DXS_devConParamLoad(0), 0);
        QCOMPARE(settings(0), QList<int32_t>({1, 9, 1}));

        // Another board has no file yet.
        set(3, 1, 1, 1);
        QCOMPARE(Dev().DXS_devConParamLoad(3), kParamFileMissing);
        QCOMPARE(settings(3), QList<int32_t>({1, 1, 1}));
    }

    void badParameterFileLeavesTheValues_data()
    {
        QTest::addColumn<QByteArray>("text");
        const QByteArray good = "Type=174\nFilterEnable=1\nFilterTime=5\nRunLed=1\n";
        QTest::newRow("good") << good;
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("garbage") << QByteArray("\x01\x02 nothing here\n");
        QTest::newRow("code 16") << QByteArray(
            "Type=174\nFilterEnable=1\nFilterTime=16\nRunLed=1\n");
        QTest::newRow("enable 2") << QByteArray(
            "Type=174\nFilterEnable=2\nFilterTime=5\nRunLed=1\n");
        QTest::newRow("missing key") << QByteArray("Type=174\nFilterEnable=1\nFilterTime=5\n");
        QTest::newRow("extra key") << good + "Colour=3\n";
        QTest::newRow("key twice") << good + "RunLed=0\n";
        QTest::newRow("other board type") << QByteArray(good).replace("174", "2801");
        QTest::newRow("not a number") << QByteArray(good).replace("=5", "=5x");
        QTest::newRow("cut short") << good.left(good.size() - 4);
    }

    void badParameterFileLeavesTheValues()
    {
        QFETCH(QByteArray, text);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QVERIFY(QDir().mkpath(path("data")));
        QFile file(path("data/card0.prm"));
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write(text);
        file.close();
        QCOMPARE(Dev().DXS_devDiSetFilterTime(0, 0, 3), 0);
        const bool good = QByteArray(QTest::currentDataTag()) == "good";
        QCOMPARE(Dev().DXS_devConParamLoad(0), good ? 0 : kParamFileCorrupt);
        int32_t code = -1;
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, good ? 5 : 3);
        // A reset afterwards returns to what was last loaded successfully: nothing, here.
        QCOMPARE(Dev().DXS_devConInit(0), 0);
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, good ? 5 : 0);
    }

    void parameterLoadTakesOnlyASmallRegularFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int32_t>("status");
        QTest::newRow("a FIFO") << "fifo" << kParamFileCorrupt;
        QTest::newRow("a link to /dev/zero") << "zero" << kParamFileCorrupt;
        QTest::newRow("a folder") << "folder" << kParamFileCorrupt;
        QTest::newRow("a sparse file of 100 MB") << "sparse" << kParamFileCorrupt;
        QTest::newRow("a good file padded beyond 64 KiB") << "over" << kParamFileCorrupt;
        QTest::newRow("a good file padded to 64 KiB") << "limit" << 0;
        QTest::newRow("a link to a good file") << "link" << 0;
    }

    void parameterLoadTakesOnlyASmallRegularFile()
    {
        QFETCH(QString, kind);
        QFETCH(int32_t, status);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QVERIFY(QDir().mkpath(path("data")));
        const QByteArray file = path("data/card0.prm").toLocal8Bit();
        const QByteArray good = "Type=174\nFilterEnable=1\nFilterTime=5\nRunLed=1\n";
        auto padded = [&good](qsizetype size) {
            const QByteArray pad = QByteArray(size - good.size() - 1, '#') + "\n";
            return pad + good;
        };
        auto write = [](const QString &name, const QByteArray &text) {
            QFile f(name);
            return f.open(QIODevice::WriteOnly) && f.write(text) == text.size();
        };
        if (kind == "fifo")
            QCOMPARE(mkfifo(file.constData(), 0600), 0);
        else if (kind == "zero")
            QVERIFY(QFile::link("/dev/zero", file));
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(file));
        else if (kind == "sparse")
            QVERIFY(write(file, good) && truncate(file.constData(), 100 << 20) == 0);
        else if (kind == "over")
            QVERIFY(write(file, padded(64 * 1024 + 1)));
        else if (kind == "limit")
            QVERIFY(write(file, padded(64 * 1024)));
        else if (kind == "link")
            QVERIFY(write(path("good.prm"), good) && QFile::link(path("good.prm"), file));

        // A load that waited on the FIFO would be handed a good file by this writer.
        std::atomic<bool> done = false;
        std::thread writer([&] {
            while (kind == "fifo" && !done) {
                const int fd = open(file.constData(), O_WRONLY | O_NONBLOCK);
                if (fd >= 0) {
                    [[maybe_unused]] const auto n = ::write(fd, good.constData(), good.size());
                    close(fd);
                    return;
                }
                QThread::msleep(20);
            }
        });
        const int32_t loaded = Dev().DXS_devConParamLoad(0);
        done = true;
        writer.join();
        QCOMPARE(loaded, status);
        int32_t code = -1;
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, status == 0 ? 5 : 0);
    }

    void parameterSaveNeverWritesThroughAPlantedName_data()
    {
        QTest::addColumn<QString>("planted");
        QTest::addColumn<bool>("hardLink");
        // The name a save once used for its temporary file, known in advance.
        const QString temp = "card0.prm.tmp" + QString::number(getpid());
        QTest::newRow("symbolic link as the temporary") << temp << false;
        QTest::newRow("hard link as the temporary") << temp << true;
        QTest::newRow("symbolic link as the file") << "card0.prm" << false;
    }

    void parameterSaveNeverWritesThroughAPlantedName()
    {
        QFETCH(QString, planted);
        QFETCH(bool, hardLink);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QVERIFY(QDir().mkpath(path("data")));
        const QString victim = path("victim.txt");
        QFile file(victim);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("keep me");
        file.close();
        const QByteArray name = path("data/" + planted).toLocal8Bit();
        if (hardLink)
            QCOMPARE(link(victim.toLocal8Bit().constData(), name.constData()), 0);
        else
            QVERIFY(QFile::link(victim, name));

        QCOMPARE(Dev().DXS_devDiSetFilterTime(0, 0, 6), 0);
        QCOMPARE(Dev().DXS_devConParamSave(0), 0);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), QByteArray("keep me"));
        QVERIFY(!QFileInfo(path("data/card0.prm")).isSymLink());
        QCOMPARE(Dev().DXS_devDiSetFilterTime(0, 0, 0), 0);
        QCOMPARE(Dev().DXS_devConParamLoad(0), 0);
        int32_t code = -1;
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &code), 0);
        QCOMPARE(code, 6);
    }

    void abandonedTemporariesAreRemoved_data()
    {
        QTest::addColumn<bool>("save");
        QTest::newRow("by the next save") << true;
        QTest::newRow("by the next load") << false;
    }

    void abandonedTemporariesAreRemoved()
    {
        QFETCH(bool, save);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devConParamSave(0), 0);
        auto make = [this](const QString &name) {
            QFile f(path("data/" + name));
            return f.open(QIODevice::WriteOnly) && f.write("Type=") == 5;
        };
        // Left by killed saves: an old-style and a new-style name.
        QVERIFY(make("card0.prm.tmp4242"));
        QVERIFY(make("card0.prm.tmp00112233aabbccdd"));
        // A save in progress holds its temporary; another board's are its own; a link or a
        // FIFO under such a name is no temporary of ours.
        QVERIFY(make("card0.prm.tmpbusy"));
        QFile busy(path("data/card0.prm.tmpbusy"));
        QVERIFY(busy.open(QIODevice::ReadOnly));
        QCOMPARE(flock(busy.handle(), LOCK_EX), 0);
        QVERIFY(make("card3.prm.tmp4242"));
        QVERIFY(make("card0.prm.other"));
        QVERIFY(QFile::link(path("data/card0.prm.tmpbusy"), path("data/card0.prm.tmplink")));
        QCOMPARE(mkfifo(path("data/card0.prm.tmpfifo").toLocal8Bit().constData(), 0600), 0);

        QCOMPARE(save ? Dev().DXS_devConParamSave(0) : Dev().DXS_devConParamLoad(0), 0);
        QCOMPARE(QDir(path("data")).entryList(QDir::Files | QDir::System, QDir::Name),
                 QStringList({"card0.prm", "card0.prm.other", "card0.prm.tmpbusy",
                              "card0.prm.tmpfifo", "card0.prm.tmplink", "card3.prm.tmp4242"}));
    }

    void parameterSaveThatCannotWrite()
    {
        // DataDir lies under a plain file, so no folder can be made there.
        QFile blocker(path("blocker"));
        QVERIFY(blocker.open(QIODevice::WriteOnly));
        blocker.close();
        useBoardFile("[System]\nDataDir=blocker/data\n[Board0]\nType=174\nCardNo=0\n");
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devConParamSave(0), kParamFileWrite);
    }

    void defaultDataFolder()
    {
        // Without DataDir the files go to $XDG_DATA_HOME/qrxsim, the log included.
        const QString data = path("xdg");
        const QByteArray saved = qgetenv("XDG_DATA_HOME");
        qputenv("XDG_DATA_HOME", data.toLocal8Bit());
        useBoardFile("[Board0]\nType=174\nCardNo=11\n");
        QCOMPARE(load(), 0);
        qputenv("XDG_DATA_HOME", saved);
        QCOMPARE(Dev().DXS_devConParamSave(11), 0);
        QVERIFY(QFile::exists(data + "/qrxsim/card11.prm"));
        char file[kPathBytes] = {};
        QCOMPARE(Dev().DXS_devDLogGetFile(file), 0);
        QCOMPARE(QString(file), data + "/qrxsim/qrxsim.dbg");
        int32_t level = -1;
        QCOMPARE(Dev().DXS_devDLogGetLevel(&level), 0);
        QCOMPARE(level, 0);
    }

    void stateOutlivesAReloadOfTheSameBoards()
    {
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(3, 6, 1), 0);
        QCOMPARE(Dev().DXS_devConSetCheckOn(7, 1), 0);
        // Reload without unloading: the board file is read again.
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devSysUnload(), 0);
        QCOMPARE(load(), 0);
        int32_t v = 0;
        QCOMPARE(Dev().DXS_devDoGetBit(3, 6, &v), 0);
        QCOMPARE(v, 1);
        QCOMPARE(Dev().DXS_devConGetCheckOn(7, &v), 0);
        QCOMPARE(v, 1);
    }

    void stateOfOtherBoardsIsRebuilt_data()
    {
        QTest::addColumn<QByteArray>("other");
        QTest::newRow("one board fewer")
            << QByteArray(kThreeBoards).left(QByteArray(kThreeBoards).indexOf("[Board2]"));
        QTest::newRow("other outputs")
            << QByteArray(kThreeBoards).replace("Outputs=8", "Outputs=9");
        QTest::newRow("other card number")
            << QByteArray(kThreeBoards).replace("CardNo=3", "CardNo=4");
        QTest::newRow("other type") << QByteArray(kThreeBoards).replace("Type=2802", "Type=2803");
    }

    void stateOfOtherBoardsIsRebuilt()
    {
        QFETCH(QByteArray, other);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 1, 1), 0);
        QCOMPARE(Dev().DXS_devDiSetFilterTime(0, 0, 6), 0);
        useBoardFile(other);
        QCOMPARE(load(), 0);
        int32_t v = -1;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 1, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devDiGetFilterTime(0, 0, &v), 0);
        QCOMPARE(v, 0);
    }

    void foreignStateFileIsRebuilt_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::newRow("empty") << QByteArray();
        QTest::newRow("short") << QByteArray("SXRQ");
        QTest::newRow("junk of a page") << QByteArray(4096, '\xff');
        QTest::newRow("junk of the right size") << QByteArray(664, '\x01');
    }

    void foreignStateFileIsRebuilt()
    {
        QFETCH(QByteArray, content);
        QFile state(path("state"));
        QVERIFY(state.open(QIODevice::WriteOnly));
        state.write(content);
        state.close();
        QCOMPARE(load(), 0);
        for (int bit = 0; bit < 64; ++bit) {
            int32_t v = -1;
            QCOMPARE(Dev().DXS_devDoGetBit(1, bit, &v), 0);
            QCOMPARE(v, 0);
        }
        int32_t code = -1;
        QCOMPARE(Dev().DXS_devDiGetFilterTime(1, 0, &code), 0);
        QCOMPARE(code, 0);
    }

    void stateWithValuesOutOfRangeIsRebuilt_data()
    {
        // Where a board's field lies in the file: the header, then 40 bytes per board.
        QTest::addColumn<int>("board");
        QTest::addColumn<int>("offset");
        QTest::addColumn<qint64>("value");
        QTest::addColumn<bool>("rebuilt");
        QTest::newRow("filter enable 7") << 0 << 16 << qint64(7) << true;
        QTest::newRow("filter enable -1") << 0 << 16 << qint64(-1) << true;
        QTest::newRow("time code 99") << 0 << 20 << qint64(99) << true;
        QTest::newRow("time code 16") << 1 << 20 << qint64(16) << true;
        QTest::newRow("run led 5") << 2 << 24 << qint64(5) << true;
        QTest::newRow("loaded enable 2") << 0 << 28 << qint64(2) << true;
        QTest::newRow("loaded time code -1") << 0 << 32 << qint64(-1) << true;
        QTest::newRow("loaded run led 3") << 1 << 36 << qint64(3) << true;
        QTest::newRow("output 8 of 8") << 2 << 8 << qint64(0x100) << true;
        QTest::newRow("output 32 of 32") << 0 << 8 << qint64(0x100000000) << true;
        QTest::newRow("output of an input board") << 1 << 8 << qint64(1) << true;
        QTest::newRow("held input 16 of 16") << 1 << 0 << qint64(0x10000) << true;
        QTest::newRow("held input of an output board") << 2 << 0 << qint64(1) << true;
        QTest::newRow("highest values") << 0 << 16 << qint64(1) << false;
        QTest::newRow("time code 15") << 1 << 20 << qint64(15) << false;
        QTest::newRow("output 7 of 8") << 2 << 8 << qint64(0x80) << false;
        QTest::newRow("held input 15 of 16") << 1 << 0 << qint64(0x8000) << false;
    }

    void stateWithValuesOutOfRangeIsRebuilt()
    {
        QFETCH(int, board);
        QFETCH(int, offset);
        QFETCH(qint64, value);
        QFETCH(bool, rebuilt);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 1, 1), 0);
        QCOMPARE(Dev().DXS_devConSetCheckOn(7, 1), 0);
        // The file with its header intact and one value changed, written as another program
        // might.
        QFile state(path("state"));
        QVERIFY(state.open(QIODevice::ReadWrite));
        QVERIFY(state.seek(24 + 40 * board + offset));
        const bool wide = offset < 16;
        QCOMPARE(state.write(reinterpret_cast<const char *>(&value), wide ? 8 : 4), wide ? 8 : 4);
        state.close();
        QCOMPARE(load(), 0);
        int32_t v = -1;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 1, &v), 0);
        QCOMPARE(v, rebuilt ? 0 : 1);
        QCOMPARE(Dev().DXS_devConGetCheckOn(7, &v), 0);
        QCOMPARE(v, rebuilt ? 0 : 1);
    }

    void stateFileCutShortUnderTheLibrary_data()
    {
        QTest::addColumn<QString>("function");
        QTest::addColumn<bool>("first");
        // The calls that do not touch the state cannot tell before another call has.
        const QStringList blind = {"DXS_devGnGetDioNum", "DXS_devConGetMApiVersion",
                                   "DXS_devConGetFwVersion"};
        for (const QString &name : BoardCalls().keys()) {
            QTest::newRow(qPrintable(name + " later")) << name << false;
            if (!blind.contains(name))
                QTest::newRow(qPrintable(name + " first")) << name << true;
        }
    }

    void stateFileCutShortUnderTheLibrary()
    {
        QFETCH(QString, function);
        QFETCH(bool, first);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 1, 1), 0);
        QCOMPARE(Dev().DXS_devConParamSave(0), 0);
        const QByteArray saved = [this] {
            QFile f(path("data/card0.prm"));
            return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
        }();
        QCOMPARE(::truncate(path("state").toLocal8Bit().constData(), 0), 0);

        int32_t out[2] = {kUntouched, kUntouched};
        if (!first) {
            QCOMPARE(Dev().DXS_devDoGetBit(0, 1, out), kStateLost);
            QCOMPARE(out[0], kUntouched);
        }
        QCOMPARE(BoardCalls()[function](0, out), kStateLost);
        QCOMPARE(out[0], kUntouched);
        QCOMPARE(out[1], kUntouched);
        // Every call after that tells, the card map too; the parameter file stays as it was.
        QCOMPARE(Dev().DXS_devGnGetDioNum(0, out, out + 1), kStateLost);
        CardMap map;
        QCOMPARE(Dev().DXS_devGnGetMotDevMap(map.bytes), kStateLost);
        QFile file(path("data/card0.prm"));
        QVERIFY(file.open(QIODevice::ReadOnly));
        QCOMPARE(file.readAll(), saved);

        // The next load rebuilds the file.
        QCOMPARE(load(), 0);
        QCOMPARE(QFileInfo(path("state")).size(), qint64(664));
        QCOMPARE(Dev().DXS_devDoGetBit(0, 1, out), 0);
        QCOMPARE(out[0], 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 2, 1), 0);
        QCOMPARE(Dev().DXS_devDoGetBit(0, 2, out), 0);
        QCOMPARE(out[0], 1);
    }

    void deletedOrReplacedStateFileIsTakenUpByTheNextLoad_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("deleted") << false;
        QTest::newRow("replaced") << true;
    }

    void deletedOrReplacedStateFileIsTakenUpByTheNextLoad()
    {
        QFETCH(bool, replaced);
        useBoardFile(kThreeBoards);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 1, 1), 0);
        QVERIFY(QFile::remove(path("state")));
        if (replaced) {
            QFile other(path("state.new"));
            QVERIFY(other.open(QIODevice::WriteOnly));
            other.write(QByteArray(664, '\0'));
            other.close();
            QVERIFY(QFile::rename(path("state.new"), path("state")));
        }
        // Until then the loaded system keeps the state it has; the load takes up the file in
        // the state file's place, where every other process finds it.
        int32_t v = -1;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 1, &v), 0);
        QCOMPARE(v, 1);
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoGetBit(0, 1, &v), 0);
        QCOMPARE(v, 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 3, 1), 0);
        QFile state(path("state"));
        QVERIFY(state.open(QIODevice::ReadOnly));
        QCOMPARE(state.size(), qint64(664));
        QVERIFY(state.readAll() != QByteArray(664, '\0'));
    }

    void stateFileThatCannotBeUsed_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing folder") << "missing folder";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("a symbolic link") << "link";
        QTest::newRow("a FIFO") << "fifo";
    }

    void stateFileThatCannotBeUsed()
    {
        QFETCH(QString, kind);
        QString state = path("no/such/folder/state");
        const QString victim = path("victim.txt");
        if (kind == "folder") {
            state = path("folder");
            QVERIFY(QDir().mkpath(state));
        } else if (kind == "link") {
            // A link placed where the state file goes must not get its target overwritten.
            QFile file(victim);
            QVERIFY(file.open(QIODevice::WriteOnly));
            file.write("keep me");
            file.close();
            state = path("link");
            QVERIFY(QFile::link(victim, state));
        } else if (kind == "fifo") {
            state = path("fifo");
            QCOMPARE(mkfifo(state.toLocal8Bit().constData(), 0600), 0);
        }
        qputenv("QRXSIM_STATE", state.toLocal8Bit());
        int32_t count = kUntouched;
        QCOMPARE(load(DXS_LOAD_AUTO, &count), kStateFileError);
        QCOMPARE(count, kUntouched);
        int32_t v = kUntouched;
        QCOMPARE(Dev().DXS_devDoGetBit(0, 0, &v), kNotLoaded);
        if (kind != "missing folder") {
            // The reason says what to remove.
            useBoardFile("[System]\nLogFile=reason.dbg\nLogLevel=1\n");
            QCOMPARE(load(), kStateFileError);
            QCOMPARE(logLines(path("reason.dbg")),
                     QStringList("DXS_devSysLoad(mode=0) -> -2012 (state file " + state +
                                 ": not a plain file of this user; remove it, or set QRXSIM_STATE "
                                 "to another file)"));
        }
        if (kind == "link") {
            QFile file(victim);
            QVERIFY(file.open(QIODevice::ReadOnly));
            QCOMPARE(file.readAll(), QByteArray("keep me"));
        }
    }

    void defaultStateFileInTheRuntimeFolder()
    {
        qputenv("QRXSIM_STATE", "");
        const QByteArray saved = qgetenv("XDG_RUNTIME_DIR");
        qputenv("XDG_RUNTIME_DIR", m_dir->path().toLocal8Bit());
        QCOMPARE(load(), 0);
        qputenv("XDG_RUNTIME_DIR", saved);
        QVERIFY(QFile::exists(path("qrxsim-state")));
    }

    void defaultStateFileWithoutARuntimeFolder_data()
    {
        QTest::addColumn<QString>("folder");
        QTest::addColumn<int32_t>("status");
        QTest::newRow("missing: made") << "missing" << 0;
        QTest::newRow("ours") << "ours" << 0;
        QTest::newRow("ours, open to others") << "open" << kStateFileError;
        QTest::newRow("another user's") << "other" << kStateFileError;
        QTest::newRow("a link to a folder of ours") << "link" << kStateFileError;
        QTest::newRow("a file") << "file" << kStateFileError;
    }

    void defaultStateFileWithoutARuntimeFolder()
    {
        QFETCH(QString, folder);
        QFETCH(int32_t, status);
        const QByteArray savedRuntime = qgetenv("XDG_RUNTIME_DIR");
        const QByteArray savedTemp = qgetenv("TMPDIR");
        const auto restore = qScopeGuard([&] {
            qputenv("XDG_RUNTIME_DIR", savedRuntime);
            qputenv("TMPDIR", savedTemp);
        });
        qputenv("QRXSIM_STATE", "");
        qputenv("XDG_RUNTIME_DIR", "");
        qputenv("TMPDIR", m_dir->path().toLocal8Bit());
        const QString dir = path("qrxsim-" + QString::number(getuid()));
        const QByteArray name = dir.toLocal8Bit();
        if (folder == "ours" || folder == "open" || folder == "other")
            QCOMPARE(mkdir(name.constData(), folder == "open" ? 0755 : 0700), 0);
        if (folder == "open")
            QCOMPARE(chmod(name.constData(), 0755), 0);
        if (folder == "other" && (geteuid() != 0 || chown(name.constData(), 65534, 65534) != 0))
            QSKIP("only root can give a folder to another user");
        if (folder == "link")
            QVERIFY(QDir().mkpath(path("real")) && QFile::link(path("real"), dir));
        if (folder == "file")
            QVERIFY(QFile(dir).open(QIODevice::WriteOnly));

        useBoardFile("[System]\nLogFile=reason.dbg\nLogLevel=1\n[Board0]\nType=174\nCardNo=0\n");
        QCOMPARE(load(), status);
        if (status == 0) {
            QVERIFY(QFileInfo(dir + "/state").isFile());
            QCOMPARE(QFileInfo(dir).permissions() & 0x7777,
                     QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner | QFile::ReadUser |
                         QFile::WriteUser | QFile::ExeUser);
        } else {
            QCOMPARE(logLines(path("reason.dbg")),
                     QStringList("DXS_devSysLoad(mode=0) -> -2012 (" + dir +
                                 ": not a folder of this user with mode 0700; remove it (or have "
                                 "it removed), or set XDG_RUNTIME_DIR or QRXSIM_STATE)"));
        }
    }

    void logSettingsFromTheBoardFile()
    {
        useBoardFile("[System]\nLogFile=logs/sim.dbg\nLogLevel=3\n[Board0]\nType=174\nCardNo=0\n");
        QCOMPARE(load(), 0);
        char file[kPathBytes];
        std::memset(file, 'x', sizeof file);
        QCOMPARE(Dev().DXS_devDLogGetFile(file), 0);
        QCOMPARE(QString(file), path("logs/sim.dbg"));
        int32_t level = -1;
        QCOMPARE(Dev().DXS_devDLogGetLevel(&level), 0);
        QCOMPARE(level, 3);
        // The folder is made with the first line.
        const QStringList lines = logLines(path("logs/sim.dbg"));
        QCOMPARE(lines,
                 QStringList({"DXS_devSysLoad(mode=0) -> 0 boardCount=1",
                              "DXS_devDLogGetFile() -> 0 path=" + path("logs/sim.dbg"),
                              "DXS_devDLogGetLevel() -> 0 level=3"}));
    }

    void logFileSettingWorksWithoutALoad()
    {
        QCOMPARE(Dev().DXS_devDLogSetFile("/tmp/elsewhere.dbg"), 0);
        char file[kPathBytes] = {};
        QCOMPARE(Dev().DXS_devDLogGetFile(file), 0);
        QCOMPARE(QByteArray(file), QByteArray("/tmp/elsewhere.dbg"));
        QCOMPARE(Dev().DXS_devDLogSetLevel(4), 0);
        int32_t level = 0;
        QCOMPARE(Dev().DXS_devDLogGetLevel(&level), 0);
        QCOMPARE(level, 4);
        QCOMPARE(Dev().DXS_devDLogSetLevel(0), 0);
    }

    void logFilePathLength_data()
    {
        QTest::addColumn<int>("length");
        QTest::addColumn<int32_t>("status");
        QTest::newRow("259 bytes") << 259 << 0;
        QTest::newRow("260 bytes") << 260 << kPathTooLong;
        QTest::newRow("1000 bytes") << 1000 << kPathTooLong;
        QTest::newRow("empty") << 0 << kBadValue;
    }

    void logFilePathLength()
    {
        QFETCH(int, length);
        QFETCH(int32_t, status);
        QCOMPARE(Dev().DXS_devDLogSetFile("/tmp/before.dbg"), 0);
        // In a folder this test may write.
        const QByteArray folder = m_dir->path().toLocal8Bit() + "/";
        const QByteArray longPath =
            length ? folder + QByteArray(length - folder.size(), 'p') : QByteArray();
        QCOMPARE(Dev().DXS_devDLogSetFile(longPath.constData()), status);
        char file[kPathBytes + 8];
        std::memset(file, 'x', sizeof file);
        QCOMPARE(Dev().DXS_devDLogGetFile(file), 0);
        QVERIFY(std::memchr(file, '\0', kPathBytes) != nullptr);
        QCOMPARE(QByteArray(file), status == 0 ? longPath : QByteArray("/tmp/before.dbg"));
        QCOMPARE(file[kPathBytes], 'x');
    }

    void logFileThatCannotBeWritten_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<int32_t>("status");
        QTest::newRow("a folder") << "folder" << kLogFileError;
        QTest::newRow("a FIFO") << "fifo" << kLogFileError;
        QTest::newRow("a device") << "device" << kLogFileError;
        QTest::newRow("in a folder that is a file") << "under a file" << kLogFileError;
        QTest::newRow("in missing folders") << "missing folders" << 0;
        QTest::newRow("an existing file") << "file" << 0;
        QTest::newRow("a new file") << "new" << 0;
    }

    void logFileThatCannotBeWritten()
    {
        QFETCH(QString, kind);
        QFETCH(int32_t, status);
        setLog(path("before.dbg"), 2);
        QString file = path("log.dbg");
        if (kind == "folder")
            QVERIFY(QDir().mkpath(file));
        else if (kind == "fifo")
            QCOMPARE(mkfifo(file.toLocal8Bit().constData(), 0600), 0);
        else if (kind == "device")
            file = "/dev/null";
        else if (kind == "under a file")
            file = QFile(path("plain")).open(QIODevice::WriteOnly) ? path("plain/log.dbg") : "";
        else if (kind == "missing folders")
            file = path("made/with/the/first/line.dbg");
        else if (kind == "file")
            QVERIFY(QFile(file).open(QIODevice::WriteOnly));
        const QByteArray name = file.toLocal8Bit();
        QCOMPARE(Dev().DXS_devDLogSetFile(name.constData()), status);
        char now[kPathBytes] = {};
        QCOMPARE(Dev().DXS_devDLogGetFile(now), 0);
        QCOMPARE(QString(now), status == 0 ? file : path("before.dbg"));
        // The refused call is logged where the lines went so far.
        const QString line = "DXS_devDLogSetFile(path=" + file + ") -> " + QString::number(status);
        QCOMPARE(logLines(path("before.dbg")).last(),
                 status == 0 ? "DXS_devDLogSetLevel(level=2) -> 0" : line);
        if (status == 0)
            QCOMPARE(logLines(file), QStringList(line));
    }

    void logNeverWritesIntoAFifo_data()
    {
        QTest::addColumn<bool>("boardFile");
        QTest::newRow("named by the board file") << true;
        QTest::newRow("put in place of the log file") << false;
    }

    void logNeverWritesIntoAFifo()
    {
        QFETCH(bool, boardFile);
        const QByteArray fifo = path("pipe.dbg").toLocal8Bit();
        if (boardFile) {
            QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
            useBoardFile("[System]\nLogFile=pipe.dbg\nLogLevel=5\n[Board0]\nType=174\nCardNo=0\n");
        } else {
            setLog(path("pipe.dbg"), 5);
            QVERIFY(QFile::remove(path("pipe.dbg")));
            QCOMPARE(mkfifo(fifo.constData(), 0600), 0);
        }
        // A reader comes along; a log that waited for one would hand it lines.
        std::atomic<bool> done = false;
        QByteArray heard;
        std::thread reader([&] {
            const int fd = open(fifo.constData(), O_RDONLY | O_NONBLOCK);
            char buffer[256];
            while (fd >= 0 && !done) {
                const ssize_t n = read(fd, buffer, sizeof buffer);
                if (n > 0)
                    heard.append(buffer, n);
                QThread::msleep(5);
            }
            close(fd);
        });
        const auto stop = qScopeGuard([&] {
            done = true;
            if (reader.joinable())
                reader.join();
        });
        QThread::msleep(20);
        if (boardFile)
            QCOMPARE(load(), 0);
        int32_t level = -1;
        QCOMPARE(Dev().DXS_devDLogGetLevel(&level), 0);
        QCOMPARE(level, 5);
        QThread::msleep(20);
        done = true;
        reader.join();
        QCOMPARE(heard, QByteArray());
    }

    void levelFiveLogsRefusedLoadModes()
    {
        // The board file's log settings apply before the mode is judged.
        useBoardFile("[System]\nLogFile=modes.dbg\nLogLevel=5\n[Board0]\nType=174\nCardNo=0\n");
        QCOMPARE(load(5), int32_t(DXS_ERR_OPEN_MODE));
        QCOMPARE(load(-1), int32_t(DXS_ERR_OPEN_MODE));
        QCOMPARE(load(1), 0);
        QCOMPARE(logLines(path("modes.dbg")),
                 QStringList({"DXS_devSysLoad(mode=5) -> -1038", "DXS_devSysLoad(mode=-1) -> -1038",
                              "DXS_devSysLoad(mode=1) -> 0 boardCount=1"}));
        // A bad mode is the answer whatever the board file holds, as before.
        useBoardFile("[Board0]\nType=174\n");
        QCOMPARE(load(2), int32_t(DXS_ERR_OPEN_MODE));
    }

    void levelFiveLogsCallsBeforeTheFirstLoad()
    {
        // A copy of the library, loaded afresh with its board file already named.
        const QString copy = path("lib/" + DeviceLibrary::FileName());
        QVERIFY(QDir().mkpath(path("lib")));
        QVERIFY(QFile::copy(qEnvironmentVariable("ORVANE_SIMLIB"), copy));
        useBoardFile("[System]\nLogFile=first.dbg\nLogLevel=5\n[Board0]\nType=174\nCardNo=0\n");
        DeviceLibrary fresh;
        DeviceLoadError error;
        QVERIFY2(fresh.Load(copy, &error), qPrintable(error.text()));
        const DeviceTable &dev = fresh.Table();
        int32_t v = kUntouched;
        QCOMPARE(dev.DXS_devDLogGetLevel(&v), 0);
        QCOMPARE(v, 5);
        QCOMPARE(dev.DXS_devDoGetBit(0, 0, &v), kNotLoaded);
        QCOMPARE(dev.DXS_devSysLoad(DXS_LOAD_AUTO, &v), 0);
        QCOMPARE(dev.DXS_devSysUnload(), 0);
        QCOMPARE(
            logLines(path("first.dbg")),
            QStringList({"DXS_devDLogGetLevel() -> 0 level=5",
                         "DXS_devDoGetBit(card=0, bit=0) -> -2001",
                         "DXS_devSysLoad(mode=0) -> 0 boardCount=1", "DXS_devSysUnload() -> 0"}));
    }

    void logLinesAtEachLevel_data()
    {
        QTest::addColumn<int>("level");
        QTest::addColumn<QStringList>("lines");
        const QString set = "DXS_devDoSetBit(card=0, bit=1, value=1) -> 0";
        const QString query = "DXS_devGnGetDioNum(card=0) -> 0 inputs=32 outputs=32";
        const QString outRead = "DXS_devDoGetBit(card=0, bit=1) -> 0 value=1";
        const QString inRead = "DXS_devDiGetBit(card=0, bit=1) -> 0 value=1";
        const QString failed = "DXS_devDoGetBit(card=99, bit=0) -> -2002";
        const QString failedIn = "DXS_devDiGetBit(card=0, bit=32) -> -2003";
        const QString level = "DXS_devDLogGetLevel() -> 0 level=%1";
        const QString setLevel = "DXS_devDLogSetLevel(level=%1) -> 0";
        QTest::newRow("0") << 0 << QStringList();
        QTest::newRow("1") << 1 << QStringList{failed, failedIn};
        QTest::newRow("2") << 2 << QStringList{setLevel.arg(2), set, failed, failedIn};
        QTest::newRow("3") << 3 << QStringList{setLevel.arg(3), set,      query,
                                               failed,          failedIn, level.arg(3)};
        QTest::newRow("4") << 4 << QStringList{setLevel.arg(4), set,      query,       outRead,
                                               failed,          failedIn, level.arg(4)};
        QTest::newRow("5") << 5 << QStringList{setLevel.arg(5), set,    query,    outRead,
                                               inRead,          failed, failedIn, level.arg(5)};
    }

    void logLinesAtEachLevel()
    {
        QFETCH(int, level);
        QFETCH(QStringList, lines);
        QCOMPARE(load(), 0);
        const QString file = path("level.dbg");
        QCOMPARE(Dev().DXS_devDLogSetFile(file.toLocal8Bit().constData()), 0);
        QCOMPARE(Dev().DXS_devDLogSetLevel(level), 0);
        int32_t a = 0, b = 0;
        Dev().DXS_devDoSetBit(0, 1, 1);
        Dev().DXS_devGnGetDioNum(0, &a, &b);
        Dev().DXS_devDoGetBit(0, 1, &a);
        Dev().DXS_devDiGetBit(0, 1, &a);
        Dev().DXS_devDoGetBit(99, 0, &a);
        Dev().DXS_devDiGetBit(0, 32, &a);
        Dev().DXS_devDLogGetLevel(&a);
        QCOMPARE(logLines(file), lines);
    }

    void logLineFormat()
    {
        // The board file's log settings hold from the load on, so the load is logged too.
        const QString file = path("format.dbg");
        useBoardFile(QByteArray(kThreeBoards)
                         .replace("[System]\n", "[System]\nLogFile=format.dbg\nLogLevel=5\n"));
        QCOMPARE(load(), 0);
        QCOMPARE(Dev().DXS_devDoSetBit(0, 5, 1), 0);
        CardMap map;
        Dev().DXS_devGnGetMotDevMap(map.bytes);
        int32_t v = 0;
        Dev().DXS_devConGetFwVersion(0, &v);
        Dev().DXS_devDiGetFilterTime(0, 1, &v);
        Dev().DXS_devDLogSetLevel(9);
        QCOMPARE(Dev().DXS_devSysUnload(), 0);

        QFile f(file);
        QVERIFY(f.open(QIODevice::ReadOnly));
        const QStringList raw = QString::fromLocal8Bit(f.readAll()).split('\n', Qt::SkipEmptyParts);
        const QRegularExpression stamp(R"(^\d{4}-\d\d-\d\dT\d\d:\d\d:\d\d\.\d{6} )");
        for (const QString &line : raw)
            QVERIFY2(stamp.match(line).hasMatch(), qPrintable(line));
        QCOMPARE(logLines(file),
                 QStringList({
                     "DXS_devSysLoad(mode=0) -> 0 boardCount=3",
                     "DXS_devDoSetBit(card=0, bit=5, value=1) -> 0",
                     "DXS_devGnGetMotDevMap() -> 0 mapCount=3",
                     "DXS_devConGetFwVersion(card=0) -> 0 version=0x12",
                     "DXS_devDiGetFilterTime(card=0, module=1) -> -2004",
                     "DXS_devDLogSetLevel(level=9) -> -2005",
                     "DXS_devSysUnload() -> 0",
                 }));
        // The timestamp is local time, close to now.
        const QDateTime first = QDateTime::fromString(raw.first().left(26), Qt::ISODateWithMs);
        QVERIFY(first.isValid());
        QVERIFY(qAbs(first.secsTo(QDateTime::currentDateTime())) < 3600);
    }

    void logFollowsANewFileAtOnce()
    {
        QCOMPARE(load(), 0);
        setLog(path("one.dbg"), 2);
        Dev().DXS_devDoSetBit(0, 0, 1);
        QCOMPARE(Dev().DXS_devDLogSetFile(path("two.dbg").toLocal8Bit().constData()), 0);
        Dev().DXS_devDoSetBit(0, 0, 0);
        QCOMPARE(logLines(path("one.dbg")),
                 QStringList({"DXS_devDLogSetLevel(level=2) -> 0",
                              "DXS_devDoSetBit(card=0, bit=0, value=1) -> 0"}));
        QCOMPARE(logLines(path("two.dbg")),
                 QStringList({"DXS_devDLogSetFile(path=" + path("two.dbg") + ") -> 0",
                              "DXS_devDoSetBit(card=0, bit=0, value=0) -> 0"}));
    }
};

QTEST_GUILESS_MAIN(TestSimLibrary)
#include "tst_simlibrary.moc"

// One contract for every device library: the same calls, with the same statuses and out-values,
// run against the recording fake the window tests use and against the simulated library loaded
// through the program's binding. Each row is a sequence of calls on four boards, written as
// "Function args... = Status : out-values"; a failed call must leave its out-values as they were,
// and the calls after it show what it left untouched.
#include "FakeDevice.h"
#include "SimBoards.h"
#include "SimStatus.h"
#include "device/CardMap.h"
#include "device/DeviceLibrary.h"
#include "device/LiveBits.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <cstring>
#include <memory>

namespace {

// Where the fake differs on purpose (FakeDevice.h says the same); no row below depends on one.
const QStringList kDeliberateDifferences = {
    "the fake records every call and passes it to onCall",
    "the fake fails what a test tells it to (failing, failingCalls, failStatus, loadStatuses, "
    "loadStatus), misreports counts (mapCount, reportedBoardCount, a board's mapInputs and "
    "mapOutputs) and can hand out an unterminated log path",
    "the fake starts loaded; the contract unloads it first",
    "the fake's boards come from the test (also counts a board file refuses); its inputs are "
    "its `in` word, without loopback or pattern; its parameter file is `saved`",
    "the fake's DXS_devDLogSetFile does not look at the file system (no -2030) and writes no "
    "log lines",
};

// The contract's boards: a 32/32 board, a 16-input board with a card number that is not its
// position, an 8-output board and a board of 24 inputs (wired as 0..7 and 16..31) and 24
// outputs.
struct ContractBoard
{
    int32_t type, cardNo, inputs, outputs, firmware;
};
const QList<ContractBoard> kBoards = {
    {174, 0, 32, 32, 0x12}, {2801, 7, 16, 0, 0x21}, {2802, 3, 0, 8, 81}, {174, 5, 24, 24, 0x105}};
constexpr int32_t kMApiVersion = 1020304;

constexpr int32_t kUntouched = 0x5A5A5A5A;

// One implementation under test, unloaded, with its boards (the contract's unless told) and no
// parameter files.
class Implementation
{
public:
    virtual ~Implementation() = default;
    // Holds the inputs of `card` at `word` (bits the board has).
    virtual bool hold(int32_t card, uint64_t word) = 0;
};

class FakeImplementation : public Implementation
{
public:
    explicit FakeImplementation(const QList<ContractBoard> &boards)
    {
        for (const ContractBoard &b : boards) {
            FakeBoard board = Board(b.type, b.cardNo, b.inputs, b.outputs, b.firmware);
            board.mapiVersion = kMApiVersion;
            m_fake.boards << board;
        }
        m_fake.loaded = false;
        m_fake.record = false;
    }
    bool hold(int32_t card, uint64_t word) override
    {
        FakeBoard *b = m_fake.board(card);
        if (b)
            b->in = word;
        return b;
    }

private:
    FakeDevice m_fake;
};

class SimImplementation : public Implementation
{
public:
    SimImplementation(const DeviceLibrary &library, const QString &dir,
                      const QList<ContractBoard> &boards)
    {
        QByteArray text = "[System]\nDataDir=data\n";
        int position = 0;
        for (const ContractBoard &b : boards)
            text += QStringLiteral("[Board%1]\nType=%2\nCardNo=%3\nInputs=%4\nOutputs=%5\n"
                                   "Firmware=%6\n")
                        .arg(position++)
                        .arg(b.type)
                        .arg(b.cardNo)
                        .arg(b.inputs)
                        .arg(b.outputs)
                        .arg(b.firmware)
                        .toLatin1();
        m_ready = UseSimBoards(dir, "boards", text);
        SetDeviceTable(library.Table());
    }
    ~SimImplementation() override
    {
        Dev().DXS_devSysUnload();
        Dev().DXS_devDLogSetLevel(0);
        SetDeviceTable(DeviceTable::Unloaded());
    }
    bool ready() const { return m_ready; }
    bool hold(int32_t card, uint64_t word) override
    {
        return Qrxsim({"set", QString::number(card), "in-word", QString::number(word, 16)})
                   .status == 0;
    }

private:
    bool m_ready = false;
};

const QMap<QString, int32_t> kStatuses = {
    {"Ok", kSimOk},
    {"NotLoaded", kSimNotLoaded},
    {"BadCard", kSimBadCard},
    {"BadPoint", kSimBadPoint},
    {"BadModule", kSimBadModule},
    {"BadValue", kSimBadValue},
    {"NullPointer", kSimNullPointer},
    {"PathTooLong", kSimPathTooLong},
    {"ParamFileMissing", kSimParamFileMissing},
    {"OpenMode", DXS_ERR_OPEN_MODE},
};

// What a call wrote: up to 65 int32 values (the card map: its count and four per board), or a
// path.
struct Outs
{
    int32_t values[65];
    CardMap map;
    char path[DXS_PATH_BYTES];

    Outs()
    {
        std::fill(std::begin(values), std::end(values), kUntouched);
        std::memset(map.bytes, 0xAB, sizeof map.bytes);
        std::memset(path, 'U', sizeof path);
    }
    bool untouched() const
    {
        Outs fresh;
        return std::equal(std::begin(values), std::end(values), fresh.values) &&
            std::memcmp(map.bytes, fresh.map.bytes, sizeof map.bytes) == 0 &&
            std::memcmp(path, fresh.path, sizeof path) == 0;
    }
};

// Calls one function. `words` are its name without "DXS_dev" and its arguments; an out-pointer
// is given as "*" (valid) or "-" (null) after the arguments, and defaults to valid. Answers the
// status, or fails the test on a call it cannot read.
int32_t Call(const QStringList &words, const QString &dir, Outs *o, QStringList *written)
{
    const QString name = words.value(0);
    QList<int32_t> n;
    QList<bool> valid;
    for (const QString &w : words.mid(1)) {
        if (w == "*" || w == "-")
            valid << (w == "*");
        else
            n << w.toInt();
    }
    auto out = [&](int i) {
        return valid.value(i, true) ? &o->values[i] : nullptr;
    };
    const DeviceTable &d = Dev();
    int32_t s = INT32_MIN;
    if (name == "SysLoad")
        s = d.DXS_devSysLoad(n.value(0), out(0));
    else if (name == "SysUnload")
        s = d.DXS_devSysUnload();
    else if (name == "GnGetMotDevMap")
        s = d.DXS_devGnGetMotDevMap(valid.value(0, true) ? o->map.bytes : nullptr);
    else if (name == "GnGetDioNum")
        s = d.DXS_devGnGetDioNum(n.value(0), out(0), out(1));
    else if (name == "ConGetMApiVersion")
        s = d.DXS_devConGetMApiVersion(n.value(0), out(0));
    else if (name == "ConGetFwVersion")
        s = d.DXS_devConGetFwVersion(n.value(0), out(0));
    else if (name == "ConParamLoad")
        s = d.DXS_devConParamLoad(n.value(0));
    else if (name == "ConParamSave")
        s = d.DXS_devConParamSave(n.value(0));
    else if (name == "ConInit")
        s = d.DXS_devConInit(n.value(0));
    else if (name == "ConGetCheckOn")
        s = d.DXS_devConGetCheckOn(n.value(0), out(0));
    else if (name == "ConSetCheckOn")
        s = d.DXS_devConSetCheckOn(n.value(0), n.value(1));
    else if (name == "DiGetBit")
        s = d.DXS_devDiGetBit(n.value(0), n.value(1), out(0));
    else if (name == "DoGetBit")
        s = d.DXS_devDoGetBit(n.value(0), n.value(1), out(0));
    else if (name == "DoSetBit")
        s = d.DXS_devDoSetBit(n.value(0), n.value(1), n.value(2));
    else if (name == "DiGetFilterEnable")
        s = d.DXS_devDiGetFilterEnable(n.value(0), n.value(1), out(0));
    else if (name == "DiSetFilterEnable")
        s = d.DXS_devDiSetFilterEnable(n.value(0), n.value(1), n.value(2));
    else if (name == "DiGetFilterTime")
        s = d.DXS_devDiGetFilterTime(n.value(0), n.value(1), out(0));
    else if (name == "DiSetFilterTime")
        s = d.DXS_devDiSetFilterTime(n.value(0), n.value(1), n.value(2));
    else if (name == "DLogGetLevel")
        s = d.DXS_devDLogGetLevel(out(0));
    else if (name == "DLogSetLevel")
        s = d.DXS_devDLogSetLevel(n.value(0));
    else if (name == "DLogGetFile")
        s = d.DXS_devDLogGetFile(valid.value(0, true) ? o->path : nullptr);
    else if (name == "DLogSetFile") {
        // The argument is a file name in the test's folder, "" or "long" (260 bytes).
        const QString arg = words.value(1);
        const QByteArray path = arg == "null" ? QByteArray()
            : arg == "\"\""                   ? QByteArray("")
            : arg == "long"                   ? QByteArray(DXS_PATH_BYTES, 'x')
                                              : QDir(dir).filePath(arg).toLocal8Bit();
        s = d.DXS_devDLogSetFile(arg == "null" ? nullptr : path.constData());
    } else
        qFatal("unknown function %s", qPrintable(name));

    if (name == "GnGetMotDevMap") {
        *written << QString::number(o->map.mapCount());
        for (int i = 0; i < o->map.mapCount() && i < kMaxBoards; ++i)
            *written << QStringLiteral("%1/%2/%3/%4")
                            .arg(o->map.cardType(i))
                            .arg(o->map.cardNo(i))
                            .arg(o->map.diCount(i))
                            .arg(o->map.doCount(i));
    } else if (name == "DLogGetFile") {
        if (std::memchr(o->path, 0, sizeof o->path))
            *written << QDir(dir).relativeFilePath(QString::fromLocal8Bit(o->path));
    } else {
        for (int i = 0; i < 2; ++i)
            if (o->values[i] != kUntouched)
                *written << QString::number(o->values[i]);
    }
    return s;
}

} // namespace

class TestDeviceContract : public QObject
{
    Q_OBJECT

    DeviceLibrary m_library;
    std::unique_ptr<QTemporaryDir> m_dir;
    std::unique_ptr<Implementation> m_impl;

    // The factory: one of each implementation, unloaded, with the contract's boards.
    std::unique_ptr<Implementation> make(const QString &name,
                                         const QList<ContractBoard> &boards = kBoards)
    {
        if (name == "fake")
            return std::make_unique<FakeImplementation>(boards);
        auto sim = std::make_unique<SimImplementation>(m_library, m_dir->path(), boards);
        if (!sim->ready())
            return nullptr;
        // The simulated library stays loaded between rows (it has one system per process).
        Dev().DXS_devSysUnload();
        return sim;
    }

    // Adds `steps` once per implementation.
    static void row(const char *name, const QStringList &steps)
    {
        for (const char *impl : {"fake", "sim"})
            QTest::newRow(qPrintable(QStringLiteral("%1: %2").arg(impl, name))) << impl << steps;
    }

private slots:
    void initTestCase()
    {
        DeviceLoadError error;
        QVERIFY2(m_library.Load(qEnvironmentVariable("ORVANE_SIMLIB"), &error),
                 qPrintable(error.text()));
        qInfo("Deliberate differences of the fake:");
        for (const QString &difference : kDeliberateDifferences)
            qInfo("- %s", qPrintable(difference));
    }

    void cleanup()
    {
        m_impl.reset();
        m_dir.reset();
    }

    void contract_data()
    {
        QTest::addColumn<QString>("implementation");
        QTest::addColumn<QStringList>("steps");
        const QStringList load = {"SysLoad 0 = Ok : 4"};

        row("load in either mode, then the card map",
            {"SysLoad 1 = Ok : 4", "SysLoad 0 = Ok : 4",
             "GnGetMotDevMap = Ok : 4 174/0/32/32 2801/7/16/0 2802/3/0/8 174/5/24/24"});
        row("load mode 2 is refused and unloads",
            {"SysLoad 0 = Ok : 4", "SysLoad 2 = OpenMode", "GnGetMotDevMap = NotLoaded",
             "SysLoad -1 = OpenMode"});
        row("load without a count pointer",
            {"SysLoad 0 - = NullPointer", "GnGetMotDevMap = NotLoaded"});
        row("unload twice", {"SysLoad 0 = Ok : 4", "SysUnload = Ok", "SysUnload = NotLoaded"});
        row("card map without a block", load + QStringList{"GnGetMotDevMap - = NullPointer"});
        row("every board call before a load",
            {"GnGetMotDevMap = NotLoaded", "GnGetDioNum 0 = NotLoaded",
             "ConGetMApiVersion 0 = NotLoaded", "ConGetFwVersion 0 = NotLoaded",
             "ConParamLoad 0 = NotLoaded", "ConParamSave 0 = NotLoaded", "ConInit 0 = NotLoaded",
             "ConGetCheckOn 0 = NotLoaded", "ConSetCheckOn 0 1 = NotLoaded",
             "DiGetBit 0 0 = NotLoaded", "DoGetBit 0 0 = NotLoaded", "DoSetBit 0 0 1 = NotLoaded",
             "DiGetFilterEnable 0 0 = NotLoaded", "DiSetFilterEnable 0 0 1 = NotLoaded",
             "DiGetFilterTime 0 0 = NotLoaded", "DiSetFilterTime 0 0 1 = NotLoaded"});
        row("not loaded comes before a bad card", {"GnGetDioNum 99 = NotLoaded"});
        row("after an unload",
            load +
                QStringList{"SysUnload = Ok", "DoSetBit 0 0 1 = NotLoaded",
                            "DiGetBit 0 0 = NotLoaded", "GnGetMotDevMap = NotLoaded"});
        row("the log calls need no load",
            {"DLogSetLevel 2 = Ok", "DLogGetLevel = Ok : 2", "DLogSetFile contract.dbg = Ok",
             "DLogGetFile = Ok : contract.dbg", "DLogSetLevel 0 = Ok"});
        row("counts and versions",
            load +
                QStringList{"GnGetDioNum 0 = Ok : 32 32", "GnGetDioNum 7 = Ok : 16 0",
                            "GnGetDioNum 3 = Ok : 0 8", "GnGetDioNum 5 = Ok : 24 24",
                            "ConGetFwVersion 0 = Ok : 18", "ConGetFwVersion 3 = Ok : 81",
                            "ConGetMApiVersion 7 = Ok : 1020304"});
        row("card numbers not in the map",
            load +
                QStringList{"GnGetDioNum 1 = BadCard", "GnGetDioNum -1 = BadCard",
                            "ConGetFwVersion 16 = BadCard", "ConGetMApiVersion 99 = BadCard",
                            "ConParamLoad 2 = BadCard", "ConParamSave 4 = BadCard",
                            "ConInit 6 = BadCard", "ConGetCheckOn 8 = BadCard",
                            "ConSetCheckOn 8 1 = BadCard", "DiGetBit 1 0 = BadCard",
                            "DoGetBit 2 0 = BadCard", "DoSetBit 4 0 1 = BadCard",
                            "DiGetFilterEnable 1 0 = BadCard", "DiSetFilterEnable 1 0 1 = BadCard",
                            "DiGetFilterTime 1 0 = BadCard", "DiSetFilterTime 1 0 1 = BadCard"});
        row("a bad card comes before a bad point, module or value",
            load +
                QStringList{"DiGetBit 1 99 = BadCard", "DoSetBit 1 99 7 = BadCard",
                            "DiSetFilterTime 1 5 16 = BadCard"});
        row("null out-pointers",
            load +
                QStringList{"GnGetDioNum 0 - * = NullPointer", "GnGetDioNum 0 * - = NullPointer",
                            "ConGetMApiVersion 0 - = NullPointer",
                            "ConGetFwVersion 0 - = NullPointer", "ConGetCheckOn 0 - = NullPointer",
                            "DiGetBit 0 0 - = NullPointer", "DoGetBit 0 0 - = NullPointer",
                            "DiGetFilterEnable 0 0 - = NullPointer",
                            "DiGetFilterTime 0 0 - = NullPointer", "DLogGetLevel - = NullPointer",
                            "DLogGetFile - = NullPointer", "DLogSetFile null = NullPointer"});
        row("a bad point comes before a null pointer",
            load + QStringList{"DiGetBit 0 32 - = BadPoint", "DiGetFilterTime 0 1 - = BadModule"});
        row("inputs within the board",
            load +
                QStringList{"hold 0 80000001", "DiGetBit 0 0 = Ok : 1", "DiGetBit 0 1 = Ok : 0",
                            "DiGetBit 0 31 = Ok : 1", "DiGetBit 0 32 = BadPoint",
                            "DiGetBit 0 63 = BadPoint", "DiGetBit 0 -1 = BadPoint", "hold 7 8000",
                            "DiGetBit 7 15 = Ok : 1", "DiGetBit 7 16 = BadPoint",
                            "DiGetBit 3 0 = BadPoint"});
        row("24 inputs are 0..7 and 16..31",
            load +
                QStringList{"hold 5 ff0080", "DiGetBit 5 7 = Ok : 1", "DiGetBit 5 8 = Ok : 0",
                            "DiGetBit 5 15 = Ok : 0", "DiGetBit 5 16 = Ok : 1",
                            "DiGetBit 5 23 = Ok : 1", "DiGetBit 5 31 = Ok : 0",
                            "DiGetBit 5 32 = BadPoint"});
        row("outputs within the board",
            load +
                QStringList{"DoSetBit 0 31 1 = Ok", "DoGetBit 0 31 = Ok : 1",
                            "DoGetBit 0 30 = Ok : 0", "DoSetBit 0 32 1 = BadPoint",
                            "DoGetBit 0 32 = BadPoint", "DoSetBit 0 -1 1 = BadPoint",
                            "DoSetBit 3 7 1 = Ok", "DoSetBit 3 8 1 = BadPoint",
                            "DoSetBit 7 0 1 = BadPoint", "DoGetBit 7 0 = BadPoint",
                            "DoSetBit 5 23 1 = Ok", "DoSetBit 5 24 1 = BadPoint",
                            "DoSetBit 0 31 0 = Ok", "DoGetBit 0 31 = Ok : 0"});
        row("an output value other than 0 or 1 changes nothing",
            load +
                QStringList{"DoSetBit 0 4 1 = Ok", "DoSetBit 0 4 2 = BadValue",
                            "DoSetBit 0 4 -1 = BadValue", "DoGetBit 0 4 = Ok : 1",
                            "DoSetBit 0 40 2 = BadPoint"});
        row("filter module other than 0",
            load +
                QStringList{"DiSetFilterEnable 0 0 1 = Ok", "DiSetFilterTime 0 0 9 = Ok",
                            "DiGetFilterEnable 0 1 = BadModule",
                            "DiSetFilterEnable 0 1 0 = BadModule",
                            "DiGetFilterTime 0 -1 = BadModule", "DiSetFilterTime 0 2 3 = BadModule",
                            "DiSetFilterTime 0 1 16 = BadModule", "DiGetFilterEnable 0 0 = Ok : 1",
                            "DiGetFilterTime 0 0 = Ok : 9"});
        row("filter values within their ranges",
            load +
                QStringList{"DiSetFilterTime 0 0 15 = Ok", "DiSetFilterTime 0 0 16 = BadValue",
                            "DiSetFilterTime 0 0 -1 = BadValue", "DiGetFilterTime 0 0 = Ok : 15",
                            "DiSetFilterTime 0 0 0 = Ok", "DiGetFilterTime 0 0 = Ok : 0",
                            "DiSetFilterEnable 0 0 1 = Ok", "DiSetFilterEnable 0 0 2 = BadValue",
                            "DiSetFilterEnable 0 0 -1 = BadValue",
                            "DiGetFilterEnable 0 0 = Ok : 1"});
        row("Run LED 0 or 1",
            load +
                QStringList{"ConSetCheckOn 3 1 = Ok", "ConSetCheckOn 3 2 = BadValue",
                            "ConSetCheckOn 3 -1 = BadValue", "ConGetCheckOn 3 = Ok : 1",
                            "ConGetCheckOn 0 = Ok : 0"});
        row("parameters: none saved, then saved and loaded back",
            load +
                QStringList{"ConParamLoad 0 = ParamFileMissing", "DiSetFilterEnable 0 0 1 = Ok",
                            "DiSetFilterTime 0 0 7 = Ok", "ConSetCheckOn 0 1 = Ok",
                            "ConParamSave 0 = Ok", "DiSetFilterTime 0 0 2 = Ok",
                            "ConParamLoad 0 = Ok", "DiGetFilterTime 0 0 = Ok : 7",
                            "DiGetFilterEnable 0 0 = Ok : 1", "ConGetCheckOn 0 = Ok : 1"});
        row("a missing parameter file leaves the values",
            load +
                QStringList{"DiSetFilterTime 7 0 4 = Ok", "ConParamLoad 7 = ParamFileMissing",
                            "DiGetFilterTime 7 0 = Ok : 4"});
        row("init switches outputs off and returns to the loaded parameters",
            load +
                QStringList{"DiSetFilterTime 0 0 5 = Ok", "ConParamSave 0 = Ok",
                            "ConParamLoad 0 = Ok", "DiSetFilterTime 0 0 9 = Ok",
                            "DiSetFilterEnable 0 0 1 = Ok", "DoSetBit 0 3 1 = Ok", "ConInit 0 = Ok",
                            "DoGetBit 0 3 = Ok : 0", "DiGetFilterTime 0 0 = Ok : 5",
                            "DiGetFilterEnable 0 0 = Ok : 0"});
        row("init without loaded parameters: filter off, code 0, Run LED off",
            load +
                QStringList{"DiSetFilterTime 3 0 5 = Ok", "ConSetCheckOn 3 1 = Ok",
                            "ConInit 3 = Ok", "DiGetFilterTime 3 0 = Ok : 0",
                            "ConGetCheckOn 3 = Ok : 0"});
        row("log level 0..5",
            {"DLogSetLevel 5 = Ok", "DLogSetLevel 6 = BadValue", "DLogSetLevel -1 = BadValue",
             "DLogGetLevel = Ok : 5", "DLogSetLevel 0 = Ok", "DLogGetLevel = Ok : 0"});
        row("log file: empty and too long are refused and leave it",
            {"DLogSetFile contract.dbg = Ok", "DLogSetFile \"\" = BadValue",
             "DLogSetFile long = PathTooLong", "DLogGetFile = Ok : contract.dbg"});
    }

    void contract()
    {
        QFETCH(QString, implementation);
        QFETCH(QStringList, steps);
        m_dir = std::make_unique<QTemporaryDir>();
        QVERIFY(m_dir->isValid());
        m_impl = make(implementation);
        QVERIFY(m_impl);
        for (const QString &step : steps) {
            const QStringList words = step.section(" = ", 0, 0).split(' ');
            if (words[0] == "hold") {
                QVERIFY2(m_impl->hold(words[1].toInt(), words[2].toULongLong(nullptr, 16)),
                         qPrintable(step));
                continue;
            }
            const QString answer = step.section(" = ", 1);
            const QString statusName = answer.section(" : ", 0, 0);
            QVERIFY2(kStatuses.contains(statusName), qPrintable(step));
            const int32_t expected = kStatuses[statusName];
            const QString expectedOuts = answer.section(" : ", 1);

            Outs outs;
            QStringList written;
            const int32_t status = Call(words, m_dir->path(), &outs, &written);
            const QString what = QStringLiteral("%1 answered %2").arg(step).arg(status);
            QVERIFY2(status == expected, qPrintable(what));
            if (expected < 0)
                QVERIFY2(outs.untouched(), qPrintable(what + ", but wrote out-values"));
            else
                QCOMPARE(written.join(' '), expectedOuts);
        }
    }

    // The live-bit rule against both libraries: on a board of `count` inputs and outputs, every
    // live bit reads (inputs held on read 1, outputs set read 1), a bit that is not live but
    // below the readable points reads 0 (8..15 of 24 inputs), and every other bit is refused.
    void liveBits_data()
    {
        QTest::addColumn<QString>("implementation");
        QTest::addColumn<int>("count");
        for (const char *impl : {"fake", "sim"})
            for (int count : {0, 8, 24, 32, 48, 64, 70})
                QTest::addRow("%s: %d points", impl, count) << QString(impl) << count;
    }

    void liveBits()
    {
        QFETCH(QString, implementation);
        QFETCH(int, count);
        m_dir = std::make_unique<QTemporaryDir>();
        m_impl = make(implementation, {{2803, 2, count, count, 0x110}});
        QVERIFY(m_impl);
        int32_t boards = 0;
        const bool refused = implementation == "sim" && count > kMaxPoints; // no board file may
        QCOMPARE(Dev().DXS_devSysLoad(DXS_LOAD_AUTO, &boards),
                 int32_t(refused ? kSimBoardFileBad : kSimOk));
        if (refused)
            return;
        // Every input on: the fake holds any word, the simulator's tool only the live bits.
        const uint64_t held = implementation == "fake" ? ~0ull : LiveMask(PointDir::In, count);
        QVERIFY(m_impl->hold(2, held));
        for (int bit : LiveBits(PointDir::Out, count))
            QCOMPARE(Dev().DXS_devDoSetBit(2, bit, 1), int32_t(kSimOk));

        QStringList wrong;
        for (PointDir dir : {PointDir::In, PointDir::Out}) {
            for (int bit = 0; bit < 64; ++bit) {
                int32_t value = -1;
                const int32_t status = dir == PointDir::In ? Dev().DXS_devDiGetBit(2, bit, &value)
                                                           : Dev().DXS_devDoGetBit(2, bit, &value);
                const bool live = IsLive(dir, count, bit);
                const bool readable = bit < ReadablePoints(dir, count);
                const bool right = readable ? status == kSimOk && value == int32_t(live)
                                            : status == kSimBadPoint && value == -1;
                if (!right)
                    wrong << QStringLiteral("%1 %2: status %3, value %4")
                                 .arg(dir == PointDir::In ? "in" : "out")
                                 .arg(bit)
                                 .arg(status)
                                 .arg(value);
            }
        }
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.join('\n')));
    }
};

QTEST_GUILESS_MAIN(TestDeviceContract)
#include "tst_device_contract.moc"

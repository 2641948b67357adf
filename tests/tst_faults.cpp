// Fault injection with the recording fake device: odd answers of the device library at start-up
// and at run time. Every case that starts is used as an operator would use it (FaultsOperator.h)
// and closed; it must not crash, must make no call outside what the library reported, and must
// end as the program specifies. The library binding cases and the simulated library are in
// tst_faults_sim.cpp; the start-up cases that tst_startup.cpp already covers are not repeated.
#include "FakeDevice.h"
#include "FaultsOperator.h"
#include "ScriptedMessageBoxes.h"
#include "app/Views.h"
#include "device/SystemInfo.h"

#include <QPointer>
#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <optional>

// The rows name only what differs from a default case; every other member keeps its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const QString kOpenModeQuestion =
    QStringLiteral("Controller Open Mode Error.\nDo you want to reload the controller?");

// One board per word: "type/card/inputs/outputs"; the card may be a range "0..15".
QList<FakeBoard> Boards(const QString &board)
{
    QList<FakeBoard> boards;
    for (const QString &word : board.split(u' ', Qt::SkipEmptyParts)) {
        const QStringList f = word.split(u'/');
        const QStringList cards = f[1].split(QStringLiteral(".."));
        const int first = cards[0].toInt();
        const int last = cards.value(1, cards[0]).toInt();
        for (int no = first; no <= last; ++no) {
            FakeBoard b;
            b.type = f[0].toInt();
            b.cardNo = no;
            b.inputs = f[2].toInt();
            b.outputs = f[3].toInt();
            boards << b;
            if (no == INT32_MAX)
                break;
        }
    }
    return boards;
}

QStringList AllFunctions()
{
#define FUNCTION_NAME(name) QStringLiteral(#name),
    return {DXS_FUNCTION_LIST(FUNCTION_NAME)};
#undef FUNCTION_NAME
}

QStringList AllFunctionsBut(const QStringList &working)
{
    QStringList names = AllFunctions();
    for (const QString &name : working)
        names.removeAll(name);
    return names;
}

// The calls that leave what the library reported: a card number it did not report (0 is
// allowed: Log Level Setup marks card 0 and the exit saves it), a point outside 0..63, a value
// other than 0 or 1, a filter code outside the lists.
QStringList CallsOutsideTheBoards(const QStringList &calls, const QSet<int> &cards)
{
    static const QRegularExpression call(QStringLiteral("^(DXS_dev\\w+)\\((.*)\\)$"));
    QStringList wrong;
    for (const QString &text : calls) {
        const auto m = call.match(text);
        if (!m.hasMatch()) {
            wrong << text;
            continue;
        }
        const QString name = m.captured(1);
        if (name.startsWith(QLatin1String("DXS_devDLog"))) {
            if (name == QLatin1String("DXS_devDLogSetLevel")) {
                const int level = m.captured(2).toInt();
                if (level < -1 || level > 5)
                    wrong << text;
            }
            continue;
        }
        QList<qint64> args;
        for (const QString &a : m.captured(2).split(QStringLiteral(", "), Qt::SkipEmptyParts))
            args << a.toLongLong();
        bool ok = true;
        const bool perBoard = name != QLatin1String("DXS_devSysLoad") &&
            name != QLatin1String("DXS_devSysUnload") &&
            name != QLatin1String("DXS_devGnGetMotDevMap");
        if (perBoard)
            ok = !args.isEmpty() && (args[0] == 0 || cards.contains(int(args[0])));
        if (name.endsWith(QLatin1String("GetBit")) || name == QLatin1String("DXS_devDoSetBit"))
            ok = ok && args.size() >= 2 && args[1] >= 0 && args[1] < 64;
        if (name == QLatin1String("DXS_devDoSetBit") ||
            name == QLatin1String("DXS_devConSetCheckOn") ||
            name == QLatin1String("DXS_devDiSetFilterEnable"))
            ok = ok && (args.back() == 0 || args.back() == 1);
        if (name == QLatin1String("DXS_devDiSetFilterTime"))
            ok = ok && args.back() >= 0 && args.back() <= 15;
        if (!ok)
            wrong << text;
    }
    return wrong;
}

int CardNodes(const CVL_WsSysWnd *tree)
{
    return int(std::count_if(std::begin(tree->cardItems), std::end(tree->cardItems),
                             [](const QTreeWidgetItem *item) { return item != nullptr; }));
}

} // namespace

// One row of the matrix: what the library answers, and what the operator then sees.
struct Case
{
    QString boards = QStringLiteral("174/0/32/32 2803/3/64/64 2801/5/64/0 2802/7/0/32");
    std::optional<int32_t> mapCount; // else the number of boards
    std::optional<int32_t> reportedCount; // what DXS_devSysLoad reports; else the number of boards
    QList<int32_t> loadStatuses; // DXS_devSysLoad's answers in turn, then 0
    QList<int> startAnswers; // to the questions of the start-up
    QStringList failing; // functions that fail without writing their out-values
    bool logFileUnterminated = false;

    QStringList startQuestions;
    int cardNodes = 4; // board nodes in the tree
    int selectorEntries = 4;
    bool digitalIoClass = true; // the tree made class 3 active: board calls are made
    bool windowsShowABoard = true; // the monitoring windows poll the active board
    bool unload = true; // DXS_devSysUnload at the end
    bool logPathTooLong = false; // Log Level Setup refuses the path the library answered
};
Q_DECLARE_METATYPE(Case)

class TestFaults : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
    }

    void cleanup()
    {
        QFile::remove(m_dir.filePath(QStringLiteral("Orvane.ini")));
        FaultsOperator::Settle();
    }

    void startAndOperate_data()
    {
        QTest::addColumn<Case>("c");
        const QStringList everyButLoad = AllFunctionsBut({"DXS_devSysLoad"});
        const QStringList everyButLoadAndMap =
            AllFunctionsBut({"DXS_devSysLoad", "DXS_devGnGetMotDevMap"});

        // DXS_devSysLoad statuses that start (the failing ones: tst_startup, and below).
        QTest::newRow("load answers 0") << Case{};
        QTest::newRow("load answers 1") << Case{.loadStatuses = {1}};
        QTest::newRow("load answers INT32_MAX") << Case{.loadStatuses = {INT32_MAX}};
        QTest::newRow("-1038, Yes, 0") << Case{.loadStatuses = {-1038},
                                               .startAnswers = {kIdYes},
                                               .startQuestions = {kOpenModeQuestion}};
        QTest::newRow("-1038 twice, Yes twice")
            << Case{.loadStatuses = {-1038, -1038},
                    .startAnswers = {kIdYes, kIdYes},
                    .startQuestions = {kOpenModeQuestion, kOpenModeQuestion}};

        // The card map and the count the load reports.
        QTest::newRow("map of 17 boards") << Case{
            .boards = "174/0..15/32/32", .mapCount = 17, .cardNodes = 16, .selectorEntries = 16};
        QTest::newRow("map and load of 255 boards") << Case{.boards = "174/0..15/32/32",
                                                            .mapCount = 255,
                                                            .reportedCount = 255,
                                                            .cardNodes = 16,
                                                            .selectorEntries = 16};
        QTest::newRow("map count -1") << Case{.mapCount = -1,
                                              .cardNodes = 0,
                                              .selectorEntries = 0,
                                              .digitalIoClass = false,
                                              .windowsShowABoard = false};
        QTest::newRow("map count INT32_MIN") << Case{.mapCount = INT32_MIN,
                                                     .cardNodes = 0,
                                                     .selectorEntries = 0,
                                                     .digitalIoClass = false,
                                                     .windowsShowABoard = false};
        QTest::newRow("load reports -5 boards")
            << Case{.reportedCount = -5, .windowsShowABoard = false};
        QTest::newRow("load reports 255 boards, map holds 4") << Case{.reportedCount = 255};
        QTest::newRow("load reports 2 boards, map holds 4") << Case{.reportedCount = 2};
        QTest::newRow("no board") << Case{.boards = "",
                                          .cardNodes = 0,
                                          .selectorEntries = 0,
                                          .digitalIoClass = false,
                                          .windowsShowABoard = false,
                                          .unload = false};

        // Point counts.
        QTest::newRow("-1 points")
            << Case{.boards = "174/0/-1/-1 2803/1/32/32", .cardNodes = 2, .selectorEntries = 2};
        QTest::newRow("0 points") << Case{
            .boards = "174/0/0/0 2801/1/0/0 2802/2/0/0", .cardNodes = 3, .selectorEntries = 3};
        QTest::newRow("65 points")
            << Case{.boards = "2803/0/65/65 174/1/32/32", .cardNodes = 2, .selectorEntries = 2};
        QTest::newRow("1000 points") << Case{
            .boards = "2803/0/1000/1000 2801/1/1000/1000", .cardNodes = 2, .selectorEntries = 2};
        QTest::newRow("INT32_MIN points") << Case{
            .boards = "2803/0/-2147483648/-2147483648", .cardNodes = 1, .selectorEntries = 1};

        // Type codes and card numbers.
        QTest::newRow("unknown type beside a known one")
            << Case{.boards = "999/0/32/32 174/1/32/32", .cardNodes = 1, .selectorEntries = 2};
        QTest::newRow("only unknown types")
            << Case{.boards = "0/0/32/32 -1/4/64/64", .cardNodes = 0, .selectorEntries = 2};
        QTest::newRow("two boards with card number 2")
            << Case{.boards = "174/2/32/32 2803/2/64/64", .cardNodes = 2, .selectorEntries = 2};
        QTest::newRow("card numbers -1 and INT32_MAX") << Case{
            .boards = "174/-1/32/32 2803/2147483647/64/64", .cardNodes = 2, .selectorEntries = 2};
        QTest::newRow("card numbers 16 and 100")
            << Case{.boards = "174/16/32/32 2803/100/64/64", .cardNodes = 2, .selectorEntries = 2};

        // Calls that fail and leave their out-values unwritten.
        QTest::newRow("every call but the load fails") << Case{.failing = everyButLoad,
                                                               .cardNodes = 0,
                                                               .selectorEntries = 0,
                                                               .digitalIoClass = false,
                                                               .windowsShowABoard = false,
                                                               .unload = false};
        QTest::newRow("every call but the load and the map fails")
            << Case{.failing = everyButLoadAndMap};
        QTest::newRow("bit reads and writes fail")
            << Case{.failing = {"DXS_devDiGetBit", "DXS_devDoGetBit", "DXS_devDoSetBit"}};

        // The library's log path.
        QTest::newRow("log path without NUL in 260 bytes")
            << Case{.logFileUnterminated = true, .logPathTooLong = true};
    }

    void startAndOperate()
    {
        QFETCH(Case, c);
        FakeDevice fake;
        fake.boards = Boards(c.boards);
        fake.mapCount = c.mapCount;
        fake.reportedBoardCount = c.reportedCount;
        fake.loadStatuses = c.loadStatuses;
        fake.failing = QSet<QString>(c.failing.cbegin(), c.failing.cend());
        fake.logFileUnterminated = c.logFileUnterminated;
        QSet<int> cards;
        for (const FakeBoard &b : fake.boards)
            cards << b.cardNo;
        ScriptedMessageBoxes boxes(kIdYes);
        boxes.answers = c.startAnswers;

        auto frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(frame->OnCreate(), 0);
        QCOMPARE(boxes.texts(), c.startQuestions);
        QCOMPARE(CardNodes(frame->systemTree()), c.cardNodes);
        QCOMPARE(frame->controllerSelector()->count(), c.selectorEntries);
        QCOMPARE(frame->boardModel().activeCardType() == kDigitalIoClass, c.digitalIoClass);
        const QPointer<BoardModel> model = &frame->boardModel();
        const qsizetype startCalls = fake.calls.size();
        boxes.asked.clear();

        const QStringList titles = FaultsOperator::Operate(frame.get());
        QCOMPARE(titles,
                 QStringList({"Save Parameter", "System Reset", "Log Level Setup",
                              "System Environment Setup", "About Orvane"}));
        QCOMPARE(boxes.texts().contains("Log file path is too long!"), c.logPathTooLong);
        frame.reset();
        FaultsOperator::Settle();
        QCOMPARE(CChildFrame::OpenCount(), 0);
        QVERIFY(model.isNull()); // the frame's records went with it

        const QStringList session = fake.calls.mid(startCalls);
        QVERIFY(!session.isEmpty());
        QCOMPARE(session.back() == "DXS_devSysUnload()", c.unload);
        QCOMPARE(session.count("DXS_devSysUnload()"), c.unload ? 1 : 0);
        const QStringList wrong = CallsOutsideTheBoards(session, cards);
        QVERIFY2(wrong.isEmpty(), qPrintable(wrong.mid(0, 10).join('\n')));
        QCOMPARE(session.filter("DXS_devConGetCheckOn").isEmpty(), !c.windowsShowABoard);
        QCOMPARE(session.filter("DXS_devDiGetFilterEnable").isEmpty(), !c.windowsShowABoard);
        if (!c.digitalIoClass) {
            // Without an active board class no window makes a board call.
            const QStringList boardCalls =
                session.filter(QRegularExpression(QStringLiteral("^DXS_dev(Gn|Con|Di|Do)")));
            QVERIFY2(boardCalls.isEmpty(), qPrintable(boardCalls.mid(0, 10).join('\n')));
        }
    }

    // Start-ups that end before the main window, beyond the status table of tst_startup.
    void failedStartUp_data()
    {
        QTest::addColumn<QList<int32_t>>("statuses");
        QTest::addColumn<QStringList>("failing");
        QTest::addColumn<QStringList>("shown");
        QTest::addColumn<QStringList>("calls");
        QTest::newRow("every call fails")
            << QList<int32_t>{} << AllFunctions() << QStringList{"Fail! Load Device Driver..."}
            << QStringList{"DXS_devSysLoad(0)"};
        QTest::newRow("-1038, Yes, -1001")
            << QList<int32_t>{-1038, -1001} << QStringList()
            << QStringList{kOpenModeQuestion, "Fail! Memory Create Error..."}
            << QStringList{"DXS_devSysLoad(0)", "DXS_devSysLoad(1)"};
        QTest::newRow("-1038, Yes, -1038, No")
            << QList<int32_t>{-1038, -1038} << QStringList()
            << QStringList{kOpenModeQuestion, kOpenModeQuestion}
            << QStringList{"DXS_devSysLoad(0)", "DXS_devSysLoad(1)"};
    }

    void failedStartUp()
    {
        QFETCH(QList<int32_t>, statuses);
        QFETCH(QStringList, failing);
        QFETCH(QStringList, shown);
        QFETCH(QStringList, calls);
        FakeDevice fake;
        fake.boards = Boards("174/0/32/32");
        fake.loadStatuses = statuses;
        fake.failing = QSet<QString>(failing.cbegin(), failing.cend());
        ScriptedMessageBoxes boxes;
        boxes.answers = {kIdYes, kIdNo};
        {
            CVL_MainFrame frame(m_dir.path());
            QCOMPARE(frame.OnCreate(), -1);
        }
        FaultsOperator::Settle();
        QCOMPARE(boxes.texts(), shown);
        QCOMPARE(fake.calls, calls);
    }
};

QTEST_MAIN(TestFaults)
#include "tst_faults.moc"

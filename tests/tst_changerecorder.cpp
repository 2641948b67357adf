// The change log's recording with the recording fake: which calls a poll makes, what it
// records, the bounded ring with its dropped changes, the filtered list that follows it, and
// when the timeline moves.
#include "FakeDevice.h"
#include "diag/ChangeListModel.h"
#include "diag/ChangeRecorder.h"
#include "diag/TimelineRule.h"

#include <QtTest>

namespace {

// A clock the test moves by hand, in microseconds.
struct ManualClock
{
    qint64 now = 1'000'000;
    ChangeRecorder::Clock clock()
    {
        return [this] {
            return now;
        };
    }
};

QStringList Expected(const char *function, int card, const std::vector<int> &bits)
{
    QStringList calls;
    for (int bit : bits)
        calls << QStringLiteral("%1(%2, %3)").arg(QLatin1String(function)).arg(card).arg(bit);
    return calls;
}

std::vector<int> Range(int first, int end)
{
    std::vector<int> bits;
    for (int b = first; b < end; ++b)
        bits.push_back(b);
    return bits;
}

QList<int> RangeList(int first, int end)
{
    const std::vector<int> bits = Range(first, end);
    return QList<int>(bits.begin(), bits.end());
}

} // namespace

class TestChangeRecorder : public QObject
{
    Q_OBJECT

private slots:
    void liveBits_data()
    {
        QTest::addColumn<int>("dir");
        QTest::addColumn<int>("count");
        QTest::addColumn<QList<int>>("bits");
        const int in = int(PointDir::In), out = int(PointDir::Out);
        QTest::newRow("none") << in << 0 << QList<int>{};
        QTest::newRow("negative count") << in << -5 << QList<int>{};
        QTest::newRow("three") << out << 3 << QList<int>{0, 1, 2};
        QTest::newRow("past 64 is bounded") << out << 70 << RangeList(0, 64);
        QTest::newRow("24 inputs skip 8-15") << in << 24 << RangeList(0, 8) + RangeList(16, 32);
        QTest::newRow("24 outputs do not") << out << 24 << RangeList(0, 24);
    }
    void liveBits()
    {
        QFETCH(int, dir);
        QFETCH(int, count);
        QFETCH(QList<int>, bits);
        const std::vector<int> got = LiveBits(PointDir(dir), count);
        QCOMPARE(QList<int>(got.begin(), got.end()), bits);
    }

    // A poll reads each live input, then each live output, of each chosen board in turn.
    void pollCalls()
    {
        FakeDevice fake;
        fake.boards = {{2801, 3, 24, 0}, {2802, 5, 0, 2}};
        ChangeRecorder recorder;
        recorder.SetBoards({{3, 24, 0}, {5, 0, 2}});
        fake.takeCalls();
        recorder.Poll();
        QStringList expected = Expected("DXS_devDiGetBit", 3, LiveBits(PointDir::In, 24));
        expected += Expected("DXS_devDoGetBit", 5, {0, 1});
        QCOMPARE(fake.takeCalls(), expected);
        recorder.SetBoards({});
        recorder.Poll();
        QVERIFY(fake.takeCalls().isEmpty());
    }

    void recordsChanges()
    {
        FakeDevice fake;
        fake.boards = {{174, 1, 8, 8}};
        ManualClock clock;
        ChangeRecorder recorder(100, clock.clock());
        recorder.SetBoards({{1, 8, 8}});
        fake.board(1)->in = 0b0001;
        QCOMPARE(recorder.Poll(), 0); // the first read only sets where the points start
        clock.now += 10'000;
        fake.board(1)->in = 0b0100;
        fake.board(1)->out = 0b1000'0000;
        QCOMPARE(recorder.Poll(), 3);
        clock.now += 10'000;
        QCOMPARE(recorder.Poll(), 0);

        const ChangeRing &ring = recorder.ring();
        QCOMPARE(ring.size(), 3);
        QStringList got;
        for (quint64 seq = ring.firstSeq(); seq < ring.endSeq(); ++seq) {
            const PointChange &c = ring.at(seq);
            const RecordedPoint &p = recorder.points()[c.point];
            got << QStringLiteral("%1 %2 %3%4=%5")
                       .arg(c.us)
                       .arg(p.card)
                       .arg(DirText(p.dir))
                       .arg(p.point)
                       .arg(c.value);
        }
        QCOMPARE(got, QStringList({"10000 1 in0=0", "10000 1 in2=1", "10000 1 out7=1"}));
        QCOMPARE(recorder.lastPollUs(), 20'000);
        QCOMPARE(recorder.newestUs(), 10'000);
        QCOMPARE(recorder.changedCount(), size_t(3));
        QCOMPARE(recorder.dropped(), quint64(0));
    }

    // A read that fails writes nothing: it is neither a change nor a start value.
    void failedReadIsSkipped()
    {
        FakeDevice fake;
        fake.boards = {{2801, 0, 2, 0}};
        ChangeRecorder recorder;
        recorder.SetBoards({{0, 2, 0}});
        fake.board(0)->in = 0b11;
        recorder.Poll();
        fake.failing = {"DXS_devDiGetBit"};
        QCOMPARE(recorder.Poll(), 0);
        fake.failing.clear();
        QCOMPARE(recorder.Poll(), 0);
        QVERIFY(recorder.ring().isEmpty());
    }

    // A full ring drops its oldest change, counts it, and keeps the level it left behind.
    void ringOverflow()
    {
        FakeDevice fake;
        fake.boards = {{2801, 0, 2, 0}};
        ManualClock clock;
        ChangeRecorder recorder(3, clock.clock());
        recorder.SetBoards({{0, 2, 0}});
        recorder.Poll();
        for (int i = 1; i <= 5; ++i) {
            clock.now += 10'000;
            fake.board(0)->in ^= 1;
            recorder.Poll();
        }
        QCOMPARE(recorder.ring().size(), 3);
        QCOMPARE(recorder.dropped(), quint64(2));
        QCOMPARE(recorder.horizonUs(), 20'000);
        QCOMPARE(recorder.ring().at(recorder.ring().firstSeq()).us, 30'000);
        const RecordedPoint &in0 =
            recorder.points()[size_t(recorder.PointIndex(0, PointDir::In, 0))];
        QCOMPARE(in0.base, false); // after its second change
        QCOMPARE(in0.last, true);
        QVERIFY(recorder.memoryBytes() < 1024);

        recorder.Clear();
        QVERIFY(recorder.ring().isEmpty());
        QCOMPARE(recorder.dropped(), quint64(0));
        QCOMPARE(recorder.changedCount(), size_t(0));
        QCOMPARE(recorder.points()[size_t(recorder.PointIndex(0, PointDir::In, 0))].base, true);
    }

    void ringLowerBound()
    {
        ChangeRing ring(4);
        for (qint64 us : {10, 20, 20, 30, 40, 50}) // wraps: 20, 30, 40, 50 are kept
            ring.push({us, 0, 0}, nullptr);
        QCOMPARE(ring.firstSeq(), quint64(2));
        QCOMPARE(ring.lowerBound(0), quint64(2));
        QCOMPARE(ring.lowerBound(21), quint64(3));
        QCOMPARE(ring.lowerBound(50), quint64(5));
        QCOMPARE(ring.lowerBound(51), quint64(6));
    }

    void filter_data()
    {
        QTest::addColumn<int>("card");
        QTest::addColumn<QString>("point");
        QTest::addColumn<bool>("matches"); // input 5 of card 3, named "Door sensor"
        QTest::newRow("nothing") << -1 << "" << true;
        QTest::newRow("its card") << 3 << "" << true;
        QTest::newRow("another card") << 2 << "" << false;
        QTest::newRow("in5") << -1 << "in5" << true;
        QTest::newRow("IN 5") << -1 << " IN 5 " << true;
        QTest::newRow("out5") << -1 << "out5" << false;
        QTest::newRow("5") << -1 << "5" << true;
        QTest::newRow("15") << -1 << "15" << false;
        QTest::newRow("part of the name") << -1 << "sens" << true;
        QTest::newRow("key") << -1 << "card3_in" << true;
        QTest::newRow("other name") << -1 << "lamp" << false;
        QTest::newRow("name but other card") << 1 << "door" << false;
    }
    void filter()
    {
        QFETCH(int, card);
        QFETCH(QString, point);
        QFETCH(bool, matches);
        RecordedPoint p;
        p.card = 3;
        p.dir = PointDir::In;
        p.point = 5;
        QCOMPARE((ChangeFilter{card, point}.Matches(p, "Door sensor")), matches);
    }

    // With or without a filter the list shows exactly the kept changes that pass it, while
    // the ring drops and takes changes between syncs.
    void listFollowsRing_data()
    {
        QTest::addColumn<QString>("point");
        QTest::newRow("no filter") << "";
        QTest::newRow("in1") << "in1";
    }
    void listFollowsRing()
    {
        QFETCH(QString, point);
        FakeDevice fake;
        fake.record = false;
        fake.boards = {{2801, 0, 4, 0}};
        ManualClock clock;
        ChangeRecorder recorder(5, clock.clock());
        recorder.SetBoards({{0, 4, 0}});
        recorder.Poll();
        ChangeListModel model(&recorder);
        model.SetFilter({-1, point});
        QRandomGenerator random(7);
        for (int step = 0; step < 40; ++step) {
            // 0 to 4 changes per poll, sometimes more than the ring holds between syncs.
            for (int polls = random.bounded(1, 3); polls > 0; --polls) {
                clock.now += 10'000;
                fake.board(0)->in ^= random.bounded(16);
                recorder.Poll();
            }
            model.Sync();
            QList<quint64> expected;
            const ChangeRing &ring = recorder.ring();
            for (quint64 seq = ring.firstSeq(); seq < ring.endSeq(); ++seq)
                if (point.isEmpty() || recorder.points()[ring.at(seq).point].point == 1)
                    expected << seq;
            QList<quint64> shown;
            for (int row = 0; row < model.rowCount(); ++row)
                shown << model.SeqOfRow(row);
            QCOMPARE(shown, expected);
            if (!expected.isEmpty())
                QCOMPARE(model.newestShownUs(), ring.at(expected.back()).us);
        }
    }

    void timelineRule_data()
    {
        QTest::addColumn<bool>("paused");
        QTest::addColumn<qint64>("now");
        QTest::addColumn<qint64>("painted");
        QTest::addColumn<qint64>("newest");
        QTest::addColumn<bool>("repaint");
        // A 10 s span over 1000 pixels: one pixel is 10 ms.
        QTest::newRow("a pixel passed, change in span")
            << false << 20'010'000LL << 20'000'000LL << 15'000'000LL << true;
        QTest::newRow("less than a pixel")
            << false << 20'009'999LL << 20'000'000LL << 15'000'000LL << false;
        QTest::newRow("paused") << true << 21'000'000LL << 20'000'000LL << 15'000'000LL << false;
        QTest::newRow("no change in either span")
            << false << 21'000'000LL << 20'000'000LL << 9'999'999LL << false;
        QTest::newRow("last change leaving the span is drawn away")
            << false << 21'000'000LL << 20'000'000LL << 10'000'000LL << true;
        QTest::newRow("a new change")
            << false << 21'000'000LL << 20'000'000LL << 20'990'000LL << true;
        QTest::newRow("nothing recorded") << false << 21'000'000LL << 0LL << -1LL << false;
    }
    void timelineRule()
    {
        QFETCH(bool, paused);
        QFETCH(qint64, now);
        QFETCH(qint64, painted);
        QFETCH(qint64, newest);
        QFETCH(bool, repaint);
        QCOMPARE(TimelineNeedsRepaint(paused, now, painted, 10'000'000, 1000, newest), repaint);
    }
};

QTEST_GUILESS_MAIN(TestChangeRecorder)
#include "tst_changerecorder.moc"

// The history database, the agent's config and its recording, in process: the writer's
// refusals (never writing to a file it refuses), retention keeping each point's value, the
// recorder's restart rule, refused reads and a full buffer, and the times qrxio history takes.
#include "AgentConfig.h"
#include "History.h"
#include "Recorder.h"
#include "device/DeviceTable.h"
#include "history/HistoryReader.h"
#include "history/HistoryWriter.h"

#include <QDateTime>
#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

namespace {

uint64_t g_inputs = 0; // card 0's inputs as the device answers them
int g_refuseBit = -1; // a bit whose read is refused

int32_t GetInput(int32_t card, int32_t bit, int32_t *value)
{
    if (card != 0 || bit == g_refuseBit)
        return -2001;
    *value = int32_t(g_inputs >> bit & 1);
    return 0;
}

void UseDevice()
{
    DeviceTable table = DeviceTable::Unloaded();
    table.DXS_devDiGetBit = GetInput;
    SetDeviceTable(table);
}

QByteArray FileBytes(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray("(unreadable)");
}

std::vector<HistoryRecord> ReadAll(const QString &path, std::vector<HistoryPoint> *points,
                                   int64_t since = INT64_MIN)
{
    HistoryReader reader;
    QString error;
    std::vector<HistoryRecord> records;
    if (!reader.Open(path, &error) ||
        !reader.Read(
            since, INT64_MAX, points,
            [&](const HistoryRecord &r) {
                records.push_back(r);
                return true;
            },
            &error))
        qWarning() << error;
    return records;
}

} // namespace

class TestHistory : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString Path(const QString &name) const { return m_dir.filePath(name); }

private slots:
    void config_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error"); // empty: accepted
        QTest::addColumn<int>("interval");
        QTest::newRow("empty file: defaults") << QByteArray() << QString() << 10;
        QTest::newRow("every key") << QByteArray("; comment\n[Recorder]\nDatabase=/tmp/h.db\n"
                                                 "IntervalMs=20\nBoards=0, 3\nPointNames=/n.ini\n"
                                                 "RetentionDays=7\nMaxDatabaseMB=64\n"
                                                 "LoadingMode=manual\n")
                                   << QString() << 20;
        QTest::newRow("plant link section handed over")
            << QByteArray("[Mqtt]\nHost=broker\nAnything=1\n") << QString() << 10;
        QTest::newRow("unknown key") << QByteArray("[Recorder]\n\nIntervalMS=5\nColour=red\n")
                                     << "agent.ini:4: unknown key \"Colour\" in [Recorder]" << 5;
        QTest::newRow("bad number") << QByteArray("[Recorder]\nIntervalMs=0\n")
                                    << "agent.ini:2: IntervalMs takes a number from 1" << 0;
        QTest::newRow("number with junk")
            << QByteArray("[Recorder]\nRetentionDays=7d\n") << "agent.ini:2: RetentionDays" << 0;
        QTest::newRow("bad boards") << QByteArray("[Recorder]\nBoards=0,x\n")
                                    << "agent.ini:2: Boards is \"all\" or card numbers" << 0;
        QTest::newRow("bad mode") << QByteArray("[Recorder]\nLoadingMode=2\n")
                                  << "agent.ini:2: LoadingMode is auto or manual" << 0;
        QTest::newRow("unknown section")
            << QByteArray("[Recorder]\n[Other]\n") << "agent.ini:2: unknown section [Other]" << 0;
        QTest::newRow("key twice") << QByteArray("[Recorder]\nBoards=1\nboards=2\n")
                                   << "agent.ini:3: key \"boards\" is given twice" << 0;
        QTest::newRow("key before a section")
            << QByteArray("Boards=1\n") << "agent.ini:1: key \"Boards\" stands before" << 0;
        QTest::newRow("not a key line")
            << QByteArray("[Recorder]\nBoards\n") << "agent.ini:2: a line is a [Section]" << 0;
    }
    void config()
    {
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        QFETCH(int, interval);
        AgentConfig config;
        QString message;
        const bool ok = ParseAgentConfig(text, "agent.ini", {"Mqtt"}, &config, &message);
        QCOMPARE(ok, error.isEmpty());
        if (!ok) {
            QVERIFY2(message.startsWith(error), qPrintable(message));
            return;
        }
        QCOMPARE(config.recorder.intervalMs, interval);
        if (text.contains("Mqtt"))
            QCOMPARE(config.Section("mqtt").size(), 2);
        if (text.contains("Boards=0, 3")) {
            QCOMPARE(config.recorder.boards, (std::vector<int32_t>{0, 3}));
            QCOMPARE(config.recorder.maxDatabaseMB, 64);
            QCOMPARE(config.recorder.loadingMode, std::optional<int32_t>(1));
        }
    }

    void times_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<qint64>("us"); // -1: refused
        const qint64 base =
            QDateTime(QDate(2026, 12, 8), QTime(3, 0), Qt::UTC).toMSecsSinceEpoch() * 1000;
        const qint64 now = base + 5'000'000;
        QTest::newRow("utc") << "2026-12-08T03:00:00Z" << base;
        QTest::newRow("microseconds") << "2026-12-08T03:00:00.000042Z" << base + 42;
        QTest::newRow("milliseconds") << "2026-12-08T03:00:00.5Z" << base + 500'000;
        QTest::newRow("offset") << "2026-12-08T04:30:00+01:30" << base;
        QTest::newRow("negative offset") << "2026-12-07T22:00:00-05:00" << base;
        QTest::newRow("ten minutes ago") << "-10m" << now - 600'000'000;
        QTest::newRow("two hours ago") << "-2h" << now - 7'200'000'000;
        QTest::newRow("a day ago") << "-1d" << now - 86'400'000'000;
        QTest::newRow("seven digits") << "2026-12-08T03:00:00.1234567Z" << qint64(-1);
        QTest::newRow("no such day") << "2026-02-30T03:00:00Z" << qint64(-1);
        QTest::newRow("no unit") << "-10" << qint64(-1);
        QTest::newRow("words") << "yesterday" << qint64(-1);
    }
    void times()
    {
        QFETCH(QString, text);
        QFETCH(qint64, us);
        const qint64 now =
            QDateTime(QDate(2026, 12, 8), QTime(3, 0), Qt::UTC).toMSecsSinceEpoch() * 1000 +
            5'000'000;
        const std::optional<int64_t> parsed = ParseHistoryTime(text, now);
        QCOMPARE(parsed.has_value(), us >= 0);
        if (parsed)
            QCOMPARE(*parsed, us);
    }

    // Files the writer must refuse, each left exactly as it was.
    void refused_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("message");
        QTest::newRow("not a database") << "text"
                                        << "is not an SQLite database";
        QTest::newRow("another program's database") << "foreign"
                                                    << "of another program";
        QTest::newRow("damaged history") << "damaged"
                                         << "is damaged";
        QTest::newRow("symbolic link") << "link"
                                       << "is a symbolic link";
        QTest::newRow("folder") << "folder"
                                << "is not a regular file";
        QTest::newRow("second writer") << "locked"
                                       << "another orvane-agent writes";
        QTest::newRow("missing folder") << "nofolder"
                                        << "does not exist";
    }
    void refused()
    {
        QFETCH(QString, kind);
        QFETCH(QString, message);
        const QString path = Path(kind + ".db");
        HistoryWriter first;
        QString error;
        if (kind == "text") {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(QByteArray(8192, 'x')) == 8192);
        } else if (kind == "foreign") {
            SqliteDb db;
            QVERIFY(db.Open(path, 6, &error) &&
                    db.Exec("CREATE TABLE t(x); INSERT INTO t VALUES(1)"));
        } else if (kind == "damaged") {
            QVERIFY2(first.Open(path, &error), qPrintable(error));
            std::vector<HistoryChange> many;
            for (int i = 0; i < 20000; ++i)
                many.push_back({i, 0, PointDir::In, uint8_t(i % 64), bool(i & 1)});
            QVERIFY(first.Append(many, &error));
            first.Close();
            // As if the writer had been killed: only then is the whole file checked.
            SqliteDb db;
            QVERIFY(db.Open(path, 2, &error) && db.Exec("UPDATE writer SET closed_us = NULL"));
            db.Close();
            QFile f(path);
            // Without the WAL, whose copies of the pages would hide the damage.
            QFile::remove(path + "-wal");
            QFile::remove(path + "-shm");
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(3 * 4096) &&
                    f.write(QByteArray(4096, '\x5A')) == 4096);
        } else if (kind == "link") {
            QVERIFY(QFile::link(Path("elsewhere.db"), path));
        } else if (kind == "folder") {
            QVERIFY(QDir().mkpath(path));
        } else if (kind == "locked") {
            QVERIFY2(first.Open(path, &error), qPrintable(error));
        }
        const QString target = kind == "nofolder" ? Path("missing/history.db") : path;
        const QByteArray before = FileBytes(target);
        HistoryWriter writer;
        QVERIFY(!writer.Open(target, &error));
        QVERIFY2(error.contains(message), qPrintable(error));
        QCOMPARE(FileBytes(target), before);
        QVERIFY(!QFile::exists(Path("elsewhere.db")));
    }

    // Retention removes the oldest changes but each point's value at the new start stays.
    void retention_data()
    {
        QTest::addColumn<qint64>("cutoff");
        QTest::addColumn<qint64>("maxBytes");
        QTest::addColumn<qint64>("start"); // from then on every value is known
        QTest::newRow("by age") << qint64(50) << qint64(1LL << 40) << qint64(49);
        QTest::newRow("nothing old") << qint64(0) << qint64(1LL << 40) << qint64(0);
        // A limit below what the points need: the newest time and the values before it stay.
        QTest::newRow("by size") << qint64(0) << qint64(4096) << qint64(98);
    }
    void retention()
    {
        QFETCH(qint64, cutoff);
        QFETCH(qint64, maxBytes);
        QFETCH(qint64, start);
        const QString path = Path(QStringLiteral("retention-%1.db").arg(QTest::currentDataTag()));
        HistoryWriter writer;
        QString error;
        QVERIFY(writer.Open(path, &error));
        // Point 0 changes every microsecond; point 1 is recorded once, at the start.
        std::vector<HistoryChange> changes{{0, 0, PointDir::In, 1, true}};
        for (int t = 0; t < 100; ++t)
            changes.push_back({t, 0, PointDir::In, 0, bool(t & 1)});
        QVERIFY(writer.Append(changes, &error));
        int64_t removed = 0;
        while ((removed = writer.Retain(cutoff, maxBytes, &error)) > 0) {
        }
        QCOMPARE(removed, 0);
        writer.Close();
        std::vector<HistoryPoint> points;
        QCOMPARE(ReadAll(path, &points).size(), size_t(101 - start));
        for (qint64 since = start; since < 100; since += 7) {
            const std::vector<HistoryRecord> records = ReadAll(path, &points, since);
            QCOMPARE(points.size(), size_t(2));
            // The value at `since`: the start value, or the record at that very time.
            for (uint32_t p = 0; p < 2; ++p) {
                int at = points[p].startValue;
                for (const HistoryRecord &r : records)
                    if (r.point == p && r.timeUs == since)
                        at = r.value;
                QCOMPARE(at, p == 1 ? 1 : int(since & 1));
            }
        }
    }

    // The recorder's first poll, refused reads and a full buffer.
    void recorder_data()
    {
        QTest::addColumn<QList<int>>("known"); // points recorded before, all with value 0
        QTest::addColumn<int>("refuse");
        QTest::addColumn<int>("limit");
        QTest::addColumn<int>("firstPoll"); // changes recorded by the first poll
        QTest::newRow("new database: every point") << QList<int>{} << -1 << 100 << 4;
        QTest::newRow("restart: only what differs") << QList<int>{0, 1, 2, 3} << -1 << 100 << 1;
        QTest::newRow("restart with a new point") << QList<int>{0, 1, 2} << -1 << 100 << 2;
        QTest::newRow("refused read keeps its value") << QList<int>{0, 1, 2, 3} << 2 << 100 << 0;
        QTest::newRow("full buffer") << QList<int>{} << -1 << 2 << 2;
    }
    void recorder()
    {
        QFETCH(QList<int>, known);
        QFETCH(int, refuse);
        QFETCH(int, limit);
        QFETCH(int, firstPoll);
        UseDevice();
        g_inputs = 0b0100; // point 2 on
        g_refuseBit = refuse;
        HistoryWriter writer;
        QString error;
        QVERIFY(
            writer.Open(Path(QStringLiteral("rec-%1.db").arg(QTest::currentDataTag())), &error));
        Recorder recorder{size_t(limit)};
        QHash<uint64_t, bool> last;
        std::vector<HistoryChange> before;
        for (int p : known) {
            last.insert(HistoryPointKey(0, PointDir::In, p), false);
            before.push_back({1, 0, PointDir::In, uint8_t(p), false});
        }
        QVERIFY(writer.Append(before, &error));
        recorder.SetHistory(last, 0);
        recorder.SetBoards({{0, 0b1111, 0}});
        QCOMPARE(int(recorder.Poll(1000).size()), firstPoll);
        // Nothing changes: nothing recorded, and a clock stepped back keeps the order.
        QCOMPARE(int(recorder.Poll(500).size()), 0);
        g_inputs = 0b0001;
        const std::vector<HistoryChange> second = recorder.Poll(2000);
        QString first;
        QCOMPARE(recorder.TakeRefusals(&first), refuse >= 0 ? 3 : 0);
        QCOMPARE(first.contains("bit=2"), refuse >= 0);
        // Points 2 and 3 did not fit at the first poll, point 0's change at the second.
        QCOMPARE(recorder.TakeOverflow(), limit < 4 ? 3 : 0);
        for (const HistoryChange &c : second)
            QVERIFY(c.timeUs == 2000 && c.point != refuse);
        QVERIFY(writer.Append(recorder.Take(), &error));
        // Room again: every point's value is in the history, whatever did not fit before.
        for (int64_t t = 3000; t < 6000; t += 1000) {
            recorder.Poll(t);
            QVERIFY(writer.Append(recorder.Take(), &error));
        }
        const QHash<uint64_t, bool> stored = writer.LastValues();
        for (int p = 0; p < 4; ++p) {
            if (p == refuse)
                continue;
            QVERIFY2(stored.contains(HistoryPointKey(0, PointDir::In, p)),
                     qPrintable(QString::number(p)));
            QCOMPARE(stored.value(HistoryPointKey(0, PointDir::In, p)), p == 0);
        }
        QVERIFY(writer.LastTimeUs() <= 5000 && writer.LastTimeUs() >= 1001);
    }
};

QTEST_GUILESS_MAIN(TestHistory)
#include "tst_history.moc"

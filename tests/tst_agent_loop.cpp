// The agent's loop in process: the recorder's times across clock steps and reloads, the
// history writer's thread (never waited for, a write lock held by another process, a database
// deleted under it, the end) and the config files it refuses without blocking.
#include "AgentConfig.h"
#include "HistorySink.h"
#include "Recorder.h"
#include "device/DeviceTable.h"
#include "history/Sqlite.h"
#include "mqtt/MqttConfig.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <sqlite3.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int64_t kSecond = 1'000'000;
constexpr int64_t kYear = 365 * 86'400 * kSecond;
uint64_t g_inputs = 0; // every card's inputs as the device answers them

int32_t GetInput(int32_t, int32_t bit, int32_t *value)
{
    *value = int32_t(g_inputs >> bit & 1);
    return 0;
}

void UseDevice()
{
    DeviceTable table = DeviceTable::Unloaded();
    table.DXS_devDiGetBit = GetInput;
    table.DXS_devDoGetBit = GetInput;
    SetDeviceTable(table);
}

// Everything written to stderr while it lives (the agent's log).
class Stderr
{
public:
    Stderr()
        : m_saved(dup(2))
    {
        m_file.open();
        dup2(m_file.handle(), 2);
    }
    ~Stderr() { Restore(); }
    QString Text()
    {
        fflush(stderr);
        QFile read(m_file.fileName());
        return read.open(QIODevice::ReadOnly) ? QString::fromLocal8Bit(read.readAll()) : QString();
    }
    void Restore()
    {
        if (m_saved >= 0)
            dup2(m_saved, 2), close(m_saved);
        m_saved = -1;
    }

private:
    QTemporaryFile m_file;
    int m_saved;
};

int64_t Rows(const QString &db)
{
    SqliteDb sql;
    return sql.Open(db, SQLITE_OPEN_READONLY, nullptr) ? sql.Integer("SELECT count(*) FROM changes")
                                                       : -1;
}

} // namespace

class TestAgentLoop : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void initTestCase() { UseDevice(); }

    // Each step: a poll at a clock time (point 0 toggled each time), or "reload" (the boards
    // chosen again). The times recorded never go back, whatever the clock did.
    void clock_data()
    {
        QTest::addColumn<QList<qint64>>("clock"); // -1: the boards chosen again
        QTest::addColumn<qint64>("historyUs"); // the history's last time at the start
        QTest::addColumn<QList<qint64>>("stamps");
        QTest::addColumn<QString>("steps"); // the clock steps said: b back, r reset
        const qint64 s = kSecond;
        QTest::newRow("steady") << QList<qint64>{s, 2 * s, 3 * s} << qint64(0)
                                << QList<qint64>{s, 2 * s, 3 * s} << "";
        QTest::newRow("a step back keeps the order, said once")
            << QList<qint64>{10 * s, 5 * s, 6 * s, 11 * s} << qint64(0)
            << QList<qint64>{10 * s, 10 * s + 1, 10 * s + 2, 11 * s} << "b";
        QTest::newRow("the history ahead of the clock at the start")
            << QList<qint64>{4 * s, 6 * s} << 5 * s << QList<qint64>{5 * s + 1, 6 * s} << "b";
        QTest::newRow("a step back, then a reload: never below the last time")
            << QList<qint64>{10 * s, 5 * s, -1, 6 * s} << 2 * s
            << QList<qint64>{10 * s, 10 * s + 1, 10 * s + 2} << "b";
        QTest::newRow("ten years ahead, then back: the clock again")
            << QList<qint64>{100 * s, 10 * kYear, 10 * kYear + s, 101 * s, 102 * s} << qint64(0)
            << QList<qint64>{100 * s, 10 * kYear, 10 * kYear + s, 101 * s, 102 * s} << "r";
    }
    void clock()
    {
        QFETCH(QList<qint64>, clock);
        QFETCH(qint64, historyUs);
        QFETCH(QList<qint64>, stamps);
        QFETCH(QString, steps);
        Recorder recorder;
        recorder.SetHistory({}, historyUs);
        recorder.SetBoards({{0, 0b11, 0}});
        QList<qint64> got;
        QString said;
        for (qint64 now : clock) {
            if (now < 0) {
                recorder.SetBoards({{0, 0b11, 0}, {1, 0b1, 0}}); // a changed Boards=
                continue;
            }
            g_inputs ^= 1;
            const std::vector<HistoryChange> &changes = recorder.Poll(now);
            for (const HistoryChange &c : changes)
                QVERIFY(c.timeUs == changes.front().timeUs);
            got << changes.front().timeUs;
            if (const auto step = recorder.TakeClockStep())
                said += step->reset ? u'r' : u'b';
            // After a reset every point's value is recorded again at the clock's time.
            if (said.endsWith(u'r') && now == clock.at(3))
                QCOMPARE(int(changes.size()), 2);
        }
        QCOMPARE(got, stamps);
        QCOMPARE(said, steps);
    }

    // Another connection holds the write lock: pushing never waits, the changes stay queued
    // (said once), and everything is written once the lock goes.
    void lockHeld()
    {
        const QString db = m_dir.filePath("locked.db");
        Stderr log;
        HistorySink sink;
        QString error;
        QVERIFY2(sink.Open(db, kSecond, &error), qPrintable(error));
        sink.Start();
        SqliteDb other;
        QVERIFY(other.Open(db, SQLITE_OPEN_READWRITE, &error));
        QVERIFY(other.Exec("BEGIN IMMEDIATE"));
        for (int i = 0; i < 3000; ++i)
            sink.Push({{kSecond + i, 0, PointDir::In, uint8_t(i % 64), bool(i / 64 % 2)}});
        QTRY_VERIFY_WITH_TIMEOUT(log.Text().contains("the changes wait in memory"), 20000);
        QCOMPARE(sink.backlog(), size_t(3000));
        QVERIFY(!sink.Drain(100));
        QVERIFY(other.Exec("COMMIT"));
        QVERIFY(sink.Drain(20000));
        QCOMPARE(Rows(db), 3000);
        QVERIFY(log.Text().contains("writing the history again"));
        QCOMPARE(log.Text().count("the changes wait in memory"), 1);
        QCOMPARE(sink.Finish(HistorySink::kFinishMs), size_t(0));
    }

    // The end while the lock is held: bounded, and what was not written is counted.
    void finishBounded()
    {
        const QString db = m_dir.filePath("end.db");
        // An abandoned sink outlives the process's end, as in the agent.
        static HistorySink *sink = new HistorySink;
        QString error;
        QVERIFY(sink->Open(db, kSecond, &error));
        sink->Start();
        SqliteDb other;
        QVERIFY(other.Open(db, SQLITE_OPEN_READWRITE, &error));
        QVERIFY(other.Exec("BEGIN IMMEDIATE"));
        sink->Push({{kSecond, 0, PointDir::In, 0, true}, {kSecond, 0, PointDir::In, 1, true}});
        QVERIFY(!sink->Drain(300));
        QCOMPARE(sink->Finish(300), size_t(2));
        QVERIFY(sink->abandoned());
        QVERIFY(other.Exec("COMMIT"));
    }

    // A database deleted under the writer is said, and made again at its path.
    void deleted()
    {
        const QString db = m_dir.filePath("gone.db");
        Stderr log;
        HistorySink sink;
        QString error;
        QVERIFY(sink.Open(db, kSecond, &error));
        sink.Start();
        sink.Push({{kSecond, 0, PointDir::In, 0, true}});
        QVERIFY(sink.Drain(5000));
        QVERIFY(QFile::remove(db));
        bool reopened = false; // taken once
        QTRY_VERIFY2_WITH_TIMEOUT((reopened = reopened || sink.TakeReopened()),
                                  qPrintable(log.Text()), 10000);
        QVERIFY(log.Text().contains("was deleted or replaced"));
        sink.Push({{2 * kSecond, 0, PointDir::In, 0, false}});
        QVERIFY(sink.Drain(5000));
        QCOMPARE(Rows(db), 1);
    }

    // Config files refused without blocking, with the file and line.
    void configFiles_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("error");
        QTest::newRow("a FIFO") << "fifo" << QByteArray() << "it is not a regular file";
        QTest::newRow("a folder") << "folder" << QByteArray() << "it is a folder";
        QTest::newRow("a NUL byte in a value") << "file"
                                               << QByteArray("[Recorder]\nIntervalMs=2\0"
                                                             "0\n",
                                                             26)
                                               << "agent.ini:2: a NUL byte in the line";
        QTest::newRow("[Mqtt] keys without case")
            << "file" << QByteArray("[mqtt]\nhost=broker\nPORT=1883\n") << "";
    }
    void configFiles()
    {
        QFETCH(QString, kind);
        QFETCH(QByteArray, text);
        QFETCH(QString, error);
        const QString path =
            m_dir.filePath(QStringLiteral("%1/agent.ini").arg(QTest::currentDataTag()));
        QVERIFY(QDir().mkpath(QFileInfo(path).path()));
        if (kind == "fifo")
            QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        QFile file(path);
        QVERIFY(kind != "file" ||
                (file.open(QIODevice::WriteOnly) && file.write(text) == text.size()));
        file.close();
        AgentConfig config;
        QString got;
        const bool ok = ReadAgentConfig(path, {QStringLiteral("Mqtt")}, &config, &got);
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(got.contains(error), qPrintable(got));
        if (ok) {
            std::vector<MqttIniLine> lines;
            for (const ConfigEntry &e : config.Section(QStringLiteral("Mqtt")))
                lines.push_back({e.line, e.key, e.value});
            const MqttConfigResult mqtt = ParseMqttConfig(path, 1, lines, {}, "pc");
            QVERIFY2(mqtt.config, qPrintable(mqtt.errors.join(u'\n')));
            QCOMPARE(mqtt.config->host, QStringLiteral("broker"));
        }
    }
};

QTEST_GUILESS_MAIN(TestAgentLoop)
#include "tst_agent_loop.moc"

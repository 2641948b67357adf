// The history file against hostile paths and conditions: what the writer and the readers refuse
// (and that nothing is created first), one writer per file whatever its name, a change never
// replaced, a busy or deleted database, the check after an unclean close, the schema ladder
// from the first schema, the WAL with a paused or a foreign reader, the size bound and the rows
// moved aside when they were stamped ahead of the clock.
#include "SecondUser.h"
#include "history/HistoryReader.h"
#include "history/HistoryWriter.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

// The first schema, as the first agents made it: the fixture every step of the ladder starts
// from, written here so that no later change of the program can change it.
const char *const kFirstSchema = R"(BEGIN;
CREATE TABLE points(id INTEGER PRIMARY KEY, card INTEGER NOT NULL,
    direction TEXT NOT NULL CHECK(direction IN ('in', 'out')), point INTEGER NOT NULL,
    UNIQUE(card, direction, point));
CREATE TABLE changes(time_us INTEGER NOT NULL, point_id INTEGER NOT NULL REFERENCES points(id),
    value INTEGER NOT NULL CHECK(value IN (0, 1)), PRIMARY KEY(time_us, point_id)) WITHOUT ROWID;
CREATE INDEX changes_by_point ON changes(point_id, time_us);
CREATE VIEW history AS SELECT c.time_us,
    strftime('%Y-%m-%dT%H:%M:%fZ', c.time_us / 1000000.0, 'unixepoch') AS time_utc,
    p.card, p.direction, p.point, c.value FROM changes AS c JOIN points AS p ON p.id = c.point_id;
PRAGMA application_id = 1330796110;
PRAGMA user_version = 1;
INSERT INTO points VALUES(1, 0, 'in', 0), (2, 3, 'out', 5);
INSERT INTO changes VALUES(1000, 1, 0), (1000, 2, 1), (2000, 1, 1);
COMMIT;)";

std::vector<HistoryChange> Changes(int64_t from, int count, int points = 64)
{
    std::vector<HistoryChange> changes;
    for (int i = 0; i < count; ++i)
        changes.push_back({from + i / points, 0, PointDir::In, uint8_t(i % points), bool(i & 1)});
    return changes;
}

std::vector<HistoryRecord> ReadAll(const QString &path, QString *error,
                                   HistoryRows rows = HistoryRows::Recorded)
{
    HistoryReader reader;
    std::vector<HistoryPoint> points;
    std::vector<HistoryRecord> records;
    reader.SelectRows(rows);
    if (!reader.Open(path, error) ||
        !reader.Read(
            INT64_MIN, INT64_MAX, &points,
            [&](const HistoryRecord &r) {
                records.push_back(r);
                return true;
            },
            error))
        records.clear();
    return records;
}

qint64 FileSize(const QString &path)
{
    struct stat st;
    return stat(QFile::encodeName(path).constData(), &st) == 0 ? st.st_size : 0;
}

QStringList Entries(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                  QDir::NoDotAndDotDot);
}

// An sqlite3 shell on `path` that ran `sql` and waits with it (a transaction left open).
struct Shell
{
    QProcess process;
    bool Start(const QString &path, const QByteArray &sql)
    {
        process.start(QStringLiteral("sqlite3"), {path});
        process.write(sql + "\n.print ready\n");
        while (process.waitForReadyRead(5000))
            if (process.readAllStandardOutput().contains("ready"))
                return true;
        return false;
    }
    ~Shell()
    {
        process.closeWriteChannel();
        process.waitForFinished(5000);
    }
};

} // namespace

class TestHistoryDb : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    SecondUser m_other = SecondUser::Get();

    QString Path(const QString &name) const { return m_dir.filePath(name); }

    // A shared folder (1777) that the second user can reach, for its links.
    bool OpenToOthers(const QString &folder) const
    {
        return chmod(QFile::encodeName(m_dir.path()).constData(), 0711) == 0 &&
            chmod(QFile::encodeName(folder).constData(), 01777) == 0;
    }

    // A database written by a writer that was killed (SIGKILL) after a checkpoint: its mark
    // says it was not closed.
    bool WriteAndDie(const QString &path, int changes)
    {
        const pid_t child = fork();
        if (child == 0) {
            HistoryWriter writer;
            QString error;
            if (writer.Open(path, &error) && writer.Append(Changes(0, changes), &error) &&
                writer.Checkpoint())
                raise(SIGKILL);
            _exit(1);
        }
        int status = 0;
        return waitpid(child, &status, 0) == child && WIFSIGNALED(status);
    }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }

    // Targets planted for a reader and then the writer: what each is told (named for what is
    // there, with the path), the user's own links followed, and nothing created beside a
    // refused target, the target as it was. Faults 2, 3, 13, 19, 20.
    void targets_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("reader"); // empty: reads the history
        QTest::addColumn<QString>("writer"); // empty: opens it
        const QString fifo = "is not a regular file (it is a FIFO)";
        const QString folder = "is not a regular file (it is a folder)";
        const QString device = "is not a regular file (it is a device)";
        const QString others = "symbolic link of another user";
        QTest::newRow("missing") << "missing"
                                 << "no such history" << QString();
        QTest::newRow("FIFO") << "fifo" << fifo << fifo;
        QTest::newRow("folder") << "folder" << folder << folder;
        QTest::newRow("device") << "/dev/null" << device << device;
        QTest::newRow("read-only, even for root") << "readonly" << QString() << "is read-only";
        QTest::newRow("immutable") << "immutable" << QString() << "is immutable (chattr +i)";
        QTest::newRow("a second name") << "hardlink" << QString() << "has 2 names";
        // Through the second name a reader misses the WAL: it is told, never shown a torn file.
        QTest::newRow("a second name while written") << "hardlink-open"
                                                     << "cannot be read"
                                                     << "another orvane-agent writes";
        QTest::newRow("own link to a folder on the way")
            << "ownfolderlink" << QString() << QString();
        QTest::newRow("own link as the file") << "ownlink" << QString() << "is a symbolic link";
        QTest::newRow("another user's link on the way") << "otherslink" << others << others;
    }
    void targets()
    {
        QFETCH(QString, kind);
        QFETCH(QString, reader);
        QFETCH(QString, writer);
        const QString folder = Path(QStringLiteral("target-%1").arg(QTest::currentDataTag()));
        const QString real = folder + "/real/h.db";
        QString target = folder + "/h.db", error;
        QVERIFY(QDir().mkpath(folder + "/real"));
        HistoryWriter first;
        if (kind == "otherslink" && !m_other.isValid())
            QSKIP("needs root and a second user");
        if (kind != "missing" && kind != "fifo" && kind != "folder" && kind != "/dev/null") {
            QVERIFY2(first.Open(real, &error) && first.Append(Changes(1, 10), &error),
                     qPrintable(error));
            if (kind != "hardlink-open")
                first.Close();
        }
        const QByteArray realName = QFile::encodeName(real), name = QFile::encodeName(target);
        if (kind == "fifo")
            QCOMPARE(mkfifo(name.constData(), 0600), 0);
        else if (kind == "folder")
            QVERIFY(QDir().mkpath(target));
        else if (kind == "readonly" || kind == "immutable" || kind == "/dev/null")
            target = kind == "/dev/null" ? kind : real;
        else if (kind.startsWith("hardlink"))
            QCOMPARE(link(realName.constData(), name.constData()), 0);
        else if (kind == "ownlink")
            QVERIFY(QFile::link(real, target));
        else if (kind == "ownfolderlink")
            QVERIFY(QFile::link(folder + "/real", folder + "/via"));
        else if (kind == "otherslink")
            QVERIFY(OpenToOthers(folder) && m_other.Run([&] {
                return symlink("real", QFile::encodeName(folder + "/via").constData()) == 0;
            }));
        if (kind.contains("folderlink") || kind == "otherslink")
            target = folder + "/via/h.db";
        if (kind == "readonly")
            QVERIFY(QFile::setPermissions(target, QFile::ReadOwner | QFile::ReadGroup));
        if (kind == "immutable" && QProcess::execute("chattr", {"+i", target}) != 0)
            QSKIP("chattr +i is not available here");

        const std::vector<HistoryRecord> records = ReadAll(target, &error);
        QVERIFY2(reader.isEmpty() ? records.size() == 10 && error.isEmpty()
                                  : error.contains(reader) && error.contains(target),
                 qPrintable(error));
        const QStringList before = Entries(folder) + Entries(folder + "/real");
        const qint64 size = FileSize(target);
        HistoryWriter second;
        const bool opened = second.Open(target, &error);
        if (kind == "immutable")
            QProcess::execute("chattr", {"-i", target});
        QCOMPARE(opened, writer.isEmpty());
        if (opened)
            return;
        QVERIFY2(error.contains(writer) && error.contains(target) && !error.contains(u'\n'),
                 qPrintable(error));
        QCOMPARE(Entries(folder) + Entries(folder + "/real"), before);
        QCOMPARE(FileSize(target), size);
        QVERIFY(!QFile::exists("/dev/null.lock"));
    }

    // Fault 4, the writer's half: a second row for a time and point fails the batch.
    void neverReplaces()
    {
        HistoryWriter writer;
        QString error;
        const QString path = Path("replace.db");
        QVERIFY(writer.Open(path, &error));
        QVERIFY(writer.Append({{5, 0, PointDir::In, 1, true}}, &error));
        QVERIFY(!writer.Append({{6, 0, PointDir::In, 2, true}, {5, 0, PointDir::In, 1, false}},
                               &error));
        QCOMPARE(writer.failure(), HistoryWriter::Failure::Other);
        QVERIFY2(error.contains("card 0 in 1"), qPrintable(error));
        writer.Close();
        const std::vector<HistoryRecord> records = ReadAll(path, &error);
        QCOMPARE(records.size(), size_t(1));
        QCOMPARE(records[0].value, true);
    }

    // Fault 6, the writer's half: another process's write lock is answered at once, by name,
    // and the batch goes in once the lock is gone.
    void busyDatabase()
    {
        HistoryWriter writer;
        QString error;
        const QString path = Path("busy.db");
        QVERIFY(writer.Open(path, &error));
        QVERIFY(writer.Append(Changes(1, 10), &error));
        {
            Shell shell;
            QVERIFY(shell.Start(path, "BEGIN IMMEDIATE;"));
            QVERIFY(!writer.Append(Changes(100, 10), &error));
            QVERIFY2(writer.busy(), qPrintable(error));
            QVERIFY2(writer.LockHolder().contains("(sqlite3)"), qPrintable(writer.LockHolder()));
            QVERIFY2(error.contains("sqlite3"), qPrintable(error));
        }
        QVERIFY2(writer.Append(Changes(100, 10), &error), qPrintable(error));
        writer.Close();
        QCOMPARE(ReadAll(path, &error).size(), size_t(20));
    }

    // Fault 20: a database deleted or replaced under the writer is not written into.
    void deletedUnderTheWriter_data()
    {
        QTest::addColumn<bool>("replaced");
        QTest::newRow("deleted") << false;
        QTest::newRow("replaced") << true;
    }
    void deletedUnderTheWriter()
    {
        QFETCH(bool, replaced);
        HistoryWriter writer;
        QString error;
        const QString path = Path(QStringLiteral("deleted-%1.db").arg(replaced));
        QVERIFY(writer.Open(path, &error));
        QVERIFY(writer.Append(Changes(1, 10), &error));
        QVERIFY(QFile::remove(path));
        if (replaced)
            QVERIFY(QFile::copy(Path("replace.db"), path));
        QVERIFY(!writer.Append(Changes(100, 10), &error));
        QVERIFY(writer.gone());
        QVERIFY2(error.contains("was deleted or replaced"), qPrintable(error));
        writer.Close();
        QVERIFY2(writer.Open(path, &error), qPrintable(error));
    }

    // quick_check only after an unclean close; a damaged file named in one line, and a damaged
    // page met later by a reader said, never read as if it were whole.
    void uncleanClose_data()
    {
        QTest::addColumn<bool>("killed");
        QTest::addColumn<bool>("damaged");
        QTest::addColumn<bool>("opens");
        QTest::newRow("killed, intact") << true << false << true;
        QTest::newRow("killed, damaged: refused") << true << true << false;
        QTest::newRow("closed, damaged: found by the reader") << false << true << true;
    }
    void uncleanClose()
    {
        QFETCH(bool, killed);
        QFETCH(bool, damaged);
        QFETCH(bool, opens);
        const QString path = Path(QStringLiteral("unclean-%1.db").arg(QTest::currentDataTag()));
        QString error;
        if (killed) {
            QVERIFY(WriteAndDie(path, 20000));
        } else {
            HistoryWriter writer;
            QVERIFY(writer.Open(path, &error) && writer.Append(Changes(0, 20000), &error));
        }
        QFile::remove(path + "-wal"); // holds no page after the checkpoint or the close
        QFile::remove(path + "-shm");
        if (damaged) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::ReadWrite) && f.seek(f.size() / 2 / 4096 * 4096) &&
                    f.write(QByteArray(4096, '\x5A')) == 4096);
        }
        HistoryWriter writer;
        QCOMPARE(writer.Open(path, &error), opens);
        if (!opens) {
            QVERIFY2(error.contains("is damaged") && !error.contains(u'\n') && error.size() < 400,
                     qPrintable(error));
            return;
        }
        writer.Close();
        const std::vector<HistoryRecord> records = ReadAll(path, &error);
        QCOMPARE(records.size(), size_t(damaged ? 0 : 20000));
        QVERIFY2(damaged == error.contains("is damaged"), qPrintable(error));
    }

    // Each step of the ladder on a database made by the step before, from the first schema.
    void ladder_data()
    {
        QTest::addColumn<qint64>("from");
        for (qint64 v = HistoryFile::kFirstVersion; v < HistoryFile::kSchemaVersion; ++v)
            QTest::addRow("from version %lld", v) << v;
    }
    void ladder()
    {
        QFETCH(qint64, from);
        const QString path = Path(QStringLiteral("ladder-%1.db").arg(from));
        QString error;
        {
            SqliteDb db;
            QVERIFY(db.Open(path, 6, &error) && db.Exec(kFirstSchema, &error));
            QVERIFY2(HistoryFile::Upgrade(db, from, &error), qPrintable(error));
            QCOMPARE(db.Integer("PRAGMA user_version"), from);
        }
        HistoryWriter writer;
        QVERIFY2(writer.Open(path, &error), qPrintable(error));
        QVERIFY(writer.Append({{3000, 3, PointDir::Out, 5, false}}, &error));
        QVERIFY(writer.AppendEvent(3000, "clock", "a test", &error));
        QCOMPARE(writer.LastValues().value(HistoryPointKey(0, PointDir::In, 0)), true);
        writer.Close();
        SqliteDb db;
        QVERIFY(db.Open(path, 1, &error));
        QCOMPARE(db.Integer("PRAGMA user_version"), HistoryFile::kSchemaVersion);
        QCOMPARE(db.Integer("SELECT count(*) FROM events"), 1);
        QCOMPARE(db.Integer("SELECT closed_us IS NOT NULL FROM writer"), 1);
        QCOMPARE(ReadAll(path, &error).size(), size_t(4));
    }

    // A newer minor version (tables added) is read; a newer major is refused, by both numbers.
    void newerVersions_data()
    {
        QTest::addColumn<qint64>("version");
        QTest::addColumn<bool>("read");
        QTest::newRow("newer minor") << qint64(HistoryFile::kSchemaVersion + 1) << true;
        QTest::newRow("newer major") << qint64(1000) << false;
    }
    void newerVersions()
    {
        QFETCH(qint64, version);
        QFETCH(bool, read);
        const QString path = Path(QStringLiteral("newer-%1.db").arg(version));
        QString error;
        {
            HistoryWriter writer;
            QVERIFY(writer.Open(path, &error) && writer.Append(Changes(1, 4), &error));
        }
        SqliteDb db;
        const QByteArray sql =
            "CREATE TABLE later(x); PRAGMA user_version = " + QByteArray::number(version);
        QVERIFY(db.Open(path, 2, &error) && db.Exec(sql.constData(), &error));
        db.Close();
        QCOMPARE(ReadAll(path, &error).size(), size_t(read ? 4 : 0));
        if (!read)
            QVERIFY2(error.contains("schema version 1000") && error.contains("up to 999"),
                     qPrintable(error));
        HistoryWriter writer;
        QVERIFY(!writer.Open(path, &error));
        QVERIFY2(
            error.contains(QStringLiteral("schema version %1").arg(version)) &&
                error.contains(
                    QStringLiteral("writes versions up to %1").arg(HistoryFile::kSchemaVersion)),
            qPrintable(error));
    }

    // Fault 8 and the foreign reader: a reader whose output waits never keeps the WAL from
    // being checkpointed; an sqlite3 shell left in a transaction does, and is said once.
    void walWhileAReaderWaits_data()
    {
        QTest::addColumn<bool>("foreign");
        QTest::newRow("our reader, paused") << false;
        QTest::newRow("an sqlite3 shell in a transaction") << true;
    }
    void walWhileAReaderWaits()
    {
        QFETCH(bool, foreign);
        const QString path = Path(QStringLiteral("wal-%1.db").arg(foreign));
        HistoryWriter writer;
        QString error;
        QVERIFY(writer.Open(path, &error));
        QCOMPARE(writer.Retain(INT64_MIN, 64 << 20, &error), 0); // a WAL limit of 4 MiB
        QVERIFY(writer.Append(Changes(0, 20000), &error));
        QVERIFY(writer.Checkpoint());
        Shell shell;
        QVERIFY(!foreign || shell.Start(path, "BEGIN; SELECT count(*) FROM changes;"));
        int64_t walMax = 0;
        QStringList notices;
        const auto writeMuch = [&] {
            for (int batch = 0; batch < 60; ++batch) {
                QVERIFY(writer.Append(Changes(1'000'000 + batch * 1000, 6400), &error));
                walMax = std::max<int64_t>(walMax, FileSize(path + "-wal"));
                notices << writer.TakeWalNotice();
            }
        };
        HistoryReader reader;
        std::vector<HistoryPoint> points;
        int seen = 0;
        QVERIFY(reader.Open(path, &error));
        QVERIFY(reader.Read(
            INT64_MIN, INT64_MAX, &points,
            [&](const HistoryRecord &) {
                if (seen++ == 0 && !foreign)
                    writeMuch(); // while the reader's output waits
                return true;
            },
            &error));
        if (foreign)
            writeMuch();
        notices.removeAll(QString());
        if (!foreign) {
            QVERIFY2(walMax <= 12 << 20, qPrintable(QString::number(walMax)));
            QVERIFY2(notices.isEmpty(), qPrintable(notices.join('\n')));
            return;
        }
        QCOMPARE(notices.size(), 1);
        QVERIFY2(notices[0].contains("cannot be checkpointed") && notices[0].contains("sqlite3") &&
                     notices[0].contains(" MB"),
                 qPrintable(notices[0]));
        shell.process.write("COMMIT;\n.quit\n");
        QVERIFY(shell.process.waitForFinished(5000));
        QVERIFY(writer.Append(Changes(9'000'000, 6400), &error));
        QVERIFY2(writer.TakeWalNotice().contains("checkpointed again"), qPrintable(error));
    }

    // Fault 7: the size (pages in use and the WAL) stays within the bound and its margin, and
    // a trim removes the oldest changes only, down to the low-water mark.
    void sizeBound_data()
    {
        QTest::addColumn<qint64>("maxBytes");
        QTest::newRow("1 MiB") << qint64(1 << 20);
        QTest::newRow("4 MiB") << qint64(4 << 20);
    }
    void sizeBound()
    {
        QFETCH(qint64, maxBytes);
        const QString path = Path(QStringLiteral("size-%1.db").arg(maxBytes));
        HistoryWriter writer;
        QString error;
        QVERIFY(writer.Open(path, &error));
        const int perBatch = int(maxBytes / 400); // about a tenth of the limit
        int64_t biggest = 0, t = 0;
        for (int batch = 0; batch < 80; ++batch, t += perBatch) {
            QVERIFY(writer.Append(Changes(t, perBatch, 1), &error));
            int64_t removed = 0;
            while ((removed = writer.Retain(INT64_MIN, maxBytes, &error)) > 0) {
            }
            QCOMPARE(removed, 0);
            biggest = std::max<int64_t>(biggest, FileSize(path) + FileSize(path + "-wal"));
        }
        // The margin: an eighth of the limit and one batch.
        QVERIFY2(biggest <= maxBytes + maxBytes / 8 + perBatch * 80,
                 qPrintable(QString::number(biggest)));
        writer.Close();
        const std::vector<HistoryRecord> records = ReadAll(path, &error);
        // The newest changes are all there, each one kept without a gap back to the oldest.
        QVERIFY(records.size() > size_t(maxBytes / 4 / 80));
        QCOMPARE(records.back().timeUs, t - 1);
        for (size_t i = 1; i < records.size(); ++i)
            QCOMPARE(records[i].timeUs, records[i - 1].timeUs + 1);
    }

    // Fault 12, the storage half: rows stamped more than a minute ahead are moved aside,
    // kept and readable, and the move is an event.
    void futureRowsMovedAside()
    {
        const QString path = Path("future.db");
        const int64_t now = 1'800'000'000'000'000, year = 365LL * 86'400'000'000;
        HistoryWriter writer;
        QString error;
        QVERIFY(writer.Open(path, &error));
        QVERIFY(writer.Append({{now - 10'000'000, 0, PointDir::In, 0, true},
                               {now + 30'000'000, 0, PointDir::In, 0, false},
                               {now + 10 * year, 0, PointDir::In, 0, true},
                               {now + 10 * year + 1, 0, PointDir::In, 1, true}},
                              &error));
        int64_t newest = 0;
        QCOMPARE(writer.MoveFutureRows(now, &newest, &error), 2);
        QCOMPARE(newest, now + 10 * year + 1);
        QCOMPARE(writer.MoveFutureRows(now, &newest, &error), 0);
        QCOMPARE(writer.LastTimeUs(), now + 30'000'000);
        QVERIFY(writer.Append({{now + 40'000'000, 0, PointDir::In, 0, true}}, &error));
        writer.Close();
        QCOMPARE(ReadAll(path, &error).size(), size_t(3));
        const std::vector<HistoryRecord> moved = ReadAll(path, &error, HistoryRows::MovedAside);
        QCOMPARE(moved.size(), size_t(2));
        QCOMPARE(moved[0].timeUs, now + 10 * year);
        SqliteDb db;
        QVERIFY(db.Open(path, 1, &error));
        SqliteStatement event(db, "SELECT kind, text FROM events");
        QVERIFY(event.Step());
        QCOMPARE(event.Text(0), QByteArray("clock"));
        QVERIFY2(event.Text(1).startsWith("2 changes stamped from 2037-"), event.Text(1).data());
    }
};

QTEST_GUILESS_MAIN(TestHistoryDb)
#include "tst_historydb.moc"

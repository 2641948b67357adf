// orvane-agent end to end on the simulated boards: changes made with qrxsim survive a SIGKILL
// and a restart and come back through "qrxio history --json" in order; the bad conditions (a
// full disk, a second agent, a file that is not a database, a bad config before and after a
// start, a FIFO for a config, another process holding the write lock, a database deleted under
// the agent, a storm of reloads) are answered as the manual says, and nothing recorded is lost.
#include "AgentRun.h"
#include "SimBoards.h"
#include "SmallDisk.h"
#include "history/Sqlite.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sqlite3.h>
#include <sys/stat.h>

namespace {

const QByteArray kBoards = "[Board0]\nType=174\nCardNo=5\nInputs=32\nOutputs=32\n";

// Switches input `point` of card 5 with qrxsim, and notes it.
void Set(int point, int value, QStringList *made)
{
    QCOMPARE(Qrxsim({"set", "5", "in", QString::number(point), QString::number(value)}).status, 0);
    made->append(QStringLiteral("%1=%2").arg(point).arg(value));
    QTest::qWait(30); // several polls: each change is seen on its own
}

// "point=value" of each change of card 5's inputs in the history, after the starting values.
QStringList History(const QString &db)
{
    const ToolRun run = Qrxio({"history", "--db", db, "--json", "5:in"});
    if (run.status != 0)
        qWarning() << run.err;
    QStringList changes;
    QString lastTime;
    for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
        const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
        if (o["time"].toString() < lastTime)
            return {"out of order at " + line};
        lastTime = o["time"].toString();
        changes << QStringLiteral("%1=%2").arg(o["point"].toInt()).arg(o["value"].toInt());
    }
    return changes.mid(32); // the first poll's starting values of the 32 inputs
}

QString IntegrityCheck(const QString &db)
{
    SqliteDb sql;
    QString error;
    if (!sql.Open(db, SQLITE_OPEN_READONLY, &error))
        return error;
    SqliteStatement check(sql, "PRAGMA integrity_check");
    return check.Step() ? QString::fromUtf8(check.Text(0)) : sql.ErrorText();
}

} // namespace

class TestAgentSim : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;

private slots:
    void init()
    {
        QVERIFY(UseSimBoards(m_dir.path(), QStringLiteral("b%1").arg(++m_case), kBoards));
    }

    void survivesKillAndRestart()
    {
        const QString db = m_dir.filePath("kill.db");
        QStringList made;
        {
            AgentRun agent({"--database", db, "--interval", "5"});
            QVERIFY2(agent.WaitFor("recording every"), qPrintable(agent.err()));
            for (int i = 0; i < 6; ++i)
                Set(i, 1, &made);
            QTest::qWait(1500); // a batch is written at least once a second
            agent.Signal(SIGKILL);
            QCOMPARE(agent.Finish(), -1);
        }
        Set(7, 1, &made); // while the agent is stopped: recorded at the next start
        AgentRun agent({"--database", db, "--interval", "5"});
        QVERIFY2(agent.WaitFor("recording every"), qPrintable(agent.err()));
        QTest::qWait(100);
        for (int i = 0; i < 6; ++i)
            Set(i, 0, &made);
        Set(31, 1, &made);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        QVERIFY(agent.err().contains("stopped"));
        QCOMPARE(History(db), made);
        QCOMPARE(IntegrityCheck(db), QStringLiteral("ok"));
    }

    void conditions_data()
    {
        QTest::addColumn<QString>("condition");
        QTest::addColumn<int>("status"); // of the agent that meets the condition
        QTest::addColumn<QString>("message");
        QTest::newRow("full disk") << "full" << 0 << "(the disk is full)";
        QTest::newRow("second agent on the database")
            << "locked" << 1 << "another orvane-agent writes";
        QTest::newRow("not a database") << "text" << 1 << "is not an SQLite database";
        QTest::newRow("bad config") << "config" << 2 << "agent.ini:3: unknown key \"Colour\"";
        QTest::newRow("config made bad before SIGHUP")
            << "hup" << 0 << "the configuration in force stays";
    }
    void conditions()
    {
        QFETCH(QString, condition);
        QFETCH(int, status);
        QFETCH(QString, message);
        std::unique_ptr<SmallDisk> disk;
        QString db = m_dir.filePath(condition + ".db");
        if (condition == "full") {
            disk = std::make_unique<SmallDisk>(m_dir.filePath("disk"), 1024);
            if (!disk->isMounted())
                QSKIP("a small disk needs root");
            db = disk->path() + "/history.db";
        }
        const QString ini = m_dir.filePath("agent.ini");
        QFile config(ini);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(condition == "config" ? "[Recorder]\nIntervalMs=5\nColour=red\n"
                                           : "[Recorder]\nIntervalMs=5\n");
        config.close();
        QFile text(db);
        if (condition == "text")
            QVERIFY(text.open(QIODevice::WriteOnly) && text.write("not a database\n") > 0);
        text.close();
        std::unique_ptr<AgentRun> first;
        if (condition == "locked") {
            first = std::make_unique<AgentRun>(QStringList{"--database", db});
            QVERIFY(first->WaitFor("recording every"));
        }
        AgentRun agent({"--config", ini, "--database", db});
        const bool runs = condition == "full" || condition == "hup";
        QVERIFY2(agent.WaitFor(runs ? QStringLiteral("recording every") : message),
                 qPrintable(agent.err()));
        QStringList made;
        if (condition == "full") {
            QVERIFY(disk->Fill());
            for (int i = 0; i < 20; ++i)
                Set(i, 1, &made);
            QVERIFY2(agent.WaitFor("(the disk is full)"), qPrintable(agent.err()));
            QVERIFY(QFile::remove(disk->path() + "/filler"));
            QVERIFY2(agent.WaitFor("writing the history again"), qPrintable(agent.err()));
            QCOMPARE(agent.err().count("the disk is full"), 1);
        }
        if (condition == "hup") {
            QVERIFY(config.open(QIODevice::WriteOnly | QIODevice::Append));
            config.write("Boards=none\n");
            config.close();
            agent.Signal(SIGHUP);
            QVERIFY(agent.WaitFor(message));
            Set(3, 1, &made); // still recording
        }
        if (status == 0) {
            agent.Signal(SIGTERM);
        }
        QCOMPARE(agent.Finish(), status);
        if (condition == "text")
            QCOMPARE(QFile(db).size(), qint64(15));
        if (!made.isEmpty()) {
            QCOMPARE(History(db), made);
            QCOMPARE(IntegrityCheck(db), QStringLiteral("ok"));
        }
    }

    // A system that loads only in the other mode names that mode, is said once, and is tried
    // again less and less often, never every 5 s for ever.
    void otherLoadingMode()
    {
        QVERIFY(UseSimBoards(m_dir.path(), "manual", "[System]\nRequiredMode=1\n" + kBoards));
        AgentRun agent({"--database", m_dir.filePath("manual.db")});
        QVERIFY2(agent.WaitFor("LoadingMode=manual in [Recorder]; trying again in 5 s"),
                 qPrintable(agent.err()));
        QTest::qWait(6000); // one retry, which says nothing new
        QCOMPARE(agent.err().count("LoadingMode=manual"), 1);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
    }

    // The history keeps each point's name as it was when its changes were recorded: a name
    // changed and read again on SIGHUP names the later changes only.
    void recordedNames()
    {
        const QString names = m_dir.filePath("names.ini"), ini = m_dir.filePath("names-agent.ini");
        const auto write = [](const QString &path, const QByteArray &text) {
            QFile f(path);
            QVERIFY(f.open(QIODevice::WriteOnly) && f.write(text) == text.size());
        };
        write(names, "[Card5]\nIn3=Door sensor\n");
        write(ini, "[Recorder]\nIntervalMs=5\nPointNames=" + names.toUtf8() + "\n");
        const QString db = m_dir.filePath("recorded-names.db");
        AgentRun agent({"--config", ini, "--database", db});
        QVERIFY2(agent.WaitFor("recording every"), qPrintable(agent.err()));
        QStringList made;
        Set(3, 1, &made);
        write(names, "[Card5]\nIn3=Back door\n");
        agent.Signal(SIGHUP);
        QVERIFY(agent.WaitFor("configuration read again"));
        QTest::qWait(100);
        Set(3, 0, &made);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        const ToolRun run = Qrxio({"history", "--db", db, "--json", "5:in:3"});
        QStringList seen;
        for (const QString &line : run.out.split(u'\n', Qt::SkipEmptyParts)) {
            const QJsonObject o = QJsonDocument::fromJson(line.toUtf8()).object();
            seen << QStringLiteral("%1 %2").arg(o["value"].toInt()).arg(o["name"].toString());
        }
        QCOMPARE(seen, QStringList({"0 Door sensor", "1 Door sensor", "0 Back door"}));
        SqliteDb sql; // joined by any SQLite tool
        QString error;
        QVERIFY(sql.Open(db, SQLITE_OPEN_READONLY, &error));
        QCOMPARE(sql.Integer("SELECT count(*) FROM point_names JOIN points ON id = point_id "
                             "WHERE card = 5 AND direction = 'in' AND point = 3"),
                 int64_t(2));
    }

    // Under systemd (stderr is the journal, as JOURNAL_STREAM says) each line carries its
    // priority, so that "journalctl -p err" finds the errors; elsewhere lines stay plain.
    void journalPriorities_data()
    {
        QTest::addColumn<bool>("journal");
        QTest::newRow("stderr is the journal") << true;
        QTest::newRow("stderr is a file") << false;
    }
    void journalPriorities()
    {
        QFETCH(bool, journal);
        const QString log = m_dir.filePath(QStringLiteral("journal%1.log").arg(journal));
        const QString ini = m_dir.filePath("prio.ini");
        QFile config(ini);
        QVERIFY(config.open(QIODevice::WriteOnly) && config.write("[Recorder]\nColour=red\n") > 0);
        config.close();
        const auto run = [&](const QStringList &args) {
            QFile(log).remove();
            QFile file(log);
            QVERIFY(file.open(QIODevice::WriteOnly));
            struct stat st = {};
            QCOMPARE(stat(QFile::encodeName(log).constData(), &st), 0);
            QProcess agent;
            QProcessEnvironment env = QProcessEnvironment::systemEnvironment();
            if (journal)
                env.insert("JOURNAL_STREAM", QStringLiteral("%1:%2").arg(st.st_dev).arg(st.st_ino));
            agent.setProcessEnvironment(env);
            agent.setStandardErrorFile(log, QIODevice::Append);
            agent.start(qEnvironmentVariable("ORVANE_AGENT"), args);
            QVERIFY(agent.waitForStarted());
            if (!args.contains("--config")) { // a bad config ends the agent by itself
                QTest::qWait(1500);
                agent.terminate();
            }
            QVERIFY(agent.waitForFinished(20000));
        };
        run({"--config", ini});
        const auto lines = [&] {
            QFile file(log);
            return file.open(QIODevice::ReadOnly) ? QString::fromUtf8(file.readAll()) : QString();
        };
        const QString p3 = journal ? "<3>" : "", p4 = journal ? "<4>" : "",
                      p6 = journal ? "<6>" : "";
        QVERIFY2(lines().startsWith(p3 + "orvane-agent: " + ini + ":2: unknown key"),
                 qPrintable(lines()));
        run({"--database", m_dir.filePath("prio.db")});
        QVERIFY2(lines().startsWith(p6 + "orvane-agent: starting"), qPrintable(lines()));
        QVERIFY2(lines().contains("\n" + p4 + "orvane-agent: warning: "), qPrintable(lines()));
        QVERIFY2(journal == lines().contains("<"), qPrintable(lines()));
    }

    // The agent under attack while it records: each row names what is done to it, what it
    // says (once) and how it ends; every change made meanwhile must be in the history.
    void underAttack_data()
    {
        QTest::addColumn<QString>("attack");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("status");
        QTest::newRow("a FIFO as the config") << "fifo"
                                              << "it is not a regular file" << 2;
        QTest::newRow("a FIFO as the config on SIGHUP")
            << "hupfifo"
            << "it is not a regular file; the configuration in force stays" << 0;
        QTest::newRow("another process holds the write lock") << "busy"
                                                              << "the changes wait in memory" << 0;
        QTest::newRow("SIGTERM while the write lock is held")
            << "busyterm"
            << "could not be written; they are lost" << 0;
        QTest::newRow("the database deleted") << "deleted"
                                              << "was deleted or replaced" << 0;
        QTest::newRow("the names file missing") << "names"
                                                << "cannot be used" << 0;
        QTest::newRow("SIGHUP every 100 ms for 10 s") << "hupstorm"
                                                      << "" << 0;
    }
    void underAttack()
    {
        QFETCH(QString, attack);
        QFETCH(QString, message);
        QFETCH(int, status);
        const QString db = m_dir.filePath(attack + ".db");
        const QString ini = m_dir.filePath(attack + ".ini");
        QFile config(ini);
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write(attack == "names" ? "[Recorder]\nIntervalMs=5\nPointNames=/nonexistent\n"
                                       : "[Recorder]\nIntervalMs=5\n");
        config.close();
        if (attack == "fifo")
            QVERIFY(QFile::remove(ini) && mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
        AgentRun agent({"--config", ini, "--database", db});
        if (status != 0) {
            QVERIFY2(agent.WaitFor(message), qPrintable(agent.err()));
            QCOMPARE(agent.Finish(), status);
            return;
        }
        QVERIFY2(agent.WaitFor("recording every"), qPrintable(agent.err()));
        QStringList made;
        Attack(attack, db, ini, &agent, &made);
        if (!message.isEmpty())
            QVERIFY2(agent.WaitFor(message), qPrintable(agent.err()));
        if (!message.isEmpty() && attack != "busyterm")
            QCOMPARE(agent.err().count(message), 1);
        if (attack != "busyterm")
            agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), status);
        if (attack != "busyterm")
            QCOMPARE(History(db), made);
        QCOMPARE(IntegrityCheck(db), QStringLiteral("ok"));
    }

private:
    static void Attack(const QString &attack, const QString &db, const QString &ini,
                       AgentRun *agent, QStringList *made)
    {
        if (attack == "hupfifo") {
            QVERIFY(QFile::remove(ini) && mkfifo(QFile::encodeName(ini).constData(), 0600) == 0);
            agent->Signal(SIGHUP);
            QVERIFY(agent->WaitFor("the configuration in force stays"));
        } else if (attack == "busy" || attack == "busyterm") {
            SqliteDb other;
            QString error;
            QVERIFY(other.Open(db, SQLITE_OPEN_READWRITE, &error));
            QVERIFY(other.Exec("BEGIN IMMEDIATE"));
            for (int i = 0; i < 20; ++i)
                Set(i, 1, made);
            QVERIFY2(agent->WaitFor("the changes wait in memory"), qPrintable(agent->err()));
            if (attack == "busyterm") {
                agent->Signal(SIGTERM); // ends within its bound, though the lock stays
                QCOMPARE(agent->Finish(), 0);
                return;
            }
            QVERIFY(other.Exec("COMMIT"));
            QVERIFY2(agent->WaitFor("writing the history again"), qPrintable(agent->err()));
        } else if (attack == "deleted") {
            Set(1, 1, made);
            QTest::qWait(1500);
            QVERIFY(QFile::remove(db));
            QVERIFY(agent->WaitFor("was deleted or replaced"));
            QTest::qWait(200);
            made->clear(); // the new database starts with every point's value
            Set(2, 1, made);
            QTest::qWait(1500);
        } else if (attack == "hupstorm") {
            for (int i = 0; i < 100; ++i) {
                agent->Signal(SIGHUP);
                if (i % 5 == 0)
                    Set(i / 5, 1, made);
                QTest::qWait(100);
            }
            QVERIFY(agent->WaitFor("configuration read again"));
            QCOMPARE(agent->err().count("recording every"), 1); // the boards are chosen once
        } else {
            Set(4, 1, made);
        }
    }
};

QTEST_GUILESS_MAIN(TestAgentSim)
#include "tst_agent_sim.moc"

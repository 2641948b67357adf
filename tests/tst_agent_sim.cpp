// orvane-agent end to end on the simulated boards: changes made with qrxsim survive a SIGKILL
// and a restart and come back through "qrxio history --json" in order; the bad conditions (a
// full disk, a second agent, a file that is not a database, a bad config before and after a
// start) are answered as the manual says.
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
};

QTEST_GUILESS_MAIN(TestAgentSim)
#include "tst_agent_sim.moc"

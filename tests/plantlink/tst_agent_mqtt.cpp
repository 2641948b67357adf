// orvane-agent's plant link end to end: the real agent on the simulated boards and a real
// Mosquitto broker on 127.0.0.1. mosquitto_sub sees the status, every retained state, an input
// switched with qrxsim and "offline" after SIGKILL; set messages switch only what the config
// allows; the agent comes back after the broker restarts; a refused login is one log line and
// the history goes on; a bad [Mqtt] section stops the start, and SIGHUP keeps the old link on
// a bad one and restarts it on a good one.

#include "AgentRun.h"
#include "SimBoards.h"
#include "TestBroker.h"
#include "TestClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>

namespace {

const QByteArray kBoards = "[Board0]\nType=174\nCardNo=5\nInputs=32\nOutputs=32\n";
const QByteArray kTwoBoards = kBoards + "[Board1]\nType=174\nCardNo=7\nInputs=32\nOutputs=32\n";

// mosquitto_sub on the test broker, subscribed to everything under a prefix; each message is
// one line "RETAIN TOPIC PAYLOAD".
class Subscriber
{
public:
    Subscriber(int port, const QString &prefix)
    {
        m_process.start("mosquitto_sub",
                        {"-h", "127.0.0.1", "-p", QString::number(port), "-u", TestBroker::kUser,
                         "-P", TestBroker::kPassword, "-q", "1", "-F", "%r %t %p", "-t",
                         prefix + "/#"});
    }
    ~Subscriber()
    {
        m_process.kill();
        m_process.waitForFinished(5000);
    }
    QStringList lines()
    {
        m_text += QString::fromUtf8(m_process.readAllStandardOutput());
        return m_text.split(u'\n', Qt::SkipEmptyParts);
    }
    // Whether a line "TOPIC PAYLOAD" came (retained or not, as `retain` says: -1 either).
    bool Has(const QString &topic, const QString &payload, int retain = -1)
    {
        const QString tail = QStringLiteral(" %1 %2").arg(topic, payload);
        const QStringList all = lines();
        return std::any_of(all.begin(), all.end(), [&](const QString &l) {
            return l.endsWith(tail) && l.size() == tail.size() + 1 &&
                (retain < 0 || l.startsWith(QString::number(retain)));
        });
    }
    bool WaitFor(const QString &topic, const QString &payload, int retain = -1)
    {
        return QTest::qWaitFor([&] { return Has(topic, payload, retain); }, 20000);
    }

private:
    QProcess m_process;
    QString m_text;
};

// The value of point `point` in a word qrxsim prints ("0x...").
int Bit(const QString &word, int point)
{
    return int(word.trimmed().toULongLong(nullptr, 16) >> point & 1);
}

int SimBit(const QString &dir, int point)
{
    return Bit(Qrxsim({"get", "5", dir}).out, point);
}

// The last recorded value of one point in the history, or -1.
int Recorded(const QString &db, const QString &point)
{
    const ToolRun run = Qrxio({"history", "--db", db, "--json", point});
    const QStringList lines = run.out.split(u'\n', Qt::SkipEmptyParts);
    if (run.status != 0 || lines.isEmpty())
        return -1;
    return QJsonDocument::fromJson(lines.last().toUtf8()).object()["value"].toInt();
}

} // namespace

class TestAgentMqtt : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestBroker> m_broker;
    int m_case = 0;
    QString m_prefix; // this case's topic prefix and client id
    QString m_db;

    // The config file: [Recorder] at 5 ms, then [Mqtt] on line 3, its TopicPrefix= on line 8
    // and `extra` from line 10 on; `recorder`, when given, replaces the [Recorder] line.
    QString Config(const QString &extra, const QByteArray &password = TestBroker::kPassword,
                   const QString &prefix = {}, const QString &recorder = {})
    {
        const QString pw = WritePrivateFile(m_dir.path(), m_prefix + "-pw", password);
        const QString text =
            QStringLiteral("[Recorder]\n%7[Mqtt]\nHost=127.0.0.1\n"
                           "Port=%1\nUsername=%2\nPasswordFile=%3\n"
                           "TopicPrefix=%4\nClientId=%5\n%6")
                .arg(m_broker->port())
                .arg(TestBroker::kUser, pw, prefix.isEmpty() ? "plant/" + m_prefix : prefix,
                     m_prefix, extra, recorder.isEmpty() ? "IntervalMs=5\n" : recorder);
        QFile file(m_dir.filePath(m_prefix + "-agent.ini"));
        if (!file.open(QIODevice::WriteOnly) || file.write(text.toUtf8()) < 0)
            qFatal("cannot write the config");
        return file.fileName();
    }
    QString Topic(const QString &rest) const { return "plant/" + m_prefix + '/' + rest; }
    QStringList Args(const QString &config) const
    {
        return {"--config", config, "--database", m_db};
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_broker = std::make_unique<TestBroker>(m_dir.filePath("broker"));
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error));
    }
    void init()
    {
        m_prefix = QStringLiteral("pc%1").arg(++m_case);
        m_db = m_dir.filePath(m_prefix + ".db");
        QVERIFY(UseSimBoards(m_dir.path(), m_prefix, kBoards));
    }

    void publishesTheBoards()
    {
        QCOMPARE(Qrxsim({"set", "5", "in", "1", "1"}).status, 0);
        QCOMPARE(Qrxio({"set", "5", "2=1"}).status, 0);
        AgentRun agent(Args(Config({})));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        // "connected" comes before the states: a subscriber that comes meanwhile gets the rest
        // live, not flagged retained. The first one waits for them all.
        Subscriber first(m_broker->port(), "plant/" + m_prefix);
        QVERIFY(first.WaitFor(Topic("card5/out/31"), "0"));
        Subscriber sub(m_broker->port(), "plant/" + m_prefix);
        QVERIFY(sub.WaitFor(Topic("status"), "online", 1));
        for (int point = 0; point < 32; ++point) {
            QVERIFY(sub.WaitFor(Topic(QStringLiteral("card5/in/%1").arg(point)),
                                point == 1 ? "1" : "0", 1));
            QVERIFY(sub.WaitFor(Topic(QStringLiteral("card5/out/%1").arg(point)),
                                point == 2 ? "1" : "0", 1));
        }
        QCOMPARE(Qrxsim({"set", "5", "in", "7", "1"}).status, 0);
        QVERIFY(sub.WaitFor(Topic("card5/in/7"), "1", 0));
        QVERIFY(QTest::qWaitFor([&] { return sub.lines().join('\n').contains("/events {"); }));
        const QString event = sub.lines().filter(Topic("events")).last();
        const QJsonObject o =
            QJsonDocument::fromJson(event.mid(event.indexOf('{')).toUtf8()).object();
        QCOMPARE(o["card"].toInt(), 5);
        QCOMPARE(o["dir"].toString(), QStringLiteral("in"));
        QCOMPARE(o["point"].toInt(), 7);
        QCOMPARE(o["value"].toInt(), 1);
        agent.Signal(SIGKILL);
        QVERIFY(sub.WaitFor(Topic("status"), "offline"));
    }

    void setMessages_data()
    {
        QTest::addColumn<QString>("extra"); // the [Mqtt] lines after the connection's
        QTest::addColumn<int>("point"); // the output a set message is sent to
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("expected"); // its value afterwards
        QTest::addColumn<int>("subscriptions"); // set topics the agent subscribed to
        const QString two = "AllowWrite=1\nWritablePoints=5:out:3 5:out:4\n";
        // Subscribed: every output's set topic (each is answered) and the get topic.
        QTest::newRow("allowed, 1") << two << 3 << QByteArray("1") << 1 << 2;
        QTest::newRow("allowed, ON") << two << 4 << QByteArray("ON") << 1 << 2;
        QTest::newRow("not listed") << two << 6 << QByteArray("1") << 0 << 2;
        QTest::newRow("bad payload") << two << 3 << QByteArray("2") << 0 << 2;
        QTest::newRow("AllowWrite=0") << "AllowWrite=0\nWritablePoints=5:out:3\n"
                                      << 3 << QByteArray("1") << 0 << 2;
    }
    void setMessages()
    {
        QFETCH(QString, extra);
        QFETCH(int, point);
        QFETCH(QByteArray, payload);
        QFETCH(int, expected);
        QFETCH(int, subscriptions);
        AgentRun agent(Args(Config(extra)));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        Subscriber sub(m_broker->port(), "plant/" + m_prefix);
        const QString state = Topic(QStringLiteral("card5/out/%1").arg(point));
        QVERIFY(sub.WaitFor(state, "0"));
        TestClient client(m_broker->port(), m_prefix + "-operator");
        QVERIFY(client.Connect({}));
        QVERIFY(client.Publish(state + "/set", payload, false));
        if (expected)
            QVERIFY(sub.WaitFor(state, "1", 0)); // the value read back
        else
            QTest::qWait(500);
        QCOMPARE(SimBit("out", point), expected);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        QCOMPARE(Recorded(m_db, QStringLiteral("5:out:%1").arg(point)), expected);
        const QStringList log = m_broker->log().split('\n');
        QCOMPARE(log.filter(": " + m_prefix + " 1 ").size(), subscriptions);
    }

    void brokerRestarts()
    {
        AgentRun agent(Args(Config({})));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        m_broker->Stop();
        QVERIFY2(agent.WaitFor("lost the broker"), qPrintable(agent.err()));
        for (int point : {9, 10})
            QCOMPARE(Qrxsim({"set", "5", "in", QString::number(point), "1"}).status, 0);
        QCOMPARE(Qrxio({"set", "5", "11=1"}).status, 0);
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error)); // it kept no retained message
        QTRY_VERIFY_WITH_TIMEOUT(agent.err().count("plant link: connected") == 2, 40000);
        const QString in = Qrxsim({"get", "5", "in"}).out, out = Qrxsim({"get", "5", "out"}).out;
        QCOMPARE(Bit(in, 9) + Bit(in, 10) + Bit(out, 11), 3);
        // The agent logs "connected" before it publishes: a subscriber that came meanwhile
        // gets the rest live (not flagged retained). Wait for every state, then look at what
        // a new subscriber finds retained.
        const auto every = [&](Subscriber &sub, int retain) {
            for (int point = 0; point < 32; ++point) {
                if (!sub.WaitFor(Topic(QStringLiteral("card5/in/%1").arg(point)),
                                 QString::number(Bit(in, point)), retain) ||
                    !sub.WaitFor(Topic(QStringLiteral("card5/out/%1").arg(point)),
                                 QString::number(Bit(out, point)), retain))
                    return false;
            }
            return true;
        };
        Subscriber first(m_broker->port(), "plant/" + m_prefix);
        QVERIFY(first.WaitFor(Topic("status"), "online"));
        QVERIFY(every(first, -1));
        Subscriber sub(m_broker->port(), "plant/" + m_prefix);
        QVERIFY(sub.WaitFor(Topic("status"), "online", 1));
        QVERIFY(every(sub, 1));
    }

    void wrongPassword()
    {
        AgentRun agent(Args(Config({}, "not the password")));
        QVERIFY2(agent.WaitFor("refused the login"), qPrintable(agent.err()));
        QVERIFY2(agent.WaitFor("recording every"), qPrintable(agent.err()));
        QCOMPARE(Qrxsim({"set", "5", "in", "12", "1"}).status, 0);
        QTest::qWait(4000); // tried again after 1 s and 2 s
        QCOMPARE(agent.err().count("refused the login"), 1);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        QCOMPARE(Recorded(m_db, "5:in:12"), 1);
    }

    void badSection_data()
    {
        QTest::addColumn<QString>("extra");
        QTest::addColumn<QString>("prefix"); // empty: the case's own
        QTest::addColumn<QString>("message");
        QTest::newRow("unknown key") << "Colour=red\n" << QString() << ":10: [Mqtt] unknown key";
        QTest::newRow("prefix with #") << QString() << "a/#"
                                       << ":8: [Mqtt] TopicPrefix=";
        QTest::newRow("no such board")
            << "AllowWrite=1\nWritablePoints=9:out:1\n"
            << QString() << ":11: [Mqtt] WritablePoints=: \"9:out:1\": card 9";
        QTest::newRow("an input") << "WritablePoints=5:in:1\n"
                                  << QString()
                                  << ":10: [Mqtt] WritablePoints=: \"5:in:1\": an input";
        QTest::newRow("no such output") << "WritablePoints=5:out:40\n"
                                        << QString() << ":10: [Mqtt] WritablePoints=: \"5:out:40\"";
    }
    void badSection()
    {
        QFETCH(QString, extra);
        QFETCH(QString, prefix);
        QFETCH(QString, message);
        AgentRun agent(Args(Config(extra, TestBroker::kPassword, prefix)));
        QCOMPARE(agent.Finish(), 2);
        QVERIFY2(agent.err().contains(m_prefix + "-agent.ini" + message), qPrintable(agent.err()));
        QVERIFY(!agent.err().contains("plant link: connected"));
    }

    void reload()
    {
        const QString config = Config({});
        AgentRun agent(Args(config));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        Subscriber sub(m_broker->port(), "plant");
        QVERIFY(sub.WaitFor(Topic("status"), "online", 1));
        Config("Colour=red\n");
        agent.Signal(SIGHUP);
        QVERIFY2(agent.WaitFor("the configuration in force stays"), qPrintable(agent.err()));
        QCOMPARE(Qrxsim({"set", "5", "in", "3", "1"}).status, 0);
        QVERIFY(sub.WaitFor(Topic("card5/in/3"), "1", 0)); // the old link goes on
        Config({}, TestBroker::kPassword, "plant/renamed");
        agent.Signal(SIGHUP);
        QVERIFY(sub.WaitFor(Topic("status"), "offline"));
        QVERIFY(sub.WaitFor("plant/renamed/status", "online"));
        QVERIFY(sub.WaitFor("plant/renamed/card5/in/3", "1"));
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        QVERIFY(sub.WaitFor("plant/renamed/status", "offline"));
    }

    // SIGHUP restarts the link only when its section or the boards changed, and once when both
    // did: the broker logs one disconnect of the agent's client per restart.
    void reloadRestartsOnChange_data()
    {
        QTest::addColumn<QString>("mqtt"); // the [Mqtt] lines after the reload
        QTest::addColumn<QString>("recorder"); // the [Recorder] lines after the reload
        QTest::addColumn<int>("restarts");
        QTest::newRow("nothing changed") << QString() << QString() << 0;
        QTest::newRow("the interval") << QString() << "Boards=5 7\nIntervalMs=7\n" << 0;
        QTest::newRow("[Mqtt]") << "KeepAlive=40\n" << QString() << 1;
        QTest::newRow("the boards") << QString() << "Boards=5\nIntervalMs=5\n" << 1;
        QTest::newRow("[Mqtt] and the boards") << "KeepAlive=40\n"
                                               << "Boards=5\nIntervalMs=5\n"
                                               << 1;
    }
    void reloadRestartsOnChange()
    {
        QFETCH(QString, mqtt);
        QFETCH(QString, recorder);
        QFETCH(int, restarts);
        QVERIFY(UseSimBoards(m_dir.path(), m_prefix, kTwoBoards));
        const QString config = Config({}, TestBroker::kPassword, {}, "Boards=5 7\nIntervalMs=5\n");
        AgentRun agent(Args(config));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        const auto disconnects = [&] {
            return int(
                m_broker->log().count(QStringLiteral("Client %1 disconnected").arg(m_prefix)));
        };
        const auto sessions = [&] {
            return int(m_broker->log().count(QStringLiteral(" as %1 ").arg(m_prefix)));
        };
        QCOMPARE(disconnects(), 0);
        Config(mqtt, TestBroker::kPassword, {},
               recorder.isEmpty() ? "Boards=5 7\nIntervalMs=5\n" : recorder);
        agent.Signal(SIGHUP);
        QVERIFY2(agent.WaitFor("configuration read again"), qPrintable(agent.err()));
        if (restarts)
            QTRY_COMPARE_WITH_TIMEOUT(sessions(), 1 + restarts, 10000);
        QTest::qWait(1500);
        QCOMPARE(disconnects(), restarts);
        QCOMPARE(sessions(), 1 + restarts);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        QCOMPARE(disconnects(), restarts + 1);
    }

    // A SIGHUP that restarts the link while the broker does not answer: the poll goes on, and
    // every toggle of an input is recorded.
    void reloadWhileBrokerStalls()
    {
        const QString config = Config({});
        AgentRun agent(Args(config));
        QVERIFY2(agent.WaitFor("plant link: connected"), qPrintable(agent.err()));
        m_broker->Pause(true);
        constexpr int kToggles = 60;
        for (int i = 1; i <= kToggles; ++i) {
            QCOMPARE(Qrxsim({"set", "5", "in", "3", QString::number(i % 2)}).status, 0);
            if (i == 10) {
                Config("KeepAlive=41\n");
                agent.Signal(SIGHUP);
            }
            QTest::qWait(30);
        }
        m_broker->Pause(false);
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
        const ToolRun run = Qrxio({"history", "--db", m_db, "--json", "5:in:3"});
        QCOMPARE(run.status, 0);
        QCOMPARE(int(run.out.split(u'\n', Qt::SkipEmptyParts).size()), 1 + kToggles);
    }
};

QTEST_GUILESS_MAIN(TestAgentMqtt)
#include "tst_agent_mqtt.moc"

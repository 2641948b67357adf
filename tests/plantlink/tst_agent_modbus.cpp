// orvane-agent's Modbus TCP server end to end: the real agent on the simulated boards, driven
// by mbpoll, by Debian's pymodbus and by raw frames; and the safe-state watchdog with a real
// Mosquitto broker and qrxio at the PC. Only 127.0.0.1, on free ports.

#include "AgentRun.h"
#include "ModbusClients.h"
#include "SimBoards.h"
#include "TestBroker.h"
#include "TestClient.h"

#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <memory>
#include <unistd.h>

namespace {

// Card 5 at map position 0 (32 in, 32 out), card 7 at position 1 (24 inputs, 48 outputs).
const QByteArray kBoards = "[Board0]\nType=174\nCardNo=5\nInputs=32\nOutputs=32\n"
                           "[Board1]\nType=2803\nCardNo=7\nInputs=24\nOutputs=48\n";

int SimBit(int card, const QString &dir, int point)
{
    return int(Qrxsim({"get", QString::number(card), dir}).out.trimmed().toULongLong(nullptr, 16) >>
                   point &
               1);
}

} // namespace

class TestAgentModbus : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    int m_case = 0;
    QString m_name;
    int m_port = 0;

    QString Config(const QString &text)
    {
        QFile file(m_dir.filePath(m_name + "-agent.ini"));
        if (!file.open(QIODevice::WriteOnly) ||
            file.write(("[Recorder]\nIntervalMs=10\n[Modbus]\nPort=" + QString::number(m_port) +
                        "\n" + text)
                           .toUtf8()) < 0)
            qFatal("cannot write the config");
        return file.fileName();
    }
    QStringList Args(const QString &config) const
    {
        return {"--config", config, "--database", m_dir.filePath(m_name + ".db")};
    }
    QString Path(const QString &name) const { return m_dir.filePath(m_name + '-' + name); }

private slots:
    void initTestCase() { QVERIFY(m_dir.isValid()); }
    void init()
    {
        m_name = QStringLiteral("case%1").arg(++m_case);
        m_port = FreePort();
        QVERIFY(m_port > 0);
        QVERIFY(UseSimBoards(m_dir.path(), m_name, kBoards));
    }

    void mbpollReadsAndWrites()
    {
        QCOMPARE(Qrxsim({"set", "5", "in", "1", "1"}).status, 0);
        QCOMPARE(Qrxsim({"set", "7", "in", "17", "1"}).status, 0);
        AgentRun agent(Args(Config("AllowWrite=1\nWritablePoints=5:out:3\n")));
        QVERIFY2(agent.WaitFor("modbus: listening"), qPrintable(agent.err()));
        MbpollRun run = Mbpoll(m_port, {"-t", "1", "-r", "0", "-c", "32", "127.0.0.1"});
        QCOMPARE(run.values.size(), 32);
        QCOMPARE(run.values.join(""), QString("01") + QString(30, '0'));
        // The packed input words of both boards; card 7's gap (points 8-15) reads 0.
        run = Mbpoll(m_port, {"-t", "3:hex", "-r", "0", "-c", "8", "127.0.0.1"});
        QCOMPARE(run.values,
                 QStringList({"0x0002", "0x0000", "0x0000", "0x0000", "0x0000", "0x0002", "0x0000",
                              "0x0000"}));
        run = Mbpoll(m_port, {"-t", "0", "-r", "3", "127.0.0.1", "1"});
        QVERIFY2(run.status == 0, qPrintable(run.out));
        QCOMPARE(SimBit(5, "out", 3), 1);
        QVERIFY(QTest::qWaitFor([&] {
            return Mbpoll(m_port, {"-t", "3:hex", "-r", "256", "-c", "1", "127.0.0.1"}).values ==
                QStringList{"0x0008"};
        }));
        run = Mbpoll(m_port, {"-t", "0", "-r", "4", "127.0.0.1", "1"});
        QVERIFY2(run.status != 0 && run.out.contains("Illegal function"), qPrintable(run.out));
        QCOMPARE(SimBit(5, "out", 4), 0);
        run = Mbpoll(m_port, {"-t", "1", "-r", "2000", "127.0.0.1"});
        QVERIFY2(run.out.contains("Illegal data address"), qPrintable(run.out));
        agent.Signal(SIGTERM);
        QCOMPARE(agent.Finish(), 0);
    }

    void pymodbusClient()
    {
        QCOMPARE(Qrxsim({"set", "7", "in", "20", "1"}).status, 0);
        AgentRun agent(Args(Config("AllowWrite=1\nWritablePoints=7:out:*\nUnitMode=per-board\n")));
        QVERIFY2(agent.WaitFor("modbus: listening"), qPrintable(agent.err()));
        const QString out = Python(m_port, R"(
import sys
from pymodbus.client import ModbusTcpClient
c = ModbusTcpClient('127.0.0.1', port=int(sys.argv[1]))
c.connect()
def code(r): return getattr(r, 'exception_code', 0) if r.isError() else 0
print('in', c.read_discrete_inputs(16, 8, slave=2).bits[:8])
print('words', c.read_input_registers(0, 4, slave=2).registers)
print('write', code(c.write_registers(0, [0x8001, 0x0001, 0x0080], slave=2)))
print('out', c.read_holding_registers(0, 3, slave=2).registers)
print('not allowed', code(c.write_coil(0, True, slave=1)))
print('unit 3', code(c.read_coils(0, 1, slave=3)))
print('unit 17', code(c.read_coils(0, 1, slave=17)))
print('whole', c.read_input_registers(4100, 1, slave=0).registers)
c.close()
)");
        QCOMPARE(out.split('\n', Qt::SkipEmptyParts),
                 QStringList({"in [False, False, False, False, True, False, False, False]",
                              "words [0, 16, 0, 0]", "write 0", "out [32769, 1, 128]",
                              "not allowed 1", "unit 3 2", "unit 17 11", "whole [3]"}));
        QCOMPARE(SimBit(7, "out", 15), 1);
        QCOMPARE(SimBit(7, "out", 39), 1);
    }

    void badClients()
    {
        AgentRun agent(Args(Config("")));
        QVERIFY2(agent.WaitFor("modbus: listening"), qPrintable(agent.err()));
        const QByteArray read = ModbusFrame(1, "0200000020");
        for (const QByteArray &bad :
             {QByteArray::fromHex("0001000100060102000000"), QByteArray::fromHex("00010000000001"),
              QByteArray::fromHex("000100000130010f") + QByteArray(300, '\0')}) {
            RawClient client(m_port);
            QVERIFY(client.Send(bad));
            QVERIFY(client.ClosedWithin(3000));
        }
        // A slow client, one that never sends and a truncated header hold up nobody.
        RawClient silent(m_port), slow(m_port), truncated(m_port);
        QVERIFY(truncated.Send(read.left(4)));
        QVERIFY(slow.Send(read.left(1)));
        RawClient fast(m_port);
        for (int i = 0; i < 20; ++i) {
            QVERIFY(fast.Send(read));
            QCOMPARE(fast.Read(2000).size(), 13);
        }
        QTest::qWait(1000);
        QVERIFY(!slow.Send(read.mid(1, 1)) || slow.ClosedWithin(2000));
        QVERIFY(truncated.ClosedWithin(2000));
        QVERIFY(!silent.ClosedWithin(100));
        // 100 at once: MaxClients=8 are served (silent, fast and six more), the others closed.
        std::vector<std::unique_ptr<RawClient>> many;
        for (int i = 0; i < 100; ++i)
            many.push_back(std::make_unique<RawClient>(m_port));
        int closed = 0;
        for (auto &c : many)
            closed += c->ClosedWithin(200);
        QVERIFY2(closed >= 93, qPrintable(QString::number(closed)));
        QVERIFY(agent.WaitFor("MaxClients=8"));
        many.clear();
        QTest::qWait(1500);
        // The recording went on: a new input value reaches a new client.
        QCOMPARE(Qrxsim({"set", "5", "in", "9", "1"}).status, 0);
        QVERIFY(QTest::qWaitFor([&] {
            return Mbpoll(m_port, {"-t", "1", "-r", "9", "127.0.0.1"}).values == QStringList{"1"};
        }));
        QCOMPARE(agent.err().count("MaxClients=8"), 1);
    }

    void refusedBindSaysWhatToDo()
    {
        if (geteuid() != 0)
            QSKIP("runs the agent as nobody through setpriv, which needs root");
        const QString dir = "/tmp/orvane-modbus-bind-" + QString::number(getpid());
        QDir().mkpath(dir);
        QFile::setPermissions(dir, QFileDevice::Permissions(0x7777));
        QVERIFY(UseSimBoards(dir, "bind", kBoards));
        QFile::setPermissions(dir + "/bind.ini", QFileDevice::Permissions(0x6666));
        QFile config(dir + "/agent.ini");
        QVERIFY(config.open(QIODevice::WriteOnly));
        config.write("[Modbus]\nPort=502\n");
        config.close();
        QFile::setPermissions(config.fileName(), QFileDevice::Permissions(0x6666));
        QProcess p;
        p.setProcessChannelMode(QProcess::MergedChannels);
        p.start("setpriv",
                {"--reuid=nobody", "--regid=nogroup", "--clear-groups",
                 qEnvironmentVariable("ORVANE_AGENT"), "--config", config.fileName(), "--database",
                 dir + "/history.db"});
        QVERIFY(p.waitForStarted());
        QString text;
        const bool said = QTest::qWaitFor(
            [&] {
                text += QString::fromLocal8Bit(p.readAll());
                return text.contains("modbus:");
            },
            20000);
        p.terminate();
        p.waitForFinished(20000);
        QDir(dir).removeRecursively();
        QVERIFY2(said && text.contains("cannot listen on 127.0.0.1 port 502: Permission denied") &&
                     text.contains("CAP_NET_BIND_SERVICE") && text.contains("Port="),
                 qPrintable(text));
    }

    void watchdog();
};

// Armed by a master, tripped when it stops (safe values, history, broker), network writes
// refused, kept over a restart, a stored clear ignored, cleared from each of its three places.
void TestAgentModbus::watchdog()
{
    TestBroker broker(m_dir.filePath("broker"));
    QString error;
    QVERIFY2(broker.Start(&error), qPrintable(error));
    const QString pw = WritePrivateFile(m_dir.path(), "pw", TestBroker::kPassword);
    const QString socket = Path("wd.sock");
    const QString config =
        Config(QStringLiteral("AllowWrite=1\nWritablePoints=5:out:3 5:out:4\n"
                              "[Watchdog]\nTimeoutMs=1000\nSafeOutputs=5:out:3=off 5:out:4=on\n"
                              "StateFile=%1\nSocket=%2\n"
                              "[Mqtt]\nHost=127.0.0.1\nPort=%3\nUsername=orvane\nPasswordFile=%4\n"
                              "TopicPrefix=wd\nAllowWrite=1\n")
                   .arg(Path("wd.json"), socket)
                   .arg(broker.port())
                   .arg(pw));
    auto agent = std::make_unique<AgentRun>(Args(config));
    QVERIFY2(agent->WaitFor("plant link: connected"), qPrintable(agent->err()));
    TestClient mqtt(broker.port(), "wd-test");
    QVERIFY(mqtt.Connect({"wd/watchdog"}));
    const auto state = [&] {
        return QJsonDocument::fromJson(mqtt.Last("wd/watchdog").value_or("{}"))
            .object()["state"]
            .toString();
    };
    const auto refused = [&] {
        const MbpollRun run = Mbpoll(m_port, {"-t", "0", "-r", "3", "127.0.0.1", "1"});
        return run.out.contains("Slave device or server failure") && SimBit(5, "out", 3) == 0;
    };
    const auto tripByMaster = [&] {
        QVERIFY(Mbpoll(m_port, {"-t", "0", "-r", "3", "127.0.0.1", "1"}).status == 0);
        QVERIFY(mqtt.WaitFor([&](auto &) { return state() == "armed"; }));
        QVERIFY(mqtt.WaitFor([&](auto &) { return state() == "tripped"; }));
        QVERIFY2(SimBit(5, "out", 3) == 0 && SimBit(5, "out", 4) == 1, qPrintable(agent->err()));
        QVERIFY(refused());
    };
    tripByMaster();
    QVERIFY(agent->WaitFor("watchdog: tripped: no master request"));
    QCOMPARE(Mbpoll(m_port, {"-t", "3", "-r", "4096", "127.0.0.1"}).values, QStringList{"2"});
    // A restart keeps the trip; a clear stored on the broker is not taken.
    agent->Signal(SIGTERM);
    QCOMPARE(agent->Finish(), 0);
    QVERIFY(mqtt.Publish("wd/watchdog/clear", "1", true));
    agent = std::make_unique<AgentRun>(Args(config));
    QVERIFY2(agent->WaitFor("tripped before this start"), qPrintable(agent->err()));
    QVERIFY(agent->WaitFor("a retained message on wd/watchdog/clear is ignored"));
    QVERIFY(agent->WaitFor("modbus: listening"));
    QVERIFY(refused());
    QVERIFY(mqtt.Publish("wd/watchdog/clear", "", true)); // removed from the broker: no clear
    QTest::qWait(300);
    QVERIFY(refused());
    // Cleared at the PC, then by the clear register, then by a message.
    const ToolRun cleared = Qrxio({"watchdog", "clear", "--socket", socket});
    QVERIFY2(cleared.status == 0 && cleared.out.contains("state=waiting"), qPrintable(cleared.err));
    QVERIFY(Qrxio({"watchdog", "clear", "--socket", socket}).err.contains("not tripped"));
    tripByMaster();
    QCOMPARE(Mbpoll(m_port, {"-t", "4", "-r", "4353", "127.0.0.1", "1"}).status, 0);
    QVERIFY(mqtt.WaitFor([&](auto &) { return state() == "waiting"; }));
    tripByMaster();
    QVERIFY(mqtt.Publish("wd/watchdog/clear", "1", false));
    QVERIFY(mqtt.WaitFor([&](auto &) { return state() == "waiting"; }));
    QVERIFY(agent->WaitFor("watchdog: cleared by a message on wd/watchdog/clear"));
    QVERIFY(Qrxio({"watchdog", "--socket", socket}).out.contains("trips=3"));
    // The trips and clears in the history's events table (written within a second or so).
    const auto events = [&] {
        QProcess sqlite;
        sqlite.start("sqlite3",
                     {m_dir.filePath(m_name + ".db"),
                      "SELECT kind || ' ' || substr(text, 1, 7) FROM events "
                      "ORDER BY time_us"});
        sqlite.waitForFinished(20000);
        return QString::fromUtf8(sqlite.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
    };
    const QStringList expected{"watchdog tripped", "watchdog cleared", "watchdog tripped",
                               "watchdog cleared", "watchdog tripped", "watchdog cleared"};
    QVERIFY(QTest::qWaitFor([&] { return events().size() >= expected.size(); }, 20000));
    QCOMPARE(events(), expected);
}

QTEST_GUILESS_MAIN(TestAgentModbus)
#include "tst_agent_modbus.moc"

// The Plant window with two real orvane-agent processes on two simulated board sets, with
// different topic prefixes, on a Mosquitto broker of the test's own: both listed with their
// boards, an input set with qrxsim shown on the right LED, a writable output switched and read
// back with qrxsim, a refused one showing its reason, and a killed agent offline within 1.5x
// its keep-alive while the other stays online.

#include "AgentRun.h"
#include "PlantGenerator.h"
#include "SimBoards.h"
#include "TestBroker.h"

#include "controls/ImageButton.h"
#include "plant/BoardPanel.h"
#include "plant/PlantWnd.h"
#include "platform/MessageBox.h"

#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <csignal>

namespace {

constexpr int kKeepAliveS = 5;

int Bit(const QString &word, int point)
{
    return int(word.trimmed().toULongLong(nullptr, 16) >> point & 1);
}

} // namespace

class TestPlantAgents : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestBroker> m_broker;
    std::unique_ptr<AgentRun> m_a, m_b;
    std::unique_ptr<CVL_PlantWnd> m_wnd;
    QStringList m_questions;

    // The simulated boards `name` for the next agent and qrxsim call.
    void UseBoards(const QString &name)
    {
        qputenv("QRXSIM_CONFIG", m_dir.filePath(name + ".ini").toLocal8Bit());
        qputenv("QRXSIM_STATE", m_dir.filePath(name + ".state").toLocal8Bit());
    }
    std::unique_ptr<AgentRun> StartAgent(const QString &name, const QString &extra)
    {
        UseBoards(name);
        const QString pw = WritePrivateFile(m_dir.path(), name + "-pw", TestBroker::kPassword);
        QFile file(m_dir.filePath(name + "-agent.ini"));
        if (!file.open(QIODevice::WriteOnly))
            return nullptr;
        file.write(QStringLiteral("[Recorder]\nIntervalMs=20\n[Mqtt]\nHost=127.0.0.1\nPort=%1\n"
                                  "Username=%2\nPasswordFile=%3\nTopicPrefix=orvane/%4\n"
                                  "ClientId=%4\nKeepAlive=%5\n%6")
                       .arg(m_broker->port())
                       .arg(TestBroker::kUser, pw, name)
                       .arg(kKeepAliveS)
                       .arg(extra)
                       .toUtf8());
        file.close();
        auto agent = std::make_unique<AgentRun>(
            QStringList{"--config", file.fileName(), "--database", m_dir.filePath(name + ".db")});
        return agent->WaitFor("plant link: connected") ? std::move(agent) : nullptr;
    }
    QTreeWidgetItem *Item(const QString &topic) const
    {
        const auto found =
            m_wnd->agentList()->findItems(topic, Qt::MatchExactly, CVL_PlantWnd::kTopic);
        return found.isEmpty() ? nullptr : found.first();
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_broker = std::make_unique<TestBroker>(m_dir.filePath("broker"));
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error));
        QVERIFY(UseSimBoards(m_dir.path(), "pc-a",
                             "[Board0]\nType=174\nCardNo=5\nInputs=32\nOutputs=32\n"));
        QVERIFY(UseSimBoards(m_dir.path(), "pc-b",
                             "[Board0]\nType=174\nCardNo=7\nInputs=32\nOutputs=32\n"
                             "[Board1]\nType=174\nCardNo=8\nInputs=32\nOutputs=32\n"));
        m_a = StartAgent("pc-a", "AllowWrite=1\nWritablePoints=5:out:3 5:out:4\n");
        QVERIFY(m_a);
        m_b = StartAgent("pc-b", QString());
        QVERIFY(m_b);

        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        CVL_PlantWnd::SetPasswordPrompt([](QWidget *, const QString &) {
            return std::optional<QByteArray>(TestBroker::kPassword);
        });
        SetMessageBoxHandler([this](QWidget *, const MessageBoxRequest &r) {
            m_questions << r.text;
            return int(kIdYes);
        });
        const QString settings = WriteBrokerSettings(m_dir.path(), m_broker->port());
        QVERIFY(!settings.isEmpty());
        m_wnd = std::make_unique<CVL_PlantWnd>(settings);
        m_wnd->show();
    }
    void cleanupTestCase()
    {
        m_wnd.reset();
        for (auto *agent : {&m_a, &m_b})
            if (*agent) {
                (*agent)->Signal(SIGTERM);
                (*agent)->Finish();
            }
    }

    void bothListed()
    {
        QTRY_VERIFY_WITH_TIMEOUT(Item("orvane/pc-a") && Item("orvane/pc-b"), 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Item("orvane/pc-a")->childCount(), 1, 10000);
        QTRY_COMPARE_WITH_TIMEOUT(Item("orvane/pc-b")->childCount(), 2, 10000);
        QCOMPARE(Item("orvane/pc-a")->text(CVL_PlantWnd::kStatus), QString("online"));
    }

    void inputOnTheRightLed()
    {
        QVERIFY(m_wnd->ShowBoard("orvane/pc-a", 5));
        QTRY_COMPARE_WITH_TIMEOUT(m_wnd->boardPanel()->ShownState(PointDir::In, 1), 0u, 5000);
        UseBoards("pc-a");
        QCOMPARE(Qrxsim({"set", "5", "in", "1", "1"}).status, 0);
        QTRY_COMPARE_WITH_TIMEOUT(m_wnd->boardPanel()->ShownState(PointDir::In, 1), 1u, 5000);
        QCOMPARE(m_wnd->boardPanel()->ShownState(PointDir::In, 2), 0u);
        QVERIFY(m_wnd->ShowBoard("orvane/pc-b", 7));
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::In, 1), 0u); // the other set
    }

    void writableOutputSwitched()
    {
        QVERIFY(m_wnd->ShowBoard("orvane/pc-a", 5));
        // The writable outputs come from the agent's inventory (<p>/info), which agents that
        // predate it do not publish.
        if (!QTest::qWaitFor([this] { return bool(m_wnd->model().Agent("orvane/pc-a")->info); },
                             10000))
            QSKIP("the agent publishes no inventory");
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->boardPanel()->outputSwitch(3), 10000);
        QTRY_VERIFY(m_wnd->boardPanel()->outputSwitch(3)->isEnabled());
        QVERIFY(!m_wnd->boardPanel()->outputSwitch(5)); // not writable: an LED
        m_wnd->boardPanel()->outputSwitch(3)->click();
        QVERIFY(m_questions.last().startsWith("Switch "));
        QVERIFY(m_questions.last().contains("card 5 output 3"));
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->statusLine()->text().contains("(read back)"), 5000);
        UseBoards("pc-a");
        QCOMPARE(Bit(Qrxsim({"get", "5", "out"}).out, 3), 1);
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 1u);
    }

    void refusedShowsTheReason()
    {
        UseBoards("pc-a");
        if (!m_wnd->model().Agent("orvane/pc-a")->info)
            QSKIP("the agent publishes no inventory");
        // A board whose calls fail refuses the write; a qrxsim without "fail" cannot make one.
        if (Qrxsim({"fail", "5", "on"}).status != 0)
            QSKIP("qrxsim cannot make a board's calls fail");
        QTRY_VERIFY(m_wnd->boardPanel()->outputSwitch(4) &&
                    m_wnd->boardPanel()->outputSwitch(4)->isEnabled());
        m_wnd->boardPanel()->outputSwitch(4)->click();
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->statusLine()->text().contains("refused: "), 5000);
        QCOMPARE(Qrxsim({"fail", "5", "off"}).status, 0);
        QCOMPARE(Bit(Qrxsim({"get", "5", "out"}).out, 4), 0);
        QTRY_VERIFY(m_wnd->boardPanel()->ShownState(PointDir::Out, 4) != 1u);
    }

    void killedAgentGoesOffline()
    {
        QElapsedTimer timer;
        timer.start();
        m_b->Signal(SIGKILL);
        QTRY_VERIFY_WITH_TIMEOUT(
            Item("orvane/pc-b")->text(CVL_PlantWnd::kStatus).startsWith("offline since"),
            kKeepAliveS * 1500 + 1000);
        qInfo("offline after %lld ms (keep-alive %d s)", timer.elapsed(), kKeepAliveS);
        QCOMPARE(Item("orvane/pc-b")->foreground(CVL_PlantWnd::kHost).color(), QColor(Qt::gray));
        QCOMPARE(Item("orvane/pc-a")->text(CVL_PlantWnd::kStatus), QString("online"));
        m_b->Finish();
        m_b.reset();
    }
};

QTEST_MAIN(TestPlantAgents)
#include "tst_plant_agents.moc"

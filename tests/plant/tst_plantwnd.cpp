// The Plant window against a real Mosquitto broker of the test's own, fed with retained topics
// as agents leave them (a generator, no agent): the list, an agent going offline, a live LED,
// a set request answered, refused and unanswered, bad payloads, and the broker going away.

#include "PlantGenerator.h"
#include "TestBroker.h"
#include "TestClient.h"

#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "plant/BoardPanel.h"
#include "plant/PlantWnd.h"
#include "platform/MessageBox.h"

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

namespace {

const FakeAgent kAlpha{"orvane/pc-b", "alpha", 1, true, 24, 16, {3}, true};
const FakeAgent kBeta{"orvane/pc-a", "beta", 2, false, 8, 8, {}, false};

QString ItemText(QTreeWidget *list, int row, int column)
{
    QTreeWidgetItem *item = list->topLevelItem(row);
    return item ? item->text(column) : QString();
}

} // namespace

class TestPlantWnd : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestBroker> m_broker;
    std::unique_ptr<TestClient> m_client; // the generator, and the agents' answers
    std::unique_ptr<CVL_PlantWnd> m_wnd;
    QStringList m_questions;
    int m_prompts = 0;

    void Publish(const FakeAgent &agent)
    {
        for (const TopicMessage &m : FakeAgentTopics(agent))
            QVERIFY(m_client->Publish(m.topic, m.payload, true, false));
    }
    QTreeWidgetItem *Item(const QString &host) const
    {
        const auto found = m_wnd->agentList()->findItems(host, Qt::MatchExactly);
        return found.isEmpty() ? nullptr : found.first();
    }
    // Clicks output 3 of alpha's card 5 and answers the set request with `answer` (none: no
    // answer), then waits for the status line to contain `expect`.
    void SwitchAndAnswer(const QByteArray &answer, const QString &expect, int timeoutMs = 3000)
    {
        m_client->Clear();
        CImageButton *button = m_wnd->boardPanel()->outputSwitch(3);
        QVERIFY(button);
        QTRY_VERIFY(button->isEnabled());
        button->click();
        QVERIFY(m_client->WaitFor([](const std::vector<Received> &all) {
            for (const Received &r : all)
                if (r.topic == "orvane/pc-b/card5/out/3/set")
                    return true;
            return false;
        }));
        const QByteArray request = m_client->Last("orvane/pc-b/card5/out/3/set").value();
        const QJsonObject o = QJsonDocument::fromJson(request).object();
        QCOMPARE(o.value("value").toInt(), 1);
        QVERIFY(!o.value("id").toString().isEmpty());
        QVERIFY(!button->isEnabled()); // while it waits
        if (!answer.isEmpty()) {
            QByteArray result = answer;
            result.replace("ID", o.value("id").toString().toUtf8());
            QVERIFY(m_client->Publish("orvane/pc-b/card5/out/3/set/result", result, false));
        }
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->statusLine()->text().contains(expect), timeoutMs);
        QTRY_VERIFY(button->isEnabled());
    }

private slots:
    void initTestCase()
    {
        QVERIFY(m_dir.isValid());
        m_broker = std::make_unique<TestBroker>(m_dir.path());
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error));
        m_client = std::make_unique<TestClient>(m_broker->port(), "generator");
        QVERIFY(m_client->Connect({"orvane/+/+/out/+/set"}));
        Publish(kAlpha);
        Publish(kBeta);
        // A bad neighbour: a cut inventory, states for card 99 and point 200, 1 MB of state.
        QVERIFY(m_client->Publish("orvane/pc-c/info", "{\"boards\":[{\"card\":", true));
        QVERIFY(m_client->Publish("orvane/pc-c/status", "online", true));
        QVERIFY(m_client->Publish("orvane/pc-c/card99/in/200", "1", true));
        QVERIFY(m_client->Publish("orvane/pc-c/card1/in/1", QByteArray(1 << 20, '1'), true));

        // The broker's password is asked (this test has no secret store).
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        CVL_PlantWnd::SetPasswordPrompt([this](QWidget *, const QString &) {
            ++m_prompts;
            return std::optional<QByteArray>(TestBroker::kPassword);
        });
        SetMessageBoxHandler([this](QWidget *, const MessageBoxRequest &r) {
            m_questions << r.text;
            return int(kIdYes);
        });
        const QString settings = WriteBrokerSettings(m_dir.path(), m_broker->port());
        QVERIFY(!settings.isEmpty());
        m_wnd = std::make_unique<CVL_PlantWnd>(settings);
        m_wnd->resize(760, 640);
        m_wnd->show();
    }
    void cleanupTestCase()
    {
        m_wnd.reset();
        m_client.reset();
        m_broker.reset();
    }

    void listsEveryAgentByHost()
    {
        QTRY_COMPARE_WITH_TIMEOUT(m_wnd->agentList()->topLevelItemCount(), 3, 10000);
        QCOMPARE(m_prompts, 1);
        QTRY_COMPARE(ItemText(m_wnd->agentList(), 0, CVL_PlantWnd::kHost), QString("alpha"));
        QCOMPARE(ItemText(m_wnd->agentList(), 1, CVL_PlantWnd::kHost), QString("beta"));
        QTRY_COMPARE(Item("alpha")->text(CVL_PlantWnd::kSimulated), QString("simulated"));
        QCOMPARE(Item("beta")->text(CVL_PlantWnd::kSimulated), QString("no"));
        QTRY_COMPARE(Item("beta")->childCount(), 2);
        QCOMPARE(Item("alpha")->child(0)->text(CVL_PlantWnd::kHost), QString("card 5 QRX-LN64DIO"));
        QCOMPARE(Item("alpha")->text(CVL_PlantWnd::kStatus), QString("online"));
        // The bad neighbour is listed with what could not be read, and nothing more.
        QTreeWidgetItem *bad = Item("pc-c");
        QVERIFY(bad);
        QVERIFY(bad->text(CVL_PlantWnd::kBoards).contains("inventory unreadable"));
        QCOMPARE(bad->childCount(), 0);
        m_wnd->filter()->setText("BET");
        QVERIFY(Item("alpha")->isHidden());
        QVERIFY(!Item("beta")->isHidden());
        m_wnd->filter()->clear();
    }

    void ledFollowsState()
    {
        QVERIFY(m_wnd->ShowBoard("orvane/pc-b", 5));
        CBoardPanel *panel = m_wnd->boardPanel();
        QVERIFY(panel->led(PointDir::In, 0));
        QVERIFY(panel->led(PointDir::In, 0)->text().contains("Door sensor"));
        QVERIFY(!panel->led(PointDir::In, 9)); // 24 inputs: 8-15 are not there
        QTRY_COMPARE(panel->ShownState(PointDir::In, 17), 0u);
        QVERIFY(m_client->Publish("orvane/pc-b/card5/in/17", "1", true));
        QTRY_COMPARE(panel->ShownState(PointDir::In, 17), 1u);
        QVERIFY(m_client->Publish("orvane/pc-b/card5/in/17", "x", true));
        QTest::qWait(200);
        QCOMPARE(panel->ShownState(PointDir::In, 17), 1u);
        // A board that goes offline shows nothing as live.
        QVERIFY(m_client->Publish("orvane/pc-b/card5/status", "offline", true));
        QTRY_COMPARE(panel->ShownState(PointDir::In, 17), 2u);
        QVERIFY(m_client->Publish("orvane/pc-b/card5/status", "online", true));
        QTRY_COMPARE(panel->ShownState(PointDir::In, 17), 1u);
    }

    void setAnswered()
    {
        SwitchAndAnswer(R"({"result":"ok","value":1,"request":{"value":1,"id":"ID"}})",
                        "(read back)");
        QCOMPARE(m_questions.last(), QString("Switch alpha card 5 output 3 (Lamp 3) on?"));
        // The switch shows what the board says, not what was asked.
        QCOMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 0u);
        QVERIFY(m_client->Publish("orvane/pc-b/card5/out/3", "1", true));
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 1u);
        QVERIFY(m_client->Publish("orvane/pc-b/card5/out/3", "0", true));
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 0u);
    }
    void setRefused()
    {
        SwitchAndAnswer(
            R"({"result":"refused","reason":"the watchdog is tripped","request":{"id":"ID"}})",
            "refused: the watchdog is tripped");
        QCOMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 0u);
    }
    void setUnanswered()
    {
        SwitchAndAnswer(QByteArray(), "no answer", 8000);
        QCOMPARE(m_wnd->boardPanel()->ShownState(PointDir::Out, 3), 0u);
    }

    void watchdogBanner()
    {
        QVERIFY(m_client->Publish("orvane/pc-b/watchdog",
                                  R"({"state":"tripped","clearable":true,"reason":"master quiet"})",
                                  true));
        QTRY_VERIFY(!m_wnd->banner()->isHidden());
        QTRY_COMPARE(Item("alpha")->foreground(CVL_PlantWnd::kWatchdog).color(), QColor(Qt::red));
        m_client->Clear();
        m_wnd->RequestWatchdogClear();
        QVERIFY(m_wnd->statusLine()->text().contains("watchdog clear sent"));
        QVERIFY(m_client->Publish("orvane/pc-b/watchdog", R"({"state":"armed"})", true));
        QTRY_VERIFY(m_wnd->banner()->isHidden());
    }

    void offlineStaysListedGreyed()
    {
        QVERIFY(m_client->Publish("orvane/pc-b/status", "offline", true));
        QTRY_VERIFY(Item("alpha")->text(CVL_PlantWnd::kStatus).startsWith("offline since "));
        QCOMPARE(Item("alpha")->foreground(CVL_PlantWnd::kHost).color(), QColor(Qt::gray));
        QCOMPARE(Item("beta")->text(CVL_PlantWnd::kStatus), QString("online"));
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::In, 17), 2u);
        QVERIFY(!m_wnd->boardPanel()->outputSwitch(3)->isEnabled());
        QVERIFY(m_client->Publish("orvane/pc-b/status", "online", true));
        QTRY_COMPARE(m_wnd->boardPanel()->ShownState(PointDir::In, 17), 1u);
    }

    // The broker goes away: the window says so and greys everything; it comes back by itself.
    void brokerAway()
    {
        m_broker->Stop();
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->statusLine()->text().startsWith("Not connected"), 10000);
        QCOMPARE(Item("beta")->foreground(CVL_PlantWnd::kHost).color(), QColor(Qt::gray));
        QCOMPARE(m_wnd->boardPanel()->ShownState(PointDir::In, 17), 2u);
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error));
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->statusLine()->text().startsWith("Connected"), 20000);
    }

    // Closed while a set request waits: nothing is left behind to answer into.
    void closedWhileWaiting()
    {
        m_client.reset();
        m_client = std::make_unique<TestClient>(m_broker->port(), "generator2");
        QVERIFY(m_client->Connect({"orvane/+/+/out/+/set"}));
        Publish(kAlpha);
        QVERIFY(m_wnd->ShowBoard("orvane/pc-b", 5));
        QTRY_VERIFY_WITH_TIMEOUT(m_wnd->boardPanel()->outputSwitch(3)->isEnabled(), 10000);
        m_wnd->boardPanel()->outputSwitch(3)->click();
        m_wnd.reset();
        QTest::qWait(5500);
    }
};

QTEST_MAIN(TestPlantWnd)
#include "tst_plantwnd.moc"

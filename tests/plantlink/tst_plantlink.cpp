// The plant link against a real Mosquitto broker on 127.0.0.1: what a subscriber sees (status,
// retained states, events, offline after Stop and after SIGKILL), set messages accepted and
// refused, a flood of them, the subscriptions AllowWrite decides, discovery configs, a broker
// that restarts, and refusals (a wrong password, TLS against a plain listener) logged once.

#include "FakePlant.h"
#include "PlantTopics.h"
#include "TestBroker.h"
#include "TestClient.h"

#include <QElapsedTimer>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

#include <tuple>

namespace {

// A plant link over the fake boards, with what it logged and asked to switch.
struct Link
{
    FakePlant plant;
    QStringList log;
    std::vector<std::tuple<int, int, bool, qint64>> switched; // card, point, value, ms
    QElapsedTimer clock;
    std::unique_ptr<PlantLink> link; // last: it goes first, logging as it stops

    int Logged(const QString &part) const
    {
        return int(std::count_if(log.begin(), log.end(),
                                 [&](const QString &l) { return l.contains(part); }));
    }
};

bool HasRetained(const std::vector<Received> &ms, const QString &topic, const QByteArray &payload)
{
    return std::any_of(ms.begin(), ms.end(), [&](const Received &m) {
        return m.topic == topic && m.payload == payload && m.retained;
    });
}

} // namespace

class TestPlantLink : public QObject
{
    Q_OBJECT

private slots:
    void initTestCase();
    void publishesTheBoards();
    void setMessages_data();
    void setMessages();
    void flood_data();
    void flood();
    void subscriptions_data();
    void subscriptions();
    void discovery();
    void brokerRestarts();
    void refusalsLoggedOnce_data();
    void refusalsLoggedOnce();
    void killedAgentShowsOffline();
    void stalledBroker();
    void sameClientId();

private:
    QString Section(const QString &prefix, const QString &extra, const QString &password = {});
    std::unique_ptr<Link> Start(const QString &prefix, const QString &extra = {},
                                const QString &password = {});

    QTemporaryDir m_dir;
    std::unique_ptr<TestBroker> m_broker;
    QString m_caFile;
    int m_runs = 0;
};

void TestPlantLink::initTestCase()
{
    QVERIFY(m_dir.isValid());
    m_broker = std::make_unique<TestBroker>(m_dir.filePath("broker"));
    QString error;
    QVERIFY2(m_broker->Start(&error), qPrintable(error));
    // Any certificate will do as a CA for TLS against the plain listener.
    QProcess openssl;
    openssl.start("openssl",
                  {"req", "-x509", "-newkey", "rsa:2048", "-nodes", "-subj", "/CN=x", "-days", "1",
                   "-keyout", m_dir.filePath("ca.key"), "-out", m_dir.filePath("ca.pem")});
    if (openssl.waitForFinished(30000) && openssl.exitCode() == 0)
        m_caFile = m_dir.filePath("ca.pem");
}

QString TestPlantLink::Section(const QString &prefix, const QString &extra, const QString &password)
{
    const QString file = WritePrivateFile(
        m_dir.path(), "pw-" + QString(prefix).replace('/', '-'),
        (password.isEmpty() ? TestBroker::kPassword : password.toUtf8().constData()));
    return QStringLiteral("Host=127.0.0.1\nPort=%1\nUsername=%2\nPasswordFile=%3\n"
                          "TopicPrefix=%4\nClientId=%5\n%6")
        .arg(m_broker->port())
        .arg(TestBroker::kUser, file, prefix, QString(prefix).replace('/', '-'), extra);
}

std::unique_ptr<Link> TestPlantLink::Start(const QString &prefix, const QString &extra,
                                           const QString &password)
{
    const MqttConfigResult r = ParseMqttConfig(
        "agent.ini", 1, IniLines(Section(prefix, extra, password)), FakeBoards(), "test");
    if (!r.config)
        qFatal("%s", qPrintable(r.errors.join('\n')));
    auto l = std::make_unique<Link>();
    l->clock.start();
    l->link = std::make_unique<PlantLink>(*r.config, FakeBoards(), l->plant.source(), 10);
    Link *raw = l.get();
    QObject::connect(l->link.get(), &PlantLink::logMessage,
                     [raw](const QString &line) { raw->log << line; });
    QObject::connect(l->link.get(), &PlantLink::outputRequested, [raw](int c, int p, bool v) {
        raw->switched.emplace_back(c, p, v, raw->clock.elapsed());
        raw->link->AnswerSet(c, p, true, v, {}); // as the agent does after the read-back
    });
    QString error;
    if (!l->link->Start(&error))
        qFatal("%s", qPrintable(error));
    return l;
}

void TestPlantLink::publishesTheBoards()
{
    auto l = Start("t/boards");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    QTest::qWait(300); // the states reach the broker: the watcher gets them as retained
    TestClient client(m_broker->port(), "boards-watcher");
    QVERIFY(client.Connect({"t/boards/#"}));
    // Status and every live point, retained, as a new subscriber finds them.
    QVERIFY(client.WaitFor([&](const auto &ms) {
        return HasRetained(ms, "t/boards/status", "online") &&
            std::all_of(l->plant.states.begin(), l->plant.states.end(), [&](const PointState &s) {
                   return HasRetained(ms, StateTopic("t/boards", s.card, s.dir, s.point),
                                      s.value ? "1" : "0");
               });
    }));
    QCOMPARE(int(l->plant.states.size()), 24);
    l->link->PublishChange(1796699520123456, 5, PointDir::In, 1, false, "Door \"A\"");
    QVERIFY(client.WaitFor([](const auto &) { return true; }, 10));
    QTRY_COMPARE(client.Last("t/boards/card5/in/1").value_or(""), QByteArray("0"));
    QTRY_COMPARE(client.Last("t/boards/events").value_or(""),
                 EventJson(1796699520123456, 5, PointDir::In, 1, false, "Door \"A\""));
    l->link->Stop();
    QTRY_COMPARE(client.Last("t/boards/status").value_or(""), QByteArray("offline"));
    TestClient later(m_broker->port(), "boards-later");
    QVERIFY(later.Connect({"t/boards/status"}));
    QVERIFY(later.WaitFor(
        [](const auto &ms) { return HasRetained(ms, "t/boards/status", "offline"); }));
}

void TestPlantLink::setMessages_data()
{
    QTest::addColumn<QString>("topic"); // under the prefix
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<bool>("waiting"); // retained on the broker before the link starts
    QTest::addColumn<int>("value"); // switched to; -1: nothing switched
    QTest::addColumn<QString>("logged"); // part of the refusal line, or empty for none

    QTest::newRow("1") << "card5/out/3/set" << QByteArray("1") << false << 1 << "";
    QTest::newRow("OFF") << "card5/out/3/set" << QByteArray("OFF") << false << 0 << "";
    QTest::newRow("on, card 7 by *") << "card7/out/2/set" << QByteArray("on") << false << 1 << "";
    QTest::newRow("JSON with id") << "card5/out/3/set" << QByteArray(R"({"value":1,"id":"r1"})")
                                  << false << 1 << "";
    QTest::newRow("not listed") << "card5/out/6/set" << QByteArray("1") << false << -1
                                << "not a writable output";
    QTest::newRow("no such card") << "card99/out/200/set" << QByteArray("1") << false << -1
                                  << "not a writable output";
    QTest::newRow("an input") << "card5/in/3/set" << QByteArray("1") << false << -1 << "";
    QTest::newRow("bad payload") << "card5/out/3/set" << QByteArray("2") << false << -1
                                 << "the payload \"2\" is not 1, 0";
    QTest::newRow("empty") << "card5/out/3/set" << QByteArray() << false << -1
                           << "an empty payload";
    QTest::newRow("binary") << "card5/out/3/set" << QByteArray("1\0\xff", 3) << false << -1
                            << "a payload of 3 bytes";
    QTest::newRow("1 MB") << "card5/out/3/set" << QByteArray(1 << 20, '1') << false << -1
                          << "a payload of 1048576 bytes";
    QTest::newRow("retained, waiting")
        << "card5/out/4/set" << QByteArray("1") << true << -1 << "retained (stored) set message";
}

void TestPlantLink::setMessages()
{
    QFETCH(QString, topic);
    QFETCH(QByteArray, payload);
    QFETCH(bool, waiting);
    QFETCH(int, value);
    QFETCH(QString, logged);
    TestClient sender(m_broker->port(), "set-sender");
    QVERIFY(sender.Connect({"t/set/+/+/+/set/result"}));
    if (waiting)
        QVERIFY(sender.Publish("t/set/" + topic, payload, true));
    auto l = Start("t/set", "AllowWrite=1\nWritablePoints=5:out:3 5:out:4 7:out:*");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    QTest::qWait(200); // the subscriptions are in place
    if (!waiting)
        QVERIFY(sender.Publish("t/set/" + topic, payload, false));
    if (value >= 0)
        QTRY_COMPARE(int(l->switched.size()), 1);
    else
        QTest::qWait(300);
    if (value >= 0)
        QCOMPARE(std::get<2>(l->switched.front()), bool(value));
    else
        QCOMPARE(int(l->switched.size()), 0);
    QCOMPARE(l->Logged("refused"), logged.isEmpty() ? 0 : 1);
    if (!logged.isEmpty())
        QVERIFY2(l->Logged(logged) == 1, qPrintable(l->log.join('\n')));
    // Every set message of an output is answered, but a retained one.
    const bool answered = topic.contains("/out/") && !waiting;
    std::vector<Received> results;
    const auto collect = [&](const std::vector<Received> &ms) {
        results.clear();
        std::copy_if(ms.begin(), ms.end(), std::back_inserter(results),
                     [](const Received &m) { return m.topic.endsWith("/result"); });
        return !results.empty();
    };
    QCOMPARE(sender.WaitFor(collect, answered ? 5000 : 300), answered);
    QCOMPARE(int(results.size()), answered ? 1 : 0);
    if (answered) {
        const Received &m = results.front();
        QCOMPARE(m.topic, "t/set/" + topic + "/result");
        QVERIFY(!m.retained);
        const QJsonObject o = QJsonDocument::fromJson(m.payload).object();
        QCOMPARE(o.value("result").toString(), value >= 0 ? "ok" : "refused");
        if (value >= 0)
            QCOMPARE(o.value("value").toInt(), value);
        else
            QVERIFY(o.value("reason").toString().contains(logged));
        const QByteArray echoed = o.contains("request_base64")
            ? QByteArray::fromBase64(o.value("request_base64").toString().toLatin1())
            : o.value("request").toString().toUtf8();
        QCOMPARE(echoed, payload.left(PlantLink::kMaxSetPayload));
        QCOMPARE(o.value("id").toString(), payload.contains("r1") ? "r1" : "");
    }
    l.reset();
    if (waiting)
        QVERIFY(sender.Publish("t/set/" + topic, QByteArray(), true)); // clears it
}

void TestPlantLink::flood_data()
{
    QTest::addColumn<bool>("valid");
    QTest::newRow("latest value wins") << true;
    QTest::newRow("refused payloads") << false;
}

// 10,000 set messages as fast as the broker takes them: every one is accounted for, a point
// switches at most once per poll interval with the latest value last, and the refusals take a
// line a second at most.
void TestPlantLink::flood()
{
    QFETCH(bool, valid);
    constexpr int kMessages = 10000;
    auto l = Start("t/flood", "AllowWrite=1\nWritablePoints=5:out:3 5:out:4");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    QTest::qWait(200);
    TestClient sender(m_broker->port(), "flood-sender");
    QVERIFY(sender.Connect({}));
    QElapsedTimer took;
    took.start();
    for (int i = 0; i < kMessages; ++i)
        sender.Publish(QStringLiteral("t/flood/card5/out/%1/set").arg(3 + i % 2),
                       valid ? QByteArray::number(i / 2 % 2) : QByteArray("x"), false, false);
    auto handled = [&] {
        return int(l->switched.size() + l->link->droppedSets() + l->link->refusedSets());
    };
    QTRY_COMPARE_WITH_TIMEOUT(handled(), kMessages, 60000);
    // The last count comes within a second.
    const QString total = QStringLiteral("(%1 in all").arg(kMessages);
    QTRY_VERIFY_WITH_TIMEOUT(valid || l->log.last().contains(total), 2000);
    const int seconds = int(took.elapsed() / 1000);
    QVERIFY2(l->log.size() <= seconds + 3, qPrintable(l->log.join('\n')));
    if (!valid) {
        QCOMPARE(int(l->link->refusedSets()), kMessages);
        return;
    }
    QVERIFY(l->link->droppedSets() > 0);
    std::map<int, std::tuple<int, int, bool, qint64>> last;
    for (const auto &s : l->switched) {
        auto previous = last.find(std::get<1>(s));
        if (previous != last.end())
            QVERIFY(std::get<3>(s) - std::get<3>(previous->second) >= 9);
        last[std::get<1>(s)] = s;
    }
    QCOMPARE(std::get<2>(last.at(3)), bool((kMessages - 2) / 2 % 2));
    QCOMPARE(std::get<2>(last.at(4)), bool((kMessages - 1) / 2 % 2));
}

void TestPlantLink::subscriptions_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<int>("topics");
    // The set topics of every output (each is answered) and the get topic; with discovery
    // the home-automation system's birth message too.
    QTest::newRow("AllowWrite=0") << "AllowWrite=0\nWritablePoints=5:out:3 7:out:*" << 2;
    QTest::newRow("AllowWrite=1") << "AllowWrite=1\nWritablePoints=5:out:3 7:out:*" << 2;
    QTest::newRow("discovery") << "Discovery=homeassistant" << 3;
}

// What the broker logged as the link's subscriptions.
void TestPlantLink::subscriptions()
{
    QFETCH(QString, extra);
    QFETCH(int, topics);
    const QString prefix = QStringLiteral("t/sub%1").arg(++m_runs);
    auto l = Start(prefix, extra);
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    QTest::qWait(300);
    l->link->Stop();
    const QString id = QString(prefix).replace('/', '-');
    int subscribed = 0;
    for (const QString &line : m_broker->log().split('\n'))
        if (line.contains(": " + id + " 1 "))
            ++subscribed;
    QCOMPARE(subscribed, topics);
}

// Discovery configs under the node (the user name): one per point, a switch for a writable
// output; a point taken out of WritablePoints becomes a read-only sensor, its switch emptied;
// the birth message of the home-automation system brings every config again.
void TestPlantLink::discovery()
{
    const QString node = "homeassistant/%1/orvane/t-disc_card5_out_%2/config";
    auto l =
        Start("t/disc", "Discovery=homeassistant\nAllowWrite=1\nWritablePoints=5:out:3 5:out:4");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    TestClient client(m_broker->port(), "disc-watcher");
    QVERIFY(client.Connect({"homeassistant/+/orvane/+/config"}));
    const auto configs = [&] { // the topics whose last payload is a config
        QMap<QString, QByteArray> last;
        for (const Received &m : client.messages())
            last[m.topic] = m.payload;
        QSet<QString> topics;
        for (auto it = last.begin(); it != last.end(); ++it)
            if (!it.value().isEmpty() && it.key().contains("/t-disc_"))
                topics.insert(it.key());
        return topics;
    };
    // Retained, or live when the subscription came while the link was still publishing.
    QTRY_COMPARE(int(configs().size()), 24); // 12 inputs, 12 outputs
    QVERIFY(configs().contains(node.arg("switch").arg(4)));
    QVERIFY(configs().contains(node.arg("binary_sensor").arg(5)));
    const QJsonObject door =
        QJsonDocument::fromJson(
            *client.Last("homeassistant/binary_sensor/orvane/t-disc_card5_in_1/config"))
            .object();
    QCOMPARE(door.value("name").toString(), QStringLiteral("Door \"A\""));
    QCOMPARE(door.value("state_topic").toString(), QStringLiteral("t/disc/card5/in/1"));
    QCOMPARE(door.value("unique_id").toString(), QStringLiteral("t-disc_card5_in_1"));
    l.reset();
    l = Start("t/disc", "Discovery=homeassistant\nAllowWrite=1\nWritablePoints=5:out:3");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    QTRY_COMPARE(client.Last(node.arg("switch").arg(4)).value_or("x"), QByteArray());
    QTRY_VERIFY(!client.Last(node.arg("binary_sensor").arg(4)).value_or("").isEmpty());
    client.Clear();
    TestClient ha(m_broker->port(), "disc-ha");
    QVERIFY(ha.Connect({}));
    QVERIFY(ha.Publish("homeassistant/status", "online", false));
    QTRY_COMPARE(int(configs().size()), 24);
}

// The broker goes away and comes back without its retained messages: the link reconnects and
// the retained states match the boards again, the change made meanwhile included.
void TestPlantLink::brokerRestarts()
{
    auto l = Start("t/restart");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    m_broker->Stop();
    QTRY_VERIFY_WITH_TIMEOUT(!l->link->isConnected(), 5000);
    l->plant.Set(5, PointDir::In, 0, true);
    l->link->PublishChange(1, 5, PointDir::In, 0, true); // nobody to take it
    QString error;
    QVERIFY2(m_broker->Start(&error), qPrintable(error));
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 10000);
    QTest::qWait(300); // the states reach the broker: the watcher gets them as retained
    TestClient client(m_broker->port(), "restart-watcher");
    QVERIFY(client.Connect({"t/restart/#"}));
    QVERIFY(client.WaitFor([&](const auto &ms) {
        return HasRetained(ms, "t/restart/status", "online") &&
            std::all_of(l->plant.states.begin(), l->plant.states.end(), [&](const PointState &s) {
                   return HasRetained(ms, StateTopic("t/restart", s.card, s.dir, s.point),
                                      s.value ? "1" : "0");
               });
    }));
    QCOMPARE(*client.Last("t/restart/card5/in/0"), QByteArray("1"));
    QCOMPARE(l->Logged("lost the broker"), 1);
}

void TestPlantLink::refusalsLoggedOnce_data()
{
    QTest::addColumn<QString>("extra");
    QTest::addColumn<QString>("password");
    QTest::addColumn<QString>("logged");
    QTest::newRow("wrong password") << ""
                                    << "wrong"
                                    << "refused the login";
    if (!m_caFile.isEmpty())
        QTest::newRow("TLS against plain TCP") << "CaFile=" + m_caFile << ""
                                               << "TLS with the broker";
}

// Three attempts or more, one log line, never connected.
void TestPlantLink::refusalsLoggedOnce()
{
    QFETCH(QString, extra);
    QFETCH(QString, password);
    QFETCH(QString, logged);
    auto l = Start("t/refused", extra, password);
    QTRY_VERIFY_WITH_TIMEOUT(l->Logged(logged) == 1, 5000);
    QTest::qWait(4000);
    QVERIFY(!l->link->isConnected());
    QCOMPARE(l->log.size(), 1);
    QVERIFY2(l->log.first().contains(logged), qPrintable(l->log.first()));
}

void TestPlantLink::killedAgentShowsOffline()
{
    const QString config =
        WritePrivateFile(m_dir.path(), "probe.ini", Section("t/killed", {}).toUtf8());
    TestClient client(m_broker->port(), "killed-watcher");
    QVERIFY(client.Connect({"t/killed/status"}));
    QProcess probe;
    probe.setProcessChannelMode(QProcess::ForwardedErrorChannel);
    probe.start(qEnvironmentVariable("PLANTLINK_PROBE"), {config});
    QVERIFY(probe.waitForStarted());
    QVERIFY(client.WaitFor([](const auto &ms) {
        return HasRetained(ms, "t/killed/status", "online") ||
            (!ms.empty() && ms.back().payload == "online");
    }));
    probe.kill(); // SIGKILL
    QVERIFY(probe.waitForFinished());
    QVERIFY(
        client.WaitFor([&](const auto &) { return client.Last("t/killed/status") == "offline"; }));
}

// A broker that stops answering while the link is connected: what waits for it stays bounded
// (the latest state of each point; events dropped and counted, said once), the loss is named
// as a keep-alive loss, and once the broker answers again the retained states are the latest.
void TestPlantLink::stalledBroker()
{
    auto l = Start("t/stall", "KeepAlive=5");
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 5000);
    m_broker->Pause(true);
    constexpr int kChanges = 20000;
    for (int i = 0; i < kChanges; ++i)
        l->link->PublishChange(i, 5, PointDir::In, i % 4, i / 4 % 2);
    QVERIFY(l->link->droppedEvents() >= kChanges - PlantLink::kWindow);
    QCOMPARE(l->Logged("has not acknowledged"), 1);
    QTRY_VERIFY_WITH_TIMEOUT(l->Logged("lost the broker") == 1, 15000);
    m_broker->Pause(false);
    const QString loss = l->log.filter("lost the broker").first();
    QVERIFY2(loss.contains("did not answer within the keep-alive time (5 s)"), qPrintable(loss));
    QVERIFY(!loss.contains("Unknown error"));
    for (int point = 0; point < 4; ++point)
        l->plant.Set(5, PointDir::In, point, (kChanges - 4 + point) / 4 % 2);
    QTRY_VERIFY_WITH_TIMEOUT(l->link->isConnected(), 40000);
    QTRY_VERIFY_WITH_TIMEOUT(l->link->waiting() == 0, 20000);
    QTest::qWait(200); // what the client sent before the last acknowledgement is in
    TestClient client(m_broker->port(), "stall-watcher");
    QVERIFY(client.Connect({"t/stall/card5/in/+"}));
    QVERIFY(client.WaitFor(
        [&](const auto &ms) {
            for (int point = 0; point < 4; ++point)
                if (!HasRetained(ms, StateTopic("t/stall", 5, PointDir::In, point),
                                 (kChanges - 4 + point) / 4 % 2 ? "1" : "0"))
                    return false;
            return true;
        },
        20000));
    QCOMPARE(l->Logged("takes messages again"), 1);
}

// Two links with one client id: the broker closes one session for the other; each says once
// that another client uses the id and backs off instead of taking the session every second.
void TestPlantLink::sameClientId()
{
    auto a = Start("t/twin");
    QTRY_VERIFY_WITH_TIMEOUT(a->link->isConnected(), 5000);
    auto b = Start("t/twin");
    const QString said = "another client connects with the same client id \"t-twin\"";
    QTRY_VERIFY_WITH_TIMEOUT(a->Logged(said) == 1 && b->Logged(said) == 1, 30000);
    const int sessions = int(m_broker->log().count(" as t-twin "));
    const qsizetype lines = a->log.size() + b->log.size();
    QTest::qWait(8000);
    QCOMPARE(a->log.size() + b->log.size(), lines); // quiet
    // Backed off: a session every second each would be 16 more.
    const int later = int(m_broker->log().count(" as t-twin ")) - sessions;
    QVERIFY2(later <= 4, qPrintable(QString::number(later)));
}

QTEST_GUILESS_MAIN(TestPlantLink)
#include "tst_plantlink.moc"

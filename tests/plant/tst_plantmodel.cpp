// The Plant window's reading of the broker: every topic and payload an agent publishes, good
// and bad, turned into the window's model; what a flood or a made-up topic may cost.

#include "plant/PlantModel.h"
#include "plant/PlantTopics.h"

#include <QtTest>

namespace {

const QString kRoot = QStringLiteral("orvane/+");

QByteArray Inventory(const QByteArray &boards, const QByteArray &host = "pc1")
{
    return R"({"version":"14.0.0","host":")" + host +
        R"(","simulated":true,"interval_ms":100,"library":{"path":"/x.so","version":"1"},"boards":[)" +
        boards + "]}";
}

const QByteArray kBoard5 =
    R"({"card":5,"type":"1","name":"QRX-LN64DIO","firmware":"2.1","inputs":24,"outputs":16,)"
    R"("writable":[3,4,99],"names":{"in":{"0":"Door sensor","70":"x"},"out":["Lamp","Pump"]}})";

} // namespace

class TestPlantModel : public QObject
{
    Q_OBJECT

private slots:
    void parse_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("topic");
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<int>("size"); // -1: the payload's own
        QTest::addColumn<int>("kind");
        QTest::addColumn<QString>("prefix");
        QTest::addColumn<int>("card");
        QTest::addColumn<int>("point");
        QTest::addColumn<QString>("problem"); // a part of it

        const int I = PlantUpdate::Ignored, M = PlantUpdate::Malformed;
        auto row = [](const char *name, const QString &root, const QString &topic,
                      const QByteArray &payload, int kind, const QString &prefix = {}, int card = 0,
                      int point = 0, const QString &problem = {}, int size = -1) {
            QTest::newRow(name) << root << topic << payload << size << kind << prefix << card
                                << point << problem;
        };
        row("status online", kRoot, "orvane/pc1/status", "online", PlantUpdate::AgentStatus,
            "orvane/pc1");
        row("status offline", kRoot, "orvane/pc1/status", "offline", PlantUpdate::AgentStatus,
            "orvane/pc1");
        row("status cleared", kRoot, "orvane/pc1/status", "", PlantUpdate::AgentStatus,
            "orvane/pc1");
        row("status other", kRoot, "orvane/pc1/status", "ONLINE", M, "orvane/pc1", 0, 0,
            "status payload");
        row("input on", kRoot, "orvane/pc1/card5/in/3", "1", PlantUpdate::State, "orvane/pc1", 5,
            3);
        row("output off", kRoot, "orvane/pc1/card0/out/63", "0", PlantUpdate::State, "orvane/pc1",
            0, 63);
        row("state cleared", kRoot, "orvane/pc1/card5/in/3", "", PlantUpdate::State, "orvane/pc1",
            5, 3);
        row("state 2", kRoot, "orvane/pc1/card5/in/3", "2", M, "orvane/pc1", 5, 3, "other than 0");
        row("state ON", kRoot, "orvane/pc1/card5/in/3", "ON", M, "orvane/pc1", 5, 3,
            "other than 0");
        row("state with blank", kRoot, "orvane/pc1/card5/in/3", "1 ", M, "orvane/pc1", 5, 3,
            "other than 0");
        row("point 200", kRoot, "orvane/pc1/card5/in/200", "1", M, "orvane/pc1", 5, 0, "point 200");
        row("point 64", kRoot, "orvane/pc1/card5/out/64", "1", M, "orvane/pc1", 5, 0, "point 64");
        row("point -1", kRoot, "orvane/pc1/card5/in/-1", "1", M, "orvane/pc1", 5, 0, "point -1");
        row("point 99999999999", kRoot, "orvane/pc1/card5/in/99999999999", "1", M, "orvane/pc1", 5,
            0, "point");
        row("card 99", kRoot, "orvane/pc1/card99/in/1", "1", PlantUpdate::State, "orvane/pc1", 99,
            1);
        row("card without number", kRoot, "orvane/pc1/cardx/in/1", "1", M, "orvane/pc1", 0, 0,
            "card number");
        row("card beyond int32", kRoot, "orvane/pc1/card2147483648/in/1", "1", M, "orvane/pc1", 0,
            0, "card number");
        row("board status", kRoot, "orvane/pc1/card5/status", "offline", PlantUpdate::BoardStatus,
            "orvane/pc1", 5);
        row("board status other", kRoot, "orvane/pc1/card5/status", "gone", M, "orvane/pc1", 5);
        row("board reason", kRoot, "orvane/pc1/card5/status/reason", "read refused",
            PlantUpdate::BoardReason, "orvane/pc1", 5);
        row("set result", kRoot, "orvane/pc1/card5/out/3/set/result",
            R"({"result":"ok","value":1,"request":{"value":1,"id":"a"}})", PlantUpdate::SetResult,
            "orvane/pc1", 5, 3);
        row("set result bad", kRoot, "orvane/pc1/card5/out/3/set/result", "{", M, "orvane/pc1", 5,
            3, "not JSON");
        row("set result no result", kRoot, "orvane/pc1/card5/out/3/set/result", "{}", M,
            "orvane/pc1", 5, 3, "no result");
        row("inventory", kRoot, "orvane/pc1/info", Inventory(kBoard5), PlantUpdate::Info,
            "orvane/pc1");
        row("inventory cut", kRoot, "orvane/pc1/info", Inventory(kBoard5).left(40), M, "orvane/pc1",
            0, 0, "not JSON");
        row("inventory array", kRoot, "orvane/pc1/info", "[1,2]", M, "orvane/pc1", 0, 0,
            "not a JSON object");
        row("inventory board without card", kRoot, "orvane/pc1/info", Inventory("{\"card\":-1}"), M,
            "orvane/pc1", 0, 0, "card number");
        row("inventory deep", kRoot, "orvane/pc1/info",
            QByteArray(5000, '[') + QByteArray(5000, ']'), M, "orvane/pc1", 0, 0, "not JSON");
        row("inventory of 1 MB", kRoot, "orvane/pc1/info", QByteArray(1 << 20, ' '), M,
            "orvane/pc1", 0, 0, "too large");
        row("cut by the session", kRoot, "orvane/pc1/info", "{}", M, "orvane/pc1", 0, 0,
            "too large", 1 << 20);
        row("watchdog", kRoot, "orvane/pc1/watchdog", R"({"state":"tripped","clearable":true})",
            PlantUpdate::Watchdog, "orvane/pc1");
        row("watchdog garbage", kRoot, "orvane/pc1/watchdog", "\xff\xfe", M, "orvane/pc1", 0, 0,
            "not JSON");
        row("set topic", kRoot, "orvane/pc1/card5/out/3/set", "1", I);
        row("events", kRoot, "orvane/pc1/events", "{}", I, "orvane/pc1");
        row("outside the root", kRoot, "other/pc1/status", "online", I);
        row("the root alone", kRoot, "orvane/pc1", "online", I);
        row("empty level", kRoot, "orvane//status", "online", I);
        row("deeper root", "site/+/+", "site/hall/pc1/status", "online", PlantUpdate::AgentStatus,
            "site/hall/pc1");
        row("fixed root", "orvane/pc1", "orvane/pc1/card1/in/0", "0", PlantUpdate::State,
            "orvane/pc1", 1, 0);
    }
    void parse()
    {
        QFETCH(QString, root);
        QFETCH(QString, topic);
        QFETCH(QByteArray, payload);
        QFETCH(int, size);
        QFETCH(int, kind);
        QFETCH(QString, prefix);
        QFETCH(int, card);
        QFETCH(int, point);
        QFETCH(QString, problem);
        const PlantUpdate u =
            PlantTopics::Parse(root, topic, payload, size < 0 ? int(payload.size()) : size);
        QCOMPARE(int(u.kind), kind);
        if (kind == PlantUpdate::Ignored)
            return;
        QCOMPARE(u.prefix, prefix);
        QCOMPARE(u.card, card);
        QCOMPARE(u.point, point);
        QVERIFY2(u.problem.contains(problem), qPrintable(u.problem));
    }

    void inventory()
    {
        QString problem;
        const std::optional<AgentInventory> info =
            PlantTopics::ParseInfo(Inventory(kBoard5), &problem);
        QVERIFY2(info, qPrintable(problem));
        QCOMPARE(info->host, QString("pc1"));
        QVERIFY(info->simulated);
        const PlantBoardInfo &b = info->boards.at(5);
        QCOMPARE(b.name, QString("QRX-LN64DIO"));
        QCOMPARE(b.inCount, 24);
        QCOMPARE(b.writable, uint64_t(0x18)); // 99 is no output of this board
        QCOMPARE(b.inNames.at(0), QString("Door sensor"));
        QVERIFY(!b.inNames.count(70));
        QCOMPARE(b.outNames.at(1), QString("Pump"));
    }

    void rootProblems_data()
    {
        QTest::addColumn<QString>("root");
        QTest::addColumn<bool>("ok");
        QTest::newRow("default") << "orvane/+" << true;
        QTest::newRow("one agent") << "orvane/pc1" << true;
        QTest::newRow("empty") << "" << false;
        QTest::newRow("hash") << "orvane/#" << false;
        QTest::newRow("plus in a level") << "orvane/pc+" << false;
        QTest::newRow("empty level") << "orvane//x" << false;
        QTest::newRow("trailing slash") << "orvane/" << false;
    }
    void rootProblems()
    {
        QFETCH(QString, root);
        QFETCH(bool, ok);
        QCOMPARE(PlantTopics::RootProblem(root).isEmpty(), ok);
    }

    void setResultIds_data()
    {
        QTest::addColumn<QByteArray>("payload");
        QTest::addColumn<bool>("ok");
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("reason");
        QTest::newRow("echo object")
            << QByteArray(R"({"result":"ok","value":0,"request":{"id":"7"}})") << true << "7"
            << "";
        QTest::newRow("echo text")
            << QByteArray("{\"result\":\"ok\",\"request\":\"{\\\"id\\\":\\\"8\\\"}\"}") << true
            << "8"
            << "";
        QTest::newRow("id beside")
            << QByteArray(R"({"result":"refused","reason":"not writable","id":"9"})") << false
            << "9"
            << "not writable";
        QTest::newRow("plain echo")
            << QByteArray(R"({"result":"refused","request":"1"})") << false << ""
            << "";
    }
    void setResultIds()
    {
        QFETCH(QByteArray, payload);
        QFETCH(bool, ok);
        QFETCH(QString, id);
        QFETCH(QString, reason);
        QString problem;
        const std::optional<PlantSetResult> r = PlantTopics::ParseSetResult(payload, &problem);
        QVERIFY2(r, qPrintable(problem));
        QCOMPARE(r->ok, ok);
        QCOMPARE(r->id, id);
        QCOMPARE(r->reason, reason);
    }

    // An agent seen through its messages: offline keeps it with the time, states before the
    // inventory are kept, an inventory that cannot be read keeps the old one's boards away.
    void agentLife()
    {
        PlantModel model;
        auto apply = [&](const QString &topic, const QByteArray &payload, int64_t now) {
            return model.Apply(PlantTopics::Parse(kRoot, topic, payload, int(payload.size())), now);
        };
        apply("orvane/pc1/card5/in/0", "1", 10);
        apply("orvane/pc1/status", "online", 11);
        // Without an inventory, the boards heard of are listed with the points heard of.
        QCOMPARE(int(model.Agent("orvane/pc1")->ListedBoards().size()), 1);
        QCOMPARE(model.Agent("orvane/pc1")->boards.at(5).Count(PointDir::In), 1);
        apply("orvane/pc1/info", Inventory(kBoard5, "host-a"), 12);
        const PlantAgent *a = model.Agent("orvane/pc1");
        QCOMPARE(a->host(), QString("host-a"));
        QCOMPARE(int(a->ListedBoards().size()), 1);
        QVERIFY(a->boards.at(5).Value(PointDir::In, 0));
        QCOMPARE(a->boards.at(5).PointName(PointDir::Out, 0), QString("Lamp"));
        apply("orvane/pc1/card5/in/0", "7", 13);
        QVERIFY(a->boards.at(5).Value(PointDir::In, 0));
        QCOMPARE(a->malformed, int64_t(1));
        apply("orvane/pc1/status", "offline", 20);
        apply("orvane/pc1/status", "offline", 30);
        QCOMPARE(a->offlineSinceMs, int64_t(20));
        QCOMPARE(a->lastMessageMs, int64_t(30));
        apply("orvane/pc1/card5/status", "offline", 31);
        QVERIFY(!a->boards.at(5).available());
        apply("orvane/pc1/card5/in/0", "", 32);
        QVERIFY(!a->boards.at(5).Known(PointDir::In, 0));
        apply("orvane/pc1/info", "{broken", 33);
        QVERIFY(a->infoProblem.contains("JSON"));
        QCOMPARE(a->host(), QString("host-a")); // the last good inventory stays
        apply("orvane/pc1/info", "", 34);
        QVERIFY(a->ListedBoards().empty());
        // Two agents claiming one host stay two agents.
        apply("orvane/pc2/info", Inventory(kBoard5, "host-a"), 40);
        QCOMPARE(int(model.agents().size()), 2);
    }

    // Made-up topics cannot grow the model without bound.
    void floodBounded()
    {
        PlantModel model;
        for (int i = 0; i < 3000; ++i) {
            const QString topic = QStringLiteral("orvane/pc%1/card%2/in/1").arg(i % 1500).arg(i);
            model.Apply(PlantTopics::Parse(kRoot, topic, "1", 1), i);
        }
        QCOMPARE(int(model.agents().size()), PlantModel::kMaxAgents);
        QCOMPARE(model.dropped(), int64_t(1000)); // pc1000 ... pc1499, twice each
        PlantModel one;
        for (int card = 0; card < 10000; ++card)
            one.Apply(PlantTopics::Parse(kRoot, QStringLiteral("orvane/pc/card%1/in/0").arg(card),
                                         "1", 1),
                      card);
        QCOMPARE(int(one.Agent("orvane/pc")->boards.size()), PlantModel::kMaxBoardsPerAgent);
    }
};

QTEST_GUILESS_MAIN(TestPlantModel)
#include "tst_plantmodel.moc"

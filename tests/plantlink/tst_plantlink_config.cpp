// The plant link's settings, topics and payloads: what the [Mqtt] section accepts and refuses
// (with the file and line), the password file's mode, and the pure topic and payload rules.

#include "FakePlant.h"
#include "PlantTopics.h"
#include "TestBroker.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

class TestPlantLinkConfig : public QObject
{
    Q_OBJECT

private slots:
    void parse_data();
    void parse();
    void passwordFile_data();
    void passwordFile();
    void setTopic_data();
    void setTopic();
    void setPayload_data();
    void setPayload();
    void event_data();
    void event();
    void discovery_data();
    void discovery();
    void setRequests_data();
    void setRequests();

private:
    QTemporaryDir m_dir;
};

void TestPlantLinkConfig::parse_data()
{
    QTest::addColumn<QString>("text"); // the section's lines, from line 2
    QTest::addColumn<QString>("error"); // part of the first error, or empty
    QTest::addColumn<QString>("expect"); // port clientId prefix writable-count, when accepted

    QTest::newRow("defaults") << "Host=broker"
                              << ""
                              << "1883 orvane-pc1 orvane/pc1 0";
    QTest::newRow("tls port") << "Host=b\nCaFile=/etc/hostname"
                              << ""
                              << "8883 orvane-pc1 orvane/pc1 0";
    QTest::newRow("port wins") << "Host=b\nPort=1999\nCaFile=/etc/hostname"
                               << ""
                               << "1999 orvane-pc1 orvane/pc1 0";
    QTest::newRow("writable") << "Host=b\nAllowWrite=1\nWritablePoints=5:out:3 5:out:4, 7:out:*"
                              << ""
                              << "1883 orvane-pc1 orvane/pc1 6";
    QTest::newRow("own names") << "Host=b\nClientId=x y\nTopicPrefix=plant/a b"
                               << ""
                               << "1883 x-y plant/a-b 0";
    QTest::newRow("unknown key") << "Host=b\nHots=c"
                                 << "agent.ini:3: [Mqtt] unknown key \"Hots\""
                                 << "";
    QTest::newRow("twice") << "Host=b\nPort=1\nPort=2"
                           << "agent.ini:4: [Mqtt] Port= given again"
                           << "";
    QTest::newRow("no host") << "Port=1"
                             << "agent.ini:1: [Mqtt] Host= is missing"
                             << "";
    QTest::newRow("port 0") << "Host=b\nPort=0"
                            << "agent.ini:3: [Mqtt] Port=: \"0\" is not"
                            << "";
    QTest::newRow("port text") << "Host=b\nPort=88x"
                               << "agent.ini:3:"
                               << "";
    QTest::newRow("keepalive 2") << "Host=b\nKeepAlive=2"
                                 << "KeepAlive="
                                 << "";
    QTest::newRow("discovery yes") << "Host=b\nDiscovery=yes"
                                   << "neither homeassistant nor off"
                                   << "";
    QTest::newRow("allowwrite 2") << "Host=b\nAllowWrite=2"
                                  << "neither 0 nor 1"
                                  << "";
    QTest::newRow("prefix empty") << "Host=b\nTopicPrefix="
                                  << "the topic prefix is empty"
                                  << "";
    QTest::newRow("prefix slash") << "Host=b\nTopicPrefix=/plant"
                                  << "starts with '/'"
                                  << "";
    QTest::newRow("prefix dollar") << "Host=b\nTopicPrefix=$SYS/x"
                                   << "starts with '$'"
                                   << "";
    QTest::newRow("prefix plus") << "Host=b\nTopicPrefix=a/+/b"
                                 << "holds '+'"
                                 << "";
    QTest::newRow("prefix hash") << "Host=b\nTopicPrefix=a/#"
                                 << "holds '#'"
                                 << "";
    QTest::newRow("prefix nul") << QStringLiteral("Host=b\nTopicPrefix=a") + QChar(0) + u'b'
                                << "holds 'NUL'"
                                << "";
    QTest::newRow("prefix end") << "Host=b\nTopicPrefix=a/"
                                << "ends with '/'"
                                << "";
    QTest::newRow("no board") << "Host=b\nWritablePoints=9:out:1"
                              << "card 9 is not a board"
                              << "";
    QTest::newRow("an input") << "Host=b\nWritablePoints=5:in:3"
                              << "an input cannot be written"
                              << "";
    QTest::newRow("no outputs") << "Host=b\nWritablePoints=2:out:*"
                                << "card 2 has no outputs"
                                << "";
    QTest::newRow("dead point") << "Host=b\nWritablePoints=7:out:4"
                                << "card 7 has no output 4"
                                << "";
    QTest::newRow("point 64") << "Host=b\nWritablePoints=5:out:64"
                              << "card 5 has no output 64"
                              << "";
    QTest::newRow("malformed") << "Host=b\nWritablePoints=5:out"
                               << "is not CARD:out:POINT"
                               << "";
    QTest::newRow("password alone")
        << "Host=b\nPasswordFile=" + m_dir.filePath("pw") << "PasswordFile= needs Username="
        << "";
    QTest::newRow("cert no ca") << "Host=b\nCertFile=/etc/hostname\nKeyFile=" + m_dir.filePath("pw")
                                << "need CaFile="
                                << "";
    QTest::newRow("missing ca") << "Host=b\nCaFile=/nonexistent"
                                << "is not a readable file"
                                << "";
}

void TestPlantLinkConfig::parse()
{
    QFETCH(QString, text);
    QFETCH(QString, error);
    QFETCH(QString, expect);
    WritePrivateFile(m_dir.path(), QStringLiteral("pw"), "secret\n");
    const MqttConfigResult r =
        ParseMqttConfig(QStringLiteral("agent.ini"), 1, IniLines(text), FakeBoards(), "pc1");
    if (!error.isEmpty()) {
        QVERIFY(!r.config);
        QVERIFY2(!r.errors.isEmpty() && r.errors.first().contains(error),
                 qPrintable(r.errors.join(u'\n')));
        return;
    }
    QVERIFY2(r.config, qPrintable(r.errors.join(u'\n')));
    const QString got = QStringLiteral("%1 %2 %3 %4")
                            .arg(r.config->port)
                            .arg(QString(r.config->clientId).replace(u' ', u'-'))
                            .arg(QString(r.config->topicPrefix).replace(u' ', u'-'))
                            .arg(r.config->writable.size());
    QCOMPARE(got, expect);
}

void TestPlantLinkConfig::passwordFile_data()
{
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<int>("mode");
    QTest::addColumn<QByteArray>("password"); // empty: refused

    QTest::newRow("owner only") << QByteArray("s3cret\nnext") << 0600 << QByteArray("s3cret");
    QTest::newRow("group reads") << QByteArray("s3cret") << 0640 << QByteArray("s3cret");
    QTest::newRow("crlf") << QByteArray("pw\r\n") << 0600 << QByteArray("pw");
    QTest::newRow("others read") << QByteArray("s3cret\n") << 0644 << QByteArray();
    QTest::newRow("others write") << QByteArray("s3cret\n") << 0602 << QByteArray();
    QTest::newRow("empty line") << QByteArray("\nsecond") << 0600 << QByteArray();
    QTest::newRow("empty file") << QByteArray() << 0600 << QByteArray();
}

void TestPlantLinkConfig::passwordFile()
{
    QFETCH(QByteArray, content);
    QFETCH(int, mode);
    QFETCH(QByteArray, password);
    const QString path = WritePrivateFile(m_dir.path(), QStringLiteral("password"), content);
    QVERIFY(::chmod(QFile::encodeName(path).constData(), mode_t(mode)) == 0);
    QString error;
    const std::optional<QByteArray> read = ReadPasswordFile(path, &error);
    QCOMPARE(read.value_or(QByteArray()), password);
    QCOMPARE(error.isEmpty(), !password.isEmpty());
    // A directory or a missing file is refused the same way.
    QVERIFY(!ReadPasswordFile(m_dir.path(), &error));
    QVERIFY(!ReadPasswordFile(m_dir.filePath("missing"), &error));
}

void TestPlantLinkConfig::setTopic_data()
{
    QTest::addColumn<QString>("topic");
    QTest::addColumn<int>("card"); // -1: not a set topic of this prefix
    QTest::addColumn<int>("point");

    QTest::newRow("output") << "orvane/pc1/card5/out/3/set" << 5 << 3;
    QTest::newRow("high point") << "orvane/pc1/card12/out/63/set" << 12 << 63;
    QTest::newRow("other pc") << "orvane/pc10/card5/out/3/set" << -1 << 0;
    QTest::newRow("input") << "orvane/pc1/card5/in/3/set" << -1 << 0;
    QTest::newRow("state") << "orvane/pc1/card5/out/3" << -1 << 0;
    QTest::newRow("deeper") << "orvane/pc1/card5/out/3/set/x" << -1 << 0;
    QTest::newRow("sign") << "orvane/pc1/card-5/out/3/set" << -1 << 0;
    QTest::newRow("huge point") << "orvane/pc1/card5/out/300/set" << -1 << 0;
}

void TestPlantLinkConfig::setTopic()
{
    QFETCH(QString, topic);
    QFETCH(int, card);
    QFETCH(int, point);
    const auto target = ParseSetTopic(QStringLiteral("orvane/pc1"), topic);
    QCOMPARE(target.has_value(), card >= 0);
    if (target)
        QCOMPARE(*target, (std::pair<int32_t, int>(card, point)));
}

void TestPlantLinkConfig::setPayload_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("value"); // -1: refused
    for (const char *on : {"1", "ON", "on"})
        QTest::newRow(on) << QByteArray(on) << 1;
    for (const char *off : {"0", "OFF", "off"})
        QTest::newRow(off) << QByteArray(off) << 0;
    for (const char *bad : {"", "On", "true", "1 ", " 1", "2", "01"})
        QTest::newRow(qPrintable(QStringLiteral("bad '%1'").arg(bad))) << QByteArray(bad) << -1;
    QTest::newRow("nul") << QByteArray("1\0", 2) << -1;
}

void TestPlantLinkConfig::setPayload()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, value);
    const std::optional<bool> parsed = ParseSetPayload(payload);
    QCOMPARE(parsed ? int(*parsed) : -1, value);
}

void TestPlantLinkConfig::event_data()
{
    QTest::addColumn<qint64>("time");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("json");

    QTest::newRow("named") << qint64(1796699520123456) << QStringLiteral("Door \"A\"\\\n")
                           << QByteArray("{\"time\": \"2026-12-08T03:12:00.123456Z\", \"card\": 5, "
                                         "\"dir\": \"in\", \"point\": 3, \"value\": 1, \"name\": "
                                         "\"Door \\\"A\\\"\\\\\\n\"}");
    QTest::newRow("no name, whole second")
        << qint64(1796699520000000) << QString()
        << QByteArray("{\"time\": \"2026-12-08T03:12:00.000000Z\", \"card\": 5, \"dir\": \"in\", "
                      "\"point\": 3, \"value\": 1}");
    QTest::newRow("before 1970") << qint64(-1) << QString()
                                 << QByteArray("{\"time\": \"1969-12-31T23:59:59.999999Z\", "
                                               "\"card\": 5, \"dir\": \"in\", \"point\": 3, "
                                               "\"value\": 1}");
}

void TestPlantLinkConfig::event()
{
    QFETCH(qint64, time);
    QFETCH(QString, name);
    QFETCH(QByteArray, json);
    const QByteArray got = EventJson(time, 5, PointDir::In, 3, true, name);
    QCOMPARE(got, json);
    QVERIFY(QJsonDocument::fromJson(got).isObject());
}

void TestPlantLinkConfig::discovery_data()
{
    QTest::addColumn<QString>("extra"); // [Mqtt] lines after Host= and ClientId=
    QTest::addColumn<QString>("node");
    QTest::addColumn<QString>("output"); // the output's component
    QTest::addColumn<bool>("command"); // the output has a command topic
    QTest::newRow("no user: the client id") << ""
                                            << "orvane-pc1_plant__"
                                            << "binary_sensor" << false;
    QTest::newRow("the user name") << "Username=line.4"
                                   << "line_4"
                                   << "binary_sensor" << false;
    QTest::newRow("writable: a switch") << "Username=u\nAllowWrite=1\nWritablePoints=5:out:4"
                                        << "u"
                                        << "switch" << true;
}

void TestPlantLinkConfig::discovery()
{
    QFETCH(QString, extra);
    QFETCH(QString, node);
    QFETCH(QString, output);
    QFETCH(bool, command);
    const MqttConfig config =
        *ParseMqttConfig(QStringLiteral("agent.ini"), 1,
                         IniLines("Host=b\nClientId=orvane-pc1.plant/é\n" + extra), FakeBoards(),
                         "pc1")
             .config;
    QCOMPARE(DiscoveryTopic(config, 5, PointDir::In, 3),
             "homeassistant/binary_sensor/" + node + "/orvane-pc1_plant___card5_in_3/config");
    QCOMPARE(DiscoveryTopic(config, 5, PointDir::Out, 4),
             "homeassistant/" + output + '/' + node + "/orvane-pc1_plant___card5_out_4/config");
    QCOMPARE(OldDiscoveryTopic(config.clientId, 5, PointDir::Out, 4),
             QStringLiteral("homeassistant/switch/orvane-pc1_plant___card5_out_4/config"));
    const QJsonObject o =
        QJsonDocument::fromJson(DiscoveryConfig(config, FakeBoards()[0], PointDir::Out, 4, {},
                                                {"14.0.0", {}, false, 10}))
            .object();
    QCOMPARE(o.contains("command_topic"), command);
    QCOMPARE(o.value("state_topic").toString(), QStringLiteral("orvane/pc1/card5/out/4"));
    QCOMPARE(o.value("availability_mode").toString(), QStringLiteral("all"));
    QCOMPARE(o.value("availability").toArray().at(1).toObject().value("topic").toString(),
             QStringLiteral("orvane/pc1/card5/status"));
    QCOMPARE(o.value("name").toString(), QStringLiteral("Output 4"));
    const QJsonObject device = o.value("device").toObject();
    QCOMPARE(device.value("model").toString(), QStringLiteral("QRX-LM32DIO"));
    QCOMPARE(device.value("via_device").toString(), QStringLiteral("orvane-pc1_plant__"));
    QCOMPARE(o.value("origin").toObject().value("sw").toString(), QStringLiteral("14.0.0"));
}

void TestPlantLinkConfig::setRequests_data()
{
    QTest::addColumn<QByteArray>("payload");
    QTest::addColumn<int>("value"); // -1: refused
    QTest::addColumn<QString>("id");
    QTest::newRow("1") << QByteArray("1") << 1 << "";
    QTest::newRow("OFF") << QByteArray("OFF") << 0 << "";
    QTest::newRow("JSON with id") << QByteArray(R"({"value": 1, "id": "a-7"})") << 1 << "a-7";
    QTest::newRow("JSON, extra fields")
        << QByteArray(R"({"x": [1], "value": "off", "id": 5})") << 0 << "5";
    QTest::newRow("JSON, true") << QByteArray(R"({"value": true})") << 1 << "";
    QTest::newRow("JSON, wrong type") << QByteArray(R"({"value": [1], "id": "b"})") << -1 << "b";
    QTest::newRow("JSON, value 2") << QByteArray(R"({"value": 2})") << -1 << "";
    QTest::newRow("not JSON") << QByteArray("{value") << -1 << "";
    QTest::newRow("deep nesting") << QByteArray(200, '[').prepend('{') << -1 << "";
}

void TestPlantLinkConfig::setRequests()
{
    QFETCH(QByteArray, payload);
    QFETCH(int, value);
    QFETCH(QString, id);
    const SetRequest r = ParseSetRequest(payload);
    QCOMPARE(r.value ? int(*r.value) : -1, value);
    QCOMPARE(r.id, id);
    QCOMPARE(r.problem.isEmpty(), value >= 0);
    const QJsonObject answer =
        QJsonDocument::fromJson(SetResultJson(value >= 0, value == 1, r.problem, payload, r.id))
            .object();
    QCOMPARE(answer.value("result").toString(), value >= 0 ? "ok" : "refused");
    QCOMPARE(answer.value("request").toString().toUtf8(), payload);
    QCOMPARE(answer.value("id").toString(), id);
}

QTEST_GUILESS_MAIN(TestPlantLinkConfig)
#include "tst_plantlink_config.moc"

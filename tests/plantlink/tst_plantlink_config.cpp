// The plant link's settings, topics and payloads: what the [Mqtt] section accepts and refuses
// (with the file and line), the password file's mode, and the pure topic and payload rules.

#include "FakePlant.h"
#include "PlantTopics.h"
#include "TestBroker.h"

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
    void discovery();

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

void TestPlantLinkConfig::discovery()
{
    MqttConfig config =
        *ParseMqttConfig(QStringLiteral("agent.ini"), 1,
                         IniLines("Host=b\nClientId=orvane-pc1.plant/é"), FakeBoards(), "pc1")
             .config;
    QCOMPARE(DiscoveryTopic(config.clientId, 5, PointDir::In, 3),
             QStringLiteral("homeassistant/binary_sensor/orvane-pc1_plant___card5_in_3/config"));
    QCOMPARE(DiscoveryTopic(config.clientId, 5, PointDir::Out, 4),
             QStringLiteral("homeassistant/switch/orvane-pc1_plant___card5_out_4/config"));
    const QJsonObject o =
        QJsonDocument::fromJson(DiscoveryConfig(config, FakeBoards()[0], PointDir::Out, 4, {}))
            .object();
    QCOMPARE(o.value("command_topic").toString(), QStringLiteral("orvane/pc1/card5/out/4/set"));
    QCOMPARE(o.value("state_topic").toString(), QStringLiteral("orvane/pc1/card5/out/4"));
    QCOMPARE(o.value("availability_topic").toString(), QStringLiteral("orvane/pc1/status"));
    QCOMPARE(o.value("name").toString(), QStringLiteral("Card 5 output 4"));
    QCOMPARE(o.value("device").toObject().value("model").toString(), QStringLiteral("QRX-LM32DIO"));
}

QTEST_GUILESS_MAIN(TestPlantLinkConfig)
#include "tst_plantlink_config.moc"

// The Plant Broker settings: the [PlantBroker] section written and read back beside other
// sections, nothing created for a user who never set the broker up, the checks of the fields,
// and the dialog's "Test" against a real Mosquitto: a good login, a wrong password, no broker.

#include "TestBroker.h"

#include "plant/BrokerSettings.h"
#include "plant/PlantBrokerDlg.h"

#include <QLabel>
#include <QLineEdit>
#include <QTemporaryDir>
#include <QtTest>

class TestPlantBroker : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<TestBroker> m_broker;

private slots:
    void initTestCase()
    {
        unsetenv("DBUS_SESSION_BUS_ADDRESS");
        m_broker = std::make_unique<TestBroker>(m_dir.filePath("broker"));
        QString error;
        QVERIFY2(m_broker->Start(&error), qPrintable(error));
    }

    void keptBesideTheOtherSections()
    {
        const QString path = m_dir.filePath("Orvane.ini");
        BrokerSettings none = BrokerSettings::Read(path);
        QVERIFY(!QFile::exists(path)); // reading creates nothing
        QCOMPARE(none.root, QString("orvane/+"));
        QVERIFY(!none.Problem().isEmpty());
        QFile file(path);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("[System]\r\nController_Loading_Mode=2\r\n; a comment\r\n");
        file.close();
        BrokerSettings s;
        s.host = "broker.plant";
        s.port = 8883;
        s.tls = true;
        s.caFile = "/etc/ssl/ca.pem";
        s.user = "plant-window";
        s.root = "site/+/+";
        QString error;
        QVERIFY2(s.Write(path, &error), qPrintable(error));
        const BrokerSettings back = BrokerSettings::Read(path);
        QCOMPARE(back.host, s.host);
        QCOMPARE(back.port, 8883);
        QVERIFY(back.tls);
        QCOMPARE(back.caFile, s.caFile);
        QCOMPARE(back.user, s.user);
        QCOMPARE(back.root, s.root);
        QVERIFY(file.open(QIODevice::ReadOnly));
        const QByteArray text = file.readAll();
        QVERIFY(text.startsWith("[System]\r\nController_Loading_Mode=2\r\n; a comment\r\n"));
        QVERIFY(!text.contains("assword"));
    }

    void problems_data()
    {
        QTest::addColumn<QString>("host");
        QTest::addColumn<bool>("tls");
        QTest::addColumn<QString>("cert");
        QTest::addColumn<QString>("root");
        QTest::addColumn<QString>("problem");
        QTest::newRow("good") << "127.0.0.1" << false << ""
                              << "orvane/+"
                              << "";
        QTest::newRow("no host") << " " << false << ""
                                 << "orvane/+"
                                 << "No broker";
        QTest::newRow("blank in host") << "a b" << false << ""
                                       << "orvane/+"
                                       << "host name";
        QTest::newRow("TLS without CA") << "h" << true << ""
                                        << "orvane/+"
                                        << "CA file";
        QTest::newRow("certificate without key") << "h" << true << "/c"
                                                 << "orvane/+"
                                                 << "its key";
        QTest::newRow("root with #") << "h" << false << ""
                                     << "orvane/#"
                                     << "topic root";
    }
    void problems()
    {
        QFETCH(QString, host);
        QFETCH(bool, tls);
        QFETCH(QString, cert);
        QFETCH(QString, root);
        QFETCH(QString, problem);
        BrokerSettings s;
        s.host = host;
        s.tls = tls;
        s.caFile = tls && !cert.isEmpty() ? "/etc/hostname" : "";
        s.certFile = cert;
        s.root = root;
        if (problem.isEmpty())
            QCOMPARE(s.Problem(), QString());
        else
            QVERIFY2(s.Problem().contains(problem), qPrintable(s.Problem()));
    }

    void testButton_data()
    {
        QTest::addColumn<bool>("broker");
        QTest::addColumn<QString>("password");
        QTest::addColumn<QString>("says");
        QTest::newRow("good login") << true << TestBroker::kPassword << "Connected to 127.0.0.1:";
        QTest::newRow("wrong password") << true << "wrong"
                                        << "refused the login";
        QTest::newRow("no broker") << false << TestBroker::kPassword << "cannot reach";
    }
    void testButton()
    {
        QFETCH(bool, broker);
        QFETCH(QString, password);
        QFETCH(QString, says);
        const QString path = m_dir.filePath("test.ini");
        BrokerSettings s;
        s.host = "127.0.0.1";
        s.port = broker ? m_broker->port() : m_broker->port() + 1;
        s.user = TestBroker::kUser;
        QString error;
        QVERIFY(s.Write(path, &error));
        CVL_PlantBrokerDlg dialog(path);
        dialog.field("Password")->setText(password);
        dialog.OnTest();
        QTRY_VERIFY_WITH_TIMEOUT(dialog.resultLine()->text().contains(says), 12000);
    }
};

QTEST_MAIN(TestPlantBroker)
#include "tst_plantbroker.moc"

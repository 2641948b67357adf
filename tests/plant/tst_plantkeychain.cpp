// The broker password in the desktop's secret store. Run twice by CTest: inside a D-Bus
// session of its own with gnome-keyring unlocked (PLANT_SECRET_STORE=running: the password is
// kept, read back, used by the window without asking, and found in no file under HOME), and
// with no session bus at all (PLANT_SECRET_STORE=none: every call answers within its 5 s with
// a reason, and the window asks for the password).

#include "PlantGenerator.h"
#include "TestBroker.h"

#include "plant/PasswordStore.h"
#include "plant/PlantWnd.h"

#include <QDirIterator>
#include <QElapsedTimer>
#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

namespace {

const QByteArray kSecret = "plant-broker-P4ssw0rd-7f3e";

// Every regular file under `dir` that holds `bytes`.
QStringList FilesHolding(const QString &dir, const QByteArray &bytes)
{
    QStringList found;
    QDirIterator it(dir, QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext()) {
        QFile file(it.next());
        if (file.open(QIODevice::ReadOnly) && file.readAll().contains(bytes))
            found << file.fileName();
    }
    return found;
}

} // namespace

class TestPlantKeychain : public QObject
{
    Q_OBJECT

    bool m_store = qgetenv("PLANT_SECRET_STORE") == "running";

    std::optional<QByteArray> Read(const QString &key, QString *error)
    {
        std::optional<QByteArray> result;
        bool done = false;
        QObject context;
        PasswordStore::Read(key, &context, [&](std::optional<QByteArray> p, const QString &why) {
            result = p;
            *error = why;
            done = true;
        });
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(done, 7000);
        }();
        return result;
    }
    bool Write(const QString &key, const QByteArray &password, QString *error)
    {
        bool ok = false;
        bool done = false;
        QObject context;
        PasswordStore::Write(key, password, &context, [&](bool written, const QString &why) {
            ok = written;
            *error = why;
            done = true;
        });
        [&] {
            QTRY_VERIFY_WITH_TIMEOUT(done, 7000);
        }();
        return ok;
    }

private slots:
    void initTestCase()
    {
        if (!m_store)
            qputenv("DBUS_SESSION_BUS_ADDRESS", "unix:path=/nonexistent/plant-test-bus");
    }

    void keptAndReadBack()
    {
        QString error;
        QElapsedTimer timer;
        timer.start();
        const bool written = Write("orvane@127.0.0.1:1883", kSecret, &error);
        QCOMPARE(written, m_store);
        if (!m_store) {
            QVERIFY(!error.isEmpty());
            QVERIFY(timer.elapsed() < 6500);
            return;
        }
        const std::optional<QByteArray> read = Read("orvane@127.0.0.1:1883", &error);
        QVERIFY2(read, qPrintable(error));
        QCOMPARE(*read, kSecret);
        QVERIFY(!Read("nobody@127.0.0.1:1883", &error));
        QVERIFY(error.contains("no password"));
    }

    // The window reads the password from the store, or asks for it when there is none.
    void windowConnects()
    {
        QTemporaryDir dir;
        TestBroker broker(dir.path());
        QString error;
        QVERIFY2(broker.Start(&error), qPrintable(error));
        const QString key = QStringLiteral("orvane@127.0.0.1:%1").arg(broker.port());
        if (m_store)
            QVERIFY(Write(key, TestBroker::kPassword, &error));
        int asked = 0;
        CVL_PlantWnd::SetPasswordPrompt([&](QWidget *, const QString &) {
            ++asked;
            return std::optional<QByteArray>(TestBroker::kPassword);
        });
        const QString settings = WriteBrokerSettings(dir.path(), broker.port());
        QVERIFY(!settings.isEmpty());
        CVL_PlantWnd wnd(settings);
        QTRY_VERIFY_WITH_TIMEOUT(wnd.connected(), 10000);
        QCOMPARE(asked, m_store ? 0 : 1);
        CVL_PlantWnd::SetPasswordPrompt({});
    }

    void neverInAFile()
    {
        const QString home = QDir::homePath();
        QVERIFY(home.contains("env")); // the test's own HOME, never a person's
        QCOMPARE(FilesHolding(home, kSecret), QStringList());
        QCOMPARE(FilesHolding(home, TestBroker::kPassword), QStringList());
    }
};

QTEST_MAIN(TestPlantKeychain)
#include "tst_plantkeychain.moc"

// Where the settings file and the window layout are kept: beside a portable copy, in the user's
// config folder for an installed one (marked by the install), and the files of earlier versions
// taken over once.
#include "config/Settings.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// Writes `data` to `path`, creating its folder; a null `data` removes the file.
bool Put(const QString &path, const QByteArray &data)
{
    if (data.isNull())
        return !QFileInfo::exists(path) || QFile::remove(path);
    QDir().mkpath(QFileInfo(path).path());
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

QString ConfigFile(const QString &name)
{
    return QDir(QStandardPaths::writableLocation(QStandardPaths::GenericConfigLocation))
        .filePath(name);
}

} // namespace

class TestSettingsPath : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_exeDir;

    QString userIni() const { return ConfigFile("Orvane/Orvane.ini"); }
    QString doubledIni() const { return ConfigFile("Orvane/Orvane/Orvane.ini"); }
    QString oldLayout() const
    {
        return ConfigFile("Local AppWizard-Generated Applications/Orvane.conf");
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void init()
    {
        QVERIFY(QDir(ConfigFile({})).removeRecursively());
        static int n = 0;
        m_exeDir = m_dir.filePath(QStringLiteral("exe%1").arg(++n));
        QVERIFY(QDir().mkpath(m_exeDir));
    }

    void choosesTheFolder_data()
    {
        QTest::addColumn<bool>("iniBeside");
        QTest::addColumn<bool>("marker");
        QTest::addColumn<QString>("folder"); // "" for the executable's own
        QTest::addColumn<bool>("expectBeside");
        QTest::newRow("build tree") << false << false << QString() << true;
        QTest::newRow("portable with its file") << true << false << QString() << true;
        // Whoever can write the installed folder (root) still gets the per-user file.
        QTest::newRow("installed") << false << true << QString() << false;
        QTest::newRow("installed, a file beside wins") << true << true << QString() << true;
        QTest::newRow("folder that cannot be written")
            << false << false << "no/such/folder" << false;
        QString deep;
        while (deep.size() < 300)
            deep += QStringLiteral("/a-rather-long-folder-name");
        QTest::newRow("file beside too long for the record") << true << false << deep << false;
    }

    void choosesTheFolder()
    {
        QFETCH(bool, iniBeside);
        QFETCH(bool, marker);
        QFETCH(QString, folder);
        QFETCH(bool, expectBeside);
        const QString dir = folder.isEmpty() ? m_exeDir : m_exeDir + '/' + folder;
        const QString beside = QDir(dir).filePath("Orvane.ini");
        if (iniBeside)
            QVERIFY(Put(beside, "[System]\n"));
        if (marker)
            QVERIFY(Put(QDir(dir).filePath(Settings::kInstalledMarker), "installed\n"));
        const QString chosen = Settings::ChooseSettingsPath(dir);
        QCOMPARE(chosen, expectBeside ? beside : userIni());
        QCOMPARE(QFileInfo(userIni()).path(), Settings::UserFolder());
        QVERIFY(QFileInfo(QFileInfo(chosen).path()).isDir());
        // Choosing writes no settings file.
        QCOMPARE(QFileInfo::exists(beside), iniBeside);
        QVERIFY(!QFileInfo::exists(userIni()));
    }

    void takesOverTheOldFilesOnce_data()
    {
        QTest::addColumn<QByteArray>("old");
        QTest::addColumn<QByteArray>("current");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("old only") << QByteArray("old\n") << QByteArray() << QByteArray("old\n");
        QTest::newRow("new one kept")
            << QByteArray("old\n") << QByteArray("new\n") << QByteArray("new\n");
        QTest::newRow("empty new one kept")
            << QByteArray("old\n") << QByteArray("") << QByteArray("");
        QTest::newRow("neither") << QByteArray() << QByteArray() << QByteArray();
    }

    void takesOverTheOldFilesOnce()
    {
        QFETCH(QByteArray, old);
        QFETCH(QByteArray, current);
        QFETCH(QByteArray, expected);
        const QString installedDir = m_exeDir;
        QVERIFY(Put(QDir(installedDir).filePath(Settings::kInstalledMarker), "installed\n"));
        const QString newLayout = ConfigFile("Orvane/Orvane.conf");
        QVERIFY(Put(doubledIni(), old));
        QVERIFY(Put(oldLayout(), old));
        QVERIFY(Put(userIni(), current));
        QVERIFY(Put(newLayout, current));

        QCOMPARE(Settings::ChooseSettingsPath(installedDir), userIni());
        QCOMPARE(Settings::LayoutPath(), newLayout);
        QCOMPARE(ReadAll(userIni()), expected);
        QCOMPARE(QFileInfo::exists(userIni()), !expected.isNull());
        QCOMPARE(ReadAll(newLayout), expected);
        QCOMPARE(QFileInfo::exists(newLayout), !expected.isNull());

        // Once: a later change of the old files is not taken again; they stay for an older copy.
        QVERIFY(Put(doubledIni(), "older\n"));
        QVERIFY(Put(oldLayout(), "older\n"));
        Settings::ChooseSettingsPath(installedDir);
        Settings::LayoutPath();
        if (!expected.isNull()) {
            QCOMPARE(ReadAll(userIni()), expected);
            QCOMPARE(ReadAll(newLayout), expected);
        }
    }

    // A portable copy kept its file beside itself before too: the old per-user file stays unused.
    void portableCopyTakesNothingOver()
    {
        QVERIFY(Put(doubledIni(), "[System]\nController_Loading_Mode=1\n"));
        const QString chosen = Settings::ChooseSettingsPath(m_exeDir);
        QCOMPARE(chosen, QDir(m_exeDir).filePath("Orvane.ini"));
        QVERIFY(!QFileInfo::exists(chosen));
        QVERIFY(!QFileInfo::exists(userIni()));
    }
};

QTEST_GUILESS_MAIN(TestSettingsPath)
#include "tst_settingspath.moc"

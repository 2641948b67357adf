// Where the settings file and the window layout are kept: beside a portable copy, in the user's
// config folder for an installed one (marked by the install), and the files of earlier versions
// taken over once.
#include "SmallDisk.h"
#include "config/Settings.h"
#include "device/DeviceLibrary.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <unistd.h>

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

    // The earlier version's file is taken over only when it is a regular file of the user, not
    // a link, of at most 64 MiB; else it is left and said so once. A copy that fails (a full
    // disk) leaves the old file to be read, and says so once.
    void takesOverOnlyTheUsersOwnFile_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::addColumn<QString>("warning"); // a pattern
        QTest::addColumn<bool>("readInPlace"); // the old file is the one chosen
        QTest::newRow("a link") << "link"
                                << "not taken over to .*: it is a symbolic link\\.$" << false;
        QTest::newRow("a FIFO") << "fifo"
                                << ": it is not a regular file\\.$" << false;
        QTest::newRow("3 GB, sparse") << "large"
                                      << ": it is larger than 64 MiB\\.$" << false;
        QTest::newRow("another user's") << "other"
                                        << ": it belongs to another user\\.$" << false;
        QTest::newRow("a full disk") << "full"
                                     << "could not be copied to .*they are read where" << true;
    }
    void takesOverOnlyTheUsersOwnFile()
    {
        QFETCH(QString, kind);
        QFETCH(QString, warning);
        QFETCH(bool, readInPlace);
        QVERIFY(Put(QDir(m_exeDir).filePath(Settings::kInstalledMarker), "installed\n"));
        const QByteArray mode = "[System]\nController_Loading_Mode=1\n";
        std::unique_ptr<SmallDisk> disk;
        const QByteArray old = QFile::encodeName(doubledIni());
        QVERIFY(QDir().mkpath(QFileInfo(doubledIni()).path()));
        if (kind == "link") {
            QVERIFY(Put(m_dir.filePath("target.ini"), mode));
            QVERIFY(QFile::link(m_dir.filePath("target.ini"), doubledIni()));
        } else if (kind == "fifo") {
            QCOMPARE(mkfifo(old.constData(), 0600), 0);
        } else if (kind == "large") {
            QVERIFY(Put(doubledIni(), mode));
            QCOMPARE(truncate(old.constData(), 3'000'000'000LL), 0);
        } else if (kind == "other") {
            if (geteuid() != 0)
                QSKIP("giving a file to another user needs root");
            QVERIFY(Put(doubledIni(), mode));
            QCOMPARE(chown(old.constData(), 65534, 65534), 0);
        } else {
            disk = std::make_unique<SmallDisk>(m_dir.path(), 64);
            if (!disk->isMounted())
                QSKIP("a small disk needs root");
            QVERIFY(QDir(ConfigFile({})).removeRecursively());
            QVERIFY(QDir().mkpath(ConfigFile({})));
            QVERIFY(QFile::link(disk->path(), ConfigFile("Orvane")));
            QVERIFY(Put(doubledIni(), mode));
            QVERIFY(disk->Fill());
        }
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression(warning));
        QTest::failOnWarning(QRegularExpression("."));
        for (int i = 0; i < 2; ++i) // said once
            QCOMPARE(Settings::ChooseSettingsPath(m_exeDir),
                     readInPlace ? doubledIni() : userIni());
        QVERIFY(!QFileInfo::exists(userIni()));
        if (readInPlace)
            QCOMPARE(Settings::ReadLoadingModeText(doubledIni()), QByteArray("1"));
        QFile::remove(ConfigFile("Orvane")); // the link to the small disk, if any
    }

    // A tool never creates a folder or a file: it reads the earlier version's file in place.
    void aToolReadsTheOldFileInPlace()
    {
        QVERIFY(Put(QDir(m_exeDir).filePath(Settings::kInstalledMarker), "installed\n"));
        QCOMPARE(Settings::SettingsPathToRead(m_exeDir), userIni());
        QVERIFY(!QFileInfo::exists(Settings::UserFolder()));
        QVERIFY(Put(doubledIni(), "[System]\n"));
        QCOMPARE(Settings::SettingsPathToRead(m_exeDir), doubledIni());
        QCOMPARE(Settings::SettingsPath(m_exeDir), userIni());
        QVERIFY(!QFileInfo::exists(userIni()));
    }

    // The tools in bin/ beside the package's private folder use the program's folder, found
    // through links.
    void programFolder_data()
    {
        QTest::addColumn<QString>("exe"); // relative to the test's tree
        QTest::addColumn<QString>("expected");
        QTest::newRow("the program's folder") << "usr/lib/orvane"
                                              << "usr/lib/orvane";
        QTest::newRow("a tool in bin/") << "usr/bin"
                                        << "usr/lib/orvane";
        QTest::newRow("through a linked folder") << "link/bin"
                                                 << "usr/lib/orvane";
        QTest::newRow("a portable copy") << "portable"
                                         << "portable";
    }
    void programFolder()
    {
        QFETCH(QString, exe);
        QFETCH(QString, expected);
        const QDir root(m_exeDir);
        QVERIFY(Put(root.filePath("usr/lib/orvane/Orvane.installed"), "installed\n"));
        QVERIFY(root.mkpath("usr/bin") && root.mkpath("portable"));
        QVERIFY(QFile::link(root.filePath("usr"), root.filePath("link")));
        QCOMPARE(Settings::ProgramFolder(root.filePath(exe)),
                 QFileInfo(root.filePath(expected)).canonicalFilePath());
        // Installed, the settings are the user's, not beside the tool in a folder root may write.
        QCOMPARE(Settings::SettingsPath(root.filePath(exe)),
                 exe == "portable"
                     ? QFileInfo(root.filePath("portable")).canonicalFilePath() + "/Orvane.ini"
                     : userIni());
    }

    // One search order for the program and its tools: the environment, the configured file,
    // the vendor's folder outside the package, then the package's own library.
    void deviceLibraryOrder_data()
    {
        QTest::addColumn<QString>("env");
        QTest::addColumn<QString>("configured");
        QTest::addColumn<bool>("inLocal");
        QTest::addColumn<QString>("exe");
        QTest::addColumn<QString>("expected"); // relative to the test's tree, or absolute
        QTest::newRow("the environment first") << "/env/lib.so"
                                               << "/cfg/lib.so" << true << "usr/bin"
                                               << "/env/lib.so";
        QTest::newRow("then the configured file") << ""
                                                  << "/cfg/lib.so" << true << "usr/bin"
                                                  << "/cfg/lib.so";
        QTest::newRow("then the vendor's folder") << ""
                                                  << "" << true << "usr/bin"
                                                  << "local/LIB";
        QTest::newRow("a tool: the package's folder") << ""
                                                      << "" << false << "usr/bin"
                                                      << "usr/lib/orvane/LIB";
        QTest::newRow("the program: beside it") << ""
                                                << "" << false << "usr/lib/orvane"
                                                << "usr/lib/orvane/LIB";
    }
    void deviceLibraryOrder()
    {
        QFETCH(QString, env);
        QFETCH(QString, configured);
        QFETCH(bool, inLocal);
        QFETCH(QString, exe);
        QFETCH(QString, expected);
        const QDir root(m_exeDir);
        const QString lib = DeviceLibrary::FileName();
        QVERIFY(Put(root.filePath("usr/lib/orvane/" + lib), "package\n"));
        QVERIFY(root.mkpath("usr/bin") && root.mkpath("local"));
        if (inLocal)
            QVERIFY(Put(root.filePath("local/" + lib), "vendor\n"));
        qputenv("ORVANE_DEVICE_LIBRARY", env.toLocal8Bit());
        const QString found =
            Settings::DeviceLibraryPath(root.filePath(exe), configured, root.filePath("local"));
        qunsetenv("ORVANE_DEVICE_LIBRARY");
        expected.replace("LIB", lib);
        QCOMPARE(QDir::cleanPath(found),
                 expected.startsWith('/') ? expected : root.filePath(expected));
    }

    void deviceLibraryKeyIsRead()
    {
        const QString ini = QDir(m_exeDir).filePath("Orvane.ini");
        QCOMPARE(Settings::ReadDeviceLibrary(ini), QString());
        QVERIFY(Put(ini, "[system]\ndevicelibrary = \"/opt/vendor/lib.so\"\n"));
        QCOMPARE(Settings::ReadDeviceLibrary(ini), QString("/opt/vendor/lib.so"));
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

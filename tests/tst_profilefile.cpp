// The profile-file reader and writer, and the settings file built on them.
#include "config/ProfileFile.h"
#include "config/Settings.h"

#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

void WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    QVERIFY(f.open(QIODevice::WriteOnly));
    f.write(data);
}

} // namespace

class TestProfileFile : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString path() const { return m_dir.filePath("Orvane.ini"); }

private slots:
    void cleanup() { QFile::remove(path()); }

    void reads_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<QByteArray>("expected");
        const QByteArray d = "<default>";
        QTest::newRow("plain") << QByteArray("[System]\nController_Loading_Mode=1\n")
                               << QByteArray("1");
        QTest::newRow("case-insensitive names")
            << QByteArray("[SYSTEM]\ncontroller_loading_mode=1\n") << QByteArray("1");
        QTest::newRow("blanks around")
            << QByteArray("  [ System ]  \n  Controller_Loading_Mode =  7  \n") << QByteArray("7");
        QTest::newRow("quotes dropped")
            << QByteArray("[System]\nController_Loading_Mode=\" 1 \"\n") << QByteArray(" 1 ");
        QTest::newRow("single quotes dropped")
            << QByteArray("[System]\nController_Loading_Mode='1'\n") << QByteArray("1");
        QTest::newRow("lone quote kept")
            << QByteArray("[System]\nController_Loading_Mode=\"1\n") << QByteArray("\"1");
        QTest::newRow("empty value")
            << QByteArray("[System]\nController_Loading_Mode=\n") << QByteArray("");
        QTest::newRow("missing key") << QByteArray("[System]\nOther=1\n") << d;
        QTest::newRow("key in another section")
            << QByteArray("[Other]\nController_Loading_Mode=1\n[System]\n") << d;
        QTest::newRow("commented key") << QByteArray("[System]\n;Controller_Loading_Mode=1\n") << d;
        QTest::newRow("first key wins")
            << QByteArray("[System]\nController_Loading_Mode=1\nController_Loading_Mode=2\n")
            << QByteArray("1");
        QTest::newRow("first section wins")
            << QByteArray(
                   "[System]\nController_Loading_Mode=1\n[System]\nController_Loading_Mode=2\n")
            << QByteArray("1");
        QTest::newRow("key only in second section")
            << QByteArray("[System]\n[System]\nController_Loading_Mode=2\n") << d;
        QTest::newRow("CRLF") << QByteArray("[System]\r\nController_Loading_Mode=1\r\n")
                              << QByteArray("1");
        QTest::newRow("byte-order mark")
            << QByteArray("\xEF\xBB\xBF[System]\nController_Loading_Mode=1") << QByteArray("1");
        QTest::newRow("no line end")
            << QByteArray("[System]\nController_Loading_Mode=0") << QByteArray("0");
        QTest::newRow("long value cut to 259")
            << QByteArray("[System]\nController_Loading_Mode=" + QByteArray(400, '9') + "\n")
            << QByteArray(259, '9');
        QTest::newRow("binary garbage") << QByteArray("\x00\xff\x01[\x02=\n\n=\x7f", 10) << d;
        QTest::newRow("NUL ends the value") << QByteArray("[System]\nController_Loading_Mode=1\0"
                                                          "2\n",
                                                          38)
                                            << QByteArray("1");
    }

    void reads()
    {
        QFETCH(QByteArray, content);
        QFETCH(QByteArray, expected);
        WriteAll(path(), content);
        QCOMPARE(ReadProfileValue("System", "Controller_Loading_Mode", "<default>", path()),
                 expected);
    }

    void missingFileOrFolderReadsDefault()
    {
        QCOMPARE(ReadProfileValue("System", "K", "d", path()), QByteArray("d"));
        QVERIFY(QDir(m_dir.path()).mkdir("folder.ini"));
        QCOMPARE(ReadProfileValue("System", "K", "d", m_dir.filePath("folder.ini")),
                 QByteArray("d"));
    }

    void writes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::newRow("new file") << QByteArray()
                                  << QByteArray("[System]\nController_Loading_Mode=1\n");
        QTest::newRow("replaces the value, keeps the rest")
            << QByteArray("; note\n[System]\nA=x\ncontroller_loading_mode = 0\nB=y\n[Other]\nC=z\n")
            << QByteArray("; note\n[System]\nA=x\nController_Loading_Mode=1\nB=y\n[Other]\nC=z\n");
        QTest::newRow("adds the key after the section's last line")
            << QByteArray("[System]\nA=x\n\n[Other]\nC=z\n")
            << QByteArray("[System]\nA=x\nController_Loading_Mode=1\n\n[Other]\nC=z\n");
        QTest::newRow("adds the section at the end")
            << QByteArray("[Other]\nC=z")
            << QByteArray("[Other]\nC=z\n[System]\nController_Loading_Mode=1\n");
        QTest::newRow("keeps CRLF")
            << QByteArray("[System]\r\nController_Loading_Mode=0\r\nA=x\r\n")
            << QByteArray("[System]\r\nController_Loading_Mode=1\r\nA=x\r\n");
        QTest::newRow("keeps the byte-order mark")
            << QByteArray("\xEF\xBB\xBF[System]\nController_Loading_Mode=0\n")
            << QByteArray("\xEF\xBB\xBF[System]\nController_Loading_Mode=1\n");
        QTest::newRow("only the first key changes")
            << QByteArray("[System]\nController_Loading_Mode=0\nController_Loading_Mode=5\n")
            << QByteArray("[System]\nController_Loading_Mode=1\nController_Loading_Mode=5\n");
    }

    void writes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        if (!before.isNull())
            WriteAll(path(), before);
        QVERIFY(WriteProfileValue("System", "Controller_Loading_Mode", "1", path()));
        QCOMPARE(ReadAll(path()), after);
    }

    void refusesWhatItCannotWrite()
    {
        const QByteArray content = "[System]\nController_Loading_Mode=0\n";
        WriteAll(path(), content);
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::ReadUser);
        QVERIFY(!WriteProfileValue("System", "Controller_Loading_Mode", "1", path()));
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        QCOMPARE(ReadAll(path()), content);

        const QString folder = m_dir.filePath("folder.ini");
        QDir().mkdir(folder);
        QVERIFY(!WriteProfileValue("System", "K", "1", folder));
        QVERIFY(QFileInfo(folder).isDir());
    }

    void atoi_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("value");
        QTest::newRow("1") << QByteArray("1") << 1;
        QTest::newRow("1abc") << QByteArray("1abc") << 1;
        QTest::newRow("abc") << QByteArray("abc") << 0;
        QTest::newRow("-1") << QByteArray("-1") << -1;
        QTest::newRow("blanks and plus") << QByteArray("  +5") << 5;
        QTest::newRow("sign alone") << QByteArray("-") << 0;
        QTest::newRow("hex is not read") << QByteArray("0x10") << 0;
        QTest::newRow("overflow saturates") << QByteArray("99999999999") << INT_MAX;
        QTest::newRow("underflow saturates") << QByteArray("-99999999999") << INT_MIN;
    }

    void atoi()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, value);
        QCOMPARE(Atoi(text), value);
    }

    void startupCreatesAndReads_data()
    {
        QTest::addColumn<QByteArray>("content");
        QTest::addColumn<int>("mode");
        QTest::addColumn<QByteArray>("fileAfter");
        QTest::newRow("missing file is created with 0")
            << QByteArray() << 0 << QByteArray("[System]\nController_Loading_Mode=0\n");
        QTest::newRow("no key") << QByteArray("[System]\n") << 0 << QByteArray("[System]\n");
        QTest::newRow("stored 1") << QByteArray("[System]\nController_Loading_Mode=1\n") << 1
                                  << QByteArray("[System]\nController_Loading_Mode=1\n");
        QTest::newRow("1abc") << QByteArray("[System]\nController_Loading_Mode=1abc\n") << 1
                              << QByteArray("[System]\nController_Loading_Mode=1abc\n");
        QTest::newRow("abc") << QByteArray("[System]\nController_Loading_Mode=abc\n") << 0
                             << QByteArray("[System]\nController_Loading_Mode=abc\n");
        QTest::newRow("empty value keeps the mode")
            << QByteArray("[System]\nController_Loading_Mode=\n") << 0
            << QByteArray("[System]\nController_Loading_Mode=\n");
    }

    void startupCreatesAndReads()
    {
        QFETCH(QByteArray, content);
        QFETCH(int, mode);
        QFETCH(QByteArray, fileAfter);
        if (!content.isNull())
            WriteAll(path(), content);
        int32_t loadingMode = 0;
        Settings::LoadAtStartup(path(), &loadingMode);
        QCOMPARE(loadingMode, mode);
        QCOMPARE(ReadAll(path()), fileAfter);
    }

    void settingsPathFallsBackToTheUserFolder()
    {
        QStandardPaths::setTestModeEnabled(true);
        QCOMPARE(Settings::ChooseSettingsPath(m_dir.path()), path());
        // A folder nobody can write (root could, so use one that does not exist).
        const QString fallback = Settings::ChooseSettingsPath(m_dir.filePath("no/such/folder"));
        QVERIFY(fallback.endsWith("/Orvane.ini"));
        QVERIFY(!fallback.startsWith(m_dir.path()));
        QVERIFY(QFileInfo(QFileInfo(fallback).path()).isDir());
    }
};

QTEST_GUILESS_MAIN(TestProfileFile)
#include "tst_profilefile.moc"

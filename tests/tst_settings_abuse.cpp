// The settings file abused: missing, read-only, a folder or a pipe in its place, very long, binary
// garbage, CRLF line ends, a byte-order mark, the key or the section twice. Each file is read and
// written through the profile functions, then met by a real start-up and by System Environment
// Setup opened from the started frame. Reads follow the profile rules, a write changes the one
// line and keeps every other byte, and a file that cannot be written stays as it was.
// The single rules (quotes, blanks, case, a NUL, 259 characters) are in tst_profilefile.cpp.
// Then a disk with no room, where no write may replace or create the file, and links planted
// by another user, which a write never follows, and files of another owner, which keep their
// owner and mode or are left alone.
#include "FakeDevice.h"
#include "FaultsOperator.h"
#include "ScriptedMessageBoxes.h"
#include "app/Views.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QtTest>

#include <csignal>
#include <sys/mount.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

// The rows name only what differs from the defaults; every other member keeps its default.
#pragma GCC diagnostic ignored "-Wmissing-field-initializers"

namespace {

const QByteArray kKeyLine = "Controller_Loading_Mode=";

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// About `bytes` of other sections and keys, every line ended by `eol`.
QByteArray OtherSections(qsizetype bytes, const QByteArray &eol = "\n")
{
    QByteArray text;
    text.reserve(bytes + 64);
    for (int i = 0; text.size() < bytes; ++i) {
        if (i % 100 == 0)
            text += "[Section" + QByteArray::number(i / 100) + ']' + eol;
        text +=
            "Key" + QByteArray::number(i) + "=some value of line " + QByteArray::number(i) + eol;
    }
    return text;
}

// Bytes of every value, NUL, brackets and line ends among them (none of its lines happens to
// name the section "System").
QByteArray Garbage(qsizetype bytes)
{
    QRandomGenerator random(8);
    QByteArray data(bytes, '\0');
    for (char &c : data)
        c = char(random.bounded(256));
    return data;
}

// The names in a folder, to see that a failed write left nothing behind.
QStringList Names(const QString &folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

constexpr uid_t kNobody = 65534;

// While it lives the process acts as `uid` (and the group of the same number) for every file
// it touches; root only.
class ActingAs
{
public:
    explicit ActingAs(uid_t uid)
    {
        if (uid != 0 && (setegid(gid_t(uid)) != 0 || seteuid(uid) != 0))
            qFatal("cannot act as user %u", unsigned(uid));
    }
    ~ActingAs()
    {
        if (seteuid(0) != 0 || setegid(0) != 0)
            qFatal("cannot act as root again");
    }
};

} // namespace

// One abused file and what every reader and writer makes of it.
struct Abuse
{
    enum Kind { Plain, Missing, ReadOnly, Folder, Link, Fifo };
    Kind kind = Plain;
    QByteArray content;

    QByteArray read; // ReadProfileValue with the default "<default>"
    int startMode = 0; // the first DXS_devSysLoad's mode
    QByteArray afterStart; // the file after start-up; null: unchanged
    int dialogShows = 1; // the selection System Environment Setup opens with
    QByteArray afterAuto; // the file after "0 : Auto" was stored; null: refused, unchanged
};
Q_DECLARE_METATYPE(Abuse)

class TestSettingsAbuse : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

    QString path() const { return m_dir.filePath(QStringLiteral("Orvane.ini")); }
    QString target() const { return m_dir.filePath(QStringLiteral("elsewhere.ini")); }

    // Puts the abused file in place.
    void lay(const Abuse &a)
    {
        if (a.kind == Abuse::Missing)
            return;
        if (a.kind == Abuse::Folder) {
            QVERIFY(QDir().mkpath(path()));
            return;
        }
        if (a.kind == Abuse::Fifo) {
            QCOMPARE(mkfifo(QFile::encodeName(path()).constData(), 0600), 0);
            return;
        }
        const QString file = a.kind == Abuse::Link ? target() : path();
        if (a.kind == Abuse::Link)
            QVERIFY(QFile::link(target(), path()));
        QFile f(file);
        QVERIFY(f.open(QIODevice::WriteOnly));
        QCOMPARE(f.write(a.content), a.content.size());
        f.close();
        if (a.kind == Abuse::ReadOnly)
            QVERIFY(QFile::setPermissions(path(),
                                          QFile::ReadOwner | QFile::ReadGroup | QFile::ReadOther));
    }

    // The file is what it was laid as, or `expected` when that is not null.
    void checkFile(const Abuse &a, const QByteArray &expected)
    {
        if (a.kind == Abuse::Folder) {
            QVERIFY(QFileInfo(path()).isDir());
            QVERIFY(QDir(path()).isEmpty());
            return;
        }
        if (a.kind == Abuse::Fifo) {
            struct stat st;
            QCOMPARE(stat(QFile::encodeName(path()).constData(), &st), 0);
            QVERIFY(S_ISFIFO(st.st_mode));
            return;
        }
        const QByteArray now = ReadAll(path());
        const QByteArray want = expected.isNull() ? a.content : expected;
        if (now != want) // a short message for files of megabytes
            QFAIL(qPrintable(
                QStringLiteral("file differs: %1 bytes, expected %2; first "
                               "difference at %3")
                    .arg(now.size())
                    .arg(want.size())
                    .arg(std::mismatch(now.begin(), now.end(), want.begin(), want.end()).first -
                         now.begin())));
        if (a.kind == Abuse::ReadOnly)
            QVERIFY(!(QFileInfo(path()).permissions() & QFile::WriteOwner));
        if (a.kind == Abuse::Link)
            QCOMPARE(QFileInfo(path()).symLinkTarget(), target());
    }

    static void addRows()
    {
        QTest::addColumn<Abuse>("a");
        const QByteArray system1 = "[System]\n" + kKeyLine + "1\n";
        const QByteArray system0 = "[System]\n" + kKeyLine + "0\n";

        QTest::newRow("missing") << Abuse{.kind = Abuse::Missing,
                                          .read = "<default>",
                                          .afterStart = system0,
                                          .dialogShows = 0,
                                          .afterAuto = system0};
        QTest::newRow("empty") << Abuse{.content = "", .read = "<default>", .afterAuto = system0};
        QTest::newRow("read-only") << Abuse{
            .kind = Abuse::ReadOnly, .content = "; kept\n" + system1, .read = "1", .startMode = 1};
        QTest::newRow("read-only, no key")
            << Abuse{.kind = Abuse::ReadOnly, .content = "[Other]\nA=1", .read = "<default>"};
        // The link stays, and the file it names is written.
        QTest::newRow("a link to the file") << Abuse{.kind = Abuse::Link,
                                                     .content = "; kept\n" + system1,
                                                     .read = "1",
                                                     .startMode = 1,
                                                     .afterAuto = "; kept\n" + system0};
        QTest::newRow("a folder in its place") << Abuse{.kind = Abuse::Folder, .read = "<default>"};
        // Opened, a pipe would hold the start-up until someone wrote to it.
        QTest::newRow("a pipe in its place") << Abuse{.kind = Abuse::Fifo, .read = "<default>"};

        const QByteArray tenMb = OtherSections(10 * 1024 * 1024);
        QTest::newRow("10 MB, the key last") << Abuse{
            .content = tenMb + system1, .read = "1", .startMode = 1, .afterAuto = tenMb + system0};
        QTest::newRow("10 MB, the key first") << Abuse{
            .content = system1 + tenMb, .read = "1", .startMode = 1, .afterAuto = system0 + tenMb};
        const QByteArray oneLine(10 * 1024 * 1024, 'x');
        QTest::newRow("10 MB in one line") << Abuse{
            .content = oneLine, .read = "<default>", .afterAuto = oneLine + "\n" + system0};
        // Past what the reader takes for a profile file: nothing read, nothing written.
        const QByteArray huge = OtherSections(65 * 1024 * 1024) + system1;
        QTest::newRow("65 MB") << Abuse{.content = huge, .read = "<default>"};

        const QByteArray garbage = Garbage(64 * 1024);
        const QByteArray garbageEol = garbage.indexOf("\r\n") + 1 == garbage.indexOf('\n')
            ? QByteArray("\r\n")
            : QByteArray("\n");
        QTest::newRow("binary garbage")
            << Abuse{.content = garbage,
                     .read = "<default>",
                     .afterAuto = garbage + (garbage.endsWith('\n') ? "" : garbageEol) +
                         "[System]" + garbageEol + kKeyLine + "0" + garbageEol};
        const QByteArray garbageFirst = garbage + "\n" + system1;
        QTest::newRow("binary garbage, then the key")
            << Abuse{.content = garbageFirst,
                     .read = "1",
                     .startMode = 1,
                     .afterAuto = garbage + "\n" + system0};

        QTest::newRow("CRLF") << Abuse{
            .content = "[Other]\r\nA=1\r\n[System]\r\n" + kKeyLine + "1\r\nB=2\r\n",
            .read = "1",
            .startMode = 1,
            .afterAuto = "[Other]\r\nA=1\r\n[System]\r\n" + kKeyLine + "0\r\nB=2\r\n"};
        QTest::newRow("CRLF, no key")
            << Abuse{.content = "[System]\r\nB=2\r\n\r\n[Other]\r\nA=1\r\n",
                     .read = "<default>",
                     .afterAuto = "[System]\r\nB=2\r\n" + kKeyLine + "0\r\n\r\n[Other]\r\nA=1\r\n"};
        QTest::newRow("byte-order mark") << Abuse{.content = "\xEF\xBB\xBF" + system1,
                                                  .read = "1",
                                                  .startMode = 1,
                                                  .afterAuto = "\xEF\xBB\xBF" + system0};
        QTest::newRow("byte-order mark, CRLF, no key")
            << Abuse{.content = "\xEF\xBB\xBF[System]\r\n",
                     .read = "<default>",
                     .afterAuto = "\xEF\xBB\xBF[System]\r\n" + kKeyLine + "0\r\n"};

        QTest::newRow("the key twice") << Abuse{.content = system1 + kKeyLine + "5\n",
                                                .read = "1",
                                                .startMode = 1,
                                                .afterAuto = system0 + kKeyLine + "5\n"};
        QTest::newRow("the section twice")
            << Abuse{.content = system1 + "[Other]\nA=1\n[system]\n" + kKeyLine + "5\n",
                     .read = "1",
                     .startMode = 1,
                     .afterAuto = system0 + "[Other]\nA=1\n[system]\n" + kKeyLine + "5\n"};
        QTest::newRow("the section twice, the key in the second")
            << Abuse{.content = "[System]\nA=1\n" + system1,
                     .read = "<default>",
                     .afterAuto = "[System]\nA=1\n" + kKeyLine + "0\n" + system1};
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
    }

    void cleanup()
    {
        QFile::setPermissions(path(), QFile::ReadOwner | QFile::WriteOwner);
        QFile::remove(path());
        QDir(path()).removeRecursively();
        QFile::remove(target());
    }

    void profileFunctions_data() { addRows(); }

    void profileFunctions()
    {
        QFETCH(Abuse, a);
        lay(a);
        QCOMPARE(ReadProfileValue("System", "Controller_Loading_Mode", "<default>", path()),
                 a.read);
        const bool written = WriteProfileValue("System", "Controller_Loading_Mode", "0", path());
        QCOMPARE(written, !a.afterAuto.isNull());
        checkFile(a, a.afterAuto);
        QCOMPARE(ReadProfileValue("System", "Controller_Loading_Mode", "<default>", path()),
                 written ? QByteArray("0") : a.read);
    }

    void startUpAndEnvironmentSetup_data() { addRows(); }

    void startUpAndEnvironmentSetup()
    {
        QFETCH(Abuse, a);
        lay(a);
        FakeDevice fake;
        fake.boards = {FakeBoard{}};
        ScriptedMessageBoxes boxes;
        auto frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(frame->OnCreate(), 0);
        QCOMPARE(QString::fromLocal8Bit(frame->boardModel().record().settingsPath), path());
        QCOMPARE(fake.callsOf("DXS_devSysLoad"),
                 QStringList{QStringLiteral("DXS_devSysLoad(%1)").arg(a.startMode)});
        checkFile(a, a.afterStart);

        int shown = -2;
        const QString title =
            FaultsOperator::RunModal(frame->commandAction(ID_ENV_SETUP), [&](QDialog *d) {
                auto *dialog = qobject_cast<CVL_SysCfgDlg *>(d);
                shown = dialog->loadingModeList()->currentIndex();
                dialog->loadingModeList()->setCurrentIndex(0);
                dialog->okButton()->click();
            });
        QCOMPARE(title, QString("System Environment Setup"));
        QCOMPARE(shown, a.dialogShows);
        QCOMPARE(boxes.texts(),
                 a.afterAuto.isNull() ? QStringList{"Fail! Write Settings File..."}
                                      : QStringList());
        checkFile(a, a.afterAuto);
        // The running program keeps the mode it started with.
        QCOMPARE(frame->loadingMode(), a.startMode);
        frame.reset();
        FaultsOperator::Settle();
    }

    // No room left: a small file system filled to the last block (where one can be mounted),
    // or a file size limit that stops every write after a few bytes. A write whose data did not
    // all reach the disk never replaces the file nor leaves one behind, and the caller hears
    // of it: start-up goes on with mode 0, System Environment Setup reports and stays open.
    void fullDisk_data()
    {
        QTest::addColumn<bool>("mounted"); // a full file system, else a file size limit
        QTest::addColumn<QByteArray>("content"); // the file before; null: none
        const QByteArray kept = "; kept\n[System]\n" + kKeyLine + "1\n";
        QTest::newRow("full file system") << true << kept;
        QTest::newRow("full file system, first start") << true << QByteArray();
        QTest::newRow("file size limit") << false << kept;
        QTest::newRow("file size limit, first start") << false << QByteArray();
    }

    void fullDisk()
    {
        QFETCH(bool, mounted);
        QFETCH(QByteArray, content);
        const QString folder = m_dir.filePath(QStringLiteral("full"));
        QVERIFY(QDir().mkpath(folder));
        const QString file = QDir(folder).filePath(QStringLiteral("Orvane.ini"));
        auto unmount = qScopeGuard([&] {
            umount2(QFile::encodeName(folder).constData(), MNT_DETACH);
            QDir(folder).removeRecursively();
        });
        if (mounted &&
            mount("tmpfs", QFile::encodeName(folder).constData(), "tmpfs", 0, "size=64k") != 0)
            QSKIP("no tmpfs can be mounted here (needs root); the size limit rows stand in");
        if (!content.isNull()) {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            QCOMPARE(f.write(content), content.size());
        }
        if (mounted) {
            QFile filler(QDir(folder).filePath(QStringLiteral("filler")));
            QVERIFY(filler.open(QIODevice::WriteOnly | QIODevice::Unbuffered));
            const QByteArray block(512, 'x');
            while (filler.write(block) == block.size()) {
            }
        }
        const QStringList names = Names(folder);
        struct rlimit old;
        QCOMPARE(getrlimit(RLIMIT_FSIZE, &old), 0);
        auto unlimit = qScopeGuard([&] { setrlimit(RLIMIT_FSIZE, &old); });
        if (!mounted) {
            std::signal(SIGXFSZ, SIG_IGN); // the write fails with EFBIG instead
            const struct rlimit limit = {8, old.rlim_max};
            QCOMPARE(setrlimit(RLIMIT_FSIZE, &limit), 0);
        }
        auto unchanged = [&] {
            return Names(folder) == names && (content.isNull() || ReadAll(file) == content);
        };

        QVERIFY(!WriteProfileValue("System", "Controller_Loading_Mode", "0", file));
        QVERIFY(unchanged());

        FakeDevice fake;
        fake.boards = {FakeBoard{}};
        ScriptedMessageBoxes boxes;
        auto frame = std::make_unique<CVL_MainFrame>(folder);
        QCOMPARE(frame->OnCreate(), 0);
        QCOMPARE(QString::fromLocal8Bit(frame->boardModel().record().settingsPath), file);
        QCOMPARE(fake.callsOf("DXS_devSysLoad"),
                 QStringList{QStringLiteral("DXS_devSysLoad(%1)").arg(content.isNull() ? 0 : 1)});
        QVERIFY(unchanged());

        bool openAfterOk = false;
        FaultsOperator::RunModal(frame->commandAction(ID_ENV_SETUP), [&](QDialog *d) {
            auto *dialog = qobject_cast<CVL_SysCfgDlg *>(d);
            dialog->loadingModeList()->setCurrentIndex(0);
            dialog->okButton()->click();
            openAfterOk = dialog->isVisible();
        });
        QVERIFY(openAfterOk);
        QCOMPARE(boxes.texts(), QStringList{"Fail! Write Settings File..."});
        QVERIFY(unchanged());
        unlimit.dismiss();
        setrlimit(RLIMIT_FSIZE, &old);
        frame.reset();
        FaultsOperator::Settle();
    }

    // Orvane.ini as a link, or another user's file: a write follows only the running user's
    // own links and keeps the owner and mode of the file it replaces; where it cannot keep the
    // owner, or the link is someone else's, it refuses and leaves everything as it was.
    void plantedLinks_data()
    {
        QTest::addColumn<uid_t>("writer");
        QTest::addColumn<bool>("link"); // Orvane.ini is a link to the file, else the file
        QTest::addColumn<uid_t>("linkOwner");
        QTest::addColumn<uid_t>("fileOwner");
        QTest::addColumn<int>("fileMode");
        QTest::addColumn<bool>("written");
        QTest::newRow("our link to our file") << 0u << true << 0u << 0u << 0640 << true;
        QTest::newRow("our link to another user's private file")
            << 0u << true << 0u << kNobody << 0600 << true;
        QTest::newRow("another user's link to our file")
            << 0u << true << kNobody << 0u << 0644 << false;
        QTest::newRow("another user's link to their file")
            << 0u << true << kNobody << kNobody << 0600 << false;
        QTest::newRow("another user's file, written by root")
            << 0u << false << 0u << kNobody << 0666 << true;
        QTest::newRow("a user's own link to their own file")
            << kNobody << true << kNobody << kNobody << 0640 << true;
        QTest::newRow("a user's own link to root's writable file")
            << kNobody << true << kNobody << 0u << 0666 << false;
        QTest::newRow("root's writable file, written by a user")
            << kNobody << false << 0u << 0u << 0666 << false;
    }

    void plantedLinks()
    {
        QFETCH(uid_t, writer);
        QFETCH(bool, link);
        QFETCH(uid_t, linkOwner);
        QFETCH(uid_t, fileOwner);
        QFETCH(int, fileMode);
        QFETCH(bool, written);
        if (geteuid() != 0)
            QSKIP("files of other users need root");
        QTemporaryDir shared; // a folder everyone may write, as a careless setup has
        QCOMPARE(chmod(QFile::encodeName(shared.path()).constData(), 0777), 0);
        const QString ini = QDir(shared.path()).filePath(QStringLiteral("Orvane.ini"));
        const QString file = link ? QDir(shared.path()).filePath(QStringLiteral("target")) : ini;
        const QByteArray before = "[System]\n" + kKeyLine + "1\n";
        const QByteArray encoded = QFile::encodeName(file);
        {
            QFile f(file);
            QVERIFY(f.open(QIODevice::WriteOnly));
            f.write(before);
        }
        QCOMPARE(chown(encoded.constData(), fileOwner, gid_t(fileOwner)), 0);
        QCOMPARE(chmod(encoded.constData(), mode_t(fileMode)), 0);
        if (link) {
            QVERIFY(QFile::link(file, ini));
            QCOMPARE(lchown(QFile::encodeName(ini).constData(), linkOwner, gid_t(linkOwner)), 0);
        }
        const QStringList names = Names(shared.path());

        bool ok;
        {
            ActingAs as(writer);
            ok = WriteProfileValue("System", "Controller_Loading_Mode", "0", ini);
        }
        QCOMPARE(ok, written);
        QCOMPARE(ReadAll(file), written ? "[System]\n" + kKeyLine + "0\n" : before);
        struct stat st;
        QCOMPARE(lstat(encoded.constData(), &st), 0);
        QVERIFY(S_ISREG(st.st_mode));
        QCOMPARE(st.st_uid, fileOwner);
        QCOMPARE(st.st_gid, gid_t(fileOwner));
        QCOMPARE(int(st.st_mode & 07777), fileMode);
        if (link)
            QCOMPARE(QFileInfo(ini).symLinkTarget(), file);
        QCOMPARE(Names(shared.path()), names);
    }

    // Links that lead nowhere a write could go: a loop, and a chain with someone else's link.
    void linksThatLeadNowhere()
    {
        const QString a = m_dir.filePath(QStringLiteral("a.ini"));
        const QString b = m_dir.filePath(QStringLiteral("b.ini"));
        QVERIFY(QFile::link(b, a));
        QVERIFY(QFile::link(a, b));
        QVERIFY(!WriteProfileValue("System", "Controller_Loading_Mode", "0", a));
        QCOMPARE(ReadProfileValue("System", "Controller_Loading_Mode", "none", a),
                 QByteArray("none"));
        QVERIFY(QFileInfo(a).isSymLink());
        QFile::remove(a);
        QFile::remove(b);
        if (geteuid() != 0)
            return;
        const QString c = m_dir.filePath(QStringLiteral("c.ini"));
        QVERIFY(QFile::link(b, a));
        QVERIFY(QFile::link(c, b));
        QCOMPARE(lchown(QFile::encodeName(b).constData(), kNobody, kNobody), 0);
        QVERIFY(!WriteProfileValue("System", "Controller_Loading_Mode", "0", a));
        QVERIFY(!QFileInfo::exists(c));
        QFile::remove(a);
        QFile::remove(b);
    }

    // A folder whose settings path does not fit the system record's 260 bytes: the mode that
    // System Environment Setup stores is the one the next start reads.
    void longInstallFolder()
    {
        QString folder = m_dir.path();
        while (folder.toLocal8Bit().size() < 300)
            folder += QStringLiteral("/a-rather-long-folder-name");
        QVERIFY(QDir().mkpath(folder));
        const QString fallback = Settings::ChooseSettingsPath(QStringLiteral("/no/such/folder"));
        QFile::remove(fallback);
        FakeDevice fake;
        fake.boards = {FakeBoard{}};
        ScriptedMessageBoxes boxes;
        for (int start = 0; start < 2; ++start) {
            CVL_MainFrame frame(folder);
            QCOMPARE(frame.OnCreate(), 0);
            QCOMPARE(fake.callsOf("DXS_devSysLoad").value(start),
                     QStringLiteral("DXS_devSysLoad(%1)").arg(start));
            const QString recorded =
                QString::fromLocal8Bit(frame.boardModel().record().settingsPath);
            FaultsOperator::RunModal(frame.commandAction(ID_ENV_SETUP), [](QDialog *d) {
                auto *dialog = qobject_cast<CVL_SysCfgDlg *>(d);
                dialog->loadingModeList()->setCurrentIndex(1);
                dialog->okButton()->click();
            });
            QCOMPARE(boxes.texts(), QStringList());
            // The record holds the whole path of the file start-up read and the dialog wrote.
            QCOMPARE(ReadAll(recorded), "[System]\n" + kKeyLine + "1\n");
        }
        QFile::remove(fallback);
    }
};

QTEST_MAIN(TestSettingsAbuse)
#include "tst_settings_abuse.moc"

// Every file the programs write goes through one writer: the settings file, the point names file
// and the change log's CSV and VCD exports. Here each of them meets what another user, or a
// careless setup, may have put in its place: a link planted in a sticky folder everyone may
// write, a FIFO, a device node, a folder, a chain with someone else's link, a loop, and the
// user's own link to another user's file. The writer refuses with a message, or writes and keeps
// the owner and mode of the file it replaces; a refused write leaves every file as it was.
#include "SecondUser.h"
#include "config/AtomicFile.h"
#include "config/PointNames.h"
#include "config/ProfileFile.h"
#include "config/Settings.h"
#include "diag/ChangeExport.h"

#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <unistd.h>

namespace {

enum class Plant {
    OthersLink, // another user's link to root's private file
    Fifo,
    DeviceNode,
    Folder,
    OthersLinkInChain, // our link to another user's link to root's private file
    Loop,
    OwnLinkToOthersFile, // our link to a file of another user
};

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

QByteArray Name(const QString &path)
{
    return QFile::encodeName(path);
}

struct stat Lstat(const QString &path)
{
    struct stat st = {};
    lstat(Name(path).constData(), &st);
    return st;
}

// Writes a small file through `caller`, as the program does: the settings' loading mode, a
// point name, an export of an empty recording, the window layout.
bool Save(const QString &caller, const QString &path, QString *error)
{
    if (caller == "settings")
        return WriteProfileValue("System", "Controller_Loading_Mode", "1", path);
    if (caller == "layout")
        return Settings::ChangeQtSettings(
            path, [](QSettings &settings) { settings.setValue("MainVisible", false); }, error);
    if (caller == "names") {
        PointNames names;
        names.Load(path);
        CardNames card;
        card.at(PointDir::In, 5) = "Door sensor";
        return names.SaveCard(3, card, error);
    }
    const ChangeRecorder recorder;
    const auto none = [](const RecordedPoint &) {
        return QString();
    };
    return WriteFileAtomically(
        path,
        [&](QIODevice *out) {
            return caller == "CSV export" ? WriteCsv(out, recorder, none)
                                          : WriteVcd(out, recorder, none);
        },
        error);
}

} // namespace

Q_DECLARE_METATYPE(Plant)

class TestSafeWrite : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    QString m_shared; // a sticky folder everyone may write, as /tmp
    SecondUser m_other;

    QString at(const QString &name) const { return QDir(m_shared).filePath(name); }

    // Root's private file, or the other user's, with a line of its own.
    static bool MakeFile(const QString &path, uid_t owner, gid_t group, mode_t mode)
    {
        QFile f(path);
        return f.open(QIODevice::WriteOnly) && f.write("private\n") == 8 &&
            (f.close(), chown(Name(path).constData(), owner, group) == 0) &&
            chmod(Name(path).constData(), mode) == 0;
    }

    // Puts the planted thing at `entry`; `victim` is the file a write must not touch, or, for
    // the one row a write may go through, the file it replaces.
    void plant(Plant kind, const QString &entry, QString *victim)
    {
        *victim = at("victim");
        const QByteArray e = Name(entry), v = Name(*victim);
        switch (kind) {
        case Plant::OthersLink:
            QVERIFY(MakeFile(*victim, 0, 0, 0600));
            QVERIFY(m_other.Run([&] { return symlink(v.constData(), e.constData()) == 0; }));
            break;
        case Plant::Fifo:
            QCOMPARE(mkfifo(e.constData(), 0666), 0);
            break;
        case Plant::DeviceNode:
            QCOMPARE(mknod(e.constData(), S_IFCHR | 0666, makedev(1, 3)), 0);
            break;
        case Plant::Folder:
            QCOMPARE(mkdir(e.constData(), 0755), 0);
            break;
        case Plant::OthersLinkInChain: {
            const QByteArray middle = Name(at("middle"));
            QVERIFY(MakeFile(*victim, 0, 0, 0600));
            QVERIFY(m_other.Run([&] { return symlink(v.constData(), middle.constData()) == 0; }));
            QCOMPARE(symlink(middle.constData(), e.constData()), 0);
            break;
        }
        case Plant::Loop:
            QCOMPARE(symlink(Name(at("loop")).constData(), e.constData()), 0);
            QCOMPARE(symlink(e.constData(), Name(at("loop")).constData()), 0);
            break;
        case Plant::OwnLinkToOthersFile:
            QVERIFY(m_other.Run([&] { return MakeFile(*victim, m_other.uid, m_other.gid, 0640); }));
            QCOMPARE(symlink(v.constData(), e.constData()), 0);
            break;
        }
    }

private slots:
    void initTestCase()
    {
        m_other = SecondUser::Get();
        // The second user must reach the sticky folder through the test's own.
        QCOMPARE(chmod(Name(m_dir.path()).constData(), 0755), 0);
    }

    void init()
    {
        m_shared = m_dir.filePath(QTest::currentDataTag());
        QVERIFY(QDir().mkpath(m_shared));
        QCOMPARE(chmod(Name(m_shared).constData(), 01777), 0);
    }

    void cleanup() { QDir(m_shared).removeRecursively(); }

    void plantedThings_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<QString>("file");
        QTest::addColumn<Plant>("kind");
        QTest::addColumn<bool>("written");
        QTest::addColumn<QString>("message"); // part of the refusal's message
        const QList<std::pair<QString, QString>> callers = {{"settings", "Orvane.ini"},
                                                            {"names", "OrvanePointNames.ini"},
                                                            {"CSV export", "changes.csv"},
                                                            {"VCD export", "changes.vcd"},
                                                            {"layout", "Orvane.conf"}};
        const struct
        {
            const char *tag;
            Plant kind;
            bool written;
            const char *message;
        } rows[] = {
            {"another user's link in a sticky folder", Plant::OthersLink, false,
             "symbolic link of another user"},
            {"a FIFO", Plant::Fifo, false, "not a regular file"},
            {"a device node", Plant::DeviceNode, false, "not a regular file"},
            {"a folder", Plant::Folder, false, "not a regular file"},
            {"another user's link in the chain", Plant::OthersLinkInChain, false,
             "symbolic link of another user"},
            {"a link loop", Plant::Loop, false, "too many levels of symbolic links"},
            {"our link to another user's file", Plant::OwnLinkToOthersFile, true, ""},
        };
        for (const auto &[caller, file] : callers)
            for (const auto &row : rows)
                QTest::addRow("%s, %s", qPrintable(caller), row.tag)
                    << caller << file << row.kind << row.written << QString(row.message);
    }

    void plantedThings()
    {
        QFETCH(QString, caller);
        QFETCH(QString, file);
        QFETCH(Plant, kind);
        QFETCH(bool, written);
        QFETCH(QString, message);
        const bool needsOther = kind == Plant::OthersLink || kind == Plant::OthersLinkInChain ||
            kind == Plant::OwnLinkToOthersFile;
        if (geteuid() != 0)
            QSKIP("planting device nodes and other users' files needs root");
        if (needsOther && !m_other.isValid())
            QSKIP("no second user could be had (useradd failed and there is no user nobody)");
        const QString entry = at(file);
        QString victim;
        plant(kind, entry, &victim);
        const struct stat entryBefore = Lstat(entry), victimBefore = Lstat(victim);
        const QByteArray victimText = ReadAll(victim);
        const QStringList names = QDir(m_shared).entryList(QDir::AllEntries | QDir::System |
                                                           QDir::Hidden | QDir::NoDotAndDotDot);

        QString error;
        QCOMPARE(Save(caller, entry, &error), written);
        if (!written && caller != "settings")
            QVERIFY2(error.contains(message), qPrintable(error));
        // The planted thing is what it was, and nothing is left beside it.
        QCOMPARE(Lstat(entry).st_mode, entryBefore.st_mode);
        QCOMPARE(Lstat(entry).st_uid, entryBefore.st_uid);
        QCOMPARE(QDir(m_shared).entryList(QDir::AllEntries | QDir::System | QDir::Hidden |
                                          QDir::NoDotAndDotDot),
                 names);
        const struct stat after = Lstat(victim);
        QCOMPARE(after.st_uid, victimBefore.st_uid);
        QCOMPARE(after.st_gid, victimBefore.st_gid);
        QCOMPARE(after.st_mode, victimBefore.st_mode);
        if (written)
            QVERIFY(ReadAll(victim) != victimText);
        else
            QCOMPARE(ReadAll(victim), victimText);
    }

    // Another user's link to a folder of root's anywhere on the way (the first, second or third
    // folder of the path, or behind our own link) is not followed: root's file there is not
    // overwritten, and no new file is made there.
    void folderLinkOnTheWay_data()
    {
        QTest::addColumn<QString>("caller");
        QTest::addColumn<QString>("file");
        QTest::addColumn<int>("depth"); // the folder of the path that is the link; 0: ours to it
        QTest::addColumn<bool>("exists"); // root's file is there to be overwritten
        const QList<std::pair<QString, QString>> callers = {{"settings", "Orvane.ini"},
                                                            {"names", "OrvanePointNames.ini"},
                                                            {"CSV export", "new.csv"},
                                                            {"VCD export", "new.vcd"},
                                                            {"layout", "Orvane.conf"}};
        for (const auto &[caller, file] : callers)
            for (int depth : {1, 2, 3, 0})
                for (bool exists : {true, false})
                    QTest::addRow("%s, %s, %s", qPrintable(caller),
                                  depth ? qPrintable(QStringLiteral("folder %1").arg(depth))
                                        : "behind our link",
                                  exists ? "root's file" : "a new file")
                        << caller << file << depth << exists;
    }
    void folderLinkOnTheWay()
    {
        QFETCH(QString, caller);
        QFETCH(QString, file);
        QFETCH(int, depth);
        QFETCH(bool, exists);
        if (geteuid() != 0 || !m_other.isValid())
            QSKIP("another user's link needs root and a second user");
        // Root's private folder, with the rest of the path below it.
        const QString target =
            m_dir.filePath(QStringLiteral("%1-root").arg(QTest::currentDataTag()));
        const int level = qMax(depth, 1);
        QString below = target;
        for (int i = level + 1; i <= 3; ++i)
            below += QStringLiteral("/p%1").arg(i);
        QVERIFY(QDir().mkpath(below));
        QCOMPARE(chmod(Name(target).constData(), 0700), 0);
        const QString victim = below + u'/' + file;
        if (exists)
            QVERIFY(MakeFile(victim, 0, 0, 0600));
        // The folders before the link, where everyone may plant one, as in /tmp.
        QString path = m_shared;
        for (int i = 1; i < level; ++i) {
            path += QStringLiteral("/p%1").arg(i);
            QCOMPARE(mkdir(Name(path).constData(), 01777), 0);
            QCOMPARE(chmod(Name(path).constData(), 01777), 0);
        }
        const QString link = path + QStringLiteral("/p%1").arg(level);
        const QByteArray t = Name(target), l = Name(depth ? link : at("theirs"));
        QVERIFY(m_other.Run([&] { return symlink(t.constData(), l.constData()) == 0; }));
        if (depth == 0) // our own link leads through theirs
            QCOMPARE(symlink(l.constData(), Name(link).constData()), 0);
        QString entry = link;
        for (int i = level + 1; i <= 3; ++i)
            entry += QStringLiteral("/p%1").arg(i);
        entry += u'/' + file;
        const QByteArray before = ReadAll(victim);

        QString error;
        QVERIFY(!Save(caller, entry, &error));
        if (caller != "settings")
            QVERIFY2(error.contains("symbolic link of another user"), qPrintable(error));
        QCOMPARE(QFileInfo::exists(victim), exists);
        QCOMPARE(ReadAll(victim), before);
        QCOMPARE(QDir(below).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                       QDir::NoDotAndDotDot),
                 exists ? QStringList{file} : QStringList());
        QDir(target).removeRecursively();
    }
};

QTEST_GUILESS_MAIN(TestSafeWrite)
#include "tst_safewrite.moc"

// The point names file: what a names file says, how a board's names are written into it with
// every other line kept, and the atomic save of the process-wide names.
#include "SmallDisk.h"
#include "config/PointNames.h"

#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

#include <fcntl.h>
#include <sys/file.h>
#include <unistd.h>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

bool WriteAll(const QString &path, const QByteArray &data)
{
    QFile f(path);
    return f.open(QIODevice::WriteOnly) && f.write(data) == data.size();
}

CardNames Names(std::initializer_list<std::tuple<PointDir, int, QString>> entries)
{
    CardNames names;
    for (const auto &[dir, point, name] : entries)
        names.at(dir, point) = name;
    return names;
}

} // namespace

class TestPointNames : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void labels()
    {
        QCOMPARE(PointLabel(PointDir::In, 5), QString("Input 5"));
        QCOMPARE(PointLabel(PointDir::In, 5, "Door sensor"), QString("Input 5, Door sensor"));
        QCOMPARE(PointLabel(PointDir::Out, 12, "Conveyor lamp"),
                 QString("Output 12, Conveyor lamp"));
        QCOMPARE(PointKey(1, PointDir::In, 5), QString("card1_in5"));
        QCOMPARE(CleanName("  Door\tsensor\n "), QString("Door sensor"));
    }

    void parses_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("card");
        QTest::addColumn<int>("dir");
        QTest::addColumn<int>("point");
        QTest::addColumn<QString>("name");
        const int in = int(PointDir::In), out = int(PointDir::Out);
        QTest::newRow("plain") << QByteArray("[Card3]\nIn5=Door sensor\n") << 3 << in << 5
                               << "Door sensor";
        QTest::newRow("output") << QByteArray("[Card0]\nOut12=Conveyor lamp\n") << 0 << out << 12
                                << "Conveyor lamp";
        QTest::newRow("names without case, blanks around")
            << QByteArray("  [ card3 ] \n  IN5 =  Door sensor  \n") << 3 << in << 5
            << "Door sensor";
        QTest::newRow("CRLF and a byte-order mark")
            << QByteArray("\xEF\xBB\xBF[Card3]\r\nIn5=Door sensor\r\n") << 3 << in << 5
            << "Door sensor";
        QTest::newRow("quotes dropped")
            << QByteArray("[Card3]\nIn5=\" Door \"\n") << 3 << in << 5 << "Door";
        QTest::newRow("equals sign in the name")
            << QByteArray("[Card3]\nIn5=a=b; c\n") << 3 << in << 5 << "a=b; c";
        QTest::newRow("UTF-8") << QByteArray("[Card3]\nIn5=T\xC3\xBCr\n") << 3 << in << 5
                               << QString::fromUtf8("T\xC3\xBCr");
        QTest::newRow("first key wins")
            << QByteArray("[Card3]\nIn5=first\nin5=second\n") << 3 << in << 5 << "first";
        QTest::newRow("first section wins")
            << QByteArray("[Card3]\nIn5=first\n[Card3]\nIn5=second\nIn6=x\n") << 3 << in << 6 << "";
        QTest::newRow("another card's key")
            << QByteArray("[Card2]\nIn5=x\n[Card3]\n") << 3 << in << 5 << "";
        QTest::newRow("commented") << QByteArray("[Card3]\n;In5=x\n#In5=y\n") << 3 << in << 5 << "";
        QTest::newRow("point 64 is no point")
            << QByteArray("[Card3]\nIn64=x\n") << 3 << in << 64 << "";
        QTest::newRow("key before any section")
            << QByteArray("In5=x\n[Card3]\n") << 3 << in << 5 << "";
        QTest::newRow("binary garbage")
            << QByteArray("\x00\xFF[Card3\x01]\nIn5\x00=x\n", 16) << 3 << in << 5 << "";
        QTest::newRow("unterminated section line")
            << QByteArray("[Card3\nIn5=Door") << 3 << in << 5 << "Door";
    }
    void parses()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, card);
        QFETCH(int, dir);
        QFETCH(int, point);
        QFETCH(QString, name);
        const QHash<int32_t, CardNames> cards = ParseNames(text);
        const QString got = point < kNamedPoints && cards.contains(card)
            ? cards[card].at(PointDir(dir), point)
            : QString();
        QCOMPARE(got, name);
    }

    // Writing one board's names keeps everything else of the file as it was.
    void writes_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        const CardNames door = Names({{PointDir::In, 5, "Door sensor"}});
        QTest::newRow("new file") << QByteArray() << QByteArray("[Card3]\nIn5=Door sensor\n");
        QTest::newRow("new section after others") << QByteArray("[Card0]\nOut1=Lamp")
                                                  << QByteArray("[Card0]\nOut1=Lamp\n\n[Card3]\n"
                                                                "In5=Door sensor\n");
        QTest::newRow("replaced, unknown keys and comments kept")
            << QByteArray("; plant A\n[Card3]\nColour=red\nIn5=Old\nIn7=Gone\n\n[Card4]\nIn1=x\n")
            << QByteArray("; plant A\n[Card3]\nColour=red\nIn5=Door sensor\n\n[Card4]\nIn1=x\n");
        QTest::newRow("duplicates of a point go")
            << QByteArray("[card3]\nIN5=a\nin5=b\n") << QByteArray("[card3]\nIn5=Door sensor\n");
        QTest::newRow("CRLF kept") << QByteArray("[Card3]\r\nX=1\r\n")
                                   << QByteArray("[Card3]\r\nX=1\r\nIn5=Door sensor\r\n");
        QTest::newRow("byte-order mark kept")
            << QByteArray("\xEF\xBB\xBF[Card3]\nIn5=a\n")
            << QByteArray("\xEF\xBB\xBF[Card3]\nIn5=Door sensor\n");
    }
    void writes()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QCOMPARE(WithCardNames(before, 3, Names({{PointDir::In, 5, "Door sensor"}})), after);
    }

    void emptiedSectionGoes()
    {
        QCOMPARE(WithCardNames("[Card0]\nIn1=a\n[Card3]\nIn5=x\n\n[Card4]\nIn2=b\n", 3, {}),
                 QByteArray("[Card0]\nIn1=a\n[Card4]\nIn2=b\n"));
        QCOMPARE(WithCardNames("[Card3]\nColour=red\nIn5=x\n", 3, {}),
                 QByteArray("[Card3]\nColour=red\n"));
        QCOMPARE(WithCardNames("[Card0]\nIn1=a\n", 3, {}), QByteArray("[Card0]\nIn1=a\n"));
    }

    // Whatever a name holds, it reads back as it was written (cleaned).
    void roundTrip()
    {
        const CardNames names = Names({{PointDir::In, 0, "\"quoted\""},
                                       {PointDir::In, 1, "'single'"},
                                       {PointDir::In, 2, "a = b ; [c]"},
                                       {PointDir::In, 63, QString::fromUtf8("Z\xC3\xA4hler")},
                                       {PointDir::Out, 0, "  padded  "},
                                       {PointDir::Out, 1, "two\nlines"},
                                       {PointDir::Out, 63, "#not a comment"}});
        const CardNames back = ParseNames(WithCardNames("[Card7]\nIn0=old\n", 7, names)).value(7);
        for (PointDir dir : {PointDir::In, PointDir::Out})
            for (int p = 0; p < kNamedPoints; ++p)
                QCOMPARE(back.at(dir, p), CleanName(names.at(dir, p)));
    }

    void saveAndLoad()
    {
        const QString path = PointNames::PathBeside(m_dir.filePath("Orvane.ini"));
        QCOMPARE(QFileInfo(path).dir(), QDir(m_dir.path()));
        QVERIFY(WriteAll(path, "[Card9]\nIn1=Other board\n"));
        PointNames names;
        names.Load(path);
        QCOMPARE(names.Name(9, PointDir::In, 1), QString("Other board"));

        QSignalSpy changed(&names, &PointNames::changed);
        QVERIFY(names.SaveCard(3, Names({{PointDir::In, 5, " Door sensor "}})));
        QCOMPARE(changed.count(), 1);
        QCOMPARE(names.Name(3, PointDir::In, 5), QString("Door sensor"));
        QCOMPARE(names.Name(9, PointDir::In, 1), QString("Other board"));
        QCOMPARE(ReadAll(path),
                 QByteArray("[Card9]\nIn1=Other board\n\n[Card3]\nIn5=Door sensor\n"));

        PointDir dir;
        int point = -1;
        QVERIFY(names.Find(3, " door SENSOR", &dir, &point));
        QCOMPARE(int(dir), int(PointDir::In));
        QCOMPARE(point, 5);
        QVERIFY(!names.Find(9, "Door sensor", &dir, &point));
        QVERIFY(!names.Find(3, "", &dir, &point));

        PointNames again;
        again.Load(path);
        QCOMPARE(again.Card(3), names.Card(3));
    }

    // A file that cannot be replaced (a full disk for root, else a read-only folder) leaves the
    // file and the names as they were.
    void failedSaveChangesNothing()
    {
        QTemporaryDir parent;
        SmallDisk disk(parent.path(), 64);
        const QString dir = disk.isMounted() ? disk.path() : parent.path();
        const QString path = QDir(dir).filePath("OrvanePointNames.ini");
        QVERIFY(WriteAll(path, "[Card3]\nIn5=Door sensor\n"));
        PointNames names;
        names.Load(path);
        if (disk.isMounted())
            QVERIFY(disk.Fill(2048));
        else
            QFile::setPermissions(dir, QFile::ReadOwner | QFile::ExeOwner);
        QSignalSpy changed(&names, &PointNames::changed);
        QString error;
        CardNames many;
        for (int p = 0; p < kNamedPoints; ++p)
            many.at(PointDir::In, p) = many.at(PointDir::Out, p) = QString(40, 'n');
        const bool saved = names.SaveCard(3, many, &error);
        QFile::setPermissions(dir, QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
        QVERIFY(!saved);
        QVERIFY(!error.isEmpty());
        QCOMPARE(changed.count(), 0);
        QCOMPARE(names.Name(3, PointDir::In, 5), QString("Door sensor"));
        QCOMPARE(ReadAll(path), QByteArray("[Card3]\nIn5=Door sensor\n"));
    }

    // Two programs with the names open, each saving the same board: the second save merges
    // its own changes into the file as the first left it, so nothing the first saved is lost.
    void twoSavesMerge_data()
    {
        QTest::addColumn<QString>("first"); // the first program's edits, as "In5=name;Out2="
        QTest::addColumn<QString>("second");
        QTest::addColumn<QByteArray>("file"); // afterwards
        QTest::newRow("different points")
            << "In5=Door"
            << "Out2=Lamp" << QByteArray("[Card3]\nIn1=Kept\nIn5=Door\nOut2=Lamp\n");
        QTest::newRow("a name removed by the second")
            << "In5=Door"
            << "In1=" << QByteArray("[Card3]\nIn5=Door\n");
        QTest::newRow("a name removed by the first")
            << "In1="
            << "Out2=Lamp" << QByteArray("[Card3]\nOut2=Lamp\n");
        QTest::newRow("the same point: the later save wins")
            << "In5=Door"
            << "In5=Gate" << QByteArray("[Card3]\nIn1=Kept\nIn5=Gate\n");
    }
    void twoSavesMerge()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QByteArray, file);
        QTemporaryDir dir;
        const QString path = dir.filePath("OrvanePointNames.ini");
        QVERIFY(WriteAll(path, "[Card3]\nIn1=Kept\n"));
        PointNames one, two;
        one.Load(path);
        two.Load(path);
        // As the dialog does: the names as read, with this program's edits.
        auto edited = [](const PointNames &names, const QString &edits) {
            CardNames card = names.Card(3);
            for (const QString &edit : edits.split(';')) {
                const QStringList kv = edit.split('=');
                const bool in = kv[0].startsWith("In");
                card.at(in ? PointDir::In : PointDir::Out, kv[0].mid(in ? 2 : 3).toInt()) = kv[1];
            }
            return card;
        };
        QVERIFY(one.SaveCard(3, edited(one, first)));
        QVERIFY(two.SaveCard(3, edited(two, second)));
        QCOMPARE(ReadAll(path), file);
        PointNames again;
        again.Load(path);
        QCOMPARE(two.Card(3), again.Card(3));
    }

    // A folder another program keeps locked: the save gives up after a few seconds, says why
    // and changes nothing.
    void lockedFolder()
    {
        QTemporaryDir dir;
        const QString path = dir.filePath("OrvanePointNames.ini");
        QVERIFY(WriteAll(path, "[Card3]\nIn1=Kept\n"));
        PointNames names;
        names.Load(path);
        const int held = open(QFile::encodeName(dir.path()).constData(), O_RDONLY | O_DIRECTORY);
        QVERIFY(held >= 0 && flock(held, LOCK_EX) == 0);
        QString error;
        const bool saved = names.SaveCard(3, Names({{PointDir::In, 5, "Door"}}), &error);
        close(held);
        QVERIFY(!saved);
        QVERIFY2(error.contains("locked by another program"), qPrintable(error));
        QCOMPARE(ReadAll(path), QByteArray("[Card3]\nIn1=Kept\n"));
        QCOMPARE(names.Name(3, PointDir::In, 5), QString());
    }

    void unusableFilesGiveNoNames_data()
    {
        QTest::addColumn<QString>("kind");
        QTest::newRow("missing") << "missing";
        QTest::newRow("a folder") << "folder";
        QTest::newRow("too large") << "large";
    }
    void unusableFilesGiveNoNames()
    {
        QFETCH(QString, kind);
        QTemporaryDir dir;
        const QString path = dir.filePath("OrvanePointNames.ini");
        if (kind == "folder")
            QVERIFY(QDir().mkpath(path));
        if (kind == "large")
            QVERIFY(WriteAll(path, "[Card3]\nIn5=x\n" + QByteArray(5 * 1024 * 1024, ';')));
        PointNames names;
        names.Load(path);
        QVERIFY(names.isEmpty());
        QString error;
        // A folder in the file's place is not overwritten.
        if (kind == "folder")
            QVERIFY(!names.SaveCard(3, Names({{PointDir::In, 5, "x"}}), &error));
    }
};

QTEST_GUILESS_MAIN(TestPointNames)
#include "tst_pointnames.moc"

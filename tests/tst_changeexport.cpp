// The change log's exports read back: the CSV parsed field by field, the VCD's wires, levels
// and times, the references made from point names, and files written whole or not at all.
#include "FakeDevice.h"
#include "SmallDisk.h"
#include "diag/ChangeExport.h"
#include "diag/ChangeListModel.h"

#include <QJsonArray>
#include <QJsonDocument>
#include <QProcess>
#include <QTemporaryDir>
#include <QtTest>

namespace {

QByteArray ReadAll(const QString &path)
{
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

// One CSV record per line as RFC 4180 reads it (quoted fields may hold commas and quotes).
QList<QStringList> ParseCsv(const QString &text)
{
    QList<QStringList> rows;
    QStringList row;
    QString field;
    bool quoted = false;
    for (qsizetype i = 0; i < text.size(); ++i) {
        const QChar c = text[i];
        if (quoted) {
            if (c == '"' && i + 1 < text.size() && text[i + 1] == '"')
                field += text[++i];
            else if (c == '"')
                quoted = false;
            else
                field += c;
        } else if (c == '"') {
            quoted = true;
        } else if (c == ',') {
            row << field;
            field.clear();
        } else if (c == '\n') {
            rows << (row << field);
            row.clear();
            field.clear();
        } else {
            field += c;
        }
    }
    return rows;
}

// A VCD read back: per reference, its (time, value) list; and the closing time.
struct Vcd
{
    QMap<QString, QList<QPair<qint64, QChar>>> wires;
    qint64 end = -1;
};

Vcd ParseVcd(const QByteArray &text)
{
    Vcd vcd;
    QHash<QString, QString> refOf;
    qint64 now = 0;
    for (const QByteArray &raw : text.split('\n')) {
        const QString line = QString::fromUtf8(raw).trimmed();
        if (line.startsWith("$var ")) {
            const QStringList f = line.split(' ');
            refOf.insert(f[3], f[4]);
        } else if (line.startsWith('#')) {
            now = vcd.end = line.mid(1).toLongLong();
        } else if (!line.isEmpty() && QStringLiteral("01x").contains(line[0])) {
            vcd.wires[refOf.value(line.mid(1))] << qMakePair(now, line[0]);
        }
    }
    return vcd;
}

struct Recording
{
    FakeDevice fake;
    qint64 now = 0;
    ChangeRecorder recorder{100, [this] {
                                return now;
                            }};
    PointNameLookup names = [](const RecordedPoint &p) {
        if (p.card == 0 && p.dir == PointDir::In && p.point == 1)
            return QStringLiteral("Door, \"north\"");
        return QString();
    };

    Recording()
    {
        fake.record = false;
        fake.boards = {{174, 0, 2, 1}, {2801, 4, 1, 0}};
        recorder.SetBoards({{0, 2, 1}});
        recorder.Poll(); // in0, in1, out0 start at 0
        Step(1500, [this] { fake.board(0)->in = 0b10; });
        Step(2'000'000, [this] { fake.board(0)->out = 1; });
        // Card 4 joins later: its point is unknown until then.
        recorder.SetBoards({{0, 2, 1}, {4, 1, 0}});
        fake.board(4)->in = 1;
        Step(10'000, [] {});
        Step(10'000, [this] { fake.board(0)->in = 0b01; });
        now += 25'000;
        recorder.Poll();
    }
    template<typename Change> void Step(qint64 us, Change change)
    {
        now += us;
        change();
        recorder.Poll();
    }
};

} // namespace

class TestChangeExport : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;

private slots:
    void texts()
    {
        const QDateTime start =
            QDateTime::fromString("2024-05-01T12:00:00.123Z", Qt::ISODateWithMs);
        QCOMPARE(UtcText(start, 0), QString("2024-05-01T12:00:00.123000Z"));
        QCOMPARE(UtcText(start, 1'999'999), QString("2024-05-01T12:00:02.122999Z"));
        QCOMPARE(ElapsedText(0), QString("0.000000"));
        QCOMPARE(ElapsedText(61'000'007), QString("61.000007"));
        QCOMPARE(CsvField("plain"), QString("plain"));
        QCOMPARE(CsvField("a,b"), QString("\"a,b\""));
        QCOMPARE(CsvField("say \"hi\""), QString("\"say \"\"hi\"\"\""));
        QCOMPARE(FilterTimeText(0), QString("0.001"));
        QCOMPARE(FilterTimeText(15), QString("32.768"));
    }

    // A name a spreadsheet would run as a formula is written so that it reads as text.
    void csvFormulaGuard_data()
    {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("field");
        QTest::newRow("=") << "=HYPERLINK(\"x\")"
                           << "\"'=HYPERLINK(\"\"x\"\")\"";
        QTest::newRow("+") << "+1+2"
                           << "'+1+2";
        QTest::newRow("-") << "-5 V rail"
                           << "'-5 V rail";
        QTest::newRow("@") << "@SUM(A1:A9)"
                           << "'@SUM(A1:A9)";
        QTest::newRow("= with a comma") << "=1,2"
                                        << "\"'=1,2\"";
        QTest::newRow("inside, not first") << "a=b-c"
                                           << "a=b-c";
    }
    void csvFormulaGuard()
    {
        QFETCH(QString, name);
        QFETCH(QString, field);
        QCOMPARE(CsvField(name), field);
    }

    // Every change comes back from the CSV with its time, point, name and value, after one
    // "start" line per point with its level where the export begins (or where it was first
    // read).
    void csvParsedBack()
    {
        Recording r;
        const QString path = m_dir.filePath("changes.csv");
        QString error;
        QVERIFY2(
            WriteFileAtomically(
                path, [&](QIODevice *out) { return WriteCsv(out, r.recorder, r.names); }, &error),
            qPrintable(error));
        QList<QStringList> rows = ParseCsv(QString::fromUtf8(ReadAll(path)));
        QCOMPARE(rows.value(0).join(','), CsvHeader());
        QList<QStringList> starts;
        while (rows.size() > 1 && rows[1].value(7) == "start")
            starts << rows.takeAt(1).mid(1);
        QCOMPARE(starts,
                 QList<QStringList>({{"0.000000", "0", "in", "0", "", "0", "start"},
                                     {"0.000000", "0", "in", "1", "Door, \"north\"", "0", "start"},
                                     {"0.000000", "0", "out", "0", "", "0", "start"}}));
        // Card 4 was first read after the start: its level comes in time order.
        QCOMPARE(rows.takeAt(3).mid(1),
                 QStringList({"2.011500", "4", "in", "0", "", "1", "start"}));
        const ChangeRing &ring = r.recorder.ring();
        QCOMPARE(rows.size() - 1, ring.size());
        for (quint64 seq = ring.firstSeq(); seq < ring.endSeq(); ++seq) {
            const QStringList &row = rows[int(seq - ring.firstSeq()) + 1];
            const PointChange &c = ring.at(seq);
            const RecordedPoint &p = r.recorder.points()[c.point];
            QCOMPARE(row.size(), 8);
            QCOMPARE(row[7], QString("change"));
            const QDateTime utc = QDateTime::fromString(row[0].left(23) + 'Z', Qt::ISODateWithMs);
            QVERIFY(utc.isValid());
            QCOMPARE(utc.toMSecsSinceEpoch() * 1000 + row[0].mid(23, 3).toInt(),
                     r.recorder.startUtc().toMSecsSinceEpoch() * 1000 + c.us);
            QCOMPARE(qRound64(row[1].toDouble() * 1e6), c.us);
            QCOMPARE(
                row.mid(2, 3),
                QStringList({QString::number(p.card), DirText(p.dir), QString::number(p.point)}));
            QCOMPARE(row[5], r.names(p));
            QCOMPARE(row[6], QString::number(c.value));
        }
        QCOMPARE(rows[1].mid(4, 3), QStringList({"1", "Door, \"north\"", "1"}));
        QCOMPARE(rows[3].mid(4, 3), QStringList({"0", "", "1"}));
    }

    void vcd()
    {
        Recording r;
        r.recorder.SetPollIntervalUs(1); // a tick of 1 us: the times below stay exact
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(WriteVcd(&buffer, r.recorder, r.names));
        const QByteArray text = buffer.data();
        QVERIFY(text.contains("$timescale 1us $end\n"));
        QVERIFY(text.contains("$enddefinitions $end\n#0\n$dumpvars\n"));
        const Vcd vcd = ParseVcd(text);
        using T = QList<QPair<qint64, QChar>>;
        QCOMPARE(vcd.wires.keys(),
                 QStringList({"c0_in0", "c0_in1_Door_north", "c0_out0", "c4_in0"}));
        QCOMPARE(vcd.wires["c0_in0"], T({{0, '0'}, {2'021'500, '1'}}));
        QCOMPARE(vcd.wires["c0_in1_Door_north"], T({{0, '0'}, {1500, '1'}, {2'021'500, '0'}}));
        QCOMPARE(vcd.wires["c0_out0"], T({{0, '0'}, {2'001'500, '1'}}));
        // Unknown until its board was first read, then its level.
        QCOMPARE(vcd.wires["c4_in0"], T({{0, 'x'}, {2'011'500, '1'}}));
        // The closing time is the last poll, after the last change.
        QCOMPARE(vcd.end, 2'046'500);
    }

    // After old changes were dropped the dump starts at the newest dropped change, with the
    // levels the points had then.
    void vcdAfterDrops()
    {
        FakeDevice fake;
        fake.record = false;
        fake.boards = {{2801, 0, 1, 0}};
        qint64 now = 0;
        ChangeRecorder recorder(2, [&now] { return now; });
        recorder.SetPollIntervalUs(1);
        recorder.SetBoards({{0, 1, 0}});
        recorder.Poll();
        for (int i = 1; i <= 5; ++i) {
            now += 100;
            fake.board(0)->in ^= 1;
            recorder.Poll();
        }
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        QVERIFY(WriteVcd(&buffer, recorder, [](const RecordedPoint &) { return QString(); }));
        const Vcd vcd = ParseVcd(buffer.data());
        QCOMPARE(vcd.wires["c0_in0"],
                 (QList<QPair<qint64, QChar>>({{300, '1'}, {400, '0'}, {500, '1'}})));
        QCOMPARE(vcd.end, 501); // the last change was in the last poll
    }

    // Each reference carries card, direction and point, so that no two collide, and what the
    // name has of ASCII letters and digits, accents dropped.
    void references_data()
    {
        QTest::addColumn<QStringList>("names"); // of inputs 0, 1, 2 of card 0
        QTest::addColumn<QStringList>("refs");
        QTest::newRow("none") << QStringList({"", "", ""})
                              << QStringList({"c0_in0", "c0_in1", "c0_in2"});
        QTest::newRow("replaced characters")
            << QStringList({"Door sensor", QString::fromUtf8("T\xC3\xBCr-1"), "1st"})
            << QStringList({"c0_in0_Door_sensor", "c0_in1_Tur_1", "c0_in2_1st"});
        QTest::newRow("same after replacing")
            << QStringList({"A b", "A-b", "A_b"})
            << QStringList({"c0_in0_A_b", "c0_in1_A_b", "c0_in2_A_b"});
        QTest::newRow("a name like another point's key")
            << QStringList({"", "card0_in0", "c0_in0"})
            << QStringList({"c0_in0", "c0_in1_card0_in0", "c0_in2_c0_in0"});
        QTest::newRow("symbols, quotes, commas, nothing ASCII")
            << QStringList({QString::fromUtf8("T\xC3\xBCrkontakt \xE2\x9C\x93"),
                            "Lamp, \"24V\" $end", QString::fromUtf8("\xE2\x9C\x93\xE2\x9C\x93")})
            << QStringList({"c0_in0_Turkontakt", "c0_in1_Lamp_24V_end", "c0_in2"});
    }
    void references()
    {
        QFETCH(QStringList, names);
        QFETCH(QStringList, refs);
        FakeDevice fake;
        fake.record = false;
        fake.boards = {{2801, 0, 3, 0}};
        ChangeRecorder recorder;
        recorder.SetBoards({{0, 3, 0}});
        recorder.Poll();
        QCOMPARE(VcdReferences(recorder, [&](const RecordedPoint &p) { return names[p.point]; }),
                 refs);
    }

    // The tick is the largest decade not above half the poll interval.
    void vcdTick_data()
    {
        QTest::addColumn<qint64>("intervalUs");
        QTest::addColumn<qint64>("tickUs");
        QTest::addColumn<QByteArray>("timescale");
        QTest::newRow("1 us") << qint64(1) << qint64(1) << QByteArray("1us");
        QTest::newRow("20 us") << qint64(20) << qint64(10) << QByteArray("10us");
        QTest::newRow("5 ms, the agent in CI") << qint64(5000) << qint64(1000) << QByteArray("1ms");
        QTest::newRow("10 ms, the window and the agent")
            << qint64(10'000) << qint64(1000) << QByteArray("1ms");
        QTest::newRow("100 ms") << qint64(100'000) << qint64(10'000) << QByteArray("10ms");
        QTest::newRow("an hour") << qint64(3'600'000'000) << qint64(1'000'000) << QByteArray("1s");
    }
    void vcdTick()
    {
        QFETCH(qint64, intervalUs);
        QFETCH(qint64, tickUs);
        QFETCH(QByteArray, timescale);
        QCOMPARE(VcdTickUs(intervalUs), tickUs);
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ChangeFileWriter w(&buffer, ChangeFileFormat::Vcd, intervalUs);
        w.Begin(QDateTime::fromSecsSinceEpoch(0, Qt::UTC), {{0, PointDir::In, 0, "", 0}}, 0);
        QVERIFY(w.End(0));
        QVERIFY(buffer.data().contains("$timescale " + timescale + " $end\n"));
    }

    // Two polls in one tick (a late timer, then a prompt one): no value hides another, and
    // times never go back.
    void vcdJitter()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ChangeFileWriter w(&buffer, ChangeFileFormat::Vcd, 10'000); // 1 ms ticks
        w.Begin(QDateTime::fromSecsSinceEpoch(0, Qt::UTC),
                {{0, PointDir::In, 0, "", 0}, {0, PointDir::In, 1, "", 0}}, 0);
        w.Change(1000, 0, true);
        w.Change(1900, 0, false); // the same tick as the last
        w.Change(1950, 1, true); // another wire, after the moved change
        w.Change(7000, 1, false);
        QVERIFY(w.End(9500));
        const Vcd vcd = ParseVcd(buffer.data());
        using T = QList<QPair<qint64, QChar>>;
        QCOMPARE(vcd.wires["c0_in0"], T({{0, '0'}, {1, '1'}, {2, '0'}}));
        QCOMPARE(vcd.wires["c0_in1"], T({{0, '0'}, {2, '1'}, {7, '0'}}));
        QCOMPARE(vcd.end, 9);
    }

    // One scope per card, and a comment that maps every wire to its card, direction, point
    // and full name; no name can end the comment.
    void vcdWireMap()
    {
        QBuffer buffer;
        buffer.open(QIODevice::WriteOnly);
        ChangeFileWriter w(&buffer, ChangeFileFormat::Vcd, 10'000);
        w.Begin(QDateTime::fromSecsSinceEpoch(0, Qt::UTC),
                {{0, PointDir::In, 3, QString::fromUtf8("T\xC3\xBCrkontakt \xE2\x9C\x93"), 1},
                 {5, PointDir::In, 1, "", -1},
                 {5, PointDir::Out, 0, "Lamp, \"24V\" $end \\", 0}},
                0);
        QVERIFY(w.End(0));
        const QByteArray text = buffer.data();
        const QByteArray expected =
            "$scope module card0 $end\n"
            "$var wire 1 ! c0_in3_Turkontakt $end\n"
            "$upscope $end\n"
            "$scope module card5 $end\n"
            "$var wire 1 \" c5_in1 $end\n"
            "$var wire 1 # c5_out0_Lamp_24V_end $end\n"
            "$upscope $end\n"
            "$comment wires\n"
            "wire ! c0_in3_Turkontakt card 0 in 3 \"T\xC3\xBCrkontakt "
            "\xE2\x9C\x93\"\n"
            "wire \" c5_in1 card 5 in 1 \"\"\n"
            "wire # c5_out0_Lamp_24V_end card 5 out 0 "
            "\"Lamp, \\\"24V\\\" \\x24end \\\\\"\n"
            "$end\n$enddefinitions $end\n#0\n$dumpvars\n1!\nx\"\n0#\n$end\n";
        QVERIFY2(text.contains(expected), text.constData());
    }

    // The export holds the points the window's choices leave: those the filter shows, or
    // all; and, optionally, only those that changed. The CSV and the VCD hold the same.
    void exportChoice_data()
    {
        QTest::addColumn<int>("card"); // the filter's card, -1 for all
        QTest::addColumn<QString>("point"); // the filter's point text
        QTest::addColumn<bool>("changedOnly");
        QTest::addColumn<QStringList>("refs");
        QTest::newRow("all") << -1 << "" << false
                             << QStringList({"c0_in0", "c0_in1_Door_north", "c0_out0", "c4_in0"});
        QTest::newRow("changed only")
            << -1 << "" << true << QStringList({"c0_in0", "c0_in1_Door_north", "c0_out0"});
        QTest::newRow("card 4") << 4 << "" << false << QStringList({"c4_in0"});
        QTest::newRow("card 4, changed only") << 4 << "" << true << QStringList();
        QTest::newRow("a name, changed only")
            << -1 << "north" << true << QStringList({"c0_in1_Door_north"});
        QTest::newRow("outputs") << 0 << "out0" << false << QStringList({"c0_out0"});
    }
    void exportChoice()
    {
        QFETCH(int, card);
        QFETCH(QString, point);
        QFETCH(bool, changedOnly);
        QFETCH(QStringList, refs);
        Recording r;
        const ChangeFilter filter{card, point};
        const std::vector<RecordedPoint> &points = r.recorder.points();
        ExportChoice choice;
        choice.changedOnly = changedOnly;
        choice.includes = [&](uint32_t i) {
            return filter.Matches(points[i], r.names(points[i]));
        };
        QBuffer vcdOut, csvOut;
        vcdOut.open(QIODevice::WriteOnly);
        csvOut.open(QIODevice::WriteOnly);
        QVERIFY(WriteVcd(&vcdOut, r.recorder, r.names, choice));
        QVERIFY(WriteCsv(&csvOut, r.recorder, r.names, choice));
        QCOMPARE(ParseVcd(vcdOut.data()).wires.keys(), refs);
        QSet<QString> csvPoints;
        for (const QStringList &row : ParseCsv(QString::fromUtf8(csvOut.data())).mid(1))
            csvPoints << VcdReference({row[2].toInt(),
                                       row[3] == "out" ? PointDir::Out : PointDir::In,
                                       row[4].toInt(), row[5], -1});
        QCOMPARE(csvPoints, QSet<QString>(refs.begin(), refs.end()));
    }

    // Python's csv module reads the export whole, every name as it was (a formula guarded).
    void csvReadByPython()
    {
        const QString python = QStandardPaths::findExecutable("python3");
        if (python.isEmpty())
            QSKIP("no python3");
        const QStringList names = {QString::fromUtf8("T\xC3\xBCrkontakt \xE2\x9C\x93"),
                                   "Lamp, \"24V\"\nline 2", "=SUM(A1)"};
        FakeDevice fake;
        fake.record = false;
        fake.boards = {{2801, 0, 3, 0}};
        ChangeRecorder recorder;
        recorder.SetBoards({{0, 3, 0}});
        recorder.Poll();
        fake.board(0)->in = 0b101;
        recorder.Poll();
        const QString path = m_dir.filePath("python.csv");
        QString error;
        QVERIFY2(WriteFileAtomically(
                     path,
                     [&](QIODevice *out) {
                         return WriteCsv(out, recorder,
                                         [&](const RecordedPoint &p) { return names[p.point]; });
                     },
                     &error),
                 qPrintable(error));
        QProcess py;
        py.start(python,
                 {"-c",
                  "import csv, json, sys\n"
                  "with open(sys.argv[1], newline='', encoding='utf-8') as f:\n"
                  "    rows = list(csv.reader(f))\n"
                  "print(json.dumps([[len(r), r[5], r[7]] for r in rows[1:]]))",
                  path});
        QVERIFY(py.waitForFinished(10000));
        QCOMPARE(py.exitCode(), 0);
        const QJsonArray rows = QJsonDocument::fromJson(py.readAllStandardOutput()).array();
        QStringList got;
        for (const QJsonValue &row : rows)
            got << QStringLiteral("%1|%2|%3")
                       .arg(row[0].toInt())
                       .arg(row[1].toString(), row[2].toString());
        QCOMPARE(got,
                 QStringList({"8|" + names[0] + "|start", "8|" + names[1] + "|start",
                              "8|'" + names[2] + "|start", "8|" + names[0] + "|change",
                              "8|'" + names[2] + "|change"}));
    }

    void codesAreUniqueAndPrintable()
    {
        QSet<QByteArray> seen;
        for (int n = 0; n < 20000; ++n) {
            const QByteArray code = VcdCode(n);
            for (char c : code)
                QVERIFY(c >= '!' && c <= '~');
            QVERIFY(!seen.contains(code));
            seen.insert(code);
        }
        QCOMPARE(VcdCode(0), QByteArray("!"));
        QCOMPARE(VcdCode(93).size(), 1);
        QCOMPARE(VcdCode(94).size(), 2);
    }

    // A failed write leaves the old file exactly as it was, and no temporary file behind.
    void atomicWrite_data()
    {
        QTest::addColumn<bool>("fullDisk");
        QTest::addColumn<int>("bytes");
        QTest::newRow("a write that fails") << false << 0;
        QTest::newRow("a full disk") << true << 200 * 1024;
        // Small enough to sit in the file's buffer until the very end.
        QTest::newRow("a full disk, the last bytes buffered") << true << 6000;
    }
    void atomicWrite()
    {
        QFETCH(bool, fullDisk);
        QFETCH(int, bytes);
        QTemporaryDir dir;
        SmallDisk disk(dir.path(), 64);
        if (fullDisk && !disk.isMounted())
            QSKIP("a small disk needs root");
        const QString folder = fullDisk ? disk.path() : dir.path();
        const QString path = QDir(folder).filePath("changes.csv");
        {
            QFile old(path);
            QVERIFY(old.open(QIODevice::WriteOnly));
            old.write("old export\n");
        }
        if (fullDisk)
            QVERIFY(disk.Fill(4 * 1024));
        QString error;
        const QByteArray big(bytes, 'x');
        const bool written = WriteFileAtomically(
            path, [&](QIODevice *out) { return fullDisk ? out->write(big) == big.size() : false; },
            &error);
        QVERIFY(!written);
        QVERIFY(!error.isEmpty());
        QCOMPARE(ReadAll(path), QByteArray("old export\n"));
        QStringList left = QDir(folder).entryList(QDir::Files);
        left.removeAll("filler");
        QCOMPARE(left, QStringList({"changes.csv"}));
    }

    void snapshotText()
    {
        BoardSnapshot a;
        a.card = 1;
        a.label = "1 : QRX-LN64DIO";
        a.inputs = 64;
        a.outputs = 32;
        a.inWord = 0x0000000100000020ULL;
        a.outWord = 0xA5;
        a.filterEnable = 1;
        a.filterTime = 3;
        a.runLed = 1;
        BoardSnapshot b;
        b.label = "2 : QRX-LN64DI";
        b.inputs = 64;
        const QDateTime when(QDate(2024, 5, 1), QTime(14, 3, 12, 345));
        QCOMPARE(SnapshotText({a, b}, when),
                 QString("Orvane snapshot, 2024-05-01 14:03:12.345\n\n"
                         "1 : QRX-LN64DIO\nDI_0: 0x00000020\nDI_1: 0x00000001\n"
                         "DO_0: 0x000000A5\nFilter: Enable, 0.008 msec\nRun LED: on\n\n"
                         "2 : QRX-LN64DI\nDI_0: 0x00000000\nDI_1: 0x00000000\n"
                         "Filter: Disable, 0.001 msec\nRun LED: off\n"));
    }

    void snapshotReadsTheBoard()
    {
        FakeDevice fake;
        fake.boards = {{174, 2, 24, 4}};
        FakeBoard *board = fake.board(2);
        board->in = 0xFFFFFFFF; // bits 8-15 are not wired on a board of 24 inputs
        board->out = 0b1010;
        board->filterEnable = 1;
        board->filterTime = 5;
        board->checkOn = 1;
        const BoardSnapshot s = ReadSnapshot(2, "2 : x", 24, 4);
        QCOMPARE(s.inWord, quint64(0xFFFF00FF));
        QCOMPARE(s.outWord, quint64(0b1010));
        QCOMPARE(s.filterEnable, 1);
        QCOMPARE(s.filterTime, 5);
        QCOMPARE(s.runLed, 1);
    }
};

QTEST_GUILESS_MAIN(TestChangeExport)
#include "tst_changeexport.moc"

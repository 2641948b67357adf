// The Modbus server's decisions without a socket: every exception a request can earn, the
// writes a request names, the per-board units' addresses, the frame header check, the image
// in libmodbus's mapping, and the [Modbus] and [Watchdog] sections.

#include "ModbusConfig.h"
#include "ModbusMap.h"
#include "Watchdog.h"

#include <QtTest>

using namespace ModbusMap;

namespace {

// Position 0: card 5, 24 inputs (0-7, 16-31), 32 outputs, outputs 3 and 4 writable.
// Position 1: absent. Position 2: card 7, 64 in, 64 out, all writable. Position 3: card 9,
// 32 inputs, no outputs.
Image TestImage()
{
    Image image;
    image.boards[0] = {true, 5, 0xFFFF00FF, 0xFFFFFFFF, 0, 0, 0x18, false, false};
    image.boards[2] = {true, 7, ~0ull, ~0ull, 0, 0, ~0ull, false, false};
    image.boards[3] = {true, 9, 0xFFFFFFFF, 0, 0, 0, 0, false, false};
    return image;
}

QByteArray Frame(int unit, const QByteArray &pduHex)
{
    const QByteArray pdu = QByteArray::fromHex(pduHex);
    QByteArray frame = QByteArray::fromHex("12340000");
    frame.append(char((pdu.size() + 1) >> 8)).append(char(pdu.size() + 1)).append(char(unit));
    return frame + pdu;
}

QString Writes(const Verdict &v)
{
    QStringList parts;
    for (const PointWrite &w : v.writes)
        parts << QStringLiteral("%1:%2=%3").arg(w.card).arg(w.point).arg(int(w.value));
    return parts.join(u' ');
}

} // namespace

class TestModbusMap : public QObject
{
    Q_OBJECT

private slots:
    void requests_data()
    {
        QTest::addColumn<QString>("access"); // rw, ro, off (AllowWrite=0), tripped, board
        QTest::addColumn<int>("unit");
        QTest::addColumn<QByteArray>("pdu"); // hex
        QTest::addColumn<int>("exception"); // 0: carried out
        QTest::addColumn<int>("flat"); // a read's address in the whole image; -1 not a read
        QTest::addColumn<QString>("writes");
        // Reads, and the ranges they may name.
        QTest::newRow("FC2 inputs of a 24-input board")
            << "rw" << 1 << QByteArray("0200000018") << 0 << 0 << "";
        QTest::newRow("FC2 only its gap") << "rw" << 1 << QByteArray("0200080008") << 2 << -1 << "";
        QTest::newRow("FC2 across its gap")
            << "rw" << 1 << QByteArray("0200040010") << 0 << 4 << "";
        QTest::newRow("FC2 an absent board")
            << "rw" << 1 << QByteArray("0200400040") << 2 << -1 << "";
        QTest::newRow("FC2 runs off the map")
            << "rw" << 1 << QByteArray("0203e80064") << 2 << -1 << "";
        QTest::newRow("FC2 present and safe bits")
            << "rw" << 1 << QByteArray("0210000020") << 0 << 4096 << "";
        QTest::newRow("FC2 past the safe bits")
            << "rw" << 1 << QByteArray("0210000021") << 2 << -1 << "";
        QTest::newRow("FC1 a board without outputs")
            << "rw" << 1 << QByteArray("0100c00001") << 2 << -1 << "";
        QTest::newRow("FC1 count 0") << "rw" << 1 << QByteArray("0100000000") << 3 << -1 << "";
        QTest::newRow("FC1 count 2001") << "rw" << 1 << QByteArray("01000007d1") << 3 << -1 << "";
        QTest::newRow("FC1 count 2000 past 1024")
            << "rw" << 1 << QByteArray("01000007d0") << 2 << -1 << "";
        QTest::newRow("FC4 input words") << "rw" << 1 << QByteArray("0400000004") << 0 << 0 << "";
        QTest::newRow("FC4 words of an absent board")
            << "rw" << 1 << QByteArray("0400040004") << 2 << -1 << "";
        QTest::newRow("FC4 output words")
            << "rw" << 1 << QByteArray("0401000004") << 0 << 256 << "";
        QTest::newRow("FC4 status block")
            << "rw" << 1 << QByteArray("0410000009") << 0 << 4096 << "";
        QTest::newRow("FC4 past the status block")
            << "rw" << 1 << QByteArray("041000000a") << 2 << -1 << "";
        QTest::newRow("FC4 count 126") << "rw" << 1 << QByteArray("040000007e") << 3 << -1 << "";
        QTest::newRow("FC3 watchdog registers")
            << "ro" << 1 << QByteArray("0311000002") << 0 << 4352 << "";
        QTest::newRow("FC3 truncated") << "rw" << 1 << QByteArray("030000") << 3 << -1 << "";
        QTest::newRow("FC3 a byte too many")
            << "rw" << 1 << QByteArray("030000000100") << 3 << -1 << "";
        // Functions not served.
        QTest::newRow("FC7") << "rw" << 1 << QByteArray("07") << 1 << -1 << "";
        QTest::newRow("FC17") << "rw" << 1 << QByteArray("11") << 1 << -1 << "";
        QTest::newRow("FC22") << "rw" << 1 << QByteArray("1600000000000000") << 1 << -1 << "";
        QTest::newRow("FC23") << "rw" << 1 << QByteArray("170000000100000001020000") << 1 << -1
                              << "";
        QTest::newRow("FC 0x81") << "rw" << 1 << QByteArray("8100000001") << 1 << -1 << "";
        // Coil writes.
        QTest::newRow("FC5 on") << "rw" << 1 << QByteArray("050003ff00") << 0 << -1 << "5:3=1";
        QTest::newRow("FC5 off") << "rw" << 1 << QByteArray("0500040000") << 0 << -1 << "5:4=0";
        QTest::newRow("FC5 value 1234") << "rw" << 1 << QByteArray("0500031234") << 3 << -1 << "";
        QTest::newRow("FC5 not in WritablePoints")
            << "rw" << 1 << QByteArray("050005ff00") << 1 << -1 << "";
        QTest::newRow("FC5 a point the board lacks")
            << "rw" << 1 << QByteArray("050028ff00") << 2 << -1 << "";
        QTest::newRow("FC5 absent board") << "rw" << 1 << QByteArray("050040ff00") << 2 << -1 << "";
        QTest::newRow("FC5 AllowWrite=0")
            << "off" << 1 << QByteArray("050003ff00") << 1 << -1 << "";
        QTest::newRow("FC5 a read-only client")
            << "ro" << 1 << QByteArray("050003ff00") << 1 << -1 << "";
        QTest::newRow("FC5 tripped") << "tripped" << 1 << QByteArray("050003ff00") << 4 << -1 << "";
        QTest::newRow("FC15 two") << "rw" << 1 << QByteArray("0f000300020101") << 0 << -1
                                  << "5:3=1 5:4=0";
        QTest::newRow("FC15 byte count 2 for 2 coils")
            << "rw" << 1 << QByteArray("0f00030002020100") << 3 << -1 << "";
        QTest::newRow("FC15 fewer bytes than counted")
            << "rw" << 1 << QByteArray("0f0003000a02ff") << 3 << -1 << "";
        QTest::newRow("FC15 count 1969")
            << "rw" << 1 << (QByteArray("0f000007b1f7") + QByteArray(247 * 2, 'f')) << 3 << -1
            << "";
        QTest::newRow("FC15 one not allowed: none")
            << "rw" << 1 << QByteArray("0f000300030107") << 1 << -1 << "";
        // Register writes: a word names its live points.
        QTest::newRow("FC16 two words of a writable board")
            << "rw" << 1 << QByteArray("1000080002048001ffff") << 0 << -1 << "32";
        QTest::newRow("FC16 a word with outputs not allowed")
            << "rw" << 1 << QByteArray("1000000001020018") << 1 << -1 << "";
        QTest::newRow("FC16 byte count odd")
            << "rw" << 1 << QByteArray("100008000103000000") << 3 << -1 << "";
        QTest::newRow("FC16 count 124")
            << "rw" << 1 << QByteArray("100000007c020000") << 3 << -1 << "";
        QTest::newRow("FC6 timeout 1000") << "rw" << 1 << QByteArray("06110003e8") << 0 << -1 << "";
        QTest::newRow("FC6 timeout 50") << "rw" << 1 << QByteArray("0611000032") << 3 << -1 << "";
        QTest::newRow("FC6 clear") << "tripped" << 1 << QByteArray("0611010001") << 0 << -1 << "";
        QTest::newRow("FC6 clear with 2") << "rw" << 1 << QByteArray("0611010002") << 3 << -1 << "";
        QTest::newRow("FC6 clear, read-only client")
            << "ro" << 1 << QByteArray("0611010001") << 1 << -1 << "";
        QTest::newRow("FC6 clear, AllowWrite=0")
            << "off" << 1 << QByteArray("0611010001") << 1 << -1 << "";
        // UnitMode=per-board: unit n is the board at position n-1 from address 0.
        QTest::newRow("unit 3 inputs")
            << "board" << 3 << QByteArray("0200000040") << 0 << 128 << "";
        QTest::newRow("unit 3 present bit")
            << "board" << 3 << QByteArray("0210000001") << 0 << 4098 << "";
        QTest::newRow("unit 3 safe bit")
            << "board" << 3 << QByteArray("0210100001") << 0 << 4114 << "";
        QTest::newRow("unit 3 output words")
            << "board" << 3 << QByteArray("0401000004") << 0 << 264 << "";
        QTest::newRow("unit 3 status block")
            << "board" << 3 << QByteArray("0410000009") << 0 << 4096 << "";
        QTest::newRow("unit 1 past its board")
            << "board" << 1 << QByteArray("02003c0008") << 2 << -1 << "";
        QTest::newRow("unit 2 absent") << "board" << 2 << QByteArray("0200000001") << 2 << -1 << "";
        QTest::newRow("unit 17") << "board" << 17 << QByteArray("0200000001") << 11 << -1 << "";
        QTest::newRow("unit 0 the whole image")
            << "board" << 0 << QByteArray("0200800040") << 0 << 128 << "";
        QTest::newRow("unit 255 the whole image")
            << "board" << 255 << QByteArray("0200800040") << 0 << 128 << "";
        QTest::newRow("unit 17, UnitMode=any")
            << "rw" << 17 << QByteArray("0200800040") << 0 << 128 << "";
        QTest::newRow("unit 3 writes its coil 0")
            << "board" << 3 << QByteArray("050000ff00") << 0 << -1 << "7:0=1";
    }
    void requests()
    {
        QFETCH(QString, access);
        QFETCH(int, unit);
        QFETCH(QByteArray, pdu);
        QFETCH(int, exception);
        QFETCH(int, flat);
        QFETCH(QString, writes);
        Access a;
        a.allowWrite = access != u"off";
        a.client = access == u"ro" ? ClientAccess::Read : ClientAccess::Write;
        a.tripped = access == u"tripped";
        a.unitMode = access == u"board" ? UnitMode::PerBoard : UnitMode::Any;
        const QByteArray frame = Frame(unit, pdu);
        const auto *bytes = reinterpret_cast<const uint8_t *>(frame.constData());
        QCOMPARE(RestLength(bytes), frame.size() - kHeaderBytes);
        const Verdict v = CheckRequest(bytes, int(frame.size()), TestImage(), a);
        QCOMPARE(int(v.exception), exception);
        QCOMPARE(v.action == Action::Exception, exception != 0);
        if (flat >= 0) {
            QCOMPARE(int(v.action), int(Action::Read));
            QCOMPARE(v.flatAddress, flat);
        }
        if (writes.toInt() > 0)
            QCOMPARE(int(v.writes.size()), writes.toInt());
        else
            QCOMPARE(Writes(v), writes);
    }

    void failedBoardRead()
    {
        Image image = TestImage();
        image.boards[2].failed = true;
        for (const QByteArray &pdu : {QByteArray("0200800001"), QByteArray("0400080001"),
                                      QByteArray("0401080001"), QByteArray("0300080001")}) {
            const QByteArray frame = Frame(1, pdu);
            const Verdict v = CheckRequest(reinterpret_cast<const uint8_t *>(frame.constData()),
                                           int(frame.size()), image, Access{});
            QCOMPARE(int(v.exception), 4);
        }
    }

    void header_data()
    {
        QTest::addColumn<QByteArray>("header");
        QTest::addColumn<int>("rest");
        QTest::newRow("read") << QByteArray("00010000000601") << 5;
        QTest::newRow("protocol 1") << QByteArray("00010001000601") << -1;
        QTest::newRow("length 0") << QByteArray("00010000000001") << -1;
        QTest::newRow("length 1 (no function)") << QByteArray("00010000000101") << -1;
        QTest::newRow("length 254, the longest") << QByteArray("0001000000fe01") << 253;
        QTest::newRow("length 255") << QByteArray("0001000000ff01") << -1;
        QTest::newRow("300-byte PDU") << QByteArray("00010000012d01") << -1;
    }
    void header()
    {
        QFETCH(QByteArray, header);
        QFETCH(int, rest);
        QCOMPARE(
            RestLength(reinterpret_cast<const uint8_t *>(QByteArray::fromHex(header).constData())),
            rest);
    }

    void mapping()
    {
        Image image = TestImage();
        image.boards[0].in = 0xA5A5A5A5; // the gap's bits read 0
        image.boards[2].out = 0x8000000000000001;
        image.boards[2].safe = true;
        image.watchdogState = 2;
        image.trips = 70000;
        modbus_mapping_t *m = NewMapping();
        QVERIFY(m);
        FillMapping(image, m);
        FillLiveStatus({70000, 3, 0x12345}, m);
        QCOMPARE(m->tab_input_registers[0], uint16_t(0x00A5));
        QCOMPARE(m->tab_input_registers[1], uint16_t(0xA5A5));
        QCOMPARE(m->tab_input_bits[8], uint8_t(0));
        QCOMPARE(m->tab_input_bits[0], uint8_t(1));
        QCOMPARE(m->tab_bits[128], uint8_t(1));
        QCOMPARE(m->tab_bits[191], uint8_t(1));
        QCOMPARE(m->tab_registers[11], uint16_t(0x8000));
        QCOMPARE(m->tab_input_registers[kOutWordsBase + 8], uint16_t(1));
        QCOMPARE(m->tab_input_bits[kPresentBase + 1], uint8_t(0));
        QCOMPARE(m->tab_input_bits[kPresentBase + 2], uint8_t(1));
        QCOMPARE(m->tab_input_bits[kSafeBase + 2], uint8_t(1));
        const uint16_t *status = m->tab_input_registers + kStatusBase;
        const std::vector<uint16_t> got(status, status + 9);
        const std::vector<uint16_t> want{2, 65535, 65535, 3, 0b1101, 0, 0, 1, 0x2345};
        QCOMPARE(got, want);
        modbus_mapping_free(m);
    }

    void sections_data()
    {
        QTest::addColumn<QString>("section");
        QTest::addColumn<QStringList>("lines"); // key=value
        QTest::addColumn<QString>("error"); // a part of the message; empty: accepted
        QTest::newRow("keys without case")
            << "Modbus" << QStringList{"port=1502", "ALLOWWRITE=1", "unitmode=Per-Board"} << "";
        QTest::newRow("port 0") << "Modbus" << QStringList{"Port=0"} << "Port=: not a port";
        QTest::newRow("twice") << "Modbus" << QStringList{"Port=1502", "port=1503"}
                               << "given again (first on line 1)";
        QTest::newRow("listen a name")
            << "Modbus" << QStringList{"Listen=localhost"} << "not an IPv4 or IPv6";
        QTest::newRow("clients") << "Modbus" << QStringList{"Clients=10.0.0.0/8:read ::1:write"}
                                 << "";
        QTest::newRow("clients no access")
            << "Modbus" << QStringList{"Clients=10.0.0.1"} << "is not ADDRESS";
        QTest::newRow("clients /33")
            << "Modbus" << QStringList{"Clients=10.0.0.1/33:read"} << "not an IPv4";
        QTest::newRow("writable input")
            << "Modbus" << QStringList{"WritablePoints=5:in:3"} << "an input cannot be written";
        QTest::newRow("unknown") << "Modbus" << QStringList{"Baud=9600"} << "unknown key";
        QTest::newRow("watchdog") << "Watchdog"
                                  << QStringList{"timeoutms=500", "Trigger=writes",
                                                 "SafeOutputs=5:out:*=off 5:out:4=on",
                                                 "AutoClear=1"}
                                  << "";
        QTest::newRow("timeout 99") << "Watchdog" << QStringList{"TimeoutMs=99"} << "not 0 (off)";
        QTest::newRow("timeout 60001")
            << "Watchdog" << QStringList{"TimeoutMs=60001"} << "not 0 (off)";
        QTest::newRow("safe value 2")
            << "Watchdog" << QStringList{"SafeOutputs=5:out:3=2"} << "is not CARD:out:POINT=off";
        QTest::newRow("safe absent card")
            << "Watchdog" << QStringList{"SafeOutputs=8:out:3=off"} << "card 8 is not a board";
        QTest::newRow("relative state file")
            << "Watchdog" << QStringList{"StateFile=wd.json"} << "not an absolute path";
    }
    void sections()
    {
        QFETCH(QString, section);
        QFETCH(QStringList, lines);
        QFETCH(QString, error);
        QList<ConfigEntry> entries;
        for (const QString &l : lines)
            entries.append({l.section(u'=', 0, 0), l.section(u'=', 1), int(entries.size()) + 1});
        const std::vector<PlantBoard> boards{{5, {}, 0xFFFFFFFF, 0xFFFFFFFF}};
        QString message;
        bool ok = false;
        if (section == u"Modbus") {
            ModbusConfig c;
            ok = ParseModbusConfig(entries, "agent.ini", &boards, &c, &message);
        } else {
            WatchdogConfig c;
            ok = ParseWatchdogConfig(entries, "agent.ini", &boards, &c, &message);
            if (ok && c.safe.size() > 0) {
                QCOMPARE(c.safe.size(), size_t(32));
                QCOMPARE(c.safe.at({5, 4}), true);
                QCOMPARE(c.safe.at({5, 3}), false);
            }
        }
        QCOMPARE(ok, error.isEmpty());
        QVERIFY2(message.contains(error), qPrintable(message));
    }

    void clientAccess_data()
    {
        QTest::addColumn<QString>("rules");
        QTest::addColumn<QString>("peer");
        QTest::addColumn<int>("access"); // ClientAccess
        QTest::newRow("no rules: write") << ""
                                         << "192.0.2.1" << int(ClientAccess::Write);
        QTest::newRow("in a read network") << "192.0.2.0/24:read"
                                           << "192.0.2.9" << int(ClientAccess::Read);
        QTest::newRow("outside") << "192.0.2.0/24:read"
                                 << "192.0.3.9" << int(ClientAccess::Refused);
        QTest::newRow("the wider rule") << "192.0.2.0/24:read 192.0.2.9:write"
                                        << "192.0.2.9" << int(ClientAccess::Write);
        QTest::newRow("IPv6 loopback") << "::1:write"
                                       << "::1" << int(ClientAccess::Write);
        QTest::newRow("IPv4 rule, IPv6 peer") << "0.0.0.0/0:read"
                                              << "2001:db8::1" << int(ClientAccess::Refused);
    }
    void clientAccess()
    {
        QFETCH(QString, rules);
        QFETCH(QString, peer);
        QFETCH(int, access);
        ModbusConfig c;
        QString error;
        QVERIFY(ParseModbusConfig({{"Clients", rules, 1}}, "agent.ini", nullptr, &c, &error));
        std::array<uint8_t, 16> address{};
        int bits = 0;
        QVERIFY(ParseAddress(peer, &address, &bits));
        QCOMPARE(int(c.AccessOf(address)), access);
    }
};

QTEST_GUILESS_MAIN(TestModbusMap)
#include "tst_modbus_map.moc"

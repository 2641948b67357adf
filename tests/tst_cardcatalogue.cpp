// The card catalogue: board names, labels, count and version texts, and the lookup from a
// card number to a card map position.
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"
#include "model/BoardModel.h"

#include <QtTest>

#include <climits>

class TestCardCatalogue : public QObject
{
    Q_OBJECT

private slots:
    void boardName_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<QByteArray>("expected");
        QTest::newRow("174 named by outputs") << 174 << 64 << 32 << QByteArray("QRX-LM32DIO");
        QTest::newRow("174 with 8 outputs: blank") << 174 << 32 << 8 << QByteArray("QRX-LM 8DIO");
        QTest::newRow("2801 named by inputs") << 2801 << 16 << 0 << QByteArray("QRX-LN16DI");
        QTest::newRow("2801 single digit") << 2801 << 8 << 64 << QByteArray("QRX-LN 8DI");
        QTest::newRow("2802 named by outputs") << 2802 << 64 << 32 << QByteArray("QRX-LN32DO");
        QTest::newRow("2803 named by outputs") << 2803 << 32 << 64 << QByteArray("QRX-LN64DIO");
        QTest::newRow("zero count") << 174 << 0 << 0 << QByteArray("QRX-LM 0DIO");
        QTest::newRow("negative count") << 174 << 0 << -1 << QByteArray("QRX-LM-1DIO");
        QTest::newRow("wider than the field") << 2803 << 0 << 128 << QByteArray("QRX-LN128DIO");
        QTest::newRow("unknown type") << 175 << 32 << 32 << QByteArray();
        QTest::newRow("type zero") << 0 << 32 << 32 << QByteArray();
    }
    void boardName()
    {
        QFETCH(int, type);
        QFETCH(int, inputs);
        QFETCH(int, outputs);
        QFETCH(QByteArray, expected);
        QCOMPARE(BoardName(type, inputs, outputs), expected);
    }

    void cardLabel_data()
    {
        QTest::addColumn<int>("cardNo");
        QTest::addColumn<QByteArray>("name");
        QTest::addColumn<QString>("expected");
        QTest::newRow("card 0") << 0 << QByteArray("QRX-LM32DIO") << "0 : QRX-LM32DIO";
        QTest::newRow("blank kept") << 3 << QByteArray("QRX-LM 8DIO") << "3 : QRX-LM 8DIO";
        QTest::newRow("two digits") << 15 << QByteArray("QRX-LN16DI") << "15 : QRX-LN16DI";
        QTest::newRow("no name") << 2 << QByteArray("") << "2 : ";
    }
    void cardLabel()
    {
        QFETCH(int, cardNo);
        QFETCH(QByteArray, name);
        QFETCH(QString, expected);
        QCOMPARE(CardLabel(cardNo, name.constData()), expected);
    }

    void countTexts_data()
    {
        QTest::addColumn<int>("count");
        QTest::addColumn<QString>("outputs");
        QTest::addColumn<QString>("inputs");
        QTest::newRow("32") << 32 << "DO : 32"
                            << "D I : 32";
        QTest::newRow("8: two blanks") << 8 << "DO :  8"
                                       << "D I :  8";
        QTest::newRow("0") << 0 << "DO :  0"
                           << "D I :  0";
        QTest::newRow("100") << 100 << "DO : 100"
                             << "D I : 100";
        QTest::newRow("-5") << -5 << "DO : -5"
                            << "D I : -5";
    }
    void countTexts()
    {
        QFETCH(int, count);
        QFETCH(QString, outputs);
        QFETCH(QString, inputs);
        QCOMPARE(OutputCountText(count), outputs);
        QCOMPARE(InputCountText(count), inputs);
    }

    void libraryVersion_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("seven digits") << 1020304 << "Dll Ver. : 1.2.3.4";
        QTest::newRow("five digits") << 10203 << "Dll Ver. : 1.2.3.3";
        QTest::newRow("zero") << 0 << "Dll Ver. : 0...0";
        QTest::newRow("two digits") << 12 << "Dll Ver. : 1...2";
        QTest::newRow("three digits") << 123 << "Dll Ver. : 1.3..3";
        QTest::newRow("four digits") << 1234 << "Dll Ver. : 1.3..4";
        QTest::newRow("ten digits") << INT_MAX << "Dll Ver. : 2.4.4.7";
        QTest::newRow("negative") << -1020304 << "Dll Ver. : -.0.0.4";
        QTest::newRow("negative short") << -7 << "Dll Ver. : -...7";
        QTest::newRow("most negative") << INT_MIN << "Dll Ver. : -.1.7.8";
    }
    void libraryVersion()
    {
        QFETCH(int, value);
        QFETCH(QString, expected);
        QCOMPARE(LibraryVersionText(value), expected);
    }

    void firmwareVersion_data()
    {
        QTest::addColumn<int>("value");
        QTest::addColumn<QString>("expected");
        QTest::newRow("0x12") << 0x12 << "Firmware Ver. : 1.2";
        QTest::newRow("0x105") << 0x105 << "Firmware Ver. : 1.5";
        QTest::newRow("single digit") << 0x7 << "Firmware Ver. : 7.7";
        QTest::newRow("lower case") << 0xab << "Firmware Ver. : a.b";
        QTest::newRow("zero") << 0 << "Firmware Ver. : 0.0";
        QTest::newRow("0x51 like zero") << 0x51 << "Firmware Ver. : 0.0";
        QTest::newRow("0x50") << 0x50 << "Firmware Ver. : 5.0";
        QTest::newRow("0x52") << 0x52 << "Firmware Ver. : 5.2";
        QTest::newRow("0x510 not special") << 0x510 << "Firmware Ver. : 5.0";
        QTest::newRow("0x151 not special") << 0x151 << "Firmware Ver. : 1.1";
        QTest::newRow("negative") << -1 << "Firmware Ver. : f.f";
        QTest::newRow("most negative") << INT_MIN << "Firmware Ver. : 8.0";
    }
    void firmwareVersion()
    {
        QFETCH(int, value);
        QFETCH(QString, expected);
        QCOMPARE(FirmwareVersionText(value), expected);
    }

    void cardIndexOf_data()
    {
        QTest::addColumn<int>("boardCount");
        QTest::addColumn<int>("cardNo");
        QTest::addColumn<int>("expected");
        // The map holds card numbers 0, 3, 3, 5 at positions 0..3 and 9 at position 15.
        QTest::newRow("first") << 4 << 0 << 0;
        QTest::newRow("number differs from position") << 4 << 3 << 1;
        QTest::newRow("last") << 4 << 5 << 3;
        QTest::newRow("absent") << 4 << 7 << -1;
        QTest::newRow("beyond boardCount") << 3 << 5 << -1;
        QTest::newRow("no boards") << 0 << 0 << -1;
        QTest::newRow("negative boardCount") << -2 << 0 << -1;
        QTest::newRow("boardCount above 16 bounded") << 40 << 9 << 15;
        QTest::newRow("boardCount above 16, absent") << 40 << 11 << -1;
    }
    void cardIndexOf()
    {
        QFETCH(int, boardCount);
        QFETCH(int, cardNo);
        QFETCH(int, expected);
        SystemRecords records;
        CardMap &map = *records.info()->cardMap;
        map.setMapCount(4);
        // Slots past the board count hold a card number no test asks for.
        for (int i = 0; i < kMaxBoards; ++i)
            map.setEntry(i, 174, 99, 32, 32);
        map.setEntry(0, 174, 0, 32, 32);
        map.setEntry(1, 174, 3, 32, 32);
        map.setEntry(2, 174, 3, 32, 32);
        map.setEntry(3, 174, 5, 32, 32);
        map.setEntry(15, 174, 9, 32, 32);
        records.info()->boardTable->boardCount = boardCount;
        QCOMPARE(CardIndexOf(map, boardCount, cardNo), expected);
    }

    // A model that has loaded nothing knows no card.
    void cardIndexOfWithoutRecords() { QCOMPARE(BoardModel().CardIndexOf(0), -1); }

    void activeCardLabel_data()
    {
        QTest::addColumn<int>("cardType");
        QTest::addColumn<int>("activeCardNo");
        QTest::addColumn<QString>("expected");
        QTest::newRow("digital I/O") << 3 << 3 << "3 : QRX-LN16DI";
        QTest::newRow("first board") << 3 << 0 << "0 : QRX-LM 8DIO";
        QTest::newRow("other class") << 0 << 3 << "";
        QTest::newRow("card not in map") << 3 << 4 << "";
    }
    void activeCardLabel()
    {
        QFETCH(int, cardType);
        QFETCH(int, activeCardNo);
        QFETCH(QString, expected);
        SystemRecords records;
        SystemInfo &info = *records.info();
        info.cardMap->setMapCount(2);
        info.cardMap->setEntry(0, 174, 0, 32, 8);
        info.cardMap->setEntry(1, 2801, 3, 16, 0);
        info.boardTable->boardCount = 2;
        CopyAnsi(info.boardTable->boardName[0], kPathBytes, "QRX-LM 8DIO");
        CopyAnsi(info.boardTable->boardName[1], kPathBytes, "QRX-LN16DI");
        info.activeCardType = cardType;
        info.activeCardNo = activeCardNo;
        QCOMPARE(IsDigitalIoActive(&info), cardType == kDigitalIoClass);
        QCOMPARE(ActiveCardLabel(info), expected);
    }

    void familyText() { QCOMPARE(FamilyText(), QStringLiteral("QRX-LxxxDIO")); }
};

QTEST_APPLESS_MAIN(TestCardCatalogue)
#include "tst_cardcatalogue.moc"

// The input page: which LEDs are live on each tab, the exact bit reads of a refresh, the input
// word, and that a steady input repaints nothing.
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "WidgetHelpers.h"
#include "controls/LedIndicator.h"
#include "device/SystemInfo.h"
#include "dio/DiWnd.h"
#include "model/BoardModel.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QAccessible>
#include <QtTest>

namespace {

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage();
}

constexpr uint64_t kInputs = 0xA5A5'0F0F'3C3C'81FFull;

} // namespace

class TestDiWnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<BoardModel> m_model;
    std::unique_ptr<FakeDevice> m_fake;

    void useBoard(int inputs, uint64_t in = kInputs)
    {
        m_fake = std::make_unique<FakeDevice>();
        FakeBoard b;
        b.cardNo = 2;
        b.inputs = inputs;
        b.in = in;
        m_fake->boards = {b};
        LoadModel(*m_model, *m_fake);
    }

    // Shows `tab` of a board of `inputs` inputs (card 2) on the page and refreshes it once.
    static void refresh(CVL_DiWnd &page, int inputs, int tab)
    {
        page.diCount = inputs;
        page.tabIndex = tab;
        page.cardNo = 2;
        page.SetupLeds();
        page.RefreshInputs();
    }

private slots:
    void init() { m_model = std::make_unique<BoardModel>(); }
    void cleanup()
    {
        m_fake.reset();
        m_model.reset();
    }

    void refreshReadsTheLiveInputsOfTheTab_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("first"); // bits read: first ... end - 1
        QTest::addColumn<int>("end");
        QTest::addColumn<uint>("liveLeds");
        QTest::newRow("0 inputs") << 0 << 0 << 0 << 0 << 0u;
        QTest::newRow("16 inputs") << 16 << 0 << 0 << 16 << 0x0000FFFFu;
        QTest::newRow("24 inputs: 8-15 missing, 0-31 read") << 24 << 0 << 0 << 32 << 0xFFFF00FFu;
        QTest::newRow("32 inputs") << 32 << 0 << 0 << 32 << 0xFFFFFFFFu;
        QTest::newRow("40 inputs tab 0") << 40 << 0 << 0 << 32 << 0xFFFFFFFFu;
        QTest::newRow("40 inputs tab 1") << 40 << 1 << 32 << 40 << 0x000000FFu;
        QTest::newRow("48 inputs tab 0") << 48 << 0 << 0 << 32 << 0xFFFFFFFFu;
        QTest::newRow("48 inputs tab 1") << 48 << 1 << 32 << 48 << 0x0000FFFFu;
        QTest::newRow("64 inputs tab 0") << 64 << 0 << 0 << 32 << 0xFFFFFFFFu;
        QTest::newRow("64 inputs tab 1") << 64 << 1 << 32 << 64 << 0xFFFFFFFFu;
        QTest::newRow("a count above 64 is bounded") << 100 << 1 << 32 << 64 << 0xFFFFFFFFu;
    }

    void refreshReadsTheLiveInputsOfTheTab()
    {
        QFETCH(int, inputs);
        QFETCH(int, tab);
        QFETCH(int, first);
        QFETCH(int, end);
        QFETCH(uint, liveLeds);
        // A 24-input board reads 0 on 8..15.
        useBoard(inputs, inputs == 24 ? kInputs & ~0xFF00ull : kInputs);
        const uint64_t in = m_fake->boards[0].in;

        CVL_DiWnd page(*m_model);
        page.diCount = inputs;
        page.tabIndex = tab;
        page.cardNo = 2;
        page.SetupLeds();
        QVERIFY(m_fake->takeCalls().isEmpty());
        page.RefreshInputs();

        QStringList expected;
        uint32_t word = 0;
        for (int i = first; i < end; ++i) {
            expected << QStringLiteral("DXS_devDiGetBit(2, %1)").arg(i);
            if ((in >> i) & 1)
                word |= 1u << (i % 32);
        }
        QCOMPARE(m_fake->takeCalls(), expected);
        QCOMPARE(page.diWord, word);

        const QImage off = Picture(Resources::Icon(IDI_LED_OFF));
        const QImage on = Picture(Resources::Icon(IDI_LED_ON));
        const QImage missing = Picture(Resources::Icon(IDI_LED_UNAVAILABLE));
        for (int k = 0; k < 32; ++k) {
            const bool live = (liveLeds >> k) & 1;
            CLedIndicator *led = page.leds[k];
            QCOMPARE(led->GetStateCount(), 2u);
            QVERIFY2(Picture(led->GetStateData(0).hIcon) == (live ? off : missing),
                     qPrintable(QString::number(k)));
            QVERIFY2(Picture(led->GetStateData(1).hIcon) == (live ? on : missing),
                     qPrintable(QString::number(k)));
            QCOMPARE(led->GetCurrentState(), (word >> k) & 1);
        }
    }

    void noReadWhileTheActiveClassIsNotDigitalIo()
    {
        useBoard(32, ~0ull);
        CVL_DiWnd page(*m_model);
        page.diCount = 32;
        page.cardNo = 2;
        page.SetupLeds();
        page.RefreshInputs();
        QCOMPARE(page.diWord, 0xFFFFFFFFu);
        m_fake->takeCalls();

        m_model->SetActiveCardType(2);
        page.RefreshInputs();
        QVERIFY(m_fake->calls.isEmpty());
        QCOMPARE(page.diWord, 0u);
        for (CLedIndicator *led : page.leds)
            QCOMPARE(led->GetCurrentState(), 0u);
    }

    void everyReadFailingShowsNothing()
    {
        useBoard(4, 0b0001);
        m_fake->failing = {QStringLiteral("DXS_devDiGetBit")};
        CVL_DiWnd page(*m_model);
        page.diCount = 4;
        page.SetupLeds();
        page.RefreshInputs();
        QCOMPARE(m_fake->calls.size(), 4);
        QCOMPARE(page.diWord, 0u);
    }

    void aFailedReadShowsTheInputOff_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<quint64>("in");
        QTest::addColumn<QList<int>>("failingBits");
        QTest::addColumn<uint>("word");
        QTest::newRow("24 inputs, 23 on, 24-31 fail")
            << 24 << 0 << (quint64(1) << 23) << QList<int>{24, 25, 26, 27, 28, 29, 30, 31}
            << 0x00800000u;
        QTest::newRow("one failure between inputs that are on")
            << 32 << 0 << ~quint64(0) << QList<int>{5} << 0xFFFFFFDFu;
        QTest::newRow("tab 1: the failure after an input that is on")
            << 64 << 1 << ~quint64(0) << QList<int>{40, 63} << 0x7FFFFEFFu;
    }

    void aFailedReadShowsTheInputOff()
    {
        QFETCH(int, inputs);
        QFETCH(int, tab);
        QFETCH(quint64, in);
        QFETCH(QList<int>, failingBits);
        QFETCH(uint, word);
        useBoard(inputs, in);
        for (int bit : failingBits)
            m_fake->failingCalls << QStringLiteral("DXS_devDiGetBit(2, %1)").arg(bit);
        CVL_DiWnd page(*m_model);
        refresh(page, inputs, tab);
        QCOMPARE(page.diWord, word);
        for (int k = 0; k < 32; ++k)
            QVERIFY2(page.leds[k]->GetCurrentState() == ((word >> k) & 1),
                     qPrintable(QString::number(k)));
    }

    void screenReaderNames_data()
    {
        QTest::addColumn<int>("inputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("led");
        QTest::addColumn<QString>("name");
        QTest::newRow("live, on") << 32 << 0 << 0 << "Input 0: on";
        QTest::newRow("live, off") << 32 << 0 << 1 << "Input 1: off";
        QTest::newRow("24 inputs: 9 missing, read as on") << 24 << 0 << 9 << "Input 9: not present";
        QTest::newRow("24 inputs: 10 missing, read as off")
            << 24 << 0 << 10 << "Input 10: not present";
        QTest::newRow("beyond 16 inputs") << 16 << 0 << 20 << "Input 20: not present";
        QTest::newRow("tab 1 of 40") << 40 << 1 << 9 << "Input 41: not present";
    }

    void screenReaderNames()
    {
        QFETCH(int, inputs);
        QFETCH(int, tab);
        QFETCH(int, led);
        QFETCH(QString, name);
        useBoard(inputs, 0x0000'0000'0000'0201ull);
        CVL_DiWnd page(*m_model);
        refresh(page, inputs, tab);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(page.leds[led]);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), name);
    }

    void steadyInputsRepaintNothing()
    {
        useBoard(32, 0x0000'0000'0000'00F0ull);
        CVL_DiWnd page(*m_model);
        page.diCount = 32;
        page.SetupLeds();
        page.show();
        page.cardNo = 2;
        QVERIFY(QTest::qWaitForWindowExposed(&page));
        FlushPaints();
        PaintCounter paints;
        for (CLedIndicator *led : page.leds)
            led->installEventFilter(&paints);

        page.RefreshInputs();
        QTRY_COMPARE(paints.count, 4); // the four inputs that are on

        paints.count = 0;
        for (int tick = 0; tick < 5; ++tick) {
            page.RefreshInputs();
            FlushPaints();
        }
        QCOMPARE(paints.count, 0);

        m_fake->boards[0].in = 0x70; // input 7 goes off
        page.RefreshInputs();
        FlushPaints();
        QCOMPARE(paints.count, 1);
    }

    void clickingAnLedChangesNothing()
    {
        useBoard(8, 0);
        CVL_DiWnd page(*m_model);
        page.diCount = 8;
        page.SetupLeds();
        page.show();
        m_fake->takeCalls();
        QTest::mouseClick(page.leds[3], Qt::LeftButton);
        QVERIFY(m_fake->calls.isEmpty());
        QCOMPARE(page.leds[3]->GetCurrentState(), 0u);
    }
};

QTEST_MAIN(TestDiWnd)
#include "tst_diwnd.moc"

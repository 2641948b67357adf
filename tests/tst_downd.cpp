// The output page: the read-back of a refresh and the lamps it shows, the clicks on live and
// grey buttons, the four patterns, the typed value, the word reported to the window, and no
// repaint of a steady output.
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "WidgetHelpers.h"
#include "controls/ImageButton.h"
#include "device/SystemInfo.h"
#include "dio/DoWnd.h"
#include "model/BoardModel.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QtTest>

namespace {

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage();
}

QImage Lamp(int id)
{
    return Picture(Resources::Icon(id));
}

// The window the page reports to: it counts the word-change messages it receives.
class WordListener : public QWidget
{
public:
    int reports = 0;
    bool event(QEvent *e) override
    {
        if (e->type() == QEvent::Type(UM_DO_WORD_CHANGED)) {
            ++reports;
            return true;
        }
        return QWidget::event(e);
    }
};

QStringList SetBits(int card, int first, int end, const std::function<int(int)> &value)
{
    QStringList calls;
    for (int i = first; i < end; ++i)
        calls << QStringLiteral("DXS_devDoSetBit(%1, %2, %3)").arg(card).arg(i).arg(value(i));
    return calls;
}

constexpr uint64_t kOutputs = 0x8000'0001'F0F0'0023ull;

} // namespace

class TestDoWnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<BoardModel> m_model;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<WordListener> m_window;
    CVL_DoWnd *m_page = nullptr;

    // A page on a board of `outputs` outputs (card 1) showing `tab`, inside a window.
    void usePage(int outputs, int tab, uint64_t out = kOutputs)
    {
        m_fake = std::make_unique<FakeDevice>();
        FakeBoard b;
        b.cardNo = 1;
        b.outputs = outputs;
        b.out = out;
        m_fake->boards = {b};
        LoadModel(*m_model, *m_fake);
        m_window = std::make_unique<WordListener>();
        auto *host = new QWidget(m_window.get());
        m_page = new CVL_DoWnd(*m_model, host);
        m_page->doCount = outputs;
        m_page->tabIndex = tab;
        m_page->cardNo = 1;
        m_page->SetupButtons();
    }

private slots:
    void init() { m_model = std::make_unique<BoardModel>(); }
    void cleanup()
    {
        m_window.reset();
        m_fake.reset();
        m_model.reset();
    }

    void refreshReadsBackTheLiveOutputs_data()
    {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("first");
        QTest::addColumn<int>("end");
        QTest::newRow("0 outputs") << 0 << 0 << 0 << 0;
        QTest::newRow("16 outputs") << 16 << 0 << 0 << 16;
        QTest::newRow("24 outputs") << 24 << 0 << 0 << 24;
        QTest::newRow("32 outputs") << 32 << 0 << 0 << 32;
        QTest::newRow("40 outputs tab 1") << 40 << 1 << 32 << 40;
        QTest::newRow("48 outputs tab 0") << 48 << 0 << 0 << 32;
        QTest::newRow("48 outputs tab 1") << 48 << 1 << 32 << 48;
        QTest::newRow("64 outputs tab 1") << 64 << 1 << 32 << 64;
        QTest::newRow("a count above 64 is bounded") << 70 << 1 << 32 << 64;
    }

    void refreshReadsBackTheLiveOutputs()
    {
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(int, first);
        QFETCH(int, end);
        usePage(outputs, tab);
        QVERIFY(m_fake->takeCalls().isEmpty());

        const int live = end - first;
        for (int k = 0; k < 32; ++k) {
            QVERIFY(Picture(m_page->bitButtons[k]->GetActiveImage()) ==
                    Lamp(k < live ? IDI_LED_OFF : IDI_LED_UNAVAILABLE));
            QCOMPARE(m_page->bitButtons[k]->focusPolicy(),
                     k < live ? Qt::StrongFocus : Qt::ClickFocus);
        }

        m_page->RefreshOutputs();
        QStringList expected;
        uint32_t word = 0;
        for (int i = first; i < end; ++i) {
            expected << QStringLiteral("DXS_devDoGetBit(1, %1)").arg(i);
            if ((kOutputs >> i) & 1)
                word |= 1u << (i % 32);
        }
        QCOMPARE(m_fake->takeCalls(), expected);
        QCOMPARE(m_page->doWord, word);
        for (int k = 0; k < 32; ++k) {
            const int id = k >= live ? IDI_LED_UNAVAILABLE
                                     : ((word >> k) & 1 ? IDI_LED_OUTPUT_ON : IDI_LED_OFF);
            QVERIFY2(Picture(m_page->bitButtons[k]->GetActiveImage()) == Lamp(id),
                     qPrintable(QString::number(k)));
            QCOMPARE(m_page->shownState[tab][k], int32_t((word >> k) & 1));
        }
    }

    void aFailedReadShowsTheOutputOff_data()
    {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QList<int>>("failingBits");
        QTest::addColumn<uint>("word");
        QTest::newRow("one failure between outputs that are on")
            << 32 << 0 << QList<int>{5} << 0xFFFFFFDFu;
        QTest::newRow("the last outputs fail")
            << 24 << 0 << QList<int>{20, 21, 22, 23} << 0x000FFFFFu;
        QTest::newRow("tab 1") << 64 << 1 << QList<int>{33, 63} << 0x7FFFFFFDu;
    }

    void aFailedReadShowsTheOutputOff()
    {
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(QList<int>, failingBits);
        QFETCH(uint, word);
        usePage(outputs, tab, ~quint64(0));
        for (int bit : failingBits)
            m_fake->failingCalls << QStringLiteral("DXS_devDoGetBit(1, %1)").arg(bit);
        m_page->RefreshOutputs();
        QCOMPARE(m_page->doWord, word);
        const int live = tab == 0 ? qMin(outputs, 32) : outputs - 32;
        for (int k = 0; k < live; ++k)
            QVERIFY2(Picture(m_page->bitButtons[k]->GetActiveImage()) ==
                         Lamp((word >> k) & 1 ? IDI_LED_OUTPUT_ON : IDI_LED_OFF),
                     qPrintable(QString::number(k)));
    }

    void clickSwitchesTheReadBackOutput_data()
    {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<int>("button");
        QTest::addColumn<int>("bit");
        QTest::addColumn<int>("written");
        QTest::newRow("live output 5, on") << 32 << 0 << 5 << 5 << 0;
        QTest::newRow("live output 2, off") << 32 << 0 << 2 << 2 << 1;
        QTest::newRow("grey button 20 of 16 outputs") << 16 << 0 << 20 << 20 << 1;
        QTest::newRow("tab 1 button 0 is bit 32") << 64 << 1 << 0 << 32 << 0;
        QTest::newRow("tab 1 button 31 is bit 63") << 64 << 1 << 31 << 63 << 0;
    }

    void clickSwitchesTheReadBackOutput()
    {
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(int, button);
        QFETCH(int, bit);
        QFETCH(int, written);
        usePage(outputs, tab, 0x8000'0001'0000'0021ull);
        m_window->show();
        QTest::mouseClick(m_page->bitButtons[button], Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(),
                 QStringList({QStringLiteral("DXS_devDoGetBit(1, %1)").arg(bit),
                              QStringLiteral("DXS_devDoSetBit(1, %1, %2)").arg(bit).arg(written)}));
        // The image waits for the next refresh.
        QVERIFY(m_page->shownState[tab][button] == 0);
    }

    void noCallWhileDisabledOrOutsideTheClass()
    {
        usePage(32, 0);
        m_window->show();
        m_page->outputDisable = 1;
        QTest::mouseClick(m_page->bitButtons[5], Qt::LeftButton);
        QVERIFY(m_fake->calls.isEmpty());

        m_page->outputDisable = 0;
        m_model->SetActiveCardType(0);
        QTest::mouseClick(m_page->bitButtons[5], Qt::LeftButton);
        m_page->RefreshOutputs();
        m_page->SetAllOn();
        CopyAnsi(m_page->valueText, kValueTextBytes, "FF");
        m_page->WriteValue();
        QVERIFY(m_fake->calls.isEmpty());
        QCOMPARE(m_page->doWord, 0u);
    }

    void patternsWriteEveryLiveOutput_data()
    {
        QTest::addColumn<QString>("pattern");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<QStringList>("calls");
        auto odd = [](int i) {
            return i % 2 == 0 ? 1 : 0;
        };
        auto even = [](int i) {
            return i % 2 != 0 ? 1 : 0;
        };
        QTest::newRow("Odd, 16 outputs") << "Odd" << 16 << 0 << SetBits(1, 0, 16, odd);
        QTest::newRow("Even, 16 outputs") << "Even" << 16 << 0 << SetBits(1, 0, 16, even);
        QTest::newRow("Odd, tab 1") << "Odd" << 64 << 1 << SetBits(1, 32, 64, odd);
        QTest::newRow("Even, tab 1") << "Even" << 64 << 1 << SetBits(1, 32, 64, even);
        QTest::newRow("All On, 48 outputs tab 1")
            << "AllOn" << 48 << 1 << SetBits(1, 32, 48, [](int) { return 1; });
        QTest::newRow("All Off, 32 outputs")
            << "AllOff" << 32 << 0 << SetBits(1, 0, 32, [](int) { return 0; });
        QTest::newRow("no outputs") << "AllOn" << 0 << 0 << QStringList();
    }

    void patternsWriteEveryLiveOutput()
    {
        QFETCH(QString, pattern);
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(QStringList, calls);
        usePage(outputs, tab);
        m_page->outputDisable = 1; // the window greys the buttons instead
        if (pattern == "Odd")
            m_page->SetOdd();
        else if (pattern == "Even")
            m_page->SetEven();
        else if (pattern == "AllOn")
            m_page->SetAllOn();
        else
            m_page->SetAllOff();
        QCOMPARE(m_fake->takeCalls(), calls);
    }

    void writeValueWritesTheTypedWord_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<uint>("value");
        QTest::newRow("0x5") << QByteArray("0x5") << 32 << 0 << 0x5u;
        QTest::newRow("FF on tab 1") << QByteArray("FF") << 64 << 1 << 0xFFu;
        QTest::newRow("-1 reads as all ones") << QByteArray("-1") << 32 << 0 << 0xFFFFFFFFu;
        QTest::newRow("-1 on 48 outputs tab 1") << QByteArray("-1") << 48 << 1 << 0xFFFFFFFFu;
        QTest::newRow("blanks and 0X prefix") << QByteArray("  0Xa") << 16 << 0 << 0xAu;
        QTest::newRow("stops at a non-digit") << QByteArray("12g4") << 16 << 0 << 0x12u;
        QTest::newRow("nine digits keep the low 32 bits")
            << QByteArray("123456789") << 32 << 0 << 0x23456789u;
    }

    void writeValueWritesTheTypedWord()
    {
        QFETCH(QByteArray, text);
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(uint, value);
        usePage(outputs, tab);
        m_page->outputDisable = 1; // not consulted
        CopyAnsi(m_page->valueText, kValueTextBytes, text.constData());
        m_page->WriteValue();
        const int first = tab == 0 ? 0 : 32;
        const int end = tab == 0 ? qMin(outputs, 32) : outputs;
        QCOMPARE(m_fake->takeCalls(),
                 SetBits(1, first, end, [value](int i) { return (value >> (i % 32)) & 1; }));
    }

    void changedWordIsReportedOnce()
    {
        usePage(32, 0, 0);
        m_page->RefreshOutputs();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_window->reports, 0); // the word stays 0

        m_fake->boards[0].out = 0x20;
        m_page->RefreshOutputs();
        QCOMPARE(m_window->reports, 0); // posted, not sent
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_window->reports, 1);
        QCOMPARE(m_page->lastDoWord, 0x20u);
        m_page->RefreshOutputs();
        QCoreApplication::sendPostedEvents();
        QCOMPARE(m_window->reports, 1);
    }

    void steadyOutputsRepaintNothing()
    {
        usePage(32, 0, 0x3);
        m_window->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
        FlushPaints();
        PaintCounter paints;
        for (CImageButton *b : m_page->bitButtons)
            b->installEventFilter(&paints);

        m_page->RefreshOutputs();
        QTRY_COMPARE(paints.count, 2);
        paints.count = 0;
        for (int tick = 0; tick < 5; ++tick) {
            m_page->RefreshOutputs();
            FlushPaints();
        }
        QCOMPARE(paints.count, 0);
        m_fake->boards[0].out = 0x1;
        m_page->RefreshOutputs();
        FlushPaints();
        QCOMPARE(paints.count, 1);
    }

    void setupForgetsWhatTheButtonsShowed()
    {
        usePage(64, 0, 0x1'0000'0001ull);
        m_page->RefreshOutputs();
        QVERIFY(Picture(m_page->bitButtons[0]->GetActiveImage()) == Lamp(IDI_LED_OUTPUT_ON));
        m_page->tabIndex = 1;
        m_page->SetupButtons();
        QVERIFY(Picture(m_page->bitButtons[0]->GetActiveImage()) == Lamp(IDI_LED_OFF));
        QCOMPARE(m_page->shownState[0][0], 0);
        m_page->RefreshOutputs(); // output 32 is on: red within one refresh
        QVERIFY(Picture(m_page->bitButtons[0]->GetActiveImage()) == Lamp(IDI_LED_OUTPUT_ON));
    }
};

QTEST_MAIN(TestDoWnd)
#include "tst_downd.moc"

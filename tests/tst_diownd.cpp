// The Digital IO window with the recording fake device: the calls of a tick on every board
// size and tab, the board-type profile, the filter question on card change and on close, the
// typed output word, the rebuilds on the relayed notifications, and no repaint while nothing
// changes. Also the word texts and the typed-word check.
#include "FakeDevice.h"
#include "ModelHelpers.h"
#include "ScriptedMessageBoxes.h"
#include "WidgetHelpers.h"
#include "app/ChildFrame.h"
#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"
#include "device/WordText.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "model/BoardModel.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"

#include <QAccessible>
#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QTabWidget>
#include <QtTest>

namespace {

QImage Picture(const QIcon &icon)
{
    return icon.pixmap(QSize(16, 16), 1.0).toImage();
}

QStringList Reads(const char *function, int card, int first, int end)
{
    QStringList calls;
    for (int i = first; i < end; ++i)
        calls << QStringLiteral("%1(%2, %3)").arg(QLatin1String(function)).arg(card).arg(i);
    return calls;
}

QStringList Writes(int card, int first, int end, uint32_t value)
{
    QStringList calls;
    for (int i = first; i < end; ++i)
        calls << QStringLiteral("DXS_devDoSetBit(%1, %2, %3)")
                     .arg(card)
                     .arg(i)
                     .arg((value >> (i % 32)) & 1);
    return calls;
}

const QString kParamChanged = QString::number(UM_PARAM_CHANGED);
const QString kViewSelect = QString::number(UM_VIEW_SELECT_CARD);

} // namespace

class TestDIoWnd : public QObject
{
    Q_OBJECT

    std::unique_ptr<BoardModel> m_model;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<CVL_DIoWnd> m_view;
    MessageRecorder m_main;

    // Puts the boards into the fake and loads the model from them, as a system load would.
    void useBoards(const QList<FakeBoard> &boards, int32_t activeCardNo)
    {
        m_fake = std::make_unique<FakeDevice>();
        m_fake->boards = boards;
        LoadModel(*m_model, *m_fake, activeCardNo);
    }

    // Opens the window with its timer stopped (the test ticks it), forgetting the set-up calls.
    CVL_DIoWnd *open()
    {
        m_view = std::make_unique<CVL_DIoWnd>(*m_model);
        m_view->timer()->stop();
        m_fake->takeCalls();
        m_main.messages.clear();
        return m_view.get();
    }

    void tick()
    {
        m_view->OnTimer();
        QCoreApplication::sendPostedEvents(m_view.get());
    }

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        CChildFrame::RegisterView(kDigitalIoView, [](QWidget *parent, BoardModel &model) {
            return new CVL_DIoWnd(model, parent);
        });
    }
    void init()
    {
        m_model = std::make_unique<BoardModel>();
        SetMainWindow(&m_main);
    }
    void cleanup()
    {
        // Frames closed in a test are deleted later; no event loop runs to do it.
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_view.reset();
        m_fake.reset();
        m_model.reset();
        m_main.messages.clear();
    }

    // ---- the Tab order ----

    // What Tab visits, in order: the output page's buttons (the present ones) right after the
    // DO tab strip, the output word field but not the read-only input word field, Close last.
    void tabOrder_data()
    {
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("buttons"); // output buttons Tab visits
        QTest::newRow("32 outputs") << 32 << 32;
        QTest::newRow("8 outputs: the grey buttons are left out") << 8 << 8;
        QTest::newRow("no outputs") << 0 << 0;
    }
    void tabOrder()
    {
        QFETCH(int, outputs);
        QFETCH(int, buttons);
        useBoards({Board(174, 0, 32, outputs)}, 0);
        CVL_DIoWnd *view = open();
        QStringList stops;
        QWidget *w = view;
        do {
            w = w->nextInFocusChain();
            if ((w->focusPolicy() & Qt::TabFocus) && w->isEnabled() && w->isVisibleTo(view))
                stops << (w->parentWidget() == view->outputPage ? QStringLiteral("button")
                              : !w->accessibleName().isEmpty()  ? w->accessibleName()
                              : !w->objectName().isEmpty()
                              ? w->objectName()
                              : QString::fromLatin1(w->metaObject()->className()));
        } while (w != view);
        // The DO tab widget (1182), then its tab bar.
        const qsizetype tabStrip = stops.indexOf("1182") + 1;
        QVERIFY2(tabStrip > 0 && stops.value(tabStrip) == "qt_tabwidget_tabbar",
                 qPrintable(stops.join(", ")));
        QCOMPARE(stops.count("button"), buttons);
        QCOMPARE(stops.mid(tabStrip + 1, buttons), QStringList(buttons, "button"));
        QVERIFY2(!stops.contains("Input word"), qPrintable(stops.join(", ")));
        QVERIFY(stops.contains("Output word"));
        QCOMPARE(stops.last(), QString("1336")); // Close
    }

    // ---- word texts and the typed-word check ----

    void wordText_data()
    {
        QTest::addColumn<uint>("word");
        QTest::addColumn<QString>("text");
        QTest::newRow("0") << 0u << "0x00000000";
        QTest::newRow("165") << 165u << "0x000000A5";
        QTest::newRow("all ones") << 0xFFFFFFFFu << "0xFFFFFFFF";
        QTest::newRow("bit 31") << 0x80000000u << "0x80000000";
    }
    void wordText()
    {
        QFETCH(uint, word);
        QFETCH(QString, text);
        QCOMPARE(WordText(word), text);
    }

    void isNumberText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("allowHex");
        QTest::addColumn<bool>("passes");
        QTest::newRow("hex digits") << QByteArray("fF09") << true << true;
        QTest::newRow("hex letters without allowHex") << QByteArray("FF") << false << false;
        QTest::newRow("0XFF: X is no hex letter") << QByteArray("0XFF") << true << false;
        QTest::newRow("leading blanks skipped") << QByteArray("  \t12") << true << true;
        QTest::newRow("blanks only") << QByteArray("   ") << true << false;
        QTest::newRow("empty") << QByteArray("") << true << true;
        QTest::newRow("blank inside") << QByteArray("1 2") << true << false;
        QTest::newRow("dot") << QByteArray("1.5") << true << true;
        QTest::newRow("minus then punctuation") << QByteArray("-.,;+") << true << true;
        QTest::newRow("minus then a letter") << QByteArray("-1x") << true << false;
        QTest::newRow("punctuation without minus") << QByteArray("1;") << true << false;
        QTest::newRow("byte 0x80 or above") << QByteArray("-1\xE9") << true << false;
    }
    void isNumberText()
    {
        QFETCH(QByteArray, text);
        QFETCH(bool, allowHex);
        QFETCH(bool, passes);
        QCOMPARE(IsNumberText(text.constData(), allowHex), passes);
    }

    void readHexText_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<uint>("value");
        QTest::addColumn<bool>("hasDigit");
        QTest::newRow("0x5") << QByteArray("0x5") << 0x5u << true;
        QTest::newRow("FF") << QByteArray("FF") << 0xFFu << true;
        QTest::newRow("-1") << QByteArray("-1") << 0xFFFFFFFFu << true;
        QTest::newRow("blanks, sign, prefix") << QByteArray(" +0Xa") << 0xAu << true;
        QTest::newRow("0x alone reads 0") << QByteArray("0x") << 0u << true;
        QTest::newRow("empty") << QByteArray("") << 0u << false;
        QTest::newRow("dot") << QByteArray(".") << 0u << false;
        QTest::newRow("minus") << QByteArray("-") << 0u << false;
        QTest::newRow("stops at the first non-digit") << QByteArray("1f.8") << 0x1Fu << true;
    }
    void readHexText()
    {
        QFETCH(QByteArray, text);
        QFETCH(uint, value);
        QFETCH(bool, hasDigit);
        const HexReading reading = ReadHexText(text.constData());
        QCOMPARE(reading.value, value);
        QCOMPARE(reading.hasDigit, hasDigit);
    }

    // ---- the tick ----

    void tickReadsTheLiveBitsOfBothTabs_data()
    {
        QTest::addColumn<int>("points");
        QTest::addColumn<int>("tab");
        for (int points : {0, 16, 24, 32, 40, 48, 64}) {
            QTest::addRow("%d points, tab 0", points) << points << 0;
            if (points > 32)
                QTest::addRow("%d points, tab 1", points) << points << 1;
        }
    }
    void tickReadsTheLiveBitsOfBothTabs()
    {
        QFETCH(int, points);
        QFETCH(int, tab);
        useBoards({Board(kTypeLnDio, 3, points, points)}, 3);
        open();
        QCOMPARE(m_view->inputTabs()->count(), points > 32 ? 2 : 1);
        QCOMPARE(m_view->outputTabs()->count(), points > 32 ? 2 : 1);
        QCOMPARE(m_view->inputTabs()->tabText(0), QString("DI_0"));
        QCOMPARE(m_view->outputTabs()->tabText(0), QString("DO_0"));
        if (points > 32) {
            QCOMPARE(m_view->inputTabs()->tabText(1), QString("DI_1"));
            QCOMPARE(m_view->outputTabs()->tabText(1), QString("DO_1"));
        }
        m_view->inputTabs()->setCurrentIndex(tab);
        m_view->outputTabs()->setCurrentIndex(tab);
        QVERIFY(m_fake->takeCalls().isEmpty()); // a tab change reads nothing
        QCOMPARE(m_view->inputPage->tabIndex, tab);
        QCOMPARE(m_view->outputPage->tabIndex, tab);

        tick();
        const int first = 32 * tab;
        const int end = tab == 0 ? qMin(points, 32) : points;
        const int inputEnd = points == 24 ? 32 : end;
        QCOMPARE(m_fake->takeCalls(),
                 Reads("DXS_devDiGetBit", 3, first, inputEnd) +
                     Reads("DXS_devDoGetBit", 3, first, end));
    }

    void inputFieldTrailsTheLedsByOneTick()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        m_fake->boards[0].in = 0x5;
        open();
        QCOMPARE(m_view->diValueEdit()->text(), QString());
        tick();
        QCOMPARE(m_view->inputPage->leds[0]->GetCurrentState(), 1u);
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000000"));
        tick();
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000005"));
    }

    void outputFieldFollowsTheReportedWord()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        open();
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x00000000"));
        m_fake->boards[0].out = 0xA5;
        m_view->OnTimer();
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x00000000")); // the report is posted
        QCoreApplication::sendPostedEvents(m_view.get());
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x000000A5"));
    }

    void countsAboveSixtyFourAreBounded()
    {
        useBoards({Board(kTypeLnDio, 1, 100, 200)}, 1);
        open();
        QCOMPARE(m_view->diCount, 64);
        QCOMPARE(m_view->doCount, 64);
        m_view->inputTabs()->setCurrentIndex(1);
        m_view->outputTabs()->setCurrentIndex(1);
        tick();
        QCOMPARE(m_fake->takeCalls(),
                 Reads("DXS_devDiGetBit", 1, 32, 64) + Reads("DXS_devDoGetBit", 1, 32, 64));
    }

    // ---- board-type profile ----

    void boardTypeProfile_data()
    {
        QTest::addColumn<int>("type");
        QTest::addColumn<bool>("disabled"); // Output Disable checked and greyed
        QTest::addColumn<bool>("filterLists");
        QTest::newRow("174 LM...DIO") << 174 << false << true;
        QTest::newRow("2801 LN...DI") << 2801 << true << true;
        QTest::newRow("2802 LN...DO") << 2802 << false << false;
        QTest::newRow("2803 LN...DIO") << 2803 << false << true;
    }
    void boardTypeProfile()
    {
        QFETCH(int, type);
        QFETCH(bool, disabled);
        QFETCH(bool, filterLists);
        useBoards({Board(type, 0, 32, 32), Board(999, 1, 32, 32)}, 0);
        open();
        auto check = [&] {
            QCOMPARE(m_view->outputDisableBox()->isChecked(), disabled);
            QCOMPARE(m_view->outputDisableBox()->isEnabled(), !disabled);
            QCOMPARE(m_view->outputDisable, int32_t(disabled));
            QCOMPARE(m_view->outputPage->outputDisable, int32_t(disabled));
            QCOMPARE(m_view->enableList()->isEnabled(), filterLists);
            QCOMPARE(m_view->timeList()->isEnabled(), filterLists);
            QVERIFY(m_view->setPrmButton->isEnabled());
            for (auto p :
                 {CVL_DIoWnd::Odd, CVL_DIoWnd::Even, CVL_DIoWnd::AllOn, CVL_DIoWnd::AllOff})
                QCOMPARE(m_view->patternButton(p)->isEnabled(), !disabled);
            QCOMPARE(m_view->doValueEdit()->isReadOnly(), disabled);
        };
        check();

        // Clicks on output buttons do nothing on an input board.
        m_view->show();
        QTest::mouseClick(m_view->outputPage->bitButtons[3], Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls().size(), disabled ? 0 : 2);

        // A type the program does not know leaves every control as it was.
        m_model->SetActiveCard(1);
        SendWindowMessage(m_view.get(), UM_ACTIVE_CARD_CHANGED);
        QCOMPARE(m_view->cardNo, 1);
        check();
    }

    void outputDisableBlocksManualChanges()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        open();
        m_view->show();
        QTest::mouseClick(m_view->outputDisableBox(), Qt::LeftButton);
        QVERIFY(m_view->outputDisableBox()->isChecked());
        QCOMPARE(m_view->outputPage->outputDisable, 1);
        QVERIFY(!m_view->patternButton(CVL_DIoWnd::AllOn)->isEnabled());
        QVERIFY(m_view->doValueEdit()->isReadOnly());
        QTest::mouseClick(m_view->outputPage->bitButtons[3], Qt::LeftButton);
        QVERIFY(m_fake->calls.isEmpty());

        QTest::mouseClick(m_view->outputDisableBox(), Qt::LeftButton);
        QCOMPARE(m_view->outputPage->outputDisable, 0);
        QVERIFY(m_view->patternButton(CVL_DIoWnd::AllOn)->isEnabled());
        QVERIFY(!m_view->doValueEdit()->isReadOnly());
        QVERIFY(m_fake->calls.isEmpty());
    }

    // However the box changes (screen readers and switch devices use the accessible actions),
    // the lock follows its checked state both ways.
    void outputDisableFollowsTheBox_data()
    {
        QTest::addColumn<QString>("how");
        for (const char *how :
             {"mouse", "space key", "accessible toggle", "accessible press", "program"})
            QTest::newRow(how) << QString::fromLatin1(how);
    }

    void outputDisableFollowsTheBox()
    {
        QFETCH(QString, how);
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        open();
        m_view->show();
        QCheckBox *box = m_view->outputDisableBox();
        auto change = [&] {
            if (how == "mouse") {
                QTest::mouseClick(box, Qt::LeftButton);
            } else if (how == "space key") {
                box->setFocus();
                QTest::keyClick(box, Qt::Key_Space);
            } else if (how == "program") {
                box->setChecked(!box->isChecked());
            } else {
                QAccessibleInterface *accessible = QAccessible::queryAccessibleInterface(box);
                QVERIFY(accessible && accessible->actionInterface());
                accessible->actionInterface()->doAction(
                    how == "accessible toggle" ? QAccessibleActionInterface::toggleAction()
                                               : QAccessibleActionInterface::pressAction());
                QTest::qWait(200); // a press is an animated click
            }
        };
        for (const bool locked : {true, false}) {
            change();
            QCOMPARE(box->isChecked(), locked);
            QCOMPARE(m_view->outputDisable, int32_t(locked));
            QCOMPARE(m_view->outputPage->outputDisable, int32_t(locked));
            QCOMPARE(m_view->patternButton(CVL_DIoWnd::AllOn)->isEnabled(), !locked);
            QCOMPARE(m_view->doValueEdit()->isReadOnly(), locked);
            m_fake->takeCalls();
            QTest::mouseClick(m_view->outputPage->bitButtons[3], Qt::LeftButton);
            QCOMPARE(m_fake->takeCalls(),
                     locked ? QStringList()
                            : QStringList({"DXS_devDoGetBit(0, 3)", "DXS_devDoSetBit(0, 3, 1)"}));
        }
    }

    void patternButtonsWriteTheShownTab()
    {
        useBoards({Board(kTypeLnDio, 2, 64, 64)}, 2);
        open();
        m_view->show();
        m_view->outputTabs()->setCurrentIndex(1);
        QTest::mouseClick(m_view->patternButton(CVL_DIoWnd::Odd), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), Writes(2, 32, 64, 0x55555555u));
        QTest::mouseClick(m_view->patternButton(CVL_DIoWnd::Even), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), Writes(2, 32, 64, 0xAAAAAAAAu));
        m_view->outputTabs()->setCurrentIndex(0);
        QTest::mouseClick(m_view->patternButton(CVL_DIoWnd::AllOn), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), Writes(2, 0, 32, 0xFFFFFFFFu));
        QTest::mouseClick(m_view->patternButton(CVL_DIoWnd::AllOff), Qt::LeftButton);
        QCOMPARE(m_fake->takeCalls(), Writes(2, 0, 32, 0));
    }

    // ---- screen readers ----

    void screenReaderNames_data()
    {
        QTest::addColumn<QString>("id");
        QTest::addColumn<QString>("name");
        QTest::newRow("input word") << "1298"
                                    << "Input word";
        QTest::newRow("output word") << "1299"
                                     << "Output word";
        QTest::newRow("Output Disable, without its leading space") << "1134"
                                                                   << "Output Disable";
    }

    void screenReaderNames()
    {
        QFETCH(QString, id);
        QFETCH(QString, name);
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        open();
        QWidget *widget = m_view->findChild<QWidget *>(id);
        QVERIFY(widget);
        QAccessibleInterface *iface = QAccessible::queryAccessibleInterface(widget);
        QVERIFY(iface);
        QCOMPARE(iface->text(QAccessible::Name), name);
        QCOMPARE(m_view->outputDisableBox()->text(), QString(" Output Disable"));
    }

    // ---- the keyboard ----

    void enterClicksTheFocusedButton_data()
    {
        QTest::addColumn<QString>("target"); // a control's id, or "bit k" for output button k
        QTest::addColumn<int>("key");
        QTest::addColumn<QStringList>("calls");
        QTest::addColumn<QStringList>("messages");
        QTest::newRow("Odd, Return")
            << "1176" << int(Qt::Key_Return) << Writes(4, 0, 16, 0x55555555u) << QStringList();
        QTest::newRow("All Off, keypad Enter")
            << "1179" << int(Qt::Key_Enter) << Writes(4, 0, 16, 0) << QStringList();
        QTest::newRow("output button 5")
            << "bit 5" << int(Qt::Key_Return)
            << QStringList({"DXS_devDoGetBit(4, 5)", "DXS_devDoSetBit(4, 5, 0)"}) << QStringList();
        QTest::newRow("grey output button 20 of 16")
            << "bit 20" << int(Qt::Key_Return)
            << QStringList({"DXS_devDoGetBit(4, 20)", "DXS_devDoSetBit(4, 20, 1)"})
            << QStringList();
        QTest::newRow("Set Prm") << "1448" << int(Qt::Key_Return)
                                 << QStringList({"DXS_devDiSetFilterEnable(4, 0, 0)",
                                                 "DXS_devDiSetFilterTime(4, 0, 0)"})
                                 << QStringList{kParamChanged + "(4)"};
        QTest::newRow("Output Disable: no push button")
            << "1134" << int(Qt::Key_Return) << QStringList() << QStringList();
        QTest::newRow("word field: writes the word")
            << "1299" << int(Qt::Key_Return) << Writes(4, 0, 16, 0x20u) << QStringList();
    }

    void enterClicksTheFocusedButton()
    {
        QFETCH(QString, target);
        QFETCH(int, key);
        QFETCH(QStringList, calls);
        QFETCH(QStringList, messages);
        useBoards({Board(kTypeLmDio, 4, 16, 16)}, 4);
        m_fake->boards[0].out = 0x20;
        open();
        tick();
        m_fake->takeCalls();
        m_view->show();
        QVERIFY(QTest::qWaitForWindowActive(m_view.get()));
        QWidget *widget = target.startsWith("bit ")
            ? m_view->outputPage->bitButtons[target.mid(4).toInt()]
            : m_view->findChild<QWidget *>(target);
        QVERIFY(widget);
        widget->setFocus(Qt::OtherFocusReason); // a grey output button takes the focus by a click
        QCOMPARE(QApplication::focusWidget(), widget);
        ScriptedMessageBoxes boxes;
        QTest::keyClick(widget, Qt::Key(key));
        QCOMPARE(m_fake->takeCalls(), calls);
        QCOMPARE(m_main.messages, messages);
        QVERIFY(!m_view->outputDisableBox()->isChecked());
        QCOMPARE(boxes.asked.size(), 0);
    }

    // ---- the typed output word ----

    void typedWordIsCheckedAndWritten_data()
    {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("outputs");
        QTest::addColumn<int>("tab");
        QTest::addColumn<bool>("refused");
        QTest::addColumn<uint>("value");
        QTest::newRow("0x5") << "0x5" << 32 << 0 << false << 0x5u;
        QTest::newRow("0xff, tab 0 of 64") << "0xff" << 64 << 0 << false << 0xFFu;
        QTest::newRow("FF, tab 1 of 64") << "FF" << 64 << 1 << false << 0xFFu;
        QTest::newRow("-1 switches every output on") << "-1" << 48 << 1 << false << 0xFFFFFFFFu;
        QTest::newRow("0XFF fails the check") << "0XFF" << 32 << 0 << true << 0u;
        QTest::newRow("blanks only fail") << "   " << 32 << 0 << true << 0u;
        QTest::newRow("minus then punctuation: no digit") << "-.,;" << 32 << 0 << true << 0u;
        QTest::newRow("empty: no digit") << "" << 32 << 0 << true << 0u;
        QTest::newRow("dot: no digit") << "." << 32 << 0 << true << 0u;
        QTest::newRow("minus: no digit") << "-" << 32 << 0 << true << 0u;
        QTest::newRow("longer than 259 characters") << QString(300, '1') << 32 << 0 << true << 0u;
        QTest::newRow("259 characters") << QString(258, '0') + "3" << 16 << 0 << false << 3u;
        QTest::newRow("-1€: € is outside the check's alphabet")
            << QString::fromUtf8("-1€") << 32 << 0 << true << 0u;
        QTest::newRow("0x-1 and a character beyond Latin-1")
            << QString::fromUtf8("0x-1✓") << 32 << 0 << true << 0u;
        QTest::newRow("-1é: a Latin-1 letter") << QString::fromUtf8("-1é") << 32 << 0 << true << 0u;
    }
    void typedWordIsCheckedAndWritten()
    {
        QFETCH(QString, text);
        QFETCH(int, outputs);
        QFETCH(int, tab);
        QFETCH(bool, refused);
        QFETCH(uint, value);
        useBoards({Board(kTypeLnDio, 5, 64, outputs)}, 5);
        m_fake->boards[0].out = 0x3;
        open();
        m_view->outputTabs()->setCurrentIndex(tab);
        ScriptedMessageBoxes boxes;
        QLineEdit *edit = m_view->doValueEdit();
        edit->setText(text);
        QTest::keyClick(edit, Qt::Key_Return);

        QCOMPARE(boxes.texts(), refused ? QStringList{"Input value is incorrect!"} : QStringList());
        const int first = 32 * tab;
        const int end = tab == 0 ? qMin(outputs, 32) : outputs;
        QCOMPARE(m_fake->takeCalls(), Writes(5, first, end, value));
        // The field shows the word of the last refresh until the next one reports.
        QCOMPARE(edit->text(), QString("0x00000000"));
    }

    void enterWhileOutputDisableWritesTheShownWordBack()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 0);
        m_fake->boards[0].out = 0x21;
        open();
        tick();
        m_view->show();
        QTest::mouseClick(m_view->outputDisableBox(), Qt::LeftButton);
        QCOMPARE(m_view->doValueEdit()->text(), QString("0x00000021"));
        m_fake->takeCalls();
        QTest::keyClick(m_view->doValueEdit(), Qt::Key_Enter);
        QCOMPARE(m_fake->takeCalls(), Writes(0, 0, 32, 0x21));
    }

    // ---- card list and filter settings ----

    void cardListFollowsTheBoardCount_data()
    {
        QTest::addColumn<int>("boards");
        QTest::addColumn<bool>("enabled");
        QTest::newRow("none") << 0 << true;
        QTest::newRow("one") << 1 << false;
        QTest::newRow("three") << 3 << true;
    }
    void cardListFollowsTheBoardCount()
    {
        QFETCH(int, boards);
        QFETCH(bool, enabled);
        QList<FakeBoard> list;
        for (int i = 0; i < boards; ++i)
            list << Board(kTypeLmDio, 7 - i, 32, 32);
        useBoards(list, 7);
        open();
        QCOMPARE(m_view->cardList()->count(), boards);
        QCOMPARE(m_view->cardList()->isEnabled(), enabled);
        for (int i = 0; i < boards; ++i)
            QCOMPARE(m_view->cardList()->itemText(i), QString::number(7 - i));
        QCOMPARE(m_view->cardList()->currentIndex(), boards ? 0 : -1);
    }

    void cardChangeAsksAboutChangedFilterSettings_data()
    {
        QTest::addColumn<bool>("change");
        QTest::addColumn<int>("answer");
        QTest::newRow("changed, Yes") << true << int(kIdYes);
        QTest::newRow("changed, No") << true << int(kIdNo);
        QTest::newRow("unchanged") << false << int(kIdYes);
    }
    void cardChangeAsksAboutChangedFilterSettings()
    {
        QFETCH(bool, change);
        QFETCH(int, answer);
        useBoards({Board(kTypeLmDio, 0, 32, 32), Board(kTypeLnDio, 4, 64, 64)}, 0);
        m_fake->boards[0].filterTime = 3;
        open();
        QCOMPARE(m_view->timeList()->currentIndex(), 3);
        if (change)
            m_view->enableList()->setCurrentIndex(1);
        ScriptedMessageBoxes boxes(answer);
        m_view->cardList()->setCurrentIndex(1);
        emit m_view->cardList()->activated(1);

        QCOMPARE(boxes.texts(),
                 change ? QStringList{"Parameters are changed. Do you want to set parameter?"}
                        : QStringList());
        QStringList calls{"DXS_devDiGetFilterEnable(0, 0)", "DXS_devDiGetFilterTime(0, 0)"};
        QStringList messages;
        if (change && answer == kIdYes) {
            calls << "DXS_devDiSetFilterEnable(0, 0, 1)"
                  << "DXS_devDiSetFilterTime(0, 0, 3)";
            messages << kParamChanged + "(0)";
        }
        QCOMPARE(m_fake->takeCalls(), calls);
        QCOMPARE(m_main.messages, messages << kViewSelect + "(4)");
        QCOMPARE(m_view->cardNo, 4);
        QCOMPARE(m_view->cardIndex, 1);
    }

    void setPrmWritesTheSelections()
    {
        useBoards({Board(kTypeLnDo, 6, 0, 32)}, 6);
        open();
        QVERIFY(!m_view->enableList()->isEnabled()); // greyed, but Set Prm writes them
        m_view->show();
        QTest::mouseClick(m_view->setPrmButton, Qt::LeftButton);
        QCOMPARE(
            m_fake->takeCalls(),
            QStringList({"DXS_devDiSetFilterEnable(6, 0, 0)", "DXS_devDiSetFilterTime(6, 0, 0)"}));
        QCOMPARE(m_main.messages, QStringList{kParamChanged + "(6)"});
    }

    void closingAsksOnceAboutChangedFilterSettings_data()
    {
        QTest::addColumn<bool>("closeButton");
        QTest::addColumn<int>("answer");
        QTest::newRow("Close button, Yes") << true << int(kIdYes);
        QTest::newRow("Close button, No") << true << int(kIdNo);
        QTest::newRow("frame close box, Yes") << false << int(kIdYes);
        QTest::newRow("frame close box, No") << false << int(kIdNo);
    }
    void closingAsksOnceAboutChangedFilterSettings()
    {
        QFETCH(bool, closeButton);
        QFETCH(int, answer);
        useBoards({Board(kTypeLmDio, 2, 32, 32)}, 2);
        QMdiArea mdi;
        mdi.resize(900, 700);
        mdi.show();
        QPointer<CChildFrame> frame = CChildFrame::Create(kDigitalIoView, &mdi, *m_model);
        QVERIFY(frame);
        auto *view = qobject_cast<CVL_DIoWnd *>(frame->widget());
        QVERIFY(view);
        view->timer()->stop();
        QCOMPARE(frame->windowTitle(), QString("Digital IO - QRX-LM32DIO(2)"));
        view->timeList()->setCurrentIndex(5);
        m_fake->takeCalls();
        m_main.messages.clear();

        ScriptedMessageBoxes boxes(answer);
        if (closeButton)
            QTest::mouseClick(view->closeButton, Qt::LeftButton);
        else
            frame->close();
        QTRY_VERIFY(frame.isNull());
        QCOMPARE(boxes.texts(),
                 QStringList{"Parameters are changed. Do you want to set parameter?"});
        QStringList calls{"DXS_devDiGetFilterEnable(2, 0)", "DXS_devDiGetFilterTime(2, 0)"};
        if (answer == kIdYes)
            calls << "DXS_devDiSetFilterEnable(2, 0, 0)"
                  << "DXS_devDiSetFilterTime(2, 0, 5)";
        QCOMPARE(m_fake->takeCalls(), calls);
    }

    void closingWithUnchangedSettingsAsksNothing()
    {
        useBoards({Board(kTypeLmDio, 2, 32, 32)}, 2);
        QMdiArea mdi;
        mdi.show();
        QPointer<CChildFrame> frame = CChildFrame::Create(kDigitalIoView, &mdi, *m_model);
        ScriptedMessageBoxes boxes(kIdYes);
        frame->close();
        QTRY_VERIFY(frame.isNull());
        QVERIFY(boxes.asked.isEmpty());
        QVERIFY(m_fake->callsOf("DXS_devDiSetFilterEnable").isEmpty());
    }

    // ---- rebuilds ----

    void viewFocusedRebuildsForKind101Only()
    {
        useBoards({Board(kTypeLnDio, 1, 64, 64)}, 1);
        m_fake->boards[0].filterEnable = 1;
        open();
        m_view->inputTabs()->setCurrentIndex(1);
        m_view->outputTabs()->setCurrentIndex(1);
        m_view->show();
        QTest::mouseClick(m_view->outputDisableBox(), Qt::LeftButton);
        m_view->enableList()->setCurrentIndex(0);

        SendWindowMessage(m_view.get(), UM_VIEW_FOCUSED, kSystemIoView);
        QVERIFY(m_fake->calls.isEmpty());
        QCOMPARE(m_view->inputTabs()->currentIndex(), 1);

        SendWindowMessage(m_view.get(), UM_VIEW_FOCUSED, kDigitalIoView);
        QCOMPARE(m_fake->takeCalls(),
                 QStringList({"DXS_devDiGetFilterEnable(1, 0)", "DXS_devDiGetFilterTime(1, 0)"}));
        QCOMPARE(m_view->inputTabs()->currentIndex(), 0);
        QCOMPARE(m_view->outputTabs()->currentIndex(), 0);
        QCOMPARE(m_view->inputPage->tabIndex, 0);
        QCOMPARE(m_view->outputPage->tabIndex, 0);
        QVERIFY(!m_view->outputDisableBox()->isChecked());
        QCOMPARE(m_view->outputPage->outputDisable, 0);
        QCOMPARE(m_view->enableList()->currentIndex(), 1);
        tick();
        QCOMPARE(m_fake->takeCalls(),
                 Reads("DXS_devDiGetBit", 1, 0, 32) + Reads("DXS_devDoGetBit", 1, 0, 32));
    }

    void followsTheActiveBoard_data()
    {
        QTest::addColumn<int>("message");
        QTest::newRow("active card changed") << int(UM_ACTIVE_CARD_CHANGED);
        QTest::newRow("card list changed") << int(UM_CARD_LIST_CHANGED);
    }
    void followsTheActiveBoard()
    {
        QFETCH(int, message);
        useBoards({Board(kTypeLmDio, 0, 32, 32), Board(kTypeLnDi, 3, 48, 0)}, 0);
        open();
        QCOMPARE(m_view->windowTitle(), QString("Digital IO - QRX-LM32DIO(0)"));
        m_model->SetActiveCard(3);
        SendWindowMessage(m_view.get(), message);
        QCOMPARE(m_view->windowTitle(), QString("Digital IO - QRX-LN48DI(3)"));
        QCOMPARE(m_view->cardList()->currentIndex(), 1);
        QCOMPARE(m_view->diCount, 48);
        QCOMPARE(m_view->doCount, 0);
        QCOMPARE(m_view->inputTabs()->count(), 2);
        QCOMPARE(m_view->outputTabs()->count(), 1);
        QCOMPARE(m_fake->takeCalls(),
                 QStringList({"DXS_devDiGetFilterEnable(3, 0)", "DXS_devDiGetFilterTime(3, 0)"}));
    }

    // ---- no board, no class ----

    void anActiveCardMissingFromTheMapShowsNoBoard()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32)}, 9);
        ScriptedMessageBoxes boxes(kIdYes);
        open();
        QCOMPARE(m_view->cardIndex, -1);
        QCOMPARE(m_view->windowTitle(), QString());
        QCOMPARE(m_view->diCount, 0);
        QCOMPARE(m_view->doCount, 0);
        QVERIFY(m_view->outputDisableBox()->isChecked());
        QVERIFY(!m_view->setPrmButton->isEnabled());
        m_view->show();
        tick();
        QTest::mouseClick(m_view->outputPage->bitButtons[4], Qt::LeftButton);
        m_view->timeList()->setCurrentIndex(4);
        m_view->OnFrameClose();
        QVERIFY(m_fake->calls.isEmpty());
        QVERIFY(boxes.asked.isEmpty());
        const QImage missing = Picture(Resources::Icon(IDI_LED_UNAVAILABLE));
        for (int k = 0; k < 32; ++k) {
            QVERIFY(Picture(m_view->inputPage->leds[k]->GetStateData(0).hIcon) == missing);
            QVERIFY(Picture(m_view->inputPage->leds[k]->GetStateData(1).hIcon) == missing);
            QVERIFY(Picture(m_view->outputPage->bitButtons[k]->GetActiveImage()) == missing);
        }
    }

    void noDeviceCallOutsideTheDigitalIoClass()
    {
        useBoards({Board(kTypeLmDio, 0, 32, 32), Board(kTypeLmDio, 1, 32, 32)}, 0);
        m_model->SetActiveCardType(2);
        ScriptedMessageBoxes boxes(kIdYes);
        open();
        m_view->show();
        QCOMPARE(m_view->cardList()->count(), 0);
        m_fake->boards[0].in = ~0ull;
        m_fake->boards[0].out = ~0ull;
        tick();
        tick();
        QCOMPARE(m_view->diValueEdit()->text(), QString("0x00000000"));
        QTest::mouseClick(m_view->outputPage->bitButtons[1], Qt::LeftButton);
        for (auto p : {CVL_DIoWnd::Odd, CVL_DIoWnd::Even, CVL_DIoWnd::AllOn, CVL_DIoWnd::AllOff})
            QTest::mouseClick(m_view->patternButton(p), Qt::LeftButton);
        m_view->doValueEdit()->setText("FF");
        QTest::keyClick(m_view->doValueEdit(), Qt::Key_Return);
        m_view->enableList()->setCurrentIndex(1);
        m_view->OnFrameClose(); // compares with 0: asks, and Yes writes nothing to the device
        QTest::mouseClick(m_view->setPrmButton, Qt::LeftButton);
        SendWindowMessage(m_view.get(), UM_VIEW_FOCUSED, kDigitalIoView);
        QVERIFY2(m_fake->calls.isEmpty(), qPrintable(m_fake->calls.join('\n')));
        QCOMPARE(m_main.messages, QStringList({kParamChanged + "(0)", kParamChanged + "(0)"}));
    }

    // ---- repaints ----

    void aSteadyBoardRepaintsNothing()
    {
        useBoards({Board(kTypeLnDio, 0, 64, 64)}, 0);
        m_fake->boards[0].in = 0x00FF'0000'0000'F00Full;
        m_fake->boards[0].out = 0x0000'00F0'0F00'0003ull;
        open();
        m_view->show();
        QVERIFY(QTest::qWaitForWindowExposed(m_view.get()));
        for (int i = 0; i < 3; ++i)
            tick();
        FlushPaints();

        PaintCounter paints;
        const auto watched = m_view->findChildren<QWidget *>();
        for (QWidget *w : watched)
            w->installEventFilter(&paints);
        for (int i = 0; i < 5; ++i) {
            tick();
            FlushPaints();
        }
        QVERIFY2(paints.painted.isEmpty(),
                 qPrintable(QString("%1 widgets repainted").arg(paints.painted.size())));

        m_fake->boards[0].in ^= 0x2; // one input changes: its LED, then the input word field
        tick();
        FlushPaints();
        QVERIFY(paints.painted.contains(m_view->inputPage->leds[1]));
        QVERIFY(!paints.painted.contains(m_view->inputPage->leds[0]));
        QVERIFY(!paints.painted.contains(m_view->doValueEdit()));
        QVERIFY(!paints.painted.contains(m_view->diValueEdit()));
        tick();
        QTRY_VERIFY(paints.painted.contains(m_view->diValueEdit()));
    }
};

QTEST_MAIN(TestDIoWnd)
#include "tst_diownd.moc"

// The soak run: the real main frame with the Digital IO and System IO windows on a set of boards
// of every type and odd point counts, driven for many ticks (ORVANE_SOAK_TICKS, default 100,000)
// with random input changes, output clicks, patterns, typed output words, tab, board and filter
// changes, Output Disable toggles, Run LED clicks, and now and then a stretch outside the
// digital I/O class or a window closed and opened again. The ticks are called directly. After
// every step the windows must agree with the boards: the LEDs, lamps and word fields show the
// live bits, every question box is the one expected, and nothing calls the device outside the
// class. The seed is printed; ORVANE_SOAK_SEED repeats a run.
#include "FakeDevice.h"
#include "ScriptedMessageBoxes.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/Views.h"
#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "device/CardCatalogue.h"
#include "device/SystemInfo.h"
#include "device/WordText.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "dio/PageLayout.h"
#include "platform/Messages.h"
#include "system/SysIoWnd.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLineEdit>
#include <QMdiArea>
#include <QPushButton>
#include <QRandomGenerator>
#include <QRegularExpression>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <optional>

namespace {

// Every known type, odd counts, a split 24-input board, no points at all, counts above 64, an
// unknown type and a card number beyond the sixteen parameter slots.
QList<FakeBoard> SoakBoards()
{
    return {Board(174, 0, 32, 32),    Board(2801, 3, 48, 0),  Board(2802, 5, 0, 40),
            Board(2803, 7, 64, 64),   Board(2803, 9, 24, 24), Board(174, 12, 17, 13),
            Board(2801, 15, 1, 0),    Board(2803, 2, 63, 33), Board(999, 11, 32, 32),
            Board(2803, 4, 100, 200), Board(2802, 40, 0, 31), Board(2803, 8, 0, 0)};
}

// Typed output words with what they write; nullopt: refused with "Input value is incorrect!",
// and 0 written instead.
struct TypedWord
{
    QString text;
    std::optional<uint32_t> value;
};

QList<TypedWord> FixedWords()
{
    const QString zeros258(258, QLatin1Char('0'));
    return {
        {"0x5", 0x5u},
        {"FF", 0xFFu},
        {"-1", 0xFFFFFFFFu},
        {"  12", 0x12u},
        {"0x", 0u},
        {"1.5", 0x1u},
        {"0x-1", 0u},
        {QString(40, QLatin1Char('f')), 0xFFFFFFFFu}, // only the low 32 bits are kept
        {QString(250, QLatin1Char('0')) + "1234abcd", 0x1234ABCDu}, // 258 bytes: fits
        {"0x" + QString(256, QLatin1Char('0')) + "7", 0x7u}, // 259 bytes: fits
        {"0x" + zeros258, std::nullopt}, // 260 bytes: too long for the buffer
        {QString(1000, QLatin1Char('1')), std::nullopt},
        {"0XFF", std::nullopt},
        {"", std::nullopt},
        {"zz", std::nullopt},
        {"1 2", std::nullopt},
        {"-1x", std::nullopt},
        {"0x1g", std::nullopt},
        {"-.,;+", std::nullopt},
        {"-", std::nullopt},
        {".", std::nullopt},
        {QString::fromUtf8("\xC3\xA9"
                           "1"),
         std::nullopt}, // a Latin-1 letter
        {QString::fromUtf8("\xE2\x82\xAC"
                           "5"),
         std::nullopt}, // no Latin-1 form at all
    };
}

uint64_t RangeMask(int first, int end)
{
    uint64_t mask = 0;
    for (int i = first; i < end; ++i)
        mask |= uint64_t(1) << i;
    return mask;
}

bool Bit(uint64_t word, int i)
{
    return (word >> i) & 1;
}

const QString kFilterQuestion = QString::fromLatin1(CVL_DIoWnd::kFilterQuestion);
const QString kBadValue = QString::fromLatin1(CVL_DIoWnd::kBadValueMessage);

} // namespace

class TestSoak : public QObject
{
    Q_OBJECT

    QRandomGenerator m_rng;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<ScriptedMessageBoxes> m_boxes;
    std::unique_ptr<CVL_MainFrame> m_frame;
    QPointer<CVL_DIoWnd> m_dio;
    QPointer<CVL_SysIoWnd> m_sysio;
    QHash<QString, int> m_done; // actions taken, by name, for the summary

    int pick(int n) { return int(m_rng.bounded(n)); }
    bool chance(int inN) { return m_rng.bounded(inN) == 0; }
    BoardModel &model() const { return m_frame->boardModel(); }
    bool classActive() const { return model().activeCardType() == kDigitalIoClass; }
    FakeBoard *dioBoard() { return m_fake->board(m_dio->cardNo); }

    void openWindows()
    {
        if (!m_dio) {
            SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kDigitalIoView);
            m_dio = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
            m_dio->timer()->stop();
        }
        if (!m_sysio) {
            SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kSystemIoView);
            m_sysio = qobject_cast<CVL_SysIoWnd *>(CChildFrame::OpenFrame(kSystemIoView)->widget());
            m_sysio->pollTimer()->stop();
        }
    }

    void choose(QComboBox *list, int index)
    {
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    // The filter question the Digital IO window asks before it leaves its board: asked when the
    // lists differ from the board's settings (from 0 outside the class); Yes writes them.
    QString expectFilterQuestion(const std::function<void()> &leave)
    {
        const int enable = m_dio->enableList()->currentIndex();
        const int time = m_dio->timeList()->currentIndex();
        FakeBoard *board = dioBoard();
        const bool active = classActive();
        const bool changed = active ? enable != board->filterEnable || time != board->filterTime
                                    : enable != 0 || time != 0;
        const bool yes = m_boxes->defaultAnswer == kIdYes;
        leave();
        const QStringList asked = m_boxes->texts();
        m_boxes->asked.clear();
        if (asked != (changed ? QStringList{kFilterQuestion} : QStringList()))
            return "questions: " + asked.join(" | ");
        if (changed && yes && active &&
            (board->filterEnable != enable || board->filterTime != time))
            return "Yes did not write the filter settings";
        return {};
    }

    QString typeWord()
    {
        QLineEdit *edit = m_dio->doValueEdit();
        FakeBoard *board = dioBoard();
        const int tab = m_dio->outputPage->tabIndex;
        const BitRange range = TabRange(BoundPoints(m_dio->doCount), tab);
        const uint64_t before = board->out;
        std::optional<uint32_t> value;
        if (edit->isReadOnly()) {
            value = m_dio->outputPage->doWord; // Enter writes the shown word back
        } else {
            TypedWord word;
            if (chance(2)) {
                const QList<TypedWord> fixed = FixedWords();
                word = fixed[pick(int(fixed.size()))];
            } else {
                const uint32_t v = m_rng.generate();
                const int digits = 1 + pick(8);
                QString text =
                    QString::number(v & uint32_t(0xFFFFFFFFull >> (32 - 4 * digits)), 16);
                if (chance(2))
                    text = text.toUpper();
                word = {(chance(2) ? "0x" : "") + text,
                        v & uint32_t(0xFFFFFFFFull >> (32 - 4 * digits))};
            }
            edit->setText(word.text);
            value = word.value;
        }
        QTest::keyClick(edit, chance(2) ? Qt::Key_Return : Qt::Key_Enter);
        const QStringList asked = m_boxes->texts();
        m_boxes->asked.clear();
        if (asked != (value ? QStringList() : QStringList{kBadValue}))
            return "typed word: questions " + asked.join(" | ");
        if (!classActive())
            return {};
        const uint64_t written = uint64_t(value.value_or(0)) << range.first;
        const uint64_t mask = RangeMask(range.first, range.end);
        if (board->out != ((before & ~mask) | (written & mask)))
            return QString("typed word wrote %1 over %2").arg(board->out, 0, 16).arg(before, 0, 16);
        if (edit->text() != WordText(m_dio->outputPage->doWord))
            return "typed word left " + edit->text();
        return {};
    }

    QString pattern()
    {
        const auto p = CVL_DIoWnd::Pattern(pick(4));
        QPushButton *button = m_dio->patternButton(p);
        FakeBoard *board = dioBoard();
        const uint64_t before = board->out;
        const bool writes = button->isEnabled() && classActive();
        button->click();
        const BitRange range = TabRange(BoundPoints(m_dio->doCount), m_dio->outputPage->tabIndex);
        const uint64_t perBit[4] = {0x5555555555555555ull, 0xAAAAAAAAAAAAAAAAull, ~0ull, 0};
        const uint64_t mask = writes ? RangeMask(range.first, range.end) : 0;
        if (board->out != ((before & ~mask) | (perBit[p] & mask)))
            return QString("pattern %1 wrote %2").arg(p).arg(board->out, 0, 16);
        return {};
    }

    QString clickOutput()
    {
        // Only points the board has: the device refuses the others.
        const BitRange points = TabRange(BoundPoints(m_dio->doCount), m_dio->outputPage->tabIndex);
        if (points.end <= points.first)
            return {};
        const int k = pick(points.end - points.first);
        FakeBoard *board = dioBoard();
        const uint64_t before = board->out;
        const bool writes = !m_dio->outputDisableBox()->isChecked() && classActive();
        m_dio->outputPage->bitButtons[k]->click();
        const int bit = kPagePoints * m_dio->outputPage->tabIndex + k;
        const uint64_t expected = writes ? before ^ (uint64_t(1) << bit) : before;
        if (board->out != expected)
            return QString("click on %1 wrote %2").arg(bit).arg(board->out, 0, 16);
        return {};
    }

    QString clickRunLed()
    {
        FakeBoard *board = m_fake->board(m_sysio->cardNo());
        const int32_t before = board->checkOn;
        m_sysio->ledButton()->click();
        const int32_t expected = classActive() ? (before != 0 ? 0 : 1) : before;
        if (board->checkOn != expected)
            return QString("Run LED click left %1 after %2").arg(board->checkOn).arg(before);
        return {};
    }

    // Makes another board active through one of the four ways an operator has.
    QString changeBoard()
    {
        const int way = pick(4);
        QComboBox *list = way == 0 ? m_dio->cardList()
            : way == 1             ? m_sysio->cardList()
                                   : m_frame->controllerSelector();
        if (!list->isEnabled() || list->count() == 0)
            return {};
        int index = pick(list->count());
        if (way == 3) {
            const int delta = chance(2) ? 120 : -120;
            index = qBound(0, list->currentIndex() + (delta < 0 ? 1 : -1), list->count() - 1);
            QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(), QPoint(0, delta),
                              Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
            QCoreApplication::sendEvent(list, &wheel);
        }
        // Every list holds the boards in card-map order.
        const int32_t wanted = model().cardNo(index);
        QString error;
        if (way == 0)
            error = expectFilterQuestion([&] { choose(list, index); });
        else if (way != 3)
            choose(list, index);
        if (model().activeCardNo() != wanted)
            error += QString(" chose %1, active %2").arg(wanted).arg(model().activeCardNo());
        const char *const ways[4] = {"Digital IO list", "System IO list", "selector", "wheel"};
        ++m_done[QStringLiteral("board change by %1").arg(QLatin1String(ways[way]))];
        return error;
    }

    QString closeAndReopen()
    {
        QString error;
        if (chance(2)) {
            error = expectFilterQuestion([&] { m_dio->closeButton->click(); });
            ++m_done["Digital IO window closed and opened"];
        } else {
            m_sysio->closeButton()->click();
            ++m_done["System IO window closed and opened"];
        }
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        if (m_dio && m_sysio)
            return "a window did not close";
        openWindows();
        return error;
    }

    QString setPrm()
    {
        FakeBoard *board = dioBoard();
        const int enable = m_dio->enableList()->currentIndex();
        const int time = m_dio->timeList()->currentIndex();
        const bool writes = m_dio->setPrmButton->isEnabled() && classActive();
        m_dio->setPrmButton->click();
        if (writes && (board->filterEnable != enable || board->filterTime != time))
            return "Set Prm did not write the filter settings";
        return {};
    }

    // One operator action, or a change of the boards' inputs or Run LED from outside.
    QString act()
    {
        m_boxes->defaultAnswer = chance(2) ? kIdYes : kIdNo;
        const int action = pick(100);
        QString error;
        if (action < 20) {
            error = clickOutput();
            ++m_done["output click"];
        } else if (action < 30) {
            error = pattern();
            ++m_done["pattern"];
        } else if (action < 42) {
            error = typeWord();
            ++m_done["typed word"];
        } else if (action < 52) {
            QTabWidget *tabs = chance(2) ? m_dio->inputTabs() : m_dio->outputTabs();
            tabs->setCurrentIndex(pick(tabs->count()));
            ++m_done["tab change"];
        } else if (action < 60) {
            error = changeBoard();
        } else if (action < 66) {
            if (m_dio->outputDisableBox()->isEnabled()) {
                m_dio->outputDisableBox()->click();
                ++m_done["Output Disable toggle"];
            }
        } else if (action < 74) {
            QComboBox *list = chance(2) ? m_dio->enableList() : m_dio->timeList();
            if (list->isEnabled()) {
                list->setCurrentIndex(pick(list->count()));
                ++m_done["filter change"];
            }
        } else if (action < 77) {
            error = setPrm();
            ++m_done["Set Prm"];
        } else if (action < 87) {
            error = clickRunLed();
            ++m_done["Run LED click"];
        } else if (action < 93) {
            m_fake->boards[pick(int(m_fake->boards.size()))].checkOn = pick(3);
            ++m_done["Run LED changed outside"];
        } else if (action < 98) {
            auto *mdi = m_frame->mdiClient();
            const auto frames = mdi->subWindowList();
            mdi->setActiveSubWindow(frames[pick(int(frames.size()))]);
            ++m_done["window activation"];
        } else if (action < 99 && chance(20)) {
            error = closeAndReopen();
        }
        if (error.isEmpty() && !m_boxes->asked.isEmpty())
            error = "unexpected question: " + m_boxes->texts().join(" | ");
        m_boxes->asked.clear();
        return error;
    }

    void changeInputs()
    {
        FakeBoard &board =
            chance(2) ? *dioBoard() : m_fake->boards[pick(int(m_fake->boards.size()))];
        for (int n = 1 + pick(4); n > 0; --n)
            board.in ^= uint64_t(1) << pick(64);
        if (board.inputs == 24)
            board.in &= ~0xFF00ull; // wired as 0..7 and 16..31: no inputs 8..15
        ++m_done["input change"];
    }

    // What must hold after every tick.
    QString check(uint32_t diWordBefore)
    {
        static const QRegularExpression wordForm(QStringLiteral("^0x[0-9A-F]{8}$"));
        if (!wordForm.match(m_dio->doValueEdit()->text()).hasMatch())
            return "output word field shows " + m_dio->doValueEdit()->text();
        if (m_dio->diValueEdit()->text() != WordText(diWordBefore))
            return "input word field shows " + m_dio->diValueEdit()->text();
        const int32_t active = model().activeCardNo();
        if (m_dio->cardNo != active || m_sysio->cardNo() != active)
            return QString("windows show %1 and %2, active %3")
                .arg(m_dio->cardNo)
                .arg(m_sysio->cardNo())
                .arg(active);
        const bool disabled = m_dio->outputDisableBox()->isChecked();
        if (m_dio->outputPage->outputDisable != int32_t(disabled) ||
            m_dio->doValueEdit()->isReadOnly() != disabled ||
            m_dio->patternButton(CVL_DIoWnd::Odd)->isEnabled() == disabled)
            return "Output Disable and the output controls disagree";
        CVL_DiWnd *in = m_dio->inputPage;
        CVL_DoWnd *out = m_dio->outputPage;
        if (!classActive()) {
            if (in->diWord != 0 || out->doWord != 0)
                return "bits shown outside the class";
            return {};
        }
        const FakeBoard *board = m_fake->board(active);
        int first = 0;
        int end = 0;
        CVL_DiWnd::InputRange(m_dio->diCount, in->tabIndex, &first, &end);
        if (in->diWord != uint32_t((board->in & RangeMask(first, end)) >> first))
            return QString("input word %1, board %2").arg(in->diWord, 0, 16).arg(board->in, 0, 16);
        for (int i = first; i < end; ++i)
            if (in->leds[i - first]->GetCurrentState() != unsigned(Bit(board->in, i)))
                return QString("LED of input %1").arg(i);
        const BitRange range = TabRange(BoundPoints(m_dio->doCount), out->tabIndex);
        const uint32_t outWord =
            uint32_t((board->out & RangeMask(range.first, range.end)) >> range.first);
        if (out->doWord != outWord)
            return QString("output word %1, board %2")
                .arg(out->doWord, 0, 16)
                .arg(board->out, 0, 16);
        for (int i = range.first; i < range.end; ++i)
            if ((out->shownState[out->tabIndex][i - range.first] != 0) != Bit(board->out, i))
                return QString("lamp of output %1").arg(i);
        if (m_dio->doValueEdit()->text() != WordText(outWord))
            return "output word field shows " + m_dio->doValueEdit()->text();
        if ((m_sysio->ledShown() != 0) != (board->checkOn != 0))
            return "Run LED shows " + QString::number(m_sysio->ledShown());
        if (m_frame->controllerSelector()->currentIndex() != model().CardIndexOf(active))
            return "the selector is not on the active board";
        return {};
    }

private slots:
    void initTestCase() { QStandardPaths::setTestModeEnabled(true); }

    void soak()
    {
        RegisterStandardViews();
        const qint64 ticks = qEnvironmentVariableIsSet("ORVANE_SOAK_TICKS")
            ? qEnvironmentVariable("ORVANE_SOAK_TICKS").toLongLong()
            : 100000;
        const quint32 seed = qEnvironmentVariableIsSet("ORVANE_SOAK_SEED")
            ? qEnvironmentVariable("ORVANE_SOAK_SEED").toUInt()
            : QRandomGenerator::global()->generate();
        qInfo("soak: %lld ticks, seed %u (ORVANE_SOAK_SEED=%u repeats it)", ticks, seed, seed);
        m_rng.seed(seed);

        QTemporaryDir dir;
        m_fake = std::make_unique<FakeDevice>();
        m_fake->boards = SoakBoards();
        m_boxes = std::make_unique<ScriptedMessageBoxes>();
        m_frame = std::make_unique<CVL_MainFrame>(dir.path());
        QCOMPARE(m_frame->OnCreate(), 0);
        m_frame->resize(1000, 800);
        m_frame->show();
        openWindows();
        m_fake->record = false;
        m_fake->calls.clear();

        qint64 outsideUntil = -1; // a stretch with another card class active
        for (qint64 t = 0; t < ticks; ++t) {
            // A stretch starts on a board with points, where a stray call would show.
            if (outsideUntil < 0 && m_dio->diCount > 0 && m_dio->doCount > 0 && chance(2500)) {
                outsideUntil = t + 50 + pick(200);
                model().SetActiveCardType(chance(2) ? 0 : 2);
                m_fake->record = true;
                ++m_done["stretch outside the class"];
            } else if (outsideUntil == t) {
                outsideUntil = -1;
                model().SetActiveCardType(kDigitalIoClass);
                m_fake->record = false;
                // The windows take the class back as after a refresh of the tree.
                SendWindowMessage(m_frame.get(), UM_CARD_LIST_CHANGED);
            }
            if (chance(4))
                changeInputs();
            QString error = chance(6) ? act() : QString();
            const uint32_t diWordBefore = m_dio->inputPage->diWord;
            m_dio->OnTimer();
            m_sysio->OnTimer();
            QCoreApplication::sendPostedEvents(m_dio, 0);
            if (error.isEmpty())
                error = check(diWordBefore);
            if (error.isEmpty() && !m_fake->calls.isEmpty())
                error = "device called outside the class: " + m_fake->calls.first();
            QVERIFY2(error.isEmpty(),
                     qPrintable(QString("tick %1 of seed %2: %3").arg(t).arg(seed).arg(error)));
            if (t % 64 == 0) {
                QCoreApplication::processEvents();
                QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            }
        }
        QStringList summary;
        for (auto it = m_done.cbegin(); it != m_done.cend(); ++it)
            summary << QStringLiteral("%1: %2").arg(it.key()).arg(it.value());
        summary.sort();
        qInfo("soak: %s", qPrintable(summary.join(", ")));
    }

    void cleanupTestCase()
    {
        m_frame.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        m_boxes.reset();
        m_fake.reset();
    }
};

QTEST_MAIN(TestSoak)
#include "tst_soak.moc"

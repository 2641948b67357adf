// Windows and dialogs laid out from their templates: the dialog base units, the monitoring
// windows' forms filling their fixed frames, the row bars of the Digital IO pages clear of the
// point numbers, and every control inside its window.
#include "FakeDevice.h"
#include "app/AboutDlg.h"
#include "app/ChildFrame.h"
#include "app/MainFrame.h"
#include "app/Views.h"
#include "controls/ImageButton.h"
#include "controls/LedIndicator.h"
#include "dio/DIoWnd.h"
#include "dio/DiWnd.h"
#include "dio/DoWnd.h"
#include "platform/DialogUnits.h"
#include "platform/Messages.h"
#include "settings/SysCfgDlg.h"
#include "system/LogLevDlg.h"
#include "system/SavePrmDlg.h"
#include "system/SysRstDlg.h"

#include <QLabel>
#include <QTemporaryDir>
#include <QtTest>

#include <algorithm>
#include <functional>

namespace {

// The direct children of `window` that it shows and that lie partly outside its `area`.
QStringList ControlsOutside(const QWidget *window, const QRect &area)
{
    QStringList outside;
    for (const QWidget *child : window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly)) {
        if (child->isVisibleTo(window) && !area.contains(child->geometry()))
            outside << QStringLiteral("%1 \"%2\" at %3,%4 %5x%6")
                           .arg(QLatin1String(child->metaObject()->className()),
                                child->objectName())
                           .arg(child->x())
                           .arg(child->y())
                           .arg(child->width())
                           .arg(child->height());
    }
    return outside;
}

// The row bars of a page (the labels showing an image) and its point numbers.
void BarsAndNumbers(const QWidget *page, QList<QRect> *bars, QList<QRect> *numbers)
{
    for (const QLabel *label : page->findChildren<QLabel *>(Qt::FindDirectChildrenOnly)) {
        if (!label->pixmap().isNull())
            *bars << label->geometry();
        else
            *numbers << label->geometry();
    }
    std::sort(bars->begin(), bars->end(),
              [](const QRect &a, const QRect &b) { return a.top() < b.top(); });
}

// Makes a dialog on the frame's board model.
using MakeDialog = std::function<QDialog *(QWidget *, BoardModel &)>;

} // namespace

class TestLayout : public QObject
{
    Q_OBJECT

    QTemporaryDir m_dir;
    std::unique_ptr<FakeDevice> m_fake;
    std::unique_ptr<CVL_MainFrame> m_frame;

private slots:
    void initTestCase()
    {
        QStandardPaths::setTestModeEnabled(true);
        RegisterStandardViews();
    }

    void init()
    {
        m_fake = std::make_unique<FakeDevice>();
        FakeBoard board;
        board.type = 2803;
        board.inputs = 64;
        board.outputs = 64;
        m_fake->boards << board;
        m_frame = std::make_unique<CVL_MainFrame>(m_dir.path());
        QCOMPARE(m_frame->OnCreate(), 0);
        m_frame->resize(1000, 800);
        m_frame->show();
    }

    void cleanup()
    {
        m_frame.reset();
        m_fake.reset();
    }

    void rowBarFillsItsTemplateRow()
    {
        // The row bar bitmap (185 x 21 pixels) takes its template row of 123 x 12 units.
        QCOMPARE(DialogUnits().size(123, 12), QSize(185, 21));
    }

    void formFillsItsFrame_data()
    {
        QTest::addColumn<int>("kind");
        QTest::addColumn<QSize>("templateUnits");
        QTest::newRow("Digital IO") << int(kDigitalIoView) << QSize(261, 260);
        QTest::newRow("System IO") << int(kSystemIoView) << QSize(259, 135);
    }

    void formFillsItsFrame()
    {
        QFETCH(int, kind);
        QFETCH(QSize, templateUnits);
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kind);
        CChildFrame *frame = CChildFrame::OpenFrame(kind);
        QVERIFY(frame);
        QWidget *view = frame->widget();
        const QSize client = frame->contentsRect().size();
        const DialogUnits du(view->font());
        const QSize form = du.size(templateUnits.width(), templateUnits.height());

        // The form fits the frame's client area, and a pixel more per base unit would not:
        // the units are the largest that the frame holds, across and down.
        QVERIFY2(form.width() <= client.width() && form.height() <= client.height(),
                 qPrintable(QStringLiteral("form %1x%2, client area %3x%4")
                                .arg(form.width())
                                .arg(form.height())
                                .arg(client.width())
                                .arg(client.height())));
        QVERIFY(templateUnits.width() * (du.baseX() + 1) / 4 > client.width());
        QVERIFY(templateUnits.height() * (du.baseY() + 1) / 8 > client.height());

        QCOMPARE(ControlsOutside(view, QRect(QPoint(0, 0), form)), QStringList());
    }

    void rowBarsClearOfThePointNumbers_data()
    {
        QTest::addColumn<bool>("inputs");
        QTest::newRow("input page") << true;
        QTest::newRow("output page") << false;
    }

    void rowBarsClearOfThePointNumbers()
    {
        QFETCH(bool, inputs);
        SendWindowMessage(m_frame.get(), UM_OPEN_WINDOW, kDigitalIoView);
        auto *view = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
        QVERIFY(view);
        QWidget *page = inputs ? static_cast<QWidget *>(view->inputPage) : view->outputPage;
        QList<QRect> bars;
        QList<QRect> numbers;
        BarsAndNumbers(page, &bars, &numbers);
        QCOMPARE(bars.size(), 4);
        QCOMPARE(numbers.size(), 32);

        for (int k = 0; k < 32; ++k) {
            const QRect point = inputs ? view->inputPage->leds[k]->geometry()
                                       : view->outputPage->bitButtons[k]->geometry();
            const QRect &bar = bars[k / 8];
            QCOMPARE(bar.size(), QSize(185, 21)); // the bitmap at its own size
            QVERIFY2(!bar.intersects(numbers[k]), qPrintable(QString::number(k)));
            if (k >= 8)
                QVERIFY2(!bars[k / 8 - 1].intersects(numbers[k]), qPrintable(QString::number(k)));
            // Each point sits on its row's bar, and the bar within the page.
            QVERIFY2(point.top() >= bar.top() && point.bottom() <= bar.bottom(),
                     qPrintable(QString::number(k)));
            QVERIFY(page->rect().contains(bar));
        }
    }

    void dialogControlsInside_data()
    {
        QTest::addColumn<MakeDialog>("make");
        QTest::newRow("About") << MakeDialog(
            [](QWidget *parent, BoardModel &) { return new CAboutDlg(parent); });
        QTest::newRow("Save Parameter") << MakeDialog(
            [](QWidget *parent, BoardModel &m) { return new CVL_SavePrmDlg(m, 0, parent); });
        QTest::newRow("System Reset") << MakeDialog(
            [](QWidget *parent, BoardModel &m) { return new CVL_SysRstDlg(m, 0, parent); });
        QTest::newRow("Log Level Setup") << MakeDialog(
            [](QWidget *parent, BoardModel &m) { return new CVL_LogLevDlg(m, parent); });
        QTest::newRow("System Environment Setup") << MakeDialog(
            [](QWidget *parent, BoardModel &m) { return new CVL_SysCfgDlg(m, parent); });
    }

    void dialogControlsInside()
    {
        QFETCH(MakeDialog, make);
        std::unique_ptr<QDialog> dialog(make(m_frame.get(), m_frame->boardModel()));
        QCOMPARE(ControlsOutside(dialog.get(), dialog->rect()), QStringList());
    }
};

QTEST_MAIN(TestLayout)
#include "tst_layout.moc"

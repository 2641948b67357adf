#pragma once
// An operator's session with a started main frame, shared by the fault-injection tests: both
// monitoring windows opened and ticked by hand, every tab, output button, pattern and typed word
// tried on every board, the tree, the selector and its wheel, each maintenance dialog worked
// and closed, Close All, and the windows opened again before the frame is closed.
// Message boxes are answered by whoever the test installed (tests/support/ScriptedMessageBoxes.h).

#include "app/ChildFrame.h"
#include "app/Commands.h"
#include "app/MainFrame.h"
#include "controls/ImageButton.h"
#include "dio/DIoWnd.h"
#include "dio/DoWnd.h"
#include "platform/Messages.h"
#include "settings/SysCfgDlg.h"
#include "system/LogLevDlg.h"
#include "system/SavePrmDlg.h"
#include "system/SysIoWnd.h"
#include "system/SysRstDlg.h"
#include "system/WsSysWnd.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QContextMenuEvent>
#include <QLineEdit>
#include <QMenu>
#include <QPushButton>
#include <QTabWidget>
#include <QTimer>
#include <QWheelEvent>
#include <QtTest>

#include <functional>

namespace FaultsOperator {

// Delivers what is queued, the deletions of closed windows among it.
inline void Settle()
{
    QCoreApplication::processEvents();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

template<typename View> View *OpenView(CVL_MainFrame *frame, int kind)
{
    SendWindowMessage(frame, UM_OPEN_WINDOW, kind);
    CChildFrame *child = CChildFrame::OpenFrame(kind);
    if (!child)
        return nullptr;
    auto *view = qobject_cast<View *>(child->widget());
    // The test ticks the windows itself.
    if constexpr (std::is_same_v<View, CVL_DIoWnd>)
        view->timer()->stop();
    else
        view->pollTimer()->stop();
    return view;
}

inline void Tick(CVL_DIoWnd *w, int ticks = 2)
{
    for (int i = 0; i < ticks; ++i) {
        w->OnTimer();
        QCoreApplication::processEvents(); // the output page's posted word change
    }
}

inline void Tick(CVL_SysIoWnd *w, int ticks = 2)
{
    for (int i = 0; i < ticks; ++i)
        w->OnTimer();
}

// Chooses entry `index` of a drop-down list as a click in its list does.
inline void Choose(QComboBox *list, int index)
{
    list->setCurrentIndex(index);
    emit list->activated(index);
}

inline void TypeWord(CVL_DIoWnd *w, const QString &text)
{
    w->doValueEdit()->setText(text);
    QTest::keyClick(w->doValueEdit(), Qt::Key_Return);
}

// The shown board, both tab strips, every output control and the filter settings.
inline void UseBoard(CVL_DIoWnd *w)
{
    Tick(w, 3);
    for (int t = 0; t < w->inputTabs()->count(); ++t) {
        w->inputTabs()->setCurrentIndex(t);
        Tick(w);
    }
    for (int t = 0; t < w->outputTabs()->count(); ++t) {
        w->outputTabs()->setCurrentIndex(t);
        Tick(w);
        for (int k : {0, 1, 31}) {
            QTest::mouseClick(w->outputPage->bitButtons[k], Qt::LeftButton);
            Tick(w, 1);
        }
        for (int p = CVL_DIoWnd::Odd; p <= CVL_DIoWnd::AllOff; ++p) {
            w->patternButton(CVL_DIoWnd::Pattern(p))->click(); // a greyed button does nothing
            Tick(w, 1);
        }
        for (const char *typed : {"0xA5", "FFFFFFFF", "-1", "zz", ""}) {
            TypeWord(w, QString::fromLatin1(typed));
            Tick(w, 1);
        }
    }
    if (w->outputDisableBox()->isEnabled()) {
        w->outputDisableBox()->click();
        QTest::mouseClick(w->outputPage->bitButtons[2], Qt::LeftButton);
        TypeWord(w, QStringLiteral("0x3"));
        w->outputDisableBox()->click();
        Tick(w, 1);
    }
    // A filter selection written with "Set Prm", then one left for the next change to ask about.
    if (w->enableList()->isEnabled())
        w->enableList()->setCurrentIndex(1 - qMax(0, w->enableList()->currentIndex()));
    w->timeList()->setCurrentIndex((qMax(0, w->timeList()->currentIndex()) + 1) % 16);
    w->setPrmButton->click();
    w->timeList()->setCurrentIndex((w->timeList()->currentIndex() + 1) % 16);
}

// Every board of the window's own card list in turn.
inline void UseDigitalIo(CVL_DIoWnd *w)
{
    UseBoard(w);
    for (int i = 0; i < w->cardList()->count(); ++i) {
        Choose(w->cardList(), i);
        UseBoard(w);
    }
}

inline void UseSystemIo(CVL_SysIoWnd *w)
{
    Tick(w, 3);
    for (int click = 0; click < 2; ++click) {
        QTest::mouseClick(w->ledButton(), Qt::LeftButton);
        Tick(w, 1);
    }
    for (int i = 0; i < w->cardList()->count(); ++i) {
        Choose(w->cardList(), i);
        Tick(w, 1);
        QTest::mouseClick(w->ledButton(), Qt::LeftButton);
        Tick(w, 1);
    }
}

// Triggers a command that runs a modal dialog, works the dialog with `use` and closes it if it
// is still open. Answers the dialog's title, or nothing when no dialog came up.
inline QString RunModal(QAction *command, const std::function<void(QDialog *)> &use)
{
    if (!command || !command->isEnabled())
        return {};
    QString title;
    QTimer::singleShot(0, qApp, [&] {
        auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
        if (!dialog)
            return;
        title = dialog->windowTitle();
        use(dialog);
        if (dialog->isVisible())
            dialog->reject();
    });
    command->trigger();
    return title;
}

inline QStringList UseDialogs(CVL_MainFrame *frame)
{
    QStringList titles;
    titles << RunModal(frame->commandAction(ID_SAVE_PARAM), [](QDialog *d) {
        auto *dialog = qobject_cast<CVL_SavePrmDlg *>(d);
        if (dialog->cardNoList()->isEnabled())
            for (int i = 0; i < dialog->cardNoList()->count(); ++i) {
                dialog->cardNoList()->setCurrentIndex(i);
                dialog->saveButton()->click();
            }
        dialog->saveButton()->click();
        dialog->allCardsCheck()->click();
        dialog->saveButton()->click();
        dialog->closeButton()->click();
    });
    titles << RunModal(frame->commandAction(ID_SYS_RESET), [](QDialog *d) {
        auto *dialog = qobject_cast<CVL_SysRstDlg *>(d);
        dialog->resetButton()->click();
        if (dialog->cardNoList()->isEnabled() && dialog->cardNoList()->count() > 1) {
            dialog->cardNoList()->setCurrentIndex(dialog->cardNoList()->count() - 1);
            dialog->resetButton()->click();
        }
        dialog->closeButton()->click();
    });
    titles << RunModal(frame->commandAction(ID_LOG_LEVEL), [](QDialog *d) {
        auto *dialog = qobject_cast<CVL_LogLevDlg *>(d);
        dialog->levelList()->setCurrentIndex(2); // the calls that change something, and failures
        dialog->okButton()->click();
        if (dialog->isVisible()) {
            // Refused (a path too long): a short name is accepted, or Cancel.
            dialog->fileNameEdit()->setText(QStringLiteral("trace"));
            dialog->okButton()->click();
        }
    });
    titles << RunModal(frame->commandAction(ID_ENV_SETUP), [](QDialog *d) {
        auto *dialog = qobject_cast<CVL_SysCfgDlg *>(d);
        dialog->loadingModeList()->setCurrentIndex(0);
        dialog->okButton()->click();
    });
    titles << RunModal(frame->commandAction(ID_APP_ABOUT), [](QDialog *d) { d->accept(); });
    return titles;
}

inline void Wheel(QWidget *target, int delta)
{
    QWheelEvent wheel(QPointF(5, 5), QPointF(target->mapToGlobal(QPoint(5, 5))), QPoint(),
                      QPoint(0, delta), Qt::NoButton, Qt::NoModifier, Qt::NoScrollPhase, false);
    QCoreApplication::sendEvent(target, &wheel);
}

// Every node of the tree right-clicked (its menu's "Set Active Controller" chosen where there
// is one) and double-clicked, and the selector's entries and wheel.
inline void UseBoardChoosers(CVL_MainFrame *frame)
{
    CVL_WsSysWnd *tree = frame->systemTree();
    tree->trackPopupMenu = [](QMenu &menu, const QPoint &) {
        return menu.actions().value(0);
    };
    QList<QTreeWidgetItem *> nodes;
    for (QTreeWidgetItemIterator it(tree); *it; ++it)
        nodes << *it;
    for (QTreeWidgetItem *node : nodes) {
        tree->scrollToItem(node);
        const QPoint at = tree->visualItemRect(node).center();
        QTest::mousePress(tree->viewport(), Qt::RightButton, {}, at);
        QTest::mouseRelease(tree->viewport(), Qt::RightButton, {}, at);
        QContextMenuEvent menu(QContextMenuEvent::Mouse, at, tree->viewport()->mapToGlobal(at));
        QCoreApplication::sendEvent(tree->viewport(), &menu);
        QTest::mouseDClick(tree->viewport(), Qt::LeftButton, {}, at);
    }
    tree->trackPopupMenu = nullptr;
    QComboBox *selector = frame->controllerSelector();
    for (int i = 0; i < selector->count(); ++i)
        Choose(selector, i);
    for (int step = 0; step < 20; ++step)
        Wheel(selector, step < 18 ? -120 : 120);
    for (int step = 0; step < 20; ++step)
        Wheel(selector, 120);
}

// The whole session, ending with the frame closed (its exit questions asked). Answers the titles
// of the dialogs that came up.
inline QStringList Operate(CVL_MainFrame *frame)
{
    frame->resize(1000, 800);
    frame->show();
    auto *dio = OpenView<CVL_DIoWnd>(frame, kDigitalIoView);
    auto *sysIo = OpenView<CVL_SysIoWnd>(frame, kSystemIoView);
    if (dio)
        UseDigitalIo(dio);
    if (sysIo)
        UseSystemIo(sysIo);
    UseBoardChoosers(frame);
    if (dio)
        Tick(dio);
    const QStringList titles = UseDialogs(frame);
    if (dio)
        Tick(dio);

    frame->commandAction(ID_WINDOW_CLOSE_ALL)->trigger();
    Settle();
    // Opened again, and still open when the frame closes.
    if ((dio = OpenView<CVL_DIoWnd>(frame, kDigitalIoView)))
        UseBoard(dio);
    if ((sysIo = OpenView<CVL_SysIoWnd>(frame, kSystemIoView)))
        Tick(sysIo);
    frame->close();
    Settle();
    return titles;
}

} // namespace FaultsOperator

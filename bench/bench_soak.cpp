// The soak drive in the normal build: the real program on the simulated library, with boards of
// every type and odd point counts (looped-back and counting inputs, so inputs change as outputs
// and the clock do), the Digital IO and System IO windows ticked directly for 100,000 ticks (or
// the count given as the first argument or in ORVANE_SOAK_TICKS) with random output clicks,
// patterns, typed output words, tab, board and filter changes, Output Disable toggles, Run LED
// clicks and now and then a window closed and opened again. Prints resident memory (and the heap
// in use) at the start, along the way and at the end, and the ticks per second. The seed is
// printed; ORVANE_SOAK_SEED repeats a run. What the windows show is checked by tst_soak.

#include "app/ChildFrame.h"
#include "dio/DIoWnd.h"
#include "device/DeviceLibrary.h"
#include "dio/DoWnd.h"
#include "controls/ImageButton.h"
#include "app/MainFrame.h"
#include "platform/MessageBox.h"
#include "platform/Messages.h"
#include "system/SysIoWnd.h"
#include "app/VelmarApp.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QLineEdit>
#include <QMdiArea>
#include <QPointer>
#include <QPushButton>
#include <QRandomGenerator>
#include <QStandardPaths>
#include <QTabWidget>
#include <QTemporaryDir>
#include <QTimer>
#include <QWheelEvent>

#include <cstdio>
#include <malloc.h>

namespace {

const char *const kBoards = "[System]\nDataDir=data\n"
                            "[Board0]\nType=174\nCardNo=0\nInputs=32\nOutputs=32\nLoopback=1\n"
                            "[Board1]\nType=2801\nCardNo=3\nInputs=48\nPattern=counter\n"
                            "[Board2]\nType=2802\nCardNo=5\nOutputs=40\n"
                            "[Board3]\nType=2803\nCardNo=7\nInputs=64\nOutputs=64\nLoopback=1\n"
                            "[Board4]\nType=2803\nCardNo=9\nInputs=24\nOutputs=24\nLoopback=1\n"
                            "[Board5]\nType=174\nCardNo=12\nInputs=17\nOutputs=13\nLoopback=1\n"
                            "[Board6]\nType=2801\nCardNo=15\nInputs=1\nPattern=walk\n"
                            "[Board7]\nType=2803\nCardNo=2\nInputs=63\nOutputs=33\nLoopback=1\n"
                            "[Board8]\nType=999\nCardNo=11\nInputs=32\nOutputs=32\n"
                            "[Board9]\nType=2802\nCardNo=40\nOutputs=31\n"
                            "[Board10]\nType=2803\nCardNo=8\n";

const char *const kWords[] = {"0x5",
                              "FF",
                              "-1",
                              "  12",
                              "0x",
                              "1.5",
                              "0x-1",
                              "0XFF",
                              "",
                              "zz",
                              "1 2",
                              "-1x",
                              "0x1g",
                              "-",
                              ".",
                              "\xE9"
                              "1"};

long ResidentKb()
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly))
        return -1;
    for (const QByteArray &line : status.readAll().split('\n'))
        if (line.startsWith("VmRSS:"))
            return line.mid(6).trimmed().split(' ').value(0).toLong();
    return -1;
}

// Bytes the heap has handed out and not got back: steadier than resident memory, which also
// counts pages the allocator keeps.
long HeapKb()
{
    return long(mallinfo2().uordblks / 1024);
}

class Drive
{
public:
    Drive(CVL_MainFrame *frame, quint32 seed)
        : m_frame(frame)
        , m_rng(seed)
    {
        open();
    }

    void tick()
    {
        if (pick(6) == 0)
            act();
        m_dio->OnTimer();
        m_sysio->OnTimer();
        QCoreApplication::sendPostedEvents(m_dio, 0);
    }

private:
    int pick(int n) { return int(m_rng.bounded(n)); }

    void open()
    {
        if (!m_dio) {
            SendWindowMessage(m_frame, UM_OPEN_WINDOW, kDigitalIoView);
            m_dio = qobject_cast<CVL_DIoWnd *>(CChildFrame::OpenFrame(kDigitalIoView)->widget());
            m_dio->timer()->stop();
        }
        if (!m_sysio) {
            SendWindowMessage(m_frame, UM_OPEN_WINDOW, kSystemIoView);
            m_sysio = qobject_cast<CVL_SysIoWnd *>(CChildFrame::OpenFrame(kSystemIoView)->widget());
            m_sysio->pollTimer()->stop();
        }
    }

    void choose(QComboBox *list)
    {
        if (!list->isEnabled() || list->count() == 0)
            return;
        const int index = pick(list->count());
        list->setCurrentIndex(index);
        emit list->activated(index);
    }

    void typeWord()
    {
        QLineEdit *edit = m_dio->doValueEdit();
        if (!edit->isReadOnly()) {
            const int which = pick(int(std::size(kWords)) + 3);
            if (which < int(std::size(kWords)))
                edit->setText(QString::fromLatin1(kWords[which]));
            else if (which == int(std::size(kWords)))
                edit->setText(QString(300, QLatin1Char('f')));
            else
                edit->setText(QStringLiteral("0x%1").arg(m_rng.generate(), 0, 16));
        }
        m_dio->WriteTypedWord();
    }

    void act()
    {
        const int action = pick(100);
        if (action < 20) {
            m_dio->outputPage->bitButtons[pick(32)]->click();
        } else if (action < 30) {
            m_dio->patternButton(CVL_DIoWnd::Pattern(pick(4)))->click();
        } else if (action < 42) {
            typeWord();
        } else if (action < 52) {
            QTabWidget *tabs = pick(2) ? m_dio->inputTabs() : m_dio->outputTabs();
            tabs->setCurrentIndex(pick(tabs->count()));
        } else if (action < 60) {
            switch (pick(4)) {
            case 0:
                choose(m_dio->cardList());
                break;
            case 1:
                choose(m_sysio->cardList());
                break;
            case 2:
                choose(m_frame->controllerSelector());
                break;
            default: {
                QWheelEvent wheel(QPointF(5, 5), QPointF(5, 5), QPoint(),
                                  QPoint(0, pick(2) ? 120 : -120), Qt::NoButton, Qt::NoModifier,
                                  Qt::NoScrollPhase, false);
                QCoreApplication::sendEvent(m_frame->controllerSelector(), &wheel);
            }
            }
        } else if (action < 66) {
            m_dio->outputDisableBox()->click();
        } else if (action < 74) {
            QComboBox *list = pick(2) ? m_dio->enableList() : m_dio->timeList();
            if (list->isEnabled())
                list->setCurrentIndex(pick(list->count()));
        } else if (action < 77) {
            m_dio->setPrmButton->click();
        } else if (action < 93) {
            m_sysio->ledButton()->click();
        } else if (action < 98) {
            QMdiArea *mdi = m_frame->mdiClient();
            const auto frames = mdi->subWindowList();
            mdi->setActiveSubWindow(frames[pick(int(frames.size()))]);
        } else if (action < 99 && pick(20) == 0) {
            if (pick(2))
                m_dio->closeButton->click();
            else
                m_sysio->closeButton()->click();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
            open();
        }
    }

    CVL_MainFrame *m_frame;
    QRandomGenerator m_rng;
    QPointer<CVL_DIoWnd> m_dio;
    QPointer<CVL_SysIoWnd> m_sysio;
};

} // namespace

int main(int argc, char **argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    long ticks = qEnvironmentVariableIsEmpty("ORVANE_SOAK_TICKS")
        ? 100000
        : qEnvironmentVariable("ORVANE_SOAK_TICKS").toLong();
    if (argc > 1)
        ticks = std::atol(argv[1]);
    QTemporaryDir dir;
    const QString config = dir.filePath("boards.ini");
    {
        QFile f(config);
        if (!f.open(QIODevice::WriteOnly))
            return 1;
        f.write(kBoards);
    }
    qputenv("QRXSIM_CONFIG", config.toLocal8Bit());
    qputenv("QRXSIM_STATE", dir.filePath("state").toLocal8Bit());
    QApplication app(argc, argv);
    QStandardPaths::setTestModeEnabled(true); // the user's own settings stay untouched
    if (qEnvironmentVariableIsEmpty("ORVANE_DEVICE_LIBRARY"))
        qputenv("ORVANE_DEVICE_LIBRARY",
                QDir(app.applicationDirPath()).filePath(DeviceLibrary::FileName()).toLocal8Bit());

    const quint32 seed = qEnvironmentVariableIsEmpty("ORVANE_SOAK_SEED")
        ? QRandomGenerator::global()->generate()
        : qEnvironmentVariable("ORVANE_SOAK_SEED").toUInt();
    QRandomGenerator answers(seed ^ 0x5EED);
    long boxes = 0;
    SetMessageBoxHandler([&](QWidget *, const MessageBoxRequest &) {
        ++boxes;
        return answers.bounded(2) ? int(kIdYes) : int(kIdNo);
    });

    QDir().mkpath(dir.filePath("app"));
    CVelmarApp orvane(dir.filePath("app"));
    if (!orvane.InitInstance())
        return 1;
    Drive drive(orvane.mainFrame(), seed);
    // Settle the first paints and caches before the starting figure.
    for (int i = 0; i < 200; ++i)
        drive.tick();
    QCoreApplication::processEvents();

    std::printf("soak: %ld ticks, seed %u, 11 simulated boards\n", ticks, seed);
    const long startKb = ResidentKb();
    const long startHeapKb = HeapKb();
    std::printf("resident memory at start: %ld KiB (heap in use %ld KiB)\n", startKb, startHeapKb);
    QElapsedTimer clock;
    clock.start();
    const long report = std::max(1L, ticks / 10);
    for (long t = 1; t <= ticks; ++t) {
        drive.tick();
        if (t % 64 == 0) {
            QCoreApplication::processEvents();
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        if (t % report == 0 && t < ticks)
            std::printf("  after %ld ticks: %ld KiB (heap in use %ld KiB)\n", t, ResidentKb(),
                        HeapKb());
    }
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const long endKb = ResidentKb();
    const long endHeapKb = HeapKb();
    std::printf("resident memory at end: %ld KiB (%+ld KiB; heap in use %ld KiB, %+ld KiB)\n",
                endKb, endKb - startKb, endHeapKb, endHeapKb - startHeapKb);
    std::printf("ticks per second: %.0f (%.2f s, %ld question boxes answered)\n",
                double(ticks) / seconds, seconds, boxes);
    return 0;
}

#include "app/ChildFrame.h"

#include "model/BoardModel.h"
#include "platform/Messages.h"

#include <QCloseEvent>
#include <QHash>
#include <QMdiArea>
#include <QMenu>
#include <QPointer>

namespace {

constexpr QPoint kCascadeStep(23, 29);

struct Cascade
{
    int openCount = 0;
    bool placed = false;
    QPoint offset;
};

Cascade &State()
{
    static Cascade state;
    return state;
}

QHash<int, QPointer<CChildFrame>> &Registry()
{
    static QHash<int, QPointer<CChildFrame>> registry;
    return registry;
}

QHash<int, CChildFrame::ViewFactory> &Factories()
{
    static QHash<int, CChildFrame::ViewFactory> factories;
    return factories;
}

} // namespace

void CChildFrame::RegisterView(int kind, ViewFactory factory)
{
    if (factory)
        Factories().insert(kind, std::move(factory));
    else
        Factories().remove(kind);
}

bool CChildFrame::HasView(int kind)
{
    return Factories().contains(kind);
}

QSize CChildFrame::FrameSize(int kind)
{
    if (kind == kChangeLogView)
        return QSize(660, 600);
    if (kind == kPlantView)
        return QSize(760, 640);
    return kind == kSystemIoView ? QSize(410, 266) : QSize(410, 505);
}

QPoint CChildFrame::CascadeOffset()
{
    return State().offset;
}

int CChildFrame::OpenCount()
{
    return State().openCount;
}

CChildFrame *CChildFrame::OpenFrame(int kind)
{
    return Registry().value(kind);
}

CChildFrame *CChildFrame::Create(int kind, QMdiArea *mdi, BoardModel &model)
{
    const ViewFactory factory = Factories().value(kind);
    if (!factory || !mdi)
        return nullptr;
    auto *frame = new CChildFrame(kind, mdi, model);
    QWidget *view = factory(frame, model);
    if (!view) {
        delete frame;
        return nullptr;
    }
    frame->setWidget(view);
    frame->setWindowIcon(view->windowIcon());
    mdi->addSubWindow(frame);
    frame->setFixedSize(FrameSize(kind));
    frame->move(State().offset);
    frame->show();
    view->setFocus();
    return frame;
}

CChildFrame::CChildFrame(int kind, QMdiArea *mdi, BoardModel &model)
    : m_kind(kind)
    , m_mdi(mdi)
    , m_model(model)
{
    setAttribute(Qt::WA_DeleteOnClose);
    setWindowFlags(Qt::SubWindow | Qt::WindowTitleHint | Qt::WindowSystemMenuHint |
                   Qt::WindowMinimizeButtonHint | Qt::WindowCloseButtonHint);
    TrimSystemMenu();
    Registry().insert(kind, this);

    Cascade &c = State();
    if (c.openCount == 0) {
        c.offset = QPoint(0, 0);
        c.placed = false;
    }
    if (c.placed)
        c.offset += kCascadeStep;
    else
        c.placed = true;
    if (c.offset.x() >= mdi->viewport()->width() || c.offset.y() >= mdi->viewport()->height())
        c.offset = QPoint(0, 0);
    ++c.openCount;

    connect(mdi, &QMdiArea::subWindowActivated, this, &CChildFrame::OnActivated);
}

CChildFrame::~CChildFrame()
{
    // The MDI area still announces activations while the base class is torn down.
    disconnect(m_mdi, nullptr, this, nullptr);
    if (Registry().value(m_kind) == this || Registry().value(m_kind).isNull())
        Registry().remove(m_kind);
    Cascade &c = State();
    --c.openCount;
    c.offset -= kCascadeStep;
}

// The system menu of a fixed-size frame without a maximise box: Restore, Move, Minimize and
// Close. The toolkit's menu also offers Size, Maximize and Stay on Top, and a Close shortcut.
void CChildFrame::TrimSystemMenu()
{
    QMenu *menu = systemMenu();
    if (!menu)
        return;
    const QStringList absent{QMdiSubWindow::tr("&Size"), QMdiSubWindow::tr("Ma&ximize"),
                             QMdiSubWindow::tr("Stay on &Top")};
    for (QAction *action : menu->actions()) {
        if (absent.contains(action->text()))
            menu->removeAction(action);
        else
            action->setShortcut(QKeySequence());
    }
}

void CChildFrame::OnActivated(QMdiSubWindow *window)
{
    if (window != this || m_kind != kDigitalIoView)
        return;
    if (m_model.SetFocusViewKind(kDigitalIoView))
        SendWindowMessage(MainWindow(), UM_VIEW_FOCUSED, kDigitalIoView);
}

void CChildFrame::closeEvent(QCloseEvent *event)
{
    if (m_closing) {
        event->accept();
        return;
    }
    m_closing = true;
    if (auto *prompt = dynamic_cast<IFrameClosePrompt *>(widget()))
        prompt->OnFrameClose();
    QMdiSubWindow::closeEvent(event);
    m_closing = event->isAccepted();
}

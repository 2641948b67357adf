#include "system/WsSysWnd.h"

#include "device/CardCatalogue.h"
#include "model/BoardModel.h"
#include "platform/DialogKeys.h"
#include "platform/Messages.h"
#include "platform/Resources.h"
#include "res/ResourceIds.h"
#include "view/ViewFrame.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QMouseEvent>
#include <QProxyStyle>
#include <QStyleFactory>

#include <cstring>
#include <memory>

namespace {

void SetBold(QTreeWidgetItem *item, bool bold)
{
    if (!item)
        return;
    QFont font = item->font(0);
    font.setBold(bold);
    item->setFont(0, font);
}

// The active board's card node: bold, and not shown as selected.
void MarkActive(QTreeWidgetItem *item)
{
    if (!item)
        return;
    SetBold(item, true);
    item->setSelected(false);
}

QByteArray Ansi(const QTreeWidgetItem *item)
{
    return item->text(0).toLatin1();
}

// The branches of the tree as dotted lines joining each node to its parent and siblings, with
// a boxed plus or minus on the nodes that have children, whatever the application's style
// draws there; everything else as the application's style draws it.
class BranchLineStyle : public QProxyStyle
{
public:
    BranchLineStyle()
        : m_lines(QStyleFactory::create(QStringLiteral("Windows")))
    {
    }
    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_IndicatorBranch && m_lines)
            m_lines->drawPrimitive(element, option, painter, widget);
        else
            QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

private:
    std::unique_ptr<QStyle> m_lines;
};

} // namespace

CVL_WsSysWnd::CVL_WsSysWnd(BoardModel &model, QWidget *parent)
    : QTreeWidget(parent)
    , m_model(model)
{
    setObjectName(QStringLiteral("SystemTree"));
    setAccessibleName(QStringLiteral("Boards"));
    setColumnCount(1);
    setHeaderHidden(true);
    setRootIsDecorated(true);
    setSelectionMode(QAbstractItemView::SingleSelection);
    setEditTriggers(QAbstractItemView::NoEditTriggers);
    setIconSize(QSize(16, 16));
    auto *style = new BranchLineStyle;
    style->setParent(this);
    setStyle(style);
    // Long texts are scrolled to, never cut short.
    header()->setSectionResizeMode(QHeaderView::ResizeToContents);
    header()->setStretchLastSection(false);
    connect(this, &QTreeWidget::currentItemChanged, this,
            [this](QTreeWidgetItem *current) { OnCaretChanged(current); });
    // Enter and Escape do nothing here and are not passed on to the frame.
    IgnoreEnterAndEscape(this);
}

bool CVL_WsSysWnd::event(QEvent *e)
{
    WindowMessage *m = WindowMessage::From(e);
    if (!m)
        return QTreeWidget::event(e);
    switch (int(m->type())) {
    case UM_REFRESH_SYSTEM:
        DeleteAllItems();
        RebuildTree();
        break;
    case UM_ACTIVE_CARD_CHANGED:
        ActivateSelectedCard();
        break;
    case UM_SELECT_CARD:
    case UM_VIEW_SELECT_CARD:
        SelectCardRequest(int32_t(m->wParam));
        break;
    case UM_WHEEL_SELECT_CARD:
        ActivateCard(int32_t(m->wParam));
        SendWindowMessage(MainWindow(), UM_CARD_LIST_CHANGED);
        break;
    default:
        return QTreeWidget::event(e);
    }
    m->result = 0;
    return true;
}

// The notifications go out even when the card number is not in the map: the active board
// then stays as it was, and the main frame puts its selector and views back onto it.
void CVL_WsSysWnd::SelectCardRequest(int32_t cardNo)
{
    ActivateCard(cardNo);
    SendWindowMessage(MainWindow(), UM_ACTIVE_CARD_CHANGED);
    ActivateCard(cardNo);
    SendWindowMessage(MainWindow(), UM_CARD_LIST_CHANGED);
}

void CVL_WsSysWnd::DeleteAllItems()
{
    // Item pointers die with the items; forget them before the items go.
    m_dropHighlight = nullptr;
    rootItem = nullptr;
    caretItem = nullptr;
    std::fill(std::begin(cardItems), std::end(cardItems), nullptr);
    clear();
}

QTreeWidgetItem *CVL_WsSysWnd::AddNode(QTreeWidgetItem *parent, const QString &text, int image)
{
    auto *item = new QTreeWidgetItem(QStringList(text));
    item->setIcon(0, Resources::TreeIcon(image));
    if (parent)
        parent->addChild(item);
    else
        addTopLevelItem(item);
    return item;
}

void CVL_WsSysWnd::RebuildTree()
{
    m_model.ReadBoards();
    // More slots than the map holds cannot be read; the rest of a longer list is not shown.
    const int n = m_model.boardSlots();
    std::memset(cardLabels, 0, sizeof cardLabels);
    QTreeWidgetItem *root = AddNode(nullptr, FamilyText(), TREE_IMAGE_WINDOWS);
    AddNode(root, LibraryVersionText(m_model.libraryVersion()), TREE_IMAGE_BLUE_GEM);

    for (int i = 0; i < n; ++i) {
        AddCardNode(root, i);
        root->setExpanded(true);
    }
    rootItem = root;

    if (n > 0) {
        SetBold(root, true);
        SetBold(cardItems[0], true);
    }
    SendWindowMessage(MainWindow(), UM_REFRESH_SYSTEM);
}

// The node of the board at map position `i`, with its counts and firmware version.
void CVL_WsSysWnd::AddCardNode(QTreeWidgetItem *root, int i)
{
    const BoardInfo &board = m_model.board(i);
    if (board.name.isEmpty())
        return;
    const QString label = CardLabel(board.cardNo, board.name.constData());
    QTreeWidgetItem *card = AddNode(root, label, TREE_IMAGE_BOARD);
    cardItems[i] = card;
    CopyAnsi(cardLabels[i], kPathBytes, label.toLatin1().constData());
    AddNode(card, OutputCountText(board.outputs), TREE_IMAGE_CONNECTOR);
    AddNode(card, InputCountText(board.inputs), TREE_IMAGE_CONNECTOR);
    // A board without a name has no node to hang its firmware version on.
    AddNode(card, FirmwareVersionText(board.firmware), TREE_IMAGE_VIOLET_GEM);
    card->setExpanded(true);
}

void CVL_WsSysWnd::ClearActiveMarks()
{
    const int32_t k = m_model.CardIndexOf(m_model.activeCardNo());
    if (k < 0 || !cardItems[k])
        return;
    SetBold(cardItems[k], false);
    cardItems[k]->setSelected(false);
}

void CVL_WsSysWnd::ActivateSelectedCard()
{
    ClearActiveMarks();
    const int n = m_model.boardSlots();
    for (int i = 0; i < n; ++i) {
        if (!cardItems[i] || std::strcmp(Ansi(cardItems[i]).constData(), selectedLabel) != 0)
            continue;
        m_model.SetActiveCard(m_model.cardNo(i));
        DropHighlight(cardItems[i]);
        MarkActive(cardItems[i]);
        SendWindowMessage(MainWindow(), UM_ACTIVE_CARD_CHANGED);
        return;
    }
}

void CVL_WsSysWnd::ActivateCard(int32_t cardNo)
{
    // A card number that is not in the map changes nothing.
    const int32_t j = m_model.CardIndexOf(cardNo);
    if (j < 0)
        return;
    ClearActiveMarks();
    MarkActive(cardItems[j]);
    m_model.SetActiveCard(m_model.cardNo(j));
    // A board without a node (an unknown type) leaves no node highlighted.
    DropHighlight(cardItems[j]);
}

void CVL_WsSysWnd::DropHighlight(QTreeWidgetItem *item)
{
    if (item == m_dropHighlight)
        return;
    if (m_dropHighlight)
        m_dropHighlight->setBackground(0, QBrush());
    m_dropHighlight = item;
    if (item) {
        // Lighter than the selection, so that both can be told apart on one node.
        QColor colour = palette().color(QPalette::Highlight);
        colour.setAlpha(80);
        item->setBackground(0, colour);
    }
}

void CVL_WsSysWnd::OnCaretChanged(QTreeWidgetItem *current)
{
    caretItem = currentItem();
    if (!caretItem || !current)
        return;
    DropHighlight(caretItem);
    CopyAnsi(selectedLabel, kPathBytes, Ansi(current).constData());
}

// A point on a row, right of its indentation, is on that row's item.
QTreeWidgetItem *CVL_WsSysWnd::HitTest(const QPoint &viewportPos) const
{
    QTreeWidgetItem *item = itemAt(viewportPos);
    return item && visualItemRect(item).contains(viewportPos) ? item : nullptr;
}

void CVL_WsSysWnd::mousePressEvent(QMouseEvent *e)
{
    QTreeWidgetItem *item = HitTest(e->position().toPoint());
    if (e->button() == Qt::RightButton) {
        // Selects the node for the context menu that follows, and nothing else.
        if (item) {
            setCurrentItem(item);
            caretItem = currentItem();
        }
        e->accept();
        return;
    }
    if (e->button() == Qt::LeftButton && item)
        DropHighlight(item);
    QTreeWidget::mousePressEvent(e);
}

void CVL_WsSysWnd::contextMenuEvent(QContextMenuEvent *e)
{
    // Accepted in every case: no other menu (such as the main window's) shows over the tree.
    e->accept();
    if (e->reason() == QContextMenuEvent::Keyboard)
        return;
    QTreeWidgetItem *item = HitTest(e->pos());
    if (!item)
        return;
    const QByteArray text = Ansi(item);
    const int count = BoundBoards(m_model.boardTable().boardCount);
    bool isCard = false;
    for (int i = 0; i < count && !isCard; ++i)
        isCard = text == cardLabels[i];
    if (!isCard)
        return;

    QMenu menu(QStringLiteral("System"), this);
    QAction *setActive = menu.addAction(QStringLiteral("Set Active Controller"));
    setActive->setData(ID_SET_ACTIVE_CONTROLLER);
    QAction *chosen =
        trackPopupMenu ? trackPopupMenu(menu, e->globalPos()) : menu.exec(e->globalPos());
    // The command does what the main frame does with it: ask this tree to activate the node.
    if (chosen && chosen->data().toInt() == ID_SET_ACTIVE_CONTROLLER)
        SendWindowMessage(this, UM_ACTIVE_CARD_CHANGED);
}

void CVL_WsSysWnd::mouseDoubleClickEvent(QMouseEvent *e)
{
    QTreeWidget::mouseDoubleClickEvent(e);
    if (e->button() == Qt::LeftButton)
        OpenDigitalIoForSelection();
}

void CVL_WsSysWnd::OpenDigitalIoForSelection()
{
    QTreeWidgetItem *item = currentItem();
    if (!item)
        return;
    const QString text = item->text(0);
    const QString parentText = item->parent() ? item->parent()->text(0) : QString();
    const QString active = m_model.ActiveCardLabel();
    if (active.isEmpty() || parentText != active)
        return;
    if (text.contains(QStringLiteral("D I : ")) || text.contains(QStringLiteral("DO : ")))
        SendWindowMessage(MainWindow(), UM_OPEN_WINDOW, kDigitalIoView);
}

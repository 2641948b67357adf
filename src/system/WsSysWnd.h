#pragma once
// The docked system tree: the board family, the device library's version and one node per
// board with its counts and firmware version. It is the only window that changes the active
// board, on requests that arrive as private messages, and it tells the main frame.

#include "device/CardMap.h"

#include <QTreeWidget>

#include <functional>

class BoardModel;
class QMenu;

class CVL_WsSysWnd : public QTreeWidget
{
    Q_OBJECT

public:
    explicit CVL_WsSysWnd(BoardModel &model, QWidget *parent = nullptr);

    void RebuildTree();
    void ActivateSelectedCard();
    void ActivateCard(int32_t cardNo);

    // The one node shown with the drop-highlight, or null.
    QTreeWidgetItem *dropHighlightItem() const { return m_dropHighlight; }

    // Shows the context menu at a screen point and answers the chosen action, or null.
    // Replaceable, so that tests can look at the menu and choose without a real pop-up.
    std::function<QAction *(QMenu &menu, const QPoint &globalPos)> trackPopupMenu;

    char cardLabels[kMaxBoards][kPathBytes] = {};
    char selectedLabel[kPathBytes] = {};
    QTreeWidgetItem *rootItem = nullptr;
    QTreeWidgetItem *cardItems[kMaxBoards] = {};
    QTreeWidgetItem *caretItem = nullptr;

protected:
    bool event(QEvent *e) override;
    void mousePressEvent(QMouseEvent *e) override;
    void mouseDoubleClickEvent(QMouseEvent *e) override;
    void contextMenuEvent(QContextMenuEvent *e) override;

private:
    void DeleteAllItems();
    void AddCardNode(QTreeWidgetItem *root, int i);
    QTreeWidgetItem *AddNode(QTreeWidgetItem *parent, const QString &text, int image);
    QTreeWidgetItem *HitTest(const QPoint &viewportPos) const;
    void DropHighlight(QTreeWidgetItem *item);
    void ClearActiveMarks();
    void SelectCardRequest(int32_t cardNo);
    void OnCaretChanged(QTreeWidgetItem *current);
    void OpenDigitalIoForSelection();

    BoardModel &m_model;
    QTreeWidgetItem *m_dropHighlight = nullptr;
};

#pragma once
// The MDI child frame of a monitoring window: one per window kind at most, of a fixed size,
// placed by the cascade rule, holding the view of its kind.

#include "view/ViewFrame.h"

class BoardModel;

#include <QMdiSubWindow>
#include <QPoint>
#include <functional>

class QMdiArea;

class CChildFrame : public QMdiSubWindow
{
    Q_OBJECT

public:
    using ViewFactory = std::function<QWidget *(QWidget *parent, BoardModel &model)>;

    // Creates the frame of `kind` in `mdi` with a new view of that kind on `model`; null when
    // no view is registered for the kind.
    static CChildFrame *Create(int kind, QMdiArea *mdi, BoardModel &model);
    // The open frame of a kind, or null.
    static CChildFrame *OpenFrame(int kind);
    // Registers the view made for a kind (an empty factory removes it).
    static void RegisterView(int kind, ViewFactory factory);
    static bool HasView(int kind);
    // The fixed outer size of a kind's frame.
    static QSize FrameSize(int kind);
    // The cascade offset the next frame is placed at, and the number of open frames.
    static QPoint CascadeOffset();
    static int OpenCount();

    ~CChildFrame() override;

    int kind() const { return m_kind; }

protected:
    void closeEvent(QCloseEvent *event) override;

private:
    CChildFrame(int kind, QMdiArea *mdi, BoardModel &model);
    void TrimSystemMenu();
    void OnActivated(QMdiSubWindow *window);

    const int m_kind;
    QMdiArea *m_mdi;
    BoardModel &m_model;
    bool m_closing = false; // the question has been asked for this close
};

#include "view/ViewFrame.h"

#include <QMdiSubWindow>

void CloseViewFrame(QWidget *view)
{
    for (QWidget *w = view; w; w = w->parentWidget()) {
        if (auto *frame = qobject_cast<QMdiSubWindow *>(w)) {
            frame->close();
            return;
        }
    }
}

#include "WidgetHelpers.h"

#include "platform/Messages.h"

#include <QEvent>
#include <QTest>

bool PaintCounter::eventFilter(QObject *watched, QEvent *e)
{
    if (e->type() == QEvent::Paint) {
        ++count;
        painted << watched;
    }
    return false;
}

void FlushPaints()
{
    QTest::qWait(30);
}

bool MessageRecorder::event(QEvent *e)
{
    WindowMessage *m = WindowMessage::From(e);
    if (!m)
        return QObject::event(e);
    messages << (format ? format(*m) : QStringLiteral("%1(%2)").arg(int(m->type())).arg(m->wParam));
    return true;
}

#include "platform/DialogKeys.h"

#include <QAbstractButton>
#include <QKeyEvent>

namespace {

// Watches one button, whose child it is.
class EnterClicks : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *watched, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        const int key = static_cast<QKeyEvent *>(e)->key();
        auto *button = qobject_cast<QAbstractButton *>(watched);
        if ((key != Qt::Key_Return && key != Qt::Key_Enter) || !button || !button->isEnabled())
            return false;
        button->click();
        return true;
    }
};

// Watches one widget, whose child it is.
class EnterEscapeSink : public QObject
{
public:
    using QObject::QObject;

    bool eventFilter(QObject *, QEvent *e) override
    {
        if (e->type() != QEvent::KeyPress)
            return false;
        switch (static_cast<QKeyEvent *>(e)->key()) {
        case Qt::Key_Return:
        case Qt::Key_Enter:
        case Qt::Key_Escape:
            e->accept();
            return true;
        default:
            return false;
        }
    }
};

} // namespace

void ClickOnEnter(QAbstractButton *button)
{
    button->installEventFilter(new EnterClicks(button));
}

void IgnoreEnterAndEscape(QWidget *widget)
{
    widget->installEventFilter(new EnterEscapeSink(widget));
}

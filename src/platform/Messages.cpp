#include "platform/Messages.h"

#include <QCoreApplication>
#include <QPointer>

namespace {

bool IsPrivateMessage(int type)
{
    return type > kUserMessage && type < kUserMessage + 0x400;
}

QPointer<QObject> g_mainWindow;

} // namespace

QObject *MainWindow()
{
    return g_mainWindow;
}

void SetMainWindow(QObject *window)
{
    g_mainWindow = window;
}

WindowMessage *WindowMessage::From(QEvent *event)
{
    return event && IsPrivateMessage(event->type()) ? static_cast<WindowMessage *>(event) : nullptr;
}

intptr_t SendWindowMessage(QObject *target, int message, intptr_t wParam, intptr_t lParam)
{
    if (!target)
        return 0;
    WindowMessage m(message, wParam, lParam);
    QCoreApplication::sendEvent(target, &m);
    return m.result;
}

void PostWindowMessage(QObject *target, int message, intptr_t wParam, intptr_t lParam)
{
    if (target)
        QCoreApplication::postEvent(target, new WindowMessage(message, wParam, lParam));
}

#pragma once
// Private window messages. Each is a QEvent whose type is the message number; a send is
// synchronous and returns the handler's result, a post is queued. A window handles its
// messages in its event() override, which plays the part of its window procedure.

#include <QEvent>
#include <cstdint>

class QObject;

constexpr int WM_USER = 0x400;

enum PrivateMessage : int {
    UM_OPEN_WINDOW = WM_USER + 100,
    UM_REFRESH_SYSTEM = WM_USER + 101,
    UM_ACTIVE_CARD_CHANGED = WM_USER + 103,
    UM_SELECT_CARD = WM_USER + 104,
    UM_PARAM_CHANGED = WM_USER + 105,
    UM_WHEEL_SELECT_CARD = WM_USER + 106,
    UM_VIEW_SELECT_CARD = WM_USER + 110,
    UM_DO_WORD_CHANGED = WM_USER + 125,
    UM_VIEW_FOCUSED = WM_USER + 130,
    UM_CARD_LIST_CHANGED = WM_USER + 131,
};

// Window kinds: the resource number a monitoring window's frame is created with.
enum ViewKind : int {
    kSystemIoView = 100,
    kDigitalIoView = 101,
    kChangeLogView = 102,
};

class WindowMessage : public QEvent
{
public:
    WindowMessage(int message, intptr_t wParam, intptr_t lParam)
        : QEvent(QEvent::Type(message))
        , wParam(wParam)
        , lParam(lParam)
    {
    }

    // The message carried by `event`, or null when it is no private message.
    static WindowMessage *From(QEvent *event);

    const intptr_t wParam;
    const intptr_t lParam;
    intptr_t result = 0;
};

// The application's main window, to which windows send their notifications.
QObject *MainWindow();
void SetMainWindow(QObject *window);

intptr_t SendMessage(QObject *target, int message, intptr_t wParam = 0, intptr_t lParam = 0);
void PostMessage(QObject *target, int message, intptr_t wParam = 0, intptr_t lParam = 0);

#pragma once
// Private window messages. Each is a QEvent whose type is the message number; a send is
// synchronous and returns the handler's result, a post is queued. A window handles its
// messages in its event() override, which plays the part of its window procedure.

#include <QEvent>
#include <cstdint>

class QObject;

constexpr int kUserMessage = 0x400;

enum PrivateMessage : int {
    UM_OPEN_WINDOW = kUserMessage + 100,
    UM_REFRESH_SYSTEM = kUserMessage + 101,
    UM_ACTIVE_CARD_CHANGED = kUserMessage + 103,
    UM_SELECT_CARD = kUserMessage + 104,
    UM_PARAM_CHANGED = kUserMessage + 105,
    UM_WHEEL_SELECT_CARD = kUserMessage + 106,
    UM_VIEW_SELECT_CARD = kUserMessage + 110,
    UM_DO_WORD_CHANGED = kUserMessage + 125,
    UM_VIEW_FOCUSED = kUserMessage + 130,
    UM_CARD_LIST_CHANGED = kUserMessage + 131,
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

intptr_t SendWindowMessage(QObject *target, int message, intptr_t wParam = 0, intptr_t lParam = 0);
void PostWindowMessage(QObject *target, int message, intptr_t wParam = 0, intptr_t lParam = 0);

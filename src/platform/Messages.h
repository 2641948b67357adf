#pragma once
// Private window messages. Each is a QEvent whose type is the message number; a send is
// synchronous and returns the handler's result, a post is queued. A window handles its
// messages in its event() override, which plays the part of its window procedure.

#include <QEvent>
#include <cstdint>

class QObject;

constexpr int kUserMessage = 0x400;

// Who sends each message, who receives it, what wParam carries and what it does. Windows never
// call each other: every message but UM_DO_WORD_CHANGED goes through the main frame.
enum PrivateMessage : int {
    // The main frame's Digital IO, System IO and Change Log commands (to itself) and the tree's
    // double-click on a count node of the active board -> main frame. wParam: the window kind.
    // Raises the open window of that kind, or opens one.
    UM_OPEN_WINDOW = kUserMessage + 100,
    // Main frame -> tree once the system is loaded (wParam 0): the tree has the board model
    // read the boards and rebuilds itself. Tree -> main frame when it is built (wParam 0): the
    // frame fills its controller selector.
    UM_REFRESH_SYSTEM = kUserMessage + 101,
    // Main frame -> tree for Set Active Controller, and the tree's context menu -> tree
    // (wParam 0): the tree makes the board of the selected node active. Tree -> main frame
    // after the active board changed (wParam 0): the frame moves its selector and sends it on
    // to every view, which refills its card list and shows the active board.
    UM_ACTIVE_CARD_CHANGED = kUserMessage + 103,
    // Main frame -> tree when the controller selector's choice changes. wParam: the card
    // number. The tree makes it active and tells the frame UM_ACTIVE_CARD_CHANGED and
    // UM_CARD_LIST_CHANGED.
    UM_SELECT_CARD = kUserMessage + 104,
    // Digital IO window after it wrote a board's filter, and Log Level Setup on OK -> main
    // frame. wParam: the card number (Log Level Setup: 0). The frame has the board model flag
    // that board's parameters as changed in the active class; the exit asks about them.
    UM_PARAM_CHANGED = kUserMessage + 105,
    // Main frame -> tree when the wheel turns over the controller selector. wParam: the card
    // number. The tree makes it active and tells the frame UM_CARD_LIST_CHANGED only.
    UM_WHEEL_SELECT_CARD = kUserMessage + 106,
    // A monitoring window's card list -> main frame -> tree. wParam: the card number. Handled
    // by the tree as UM_SELECT_CARD.
    UM_VIEW_SELECT_CARD = kUserMessage + 110,
    // Output page -> its Digital IO window, posted, when the output word changed (wParam 0):
    // the window shows the new word.
    UM_DO_WORD_CHANGED = kUserMessage + 125,
    // System Reset after a reset, and the Digital IO frame the first time it takes the focus
    // -> main frame -> every view. wParam: the window kind (101). The Digital IO window sets
    // up its board again.
    UM_VIEW_FOCUSED = kUserMessage + 130,
    // Tree -> main frame -> every view after the active board changed (wParam 0): each view
    // refills its card list and follows the active board.
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

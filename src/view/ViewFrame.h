#pragma once
// What a monitoring window shares with the frame that holds it, without knowing the frame: the
// window kinds, the question asked before a close, and the close a window asks for itself.

class QWidget;

// Window kinds: the resource number a monitoring window's frame is created with.
enum ViewKind : int {
    kSystemIoView = 100,
    kDigitalIoView = 101,
    kChangeLogView = 102,
    kPlantView = 103,
};

// A view that asks a question before its frame closes (the Digital IO window's filter
// settings). It is asked once per close, whoever started the close; never at program exit.
class IFrameClosePrompt
{
public:
    virtual ~IFrameClosePrompt() = default;
    virtual void OnFrameClose() = 0;
};

// Closes the frame holding `view`, as its Close button and Close All do: the view's question
// is asked once, then the frame closes. Nothing happens to a view outside a frame.
void CloseViewFrame(QWidget *view);

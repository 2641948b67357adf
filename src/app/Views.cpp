#include "app/Views.h"

#include "app/ChildFrame.h"
#include "diag/ChgLogWnd.h"
#include "dio/DIoWnd.h"
#include "platform/Messages.h"
#include "system/SysIoWnd.h"

void RegisterStandardViews()
{
    // The System IO (kSystemIoView) and Digital IO (kDigitalIoView) views register here.
    CChildFrame::RegisterView(kDigitalIoView,
                              [](QWidget *parent) { return new CVL_DIoWnd(parent); });
    CChildFrame::RegisterView(kSystemIoView,
                              [](QWidget *parent) { return new CVL_SysIoWnd(parent); });
    CChildFrame::RegisterView(kChangeLogView,
                              [](QWidget *parent) { return new CVL_ChgLogWnd(parent); });
}

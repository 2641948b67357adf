#include "Views.h"

#include "ChildFrame.h"
#include "Messages.h"
#include "SysIoWnd.h"

void RegisterStandardViews()
{
    // The System IO (kSystemIoView) and Digital IO (kDigitalIoView) views register here.
    CChildFrame::RegisterView(kSystemIoView,
                              [](QWidget *parent) { return new CVL_SysIoWnd(parent); });
}

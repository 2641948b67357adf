#include "Views.h"

#include "ChildFrame.h"
#include "Messages.h"

void RegisterStandardViews()
{
    // The System IO (kSystemIoView) and Digital IO (kDigitalIoView) views register here.
}

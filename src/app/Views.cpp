#include "app/Views.h"

#include "app/ChildFrame.h"
#include "diag/ChgLogWnd.h"
#include "dio/DIoWnd.h"
#include "model/BoardModel.h"
#include "plant/PlantWnd.h"
#include "platform/Messages.h"
#include "system/SysIoWnd.h"

void RegisterStandardViews()
{
    // The System IO (kSystemIoView) and Digital IO (kDigitalIoView) views register here.
    CChildFrame::RegisterView(kDigitalIoView, [](QWidget *parent, BoardModel &model) {
        return new CVL_DIoWnd(model, parent);
    });
    CChildFrame::RegisterView(kSystemIoView, [](QWidget *parent, BoardModel &model) {
        return new CVL_SysIoWnd(model, parent);
    });
    CChildFrame::RegisterView(kChangeLogView, [](QWidget *parent, BoardModel &model) {
        return new CVL_ChgLogWnd(model, parent);
    });
    CChildFrame::RegisterView(kPlantView, [](QWidget *parent, BoardModel &model) {
        return new CVL_PlantWnd(model.settingsPath(), parent);
    });
}

#include "ModelHelpers.h"

#include "FakeDevice.h"
#include "model/BoardModel.h"

void LoadModel(BoardModel &model, FakeDevice &fake, std::optional<int32_t> activeCardNo,
               int32_t activeCardType)
{
    model.LoadSystem(DXS_LOAD_AUTO);
    model.ReadCardMap();
    model.ReadBoards();
    if (activeCardNo)
        model.SetActiveCard(*activeCardNo);
    model.SetActiveCardType(activeCardType);
    fake.takeCalls();
}

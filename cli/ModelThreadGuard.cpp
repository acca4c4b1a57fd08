#include "cli/ModelThreadGuard.h"

#include "core/ApplicationModel.h"

ModelThreadGuard::ModelThreadGuard(ApplicationModel& owner, EndOperation endOperation) : model(owner), end(endOperation)
{
}

ModelThreadGuard::~ModelThreadGuard() { End(); }

void ModelThreadGuard::End()
{
    if (!ended) {
        ended = true;
        (model.*end)();
    }
}

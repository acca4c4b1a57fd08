#include "core/STDFUPRT.h"

using namespace Dfuse;

STDFUPRT::STDFUPRT(const char* libraryName) { DLLHandler::GetInstance().GetDLLHandle(&module, libraryName); }

bool STDFUPRT::CreateMappingFromDevice(char* deviceLink, MAPPING** mapping, unsigned long* alternateCount)
{
    return DLLHandler::GetInstance().CallExport<STDFUPRT_CreateMappingFromDevice_Fn>(
        module, "STDFUPRT_CreateMappingFromDevice", deviceLink, mapping, alternateCount);
}

bool STDFUPRT::DestroyMapping(MAPPING** mapping)
{
    return DLLHandler::GetInstance().CallExport<STDFUPRT_DestroyMapping_Fn>(module, "STDFUPRT_DestroyMapping", mapping);
}

bool STDFUPRT::LaunchOperation(DFUThreadContext* context, unsigned long* operationId)
{
    return DLLHandler::GetInstance().CallExport<STDFUPRT_LaunchOperation_Fn>(module, "STDFUPRT_LaunchOperation",
                                                                             context, operationId);
}

// The two exports below take the operation id first.
bool STDFUPRT::GetOperationStatus(DFUThreadContext* context, unsigned long operationId)
{
    return DLLHandler::GetInstance().CallExport<STDFUPRT_GetOperationStatus_Fn>(module, "STDFUPRT_GetOperationStatus",
                                                                                operationId, context);
}

bool STDFUPRT::StopOperation(DFUThreadContext* context, unsigned long operationId)
{
    return DLLHandler::GetInstance().CallExport<STDFUPRT_StopOperation_Fn>(module, "STDFUPRT_StopOperation",
                                                                           operationId, context);
}

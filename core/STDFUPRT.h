#pragma once

#include "core/DLLHandler.h"
#include "core/DfuseTypes.h"

// Binding of the STDFUPRT library: device memory maps, and erase and programming operations that run on a
// thread of the library while the caller polls. Every method looks its export up at the call and is true
// exactly when the export exists and answers success.
class STDFUPRT {
public:
    explicit STDFUPRT(const char* libraryName = "STDFUPRT.dll");

    STDFUPRT(const STDFUPRT&) = delete;
    STDFUPRT& operator=(const STDFUPRT&) = delete;

    bool CreateMappingFromDevice(char* deviceLink, Dfuse::MAPPING** mapping, unsigned long* alternateCount);
    bool DestroyMapping(Dfuse::MAPPING** mapping);
    bool LaunchOperation(Dfuse::DFUThreadContext* context, unsigned long* operationId);
    // Refreshes Percent and ErrorCode of the context.
    bool GetOperationStatus(Dfuse::DFUThreadContext* context, unsigned long operationId);
    // Ends the operation; true when it succeeded.
    bool StopOperation(Dfuse::DFUThreadContext* context, unsigned long operationId);

private:
    DLLHandler::Module module;
};

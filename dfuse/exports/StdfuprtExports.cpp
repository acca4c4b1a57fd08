// The exports of STDFUPRT: memory maps read from devices, and erase and programming operations that run on
// threads of the library.

#include "dfuse/DfuseApi.h"
#include "dfuse/common/HandleTable.h"
#include "dfuse/prt/DfuDeviceChannel.h"
#include "dfuse/prt/DfuOperation.h"
#include "dfuse/prt/ImageSnapshot.h"
#include "dfuse/prt/MappingRegistry.h"
#include "dfuse/prt/MemoryLayout.h"

#include <cstring>
#include <memory>

using tarnix::dfuse::DfuDeviceChannel;
using tarnix::dfuse::DfuOperation;
using tarnix::dfuse::HandleTable;
using tarnix::dfuse::ImageSnapshot;
using tarnix::dfuse::MappingRegistry;
using tarnix::dfuse::MemoryLayout;
using tarnix::dfuse::OperationRequest;

namespace {

// Namespace-scope tables, made when the library loads after STDFU and STDFUFiles: at process exit they go
// first, and the operations' threads are stopped while the libraries they call are still there.
MappingRegistry mappings;
HandleTable<DfuOperation> operations(0x41);

void* HandleOf(unsigned long operationId) { return reinterpret_cast<void*>(static_cast<std::uintptr_t>(operationId)); }

bool HoldsLink(const char (&link)[260]) { return std::memchr(link, '\0', sizeof link) != nullptr && link[0] != '\0'; }

std::uint32_t RequestFrom(const DFUThreadContext& context, OperationRequest& request)
{
    if ((context.Operation != DFUSE_OPERATION_ERASE && context.Operation != DFUSE_OPERATION_PROGRAM) ||
        !HoldsLink(context.szDevLink)) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    request.operation = context.Operation;
    request.skipErasedBlocks = context.bDontSendFFTransfersForUpgrade != 0;
    request.deviceLink = context.szDevLink;
    return ImageSnapshot::Take(context.hImage, request.elements);
}

}  // namespace

extern "C" {

std::uint32_t STDFUPRT_CreateMappingFromDevice(const char* deviceLink, MAPPING** mapping, unsigned long* alternateCount)
{
    if (deviceLink == nullptr || mapping == nullptr || alternateCount == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    DfuDeviceChannel channel;
    std::string layoutText;
    if (const std::uint32_t status = channel.Open(deviceLink); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    if (const std::uint32_t status = channel.ReadMemoryLayout(layoutText); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    MemoryLayout layout;
    if (const std::uint32_t status = layout.Parse(layoutText); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    *mapping = mappings.Add(layout, 0);
    *alternateCount = 1;
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUPRT_DestroyMapping(MAPPING** mapping)
{
    if (mapping == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    if (!mappings.Remove(*mapping)) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    *mapping = nullptr;
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUPRT_LaunchOperation(DFUThreadContext* context, unsigned long* operationId)
{
    if (context == nullptr || operationId == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    OperationRequest request;
    if (const std::uint32_t status = RequestFrom(*context, request); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    auto operation = std::make_shared<DfuOperation>(std::move(request));
    context->Percent = 0;
    context->ErrorCode = DFUSE_STATUS_SUCCESS;
    operation->Start();
    *operationId = reinterpret_cast<std::uintptr_t>(operations.Add(std::move(operation)));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUPRT_GetOperationStatus(unsigned long operationId, DFUThreadContext* context)
{
    if (context == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuOperation> operation = operations.Find(HandleOf(operationId));
    if (!operation) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    operation->Report(*context);
    return operation->Finished() ? operation->ErrorCode() : DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUPRT_StopOperation(unsigned long operationId, DFUThreadContext* context)
{
    const std::shared_ptr<DfuOperation> operation = operations.Remove(HandleOf(operationId));
    if (!operation) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    operation->Stop();
    if (context != nullptr) {
        operation->Report(*context);
    }
    return operation->Succeeded() ? DFUSE_STATUS_SUCCESS : operation->ErrorCode();
}

}  // extern "C"

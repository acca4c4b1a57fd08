// The exports of STDFU: DFU requests on DFU devices of the bus, opened by device path.

#include "dfuse/DfuseApi.h"
#include "dfuse/common/HandleTable.h"
#include "dfuse/stdfu/DfuDeviceSession.h"
#include "platform/BackendFactories.h"

#include <cstring>
#include <memory>

using tarnix::dfuse::DfuDeviceSession;
using tarnix::dfuse::HandleTable;

namespace {

// A namespace-scope table: it is made when the library loads, before any library that depends on this one,
// and so outlives their operation threads at process exit.
HandleTable<DfuDeviceSession> sessions(0x11);

std::shared_ptr<DfuDeviceSession> SessionOf(void** handle)
{
    return handle == nullptr ? nullptr : sessions.Find(*handle);
}

}  // namespace

extern "C" {

std::uint32_t STDFU_Open(const char* devicePath, void** handle)
{
    if (devicePath == nullptr || handle == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::unique_ptr<tarnix::io::DfuTransport> port = tarnix::platform::OpenDfuTransport(devicePath);
    if (!port) {
        return DFUSE_ERROR_NO_DEVICE;
    }
    *handle = sessions.Add(std::make_shared<DfuDeviceSession>(std::move(port)));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFU_Close(void** handle)
{
    if (handle == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    if (!sessions.Remove(*handle)) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    *handle = nullptr;
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFU_Dnload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block)
{
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->Download(block, data, length) : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_Upload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block)
{
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->Upload(block, data, length) : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_Getstatus(void** handle, DFUSTATUS* status)
{
    if (status == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->GetStatus(*status) : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_Clrstatus(void** handle)
{
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->ClearStatus() : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_Getstate(void** handle, std::uint8_t* state)
{
    if (state == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->GetState(*state) : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_Abort(void** handle)
{
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    return session ? session->Abort() : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFU_GetDeviceInfo(void** handle, DFUDEVICEINFO* info)
{
    if (info == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    if (!session) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    *info = session->Info();
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFU_GetMemoryLayout(void** handle, char* buffer, unsigned long size)
{
    if (buffer == nullptr || size == 0) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuDeviceSession> session = SessionOf(handle);
    if (!session) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    const std::string layout = session->MemoryLayout();
    if (layout.size() >= size) {
        return DFUSE_ERROR_BUFFER_TOO_SMALL;
    }
    std::memcpy(buffer, layout.c_str(), layout.size() + 1);
    return DFUSE_STATUS_SUCCESS;
}

}  // extern "C"

#include "core/STDFU.h"

#include "core/Timer.h"
#include "io/DfuProtocol.h"

#include <chrono>
#include <thread>

using namespace Dfuse;

namespace {
namespace dfu = tarnix::io::dfu;
constexpr std::uint16_t commandBlock = 0;
}  // namespace

STDFU::STDFU(const char* libraryName) { DLLHandler::GetInstance().GetDLLHandle(&module, libraryName); }

bool STDFU::Open(void** handle, std::string devicePath)
{
    return DLLHandler::GetInstance().CallExport<STDFU_Open_Fn>(module, "STDFU_Open", devicePath.c_str(), handle);
}

bool STDFU::Close(void** handle)
{
    return DLLHandler::GetInstance().CallExport<STDFU_Close_Fn>(module, "STDFU_Close", handle);
}

bool STDFU::Dnload(void** handle, char* data, int length, unsigned block)
{
    if (length < 0) {
        return false;
    }
    return DLLHandler::GetInstance().CallExport<STDFU_Dnload_Fn>(
        module, "STDFU_Dnload", handle, reinterpret_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(length),
        static_cast<std::uint16_t>(block));
}

bool STDFU::Upload(void** handle, char* data, int length)
{
    if (length < 0) {
        return false;
    }
    return DLLHandler::GetInstance().CallExport<STDFU_Upload_Fn>(
        module, "STDFU_Upload", handle, reinterpret_cast<std::uint8_t*>(data), static_cast<std::uint32_t>(length),
        static_cast<std::uint16_t>(transferBlock));
}

bool STDFU::GetStatus(void** handle, DFUSTATUS* status)
{
    return DLLHandler::GetInstance().CallExport<STDFU_Getstatus_Fn>(module, "STDFU_Getstatus", handle, status);
}

bool STDFU::ClearStatus(void** handle)
{
    return DLLHandler::GetInstance().CallExport<STDFU_Clrstatus_Fn>(module, "STDFU_Clrstatus", handle);
}

bool STDFU::SendCommand(void** handle, std::uint8_t command, unsigned address)
{
    char bytes[5] = {static_cast<char>(command), static_cast<char>(address & 0xFF),
                     static_cast<char>((address >> 8) & 0xFF), static_cast<char>((address >> 16) & 0xFF),
                     static_cast<char>((address >> 24) & 0xFF)};
    return Dnload(handle, bytes, sizeof(bytes), commandBlock);
}

bool STDFU::Erase(void** handle, unsigned address) { return SendCommand(handle, dfu::kCommandErase, address); }

bool STDFU::SetAddressPointer(void** handle, unsigned address)
{
    return SendCommand(handle, dfu::kCommandSetAddress, address);
}

bool STDFU::LeaveDFUMode(void** handle)
{
    char unused = static_cast<char>(0xFF);
    return Dnload(handle, &unused, 0, commandBlock);
}

bool STDFU::WaitForDfuIdle(void** handle, int timeout)
{
    Utility::Timer timer;
    timer.Start();
    DFUSTATUS status{};
    GetStatus(handle, &status);
    while (static_cast<long long>(timer.Current()) < timeout) {
        std::this_thread::sleep_for(std::chrono::milliseconds(status.bwPollTimeout[0]));
        if (!ClearStatus(handle) || !GetStatus(handle, &status)) {
            return false;
        }
        if (status.bState == dfu::kStateIdle) {
            return true;
        }
    }
    return false;
}

// A stand-in for the STDFU library that passes every request on to the real library beside it and writes
// down the DfuSe commands and data transfers, so that a test sees which requests an operation sent. Loaded by
// a Dfu made with its name; the test reads the log through StdfuRecorder_Log.

#include "dfuse/DfuseApi.h"

#include <cstdio>
#include <dlfcn.h>
#include <mutex>
#include <string>

namespace {

std::mutex logLock;
std::string requestLog;

void Note(const std::string& line)
{
    const std::lock_guard<std::mutex> lock(logLock);
    requestLog += line + "\n";
}

std::string Hex(std::uint32_t value)
{
    char text[16];
    std::snprintf(text, sizeof text, "%08X", value);
    return text;
}

// The real library, from the folder this one was loaded from.
void* RealLibrary()
{
    static void* const library = [] {
        Dl_info self{};
        if (::dladdr(reinterpret_cast<void*>(&Note), &self) == 0 || self.dli_fname == nullptr) {
            return static_cast<void*>(nullptr);
        }
        const std::string path = self.dli_fname;
        return ::dlopen((path.substr(0, path.rfind('/') + 1) + "STDFU.so").c_str(), RTLD_NOW | RTLD_LOCAL);
    }();
    return library;
}

template <typename Function>
Function Real(const char* name)
{
    void* library = RealLibrary();
    return library == nullptr ? nullptr : reinterpret_cast<Function>(::dlsym(library, name));
}

template <typename Function, typename... Arguments>
std::uint32_t Forward(const char* name, Arguments... arguments)
{
    const Function function = Real<Function>(name);
    return function == nullptr ? DFUSE_ERROR_BAD_PARAMETER : function(arguments...);
}

// Block 0 carries a command byte and a little-endian address; later blocks carry data.
void NoteDownload(const std::uint8_t* data, std::uint32_t length, std::uint16_t block)
{
    if (block == 0 && data != nullptr && length == 5 && (data[0] == 0x21 || data[0] == 0x41)) {
        const std::uint32_t address = data[1] | (data[2] << 8) | (data[3] << 16) | (std::uint32_t{data[4]} << 24);
        Note((data[0] == 0x21 ? "address " : "erase ") + Hex(address));
    } else if (block >= 2) {
        Note("download " + std::to_string(length));
    }
}

}  // namespace

extern "C" {

DFUSE_EXPORT const char* StdfuRecorder_Log()
{
    const std::lock_guard<std::mutex> lock(logLock);
    static std::string copy;
    copy = requestLog;
    return copy.c_str();
}

DFUSE_EXPORT void StdfuRecorder_Clear()
{
    const std::lock_guard<std::mutex> lock(logLock);
    requestLog.clear();
}

std::uint32_t STDFU_Open(const char* devicePath, void** handle)
{
    return Forward<STDFU_Open_Fn>("STDFU_Open", devicePath, handle);
}

std::uint32_t STDFU_Close(void** handle) { return Forward<STDFU_Close_Fn>("STDFU_Close", handle); }

std::uint32_t STDFU_Dnload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block)
{
    NoteDownload(data, length, block);
    return Forward<STDFU_Dnload_Fn>("STDFU_Dnload", handle, data, length, block);
}

std::uint32_t STDFU_Upload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block)
{
    Note("upload " + std::to_string(length));
    return Forward<STDFU_Upload_Fn>("STDFU_Upload", handle, data, length, block);
}

std::uint32_t STDFU_Getstatus(void** handle, DFUSTATUS* status)
{
    return Forward<STDFU_Getstatus_Fn>("STDFU_Getstatus", handle, status);
}

std::uint32_t STDFU_Clrstatus(void** handle) { return Forward<STDFU_Clrstatus_Fn>("STDFU_Clrstatus", handle); }

std::uint32_t STDFU_Getstate(void** handle, std::uint8_t* state)
{
    return Forward<STDFU_Getstate_Fn>("STDFU_Getstate", handle, state);
}

std::uint32_t STDFU_Abort(void** handle) { return Forward<STDFU_Abort_Fn>("STDFU_Abort", handle); }

}  // extern "C"

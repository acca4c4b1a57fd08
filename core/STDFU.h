#pragma once

#include "core/DLLHandler.h"
#include "core/DfuseTypes.h"

#include <cstdint>
#include <string>

// Binding of the STDFU library: DFU requests on an open DFU device. Every method looks its export up at the
// call and is true exactly when the export exists and answers success; `handle` points at the device's
// handle field, which Open fills and every other request reads.
class STDFU {
public:
    explicit STDFU(const char* libraryName = "STDFU.dll");

    STDFU(const STDFU&) = delete;
    STDFU& operator=(const STDFU&) = delete;

    bool Open(void** handle, std::string devicePath);
    bool Close(void** handle);
    // DNLOAD of `length` bytes with the given block number (16 bits).
    bool Dnload(void** handle, char* data, int length, unsigned block);
    // UPLOAD of `length` bytes with block number 8.
    bool Upload(void** handle, char* data, int length);
    bool GetStatus(void** handle, Dfuse::DFUSTATUS* status);
    // Erases the flash page at the address (command 0x41 in block 0).
    bool Erase(void** handle, unsigned address);
    // Sets the address that data blocks count from (command 0x21 in block 0).
    bool SetAddressPointer(void** handle, unsigned address);
    // A zero-length download: the device leaves DFU mode on the next status request.
    bool LeaveDFUMode(void** handle);
    // Polls until the device is idle, clearing any error state on the way; false after `timeout`
    // milliseconds or when a request fails.
    bool WaitForDfuIdle(void** handle, int timeout);

    static constexpr unsigned transferBlock = 8;

private:
    bool ClearStatus(void** handle);
    bool SendCommand(void** handle, std::uint8_t command, unsigned address);

    DLLHandler::Module module;
};

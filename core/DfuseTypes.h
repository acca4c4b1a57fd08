#pragma once

#include <cstddef>
#include <cstdint>

// The records and export signatures of the three DFU libraries (STDFU, STDFUFiles, STDFUPRT) as the core
// uses them. The libraries are loaded at run time and their exports looked up by name, so the layouts here
// must agree byte for byte with what the libraries were built with. Only the fields the core sets or reads
// are named; the rest of each record is carried along zeroed.
namespace Dfuse {

// Every export answers a 32-bit status; this one means success.
constexpr std::uint32_t SuccessCode = 0x12340000u;

// The operation codes of an erase or programming operation.
constexpr std::uint32_t OperationErase = 3;
constexpr std::uint32_t OperationProgram = 4;

// Capacity of a device link in characters, the terminating NUL included.
constexpr std::size_t DeviceLinkSize = 260;

#pragma pack(push, 1)

// A 16-byte interface class identifier in the layout the libraries expect.
struct GUID {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// The answer of a DFU GETSTATUS request.
struct DFUSTATUS {
    std::uint8_t bStatus;
    std::uint8_t bwPollTimeout[3];  // milliseconds until the next request; the core uses the low byte only
    std::uint8_t bState;
    std::uint8_t iString;
};

// Describes one erase or programming operation and reports its progress back.
struct DFUThreadContext {
    GUID DfuGUID;                                  // interface class of the device in DFU mode
    GUID AppGUID;                                  // interface class of the device in application mode
    std::uint32_t Operation;                       // OperationErase or OperationProgram
    std::uint32_t bDontSendFFTransfersForUpgrade;  // nonzero: blocks of only 0xFF are not sent
    void* hImage;                                  // the image to erase for or to program
    char szDevLink[DeviceLinkSize];                // the device path, NUL-terminated
    std::uint8_t Percent;                          // 0 to 100, refreshed by the status call
    std::uint32_t ErrorCode;                       // SuccessCode while the operation is fine
    DFUSTATUS LastDFUStatus;                       // the library's own bookkeeping from here on
    std::uint8_t Reserved[26];
};

#pragma pack(pop)

// One element of a firmware image. With Data null only the address and the length are filled; with Data set,
// dwDataLength is the capacity of Data on entry.
struct DFUIMAGEELEMENT {
    std::uint32_t dwAddress;
    std::uint32_t dwDataLength;
    std::uint8_t* Data;
};

// A device memory map made and released by the library; the core only passes it along.
struct MAPPING;

// Export signatures.
using STDFU_Open_Fn = std::uint32_t (*)(const char* devicePath, void** handle);
using STDFU_Close_Fn = std::uint32_t (*)(void** handle);
using STDFU_Dnload_Fn = std::uint32_t (*)(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block);
using STDFU_Upload_Fn = std::uint32_t (*)(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block);
using STDFU_Getstatus_Fn = std::uint32_t (*)(void** handle, DFUSTATUS* status);
using STDFU_Clrstatus_Fn = std::uint32_t (*)(void** handle);

using STDFUFILES_OpenExistingDFUFile_Fn = std::uint32_t (*)(const char* path, void** file, std::uint16_t* vid,
                                                            std::uint16_t* pid, std::uint16_t* bcd,
                                                            std::uint8_t* imageCount);
using STDFUFILES_ReadImageFromDFUFile_Fn = std::uint32_t (*)(void* file, int index, void** image);
using STDFUFILES_CloseDFUFile_Fn = std::uint32_t (*)(void* file);
using STDFUFILES_ImageFromFile_Fn = std::uint32_t (*)(const char* path, void** image, std::uint8_t alternate);
using STDFUFILES_DestroyImage_Fn = std::uint32_t (*)(void** image);
using STDFUFILES_FilterImageForOperation_Fn = std::uint32_t (*)(void* image, MAPPING* mapping, unsigned long operation,
                                                                int truncateLeadingFF);
using STDFUFILES_GetImageNbElement_Fn = std::uint32_t (*)(void* image, unsigned long* count);
using STDFUFILES_GetImageElement_Fn = std::uint32_t (*)(void* image, unsigned long index, DFUIMAGEELEMENT* element);

using STDFUPRT_CreateMappingFromDevice_Fn = std::uint32_t (*)(const char* deviceLink, MAPPING** mapping,
                                                              unsigned long* alternateCount);
using STDFUPRT_DestroyMapping_Fn = std::uint32_t (*)(MAPPING** mapping);
using STDFUPRT_LaunchOperation_Fn = std::uint32_t (*)(DFUThreadContext* context, unsigned long* operationId);
using STDFUPRT_GetOperationStatus_Fn = std::uint32_t (*)(unsigned long operationId, DFUThreadContext* context);
using STDFUPRT_StopOperation_Fn = std::uint32_t (*)(unsigned long operationId, DFUThreadContext* context);

}  // namespace Dfuse

#pragma once

// The C interface of our three DFU libraries: STDFU (DFU requests on an open device), STDFUFiles (".dfu" and
// ".hex" firmware images) and STDFUPRT (device memory maps, erase and programming on a library thread).
// Programs load the libraries at run time and look the exports up by name; this header gives them the record
// layouts and the function types. Every export answers a 32-bit status: DFUSE_STATUS_SUCCESS or one of the
// distinct failure codes below.

#include <cstddef>
#include <cstdint>

#define DFUSE_EXPORT __attribute__((visibility("default")))

// ---------------------------------------------------------------------------------------------------------
// Status codes

enum DfuseStatus : std::uint32_t {
    DFUSE_STATUS_SUCCESS = 0x12340000u,

    // Arguments and handles
    DFUSE_ERROR_BAD_PARAMETER = 0x12340001u,     // null pointer, index out of range, unknown operation code
    DFUSE_ERROR_BAD_HANDLE = 0x12340002u,        // handle unknown to the library (never made, or released)
    DFUSE_ERROR_BUFFER_TOO_SMALL = 0x12340003u,  // the caller's buffer cannot take the data

    // Device requests
    DFUSE_ERROR_NO_DEVICE = 0x12340010u,          // the device path names no device that can be opened
    DFUSE_ERROR_REQUEST_FAILED = 0x12340011u,     // the device did not answer a request
    DFUSE_ERROR_SHORT_UPLOAD = 0x12340012u,       // the device sent fewer bytes than requested
    DFUSE_ERROR_DEVICE_STATUS = 0x12340013u,      // the device reported an error status (dfuERROR)
    DFUSE_ERROR_DEVICE_TIMEOUT = 0x12340014u,     // the device stayed busy too long
    DFUSE_ERROR_DEVICE_DESCRIPTOR = 0x12340015u,  // unusable transfer size or memory layout

    // Files
    DFUSE_ERROR_FILE_OPEN = 0x12340020u,             // the file cannot be read (or is unreasonably large)
    DFUSE_ERROR_FILE_TRUNCATED = 0x12340021u,        // a structure or size runs past the end of the file
    DFUSE_ERROR_FILE_BAD_PREFIX = 0x12340022u,       // no "DfuSe" version 1 prefix, or a wrong image size
    DFUSE_ERROR_FILE_BAD_SUFFIX = 0x12340023u,       // no "UFD" suffix of 16 bytes with DFU version 0x011A
    DFUSE_ERROR_FILE_BAD_CRC = 0x12340024u,          // the CRC of the suffix does not match the file
    DFUSE_ERROR_FILE_BAD_TARGET = 0x12340025u,       // no targets, a bad "Target" prefix or inconsistent sizes
    DFUSE_ERROR_HEX_SYNTAX = 0x12340026u,            // a line that is no Intel hex record (odd length, bad digit)
    DFUSE_ERROR_HEX_CHECKSUM = 0x12340027u,          // a record whose checksum does not match
    DFUSE_ERROR_HEX_RECORD_TYPE = 0x12340028u,       // an unknown record type or a record of the wrong length
    DFUSE_ERROR_HEX_ADDRESS_OVERFLOW = 0x12340029u,  // data beyond the 32-bit address space
    DFUSE_ERROR_HEX_NO_END = 0x1234002Au,            // no end-of-file record
    DFUSE_ERROR_IMAGE_OVERLAP = 0x1234002Bu,         // two chunks of data for the same address

    // Memory maps and operations
    DFUSE_ERROR_BAD_LAYOUT = 0x12340030u,           // the device's memory layout string cannot be read
    DFUSE_ERROR_OUTSIDE_MAPPING = 0x12340031u,      // image data where the device has no suitable memory
    DFUSE_ERROR_OPERATION_CANCELLED = 0x12340032u,  // the operation was stopped before it finished
};

// ---------------------------------------------------------------------------------------------------------
// Records

#pragma pack(push, 1)

struct DfuseGuid {
    std::uint32_t Data1;
    std::uint16_t Data2;
    std::uint16_t Data3;
    std::uint8_t Data4[8];
};

// The answer of DFU GETSTATUS as it travels on the wire.
struct DFUSTATUS {
    std::uint8_t bStatus;           // 0 = OK, otherwise the DFU error code
    std::uint8_t bwPollTimeout[3];  // milliseconds before the next GETSTATUS, little-endian 24 bits
    std::uint8_t bState;            // 2 = dfuIDLE, 4 = dfuDNBUSY, 5 = dfuDNLOAD-IDLE, 10 = dfuERROR ...
    std::uint8_t iString;
};

// Descriptor values of an open DFU device.
struct DFUDEVICEINFO {
    std::uint16_t idVendor;
    std::uint16_t idProduct;
    std::uint16_t bcdDevice;
    std::uint16_t wTransferSize;
};

// Describes one erase or programming operation and reports its progress. The caller fills the fields up to
// szDevLink and zeroes the rest; the library reports Percent, ErrorCode and the request details.
struct DFUThreadContext {
    DfuseGuid DfuGUID;                             // interface class of the DFU device
    DfuseGuid AppGUID;                             // interface class of the device in application mode
    std::uint32_t Operation;                       // 3 = erase, 4 = program
    std::uint32_t bDontSendFFTransfersForUpgrade;  // nonzero: blocks made only of 0xFF are not sent
    void* hImage;                                  // image handle of STDFUFiles (filtered for the operation)
    char szDevLink[260];                           // device path, NUL-terminated
    std::uint8_t Percent;                          // 0 to 100; 100 once the operation has succeeded
    std::uint32_t ErrorCode;                       // DFUSE_STATUS_SUCCESS while fine, the failure code after one
    DFUSTATUS LastDFUStatus;                       // the last status the device reported
    std::uint32_t CurrentRequest;                  // DFUSE_REQUEST_* being carried out
    std::uint32_t CurrentNBlock;                   // block number of the last download
    std::uint32_t CurrentLength;                   // length of the last download
    std::uint32_t CurrentAddress;                  // flash address of the last command or download
    std::uint32_t CurrentImageElement;             // index of the image element being worked on
    std::uint8_t Reserved[6];
};

#pragma pack(pop)

enum DfuseOperation : std::uint32_t {
    DFUSE_OPERATION_ERASE = 3,
    DFUSE_OPERATION_PROGRAM = 4,
};

enum DfuseRequest : std::uint32_t {
    DFUSE_REQUEST_NONE = 0,
    DFUSE_REQUEST_OPEN = 1,
    DFUSE_REQUEST_ERASE_PAGE = 2,
    DFUSE_REQUEST_SET_ADDRESS = 3,
    DFUSE_REQUEST_DOWNLOAD = 4,
    DFUSE_REQUEST_GET_STATUS = 5,
};

// Access flags of a memory sector (the letter of the layout string minus 'a', plus 1).
enum DfuseSectorAccess : std::uint8_t {
    DFUSE_SECTOR_READABLE = 1,
    DFUSE_SECTOR_ERASABLE = 2,
    DFUSE_SECTOR_WRITEABLE = 4,
};

struct MAPPINGSECTOR {
    std::uint32_t dwStartAddress;
    std::uint32_t dwSectorIndex;
    std::uint32_t dwSectorSize;
    std::uint8_t bSectorType;  // DfuseSectorAccess flags
};

// The memory map of one alternate setting. The sectors belong to the library that made the mapping.
struct MAPPING {
    std::uint8_t nAlternate;
    char Name[260];
    std::uint32_t NbSectors;
    MAPPINGSECTOR* pSectors;
};

// One element of an image. For STDFUFILES_GetImageElement: with Data null only dwAddress and dwDataLength
// are filled; with Data set, dwDataLength on entry is the capacity of Data in bytes, the element is copied
// only when it fits, and dwDataLength then holds the element's length (also when it did not fit).
struct DFUIMAGEELEMENT {
    std::uint32_t dwAddress;
    std::uint32_t dwDataLength;
    std::uint8_t* Data;
};

static_assert(sizeof(DfuseGuid) == 16, "a GUID is 16 bytes");
static_assert(sizeof(DFUSTATUS) == 6, "DFUSTATUS is 6 bytes on the wire");
static_assert(sizeof(DFUThreadContext) == 345, "the thread context is byte-packed to 345 bytes");
static_assert(offsetof(DFUThreadContext, Operation) == 32 && offsetof(DFUThreadContext, hImage) == 40 &&
                  offsetof(DFUThreadContext, szDevLink) == 48 && offsetof(DFUThreadContext, Percent) == 308 &&
                  offsetof(DFUThreadContext, ErrorCode) == 309,
              "the thread context's field offsets are part of the interface");

// ---------------------------------------------------------------------------------------------------------
// Exports

extern "C" {

// STDFU: the handle is opaque and owned by the library; a closed or unknown handle gives
// DFUSE_ERROR_BAD_HANDLE. Data transfers use the DfuSe addressing rule: block 0 carries commands (0x21 set
// address pointer, 0x41 erase page), blocks >= 2 address pointer + (block - 2) x length.
DFUSE_EXPORT std::uint32_t STDFU_Open(const char* devicePath, void** handle);
DFUSE_EXPORT std::uint32_t STDFU_Close(void** handle);
DFUSE_EXPORT std::uint32_t STDFU_Dnload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block);
DFUSE_EXPORT std::uint32_t STDFU_Upload(void** handle, std::uint8_t* data, std::uint32_t length, std::uint16_t block);
DFUSE_EXPORT std::uint32_t STDFU_Getstatus(void** handle, DFUSTATUS* status);
DFUSE_EXPORT std::uint32_t STDFU_Clrstatus(void** handle);
DFUSE_EXPORT std::uint32_t STDFU_Getstate(void** handle, std::uint8_t* state);
DFUSE_EXPORT std::uint32_t STDFU_Abort(void** handle);
DFUSE_EXPORT std::uint32_t STDFU_GetDeviceInfo(void** handle, DFUDEVICEINFO* info);
// The memory layout string of alternate setting 0, NUL-terminated into a buffer of `size` bytes.
DFUSE_EXPORT std::uint32_t STDFU_GetMemoryLayout(void** handle, char* buffer, unsigned long size);

// STDFUFiles: file and image handles are opaque; an image handle is independent of the file it came from.
DFUSE_EXPORT std::uint32_t STDFUFILES_OpenExistingDFUFile(const char* path, void** file, std::uint16_t* vid,
                                                          std::uint16_t* pid, std::uint16_t* bcd,
                                                          std::uint8_t* imageCount);
DFUSE_EXPORT std::uint32_t STDFUFILES_ReadImageFromDFUFile(void* file, int index, void** image);
DFUSE_EXPORT std::uint32_t STDFUFILES_CloseDFUFile(void* file);
// Reads an Intel hex file into an image for the given alternate setting.
DFUSE_EXPORT std::uint32_t STDFUFILES_ImageFromFile(const char* path, void** image, std::uint8_t alternate);
DFUSE_EXPORT std::uint32_t STDFUFILES_DestroyImage(void** image);
// Splits the elements along the mapping's sectors and drops every sector chunk made only of 0xFF; with
// truncateLeadingFF nonzero a kept chunk starts at its first byte that is not 0xFF.
DFUSE_EXPORT std::uint32_t STDFUFILES_FilterImageForOperation(void* image, MAPPING* mapping, unsigned long operation,
                                                              int truncateLeadingFF);
DFUSE_EXPORT std::uint32_t STDFUFILES_GetImageNbElement(void* image, unsigned long* count);
DFUSE_EXPORT std::uint32_t STDFUFILES_GetImageElement(void* image, unsigned long index, DFUIMAGEELEMENT* element);

// STDFUPRT
DFUSE_EXPORT std::uint32_t STDFUPRT_CreateMappingFromDevice(const char* deviceLink, MAPPING** mapping,
                                                            unsigned long* alternateCount);
DFUSE_EXPORT std::uint32_t STDFUPRT_DestroyMapping(MAPPING** mapping);
// Starts the operation of the context on a library thread; the context is copied, the image is read at once.
DFUSE_EXPORT std::uint32_t STDFUPRT_LaunchOperation(DFUThreadContext* context, unsigned long* operationId);
// Copies the progress into the context. Answers success while the operation runs or after it succeeded,
// and the operation's failure code once it has ended in a failure.
DFUSE_EXPORT std::uint32_t STDFUPRT_GetOperationStatus(unsigned long operationId, DFUThreadContext* context);
// Stops the operation (waiting for its thread), copies the final progress into the context if one is given
// and releases the operation id. Success exactly when the operation completed successfully.
DFUSE_EXPORT std::uint32_t STDFUPRT_StopOperation(unsigned long operationId, DFUThreadContext* context);

}  // extern "C"

// Function types of the exports, for lookup by name.
using STDFU_Open_Fn = decltype(&STDFU_Open);
using STDFU_Close_Fn = decltype(&STDFU_Close);
using STDFU_Dnload_Fn = decltype(&STDFU_Dnload);
using STDFU_Upload_Fn = decltype(&STDFU_Upload);
using STDFU_Getstatus_Fn = decltype(&STDFU_Getstatus);
using STDFU_Clrstatus_Fn = decltype(&STDFU_Clrstatus);
using STDFU_Getstate_Fn = decltype(&STDFU_Getstate);
using STDFU_Abort_Fn = decltype(&STDFU_Abort);
using STDFU_GetDeviceInfo_Fn = decltype(&STDFU_GetDeviceInfo);
using STDFU_GetMemoryLayout_Fn = decltype(&STDFU_GetMemoryLayout);
using STDFUFILES_OpenExistingDFUFile_Fn = decltype(&STDFUFILES_OpenExistingDFUFile);
using STDFUFILES_ReadImageFromDFUFile_Fn = decltype(&STDFUFILES_ReadImageFromDFUFile);
using STDFUFILES_CloseDFUFile_Fn = decltype(&STDFUFILES_CloseDFUFile);
using STDFUFILES_ImageFromFile_Fn = decltype(&STDFUFILES_ImageFromFile);
using STDFUFILES_DestroyImage_Fn = decltype(&STDFUFILES_DestroyImage);
using STDFUFILES_FilterImageForOperation_Fn = decltype(&STDFUFILES_FilterImageForOperation);
using STDFUFILES_GetImageNbElement_Fn = decltype(&STDFUFILES_GetImageNbElement);
using STDFUFILES_GetImageElement_Fn = decltype(&STDFUFILES_GetImageElement);
using STDFUPRT_CreateMappingFromDevice_Fn = decltype(&STDFUPRT_CreateMappingFromDevice);
using STDFUPRT_DestroyMapping_Fn = decltype(&STDFUPRT_DestroyMapping);
using STDFUPRT_LaunchOperation_Fn = decltype(&STDFUPRT_LaunchOperation);
using STDFUPRT_GetOperationStatus_Fn = decltype(&STDFUPRT_GetOperationStatus);
using STDFUPRT_StopOperation_Fn = decltype(&STDFUPRT_StopOperation);

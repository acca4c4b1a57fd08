#pragma once

#include "core/DfuseTypes.h"

#include <atomic>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class DfuDevice;
class STDFU;
class STDFUFiles;
class STDFUPRT;

// Every operation on a sensor in DFU mode: reading and writing the 2048-byte parameter area, erasing and
// programming firmware from a ".dfu" or ".hex" file with a progress percentage, leaving DFU mode, and telling
// whether a firmware file would overwrite the parameter area. One process-wide instance, which loads the DFU
// libraries when it is created. Callers must not run two operations on one device at the same time.
class Dfu {
public:
    static Dfu& GetInstance();

    // Loads the three libraries under the given names (the defaults are the real ones).
    Dfu(const char* stdfuName = "STDFU.dll", const char* filesName = "STDFUFiles.dll",
        const char* prtName = "STDFUPRT.dll");
    ~Dfu();

    Dfu(const Dfu&) = delete;
    Dfu& operator=(const Dfu&) = delete;

    // Opens the device; on success it counts as connected. A handle the record still holds from an earlier
    // operation (a leave keeps it open) is closed first rather than overwritten.
    bool Connect(DfuDevice* device);
    // Closes a handle this layer opened; every operation gives it to the record it uses as the record's
    // closer (DfuDevice::BeginUse). Null is nothing to close.
    void CloseHandle(void* handle);
    // Reads `length` bytes of the parameter area. Throws TpError::UnableToConnect,
    // TpError::FailedToSetAddressPointer, TpError::UploadFailed, or TpError::ParametersTooLarge when length
    // exceeds the area.
    bool ReadParameters(DfuDevice* device, char* buffer, unsigned length);
    // Erases the parameter page and writes `length` bytes to it. A length of 0 (TpError::FailedToLoadJsonFile)
    // or above the area (TpError::ParametersTooLarge) is refused before the device is touched. The page is
    // read first (TpError::FailedToSetAddressPointer or TpError::UploadFailed end the write there, the page
    // untouched); when the write fails after the erase was sent, the page's former contents are written back
    // while the device still answers, and where that cannot be done they are saved in a file that the error's
    // added line names (ParameterPageBackup). Otherwise throws TpError::UnableToConnect, TpError::EraseFailed,
    // TpError::FailedToSetAddressPointer or TpError::DownloadFailed. A failed erase is followed by no address
    // step for the write: the write-back asks the status, reads the whole page (address 0x08001000, upload of
    // 2048 bytes) and, where it differs from the kept contents, erases, writes and reads it again.
    bool WriteParameters(DfuDevice* device, char* buffer, unsigned length);
    // As above; `kept` receives the page's contents from before the erase (2048 bytes) once they are read.
    bool WriteParameters(DfuDevice* device, char* buffer, unsigned length, std::vector<char>& kept);
    // Writes kept contents of the parameter page back and reads them back, once, on a device that can be
    // opened and still answers. True when the page holds them afterwards. Never throws.
    bool RestoreParameters(DfuDevice* device, std::vector<char>& kept);
    // Makes the sensor start its firmware; the device stays open until its record leaves the registry.
    // Throws TpError::UnableToConnect,
    // TpError::FailedToSetAddressPointer or TpError::FailedToLeaveDfuMode.
    bool LeaveDFUMode(DfuDevice* device);
    // Erases what the file's image covers; false on any failure.
    bool EraseFirmware(DfuDevice* device, std::string& path);
    // Programs the file's image; false on failure, TpError::UnableToConnect when the device cannot be opened.
    bool WriteFirmware(DfuDevice* device, std::string& path);
    unsigned char GetFirmwareWritePercentage();

    // True when the file's image could be examined; `answer` tells whether it replaces the parameter area.
    bool WillOverwritePersistentParameters(std::string& path, bool& answer);
    // Whether the image's elements put anything other than erased bytes into the parameter area.
    bool CheckDfuImageElementsForParameters(void* image, unsigned elementCount, bool& answer);

    // One search for a DFU device path that is not registered yet; appends it to `paths` when found.
    bool GetUsbDfuIndexes(std::vector<std::string>& paths, bool& incompatibleDrivers);

    // Progress shown for a library Percent value: the erase fills 0 to 33, the write 33 to 100.
    static unsigned char ErasePercentage(unsigned percent);
    static unsigned char WritePercentage(unsigned percent);

    // Polls an operation until it reports 100 percent, a status call fails, or it has reported errors for
    // `stallLimit` milliseconds since its last good status. `status` refreshes the context; `progress` gets
    // each Percent.
    static void PollOperation(Dfuse::DFUThreadContext& context, bool launched,
                              const std::function<bool(Dfuse::DFUThreadContext&)>& status,
                              const std::function<void(unsigned)>& progress, int stallLimit);

    // The parameter area: the flash page at this address.
    static constexpr unsigned parameterAddress = 0x08004000;
    static constexpr unsigned parameterAreaSize = 2048;
    static constexpr unsigned flashStart = 0x08000000;
    static constexpr int stallLimitMs = 5000;

private:
    struct Image;
    class DeviceUse;
    enum class AreaRead { Done, AddressFailed, UploadFailed };

    bool Close(DfuDevice* device);
    bool WaitIdle(DfuDevice* device);
    bool RequestSucceeded(DfuDevice* device);
    bool SetParameterAddress(DfuDevice* device, unsigned length);
    AreaRead ReadArea(DfuDevice* device, char* buffer, unsigned length);
    static void ThrowOnFailedRead(AreaRead read);
    bool ErasePage(DfuDevice* device);
    bool Download(DfuDevice* device, char* buffer, unsigned length);
    bool RestorePage(DfuDevice* device, std::vector<char>& kept);
    bool RunFirmwareOperation(DfuDevice* device, std::string& path, std::uint32_t operation);
    bool LaunchAndPoll(Dfuse::DFUThreadContext& context, std::uint32_t operation);
    std::unique_ptr<Image> LoadImage(std::string& path);

    int idleTimeout = 5000;
    std::atomic<unsigned char> firmwareWritePercentage{0};
    std::unique_ptr<STDFU> stdfu;
    std::unique_ptr<STDFUFiles> stdfuFiles;
    std::unique_ptr<STDFUPRT> stdfuPrt;
};

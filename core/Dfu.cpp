#include "core/Dfu.h"

#include "core/DfuDevice.h"
#include "core/ParameterPageBackup.h"
#include "core/STDFU.h"
#include "core/STDFUFiles.h"
#include "core/STDFUPRT.h"
#include "core/Timer.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"
#include "core/Utility.h"
#include "io/DfuProtocol.h"
#include "io/Guid.h"

#include <algorithm>
#include <chrono>
#include <cstring>
#include <thread>

using namespace Dfuse;

namespace {
constexpr std::uint64_t parameterAreaEnd = Dfu::parameterAddress + Dfu::parameterAreaSize;
// No element of a firmware for a 128 KiB flash comes near this; a longer one is not copied.
constexpr std::uint32_t maximumElementLength = 64u * 1024u * 1024u;

GUID ToLibraryGuid(const tarnix::io::Guid& guid)
{
    GUID converted{guid.Data1(), guid.Data2(), guid.Data3(), {}};
    std::copy(guid.Data4().begin(), guid.Data4().end(), converted.Data4);
    return converted;
}

// The part of an element that falls into the parameter area, as offsets into the element's data.
struct Overlap {
    std::uint64_t begin = 0;
    std::uint64_t end = 0;
    bool Empty() const { return begin >= end; }
};

Overlap ParameterAreaOverlap(const DFUIMAGEELEMENT& element)
{
    const std::uint64_t start = element.dwAddress;
    const std::uint64_t stop = start + element.dwDataLength;
    const std::uint64_t first = std::max<std::uint64_t>(start, Dfu::parameterAddress);
    const std::uint64_t last = std::min<std::uint64_t>(stop, parameterAreaEnd);
    return first < last ? Overlap{first - start, last - start} : Overlap{};
}

bool AllErased(const std::vector<std::uint8_t>& data, const Overlap& overlap)
{
    return std::all_of(data.begin() + static_cast<std::ptrdiff_t>(overlap.begin),
                       data.begin() + static_cast<std::ptrdiff_t>(overlap.end),
                       [](std::uint8_t byte) { return byte == 0xFF; });
}

// Reads an element's address and length, then its data when part of it falls into the parameter area. The
// data buffer is sized from the element's own length.
bool ReadElement(STDFUFiles& files, void* image, unsigned long index, Overlap& overlap, std::vector<std::uint8_t>& data)
{
    DFUIMAGEELEMENT element{};
    if (!files.GetImageElement(image, index, &element)) {
        return false;
    }
    overlap = ParameterAreaOverlap(element);
    if (overlap.Empty()) {
        return true;
    }
    if (element.dwDataLength > maximumElementLength) {
        return false;
    }
    const std::uint32_t length = element.dwDataLength;
    data.assign(length, 0);
    element.Data = data.data();
    return files.GetImageElement(image, index, &element) && element.dwDataLength == length;
}

// Throws the write's error; when the page may be left other than it was, the kept contents are saved first
// and the error tells where.
template <typename Error>
[[noreturn]] void ThrowForPage(bool pageAsItWas, const std::vector<char>& kept)
{
    if (!pageAsItWas) {
        ParameterPageBackup::Throw<Error>(kept, Dfu::parameterAddress);
    }
    throw Error();
}

}  // namespace

// A firmware image of the files library, released when it goes.
struct Dfu::Image {
    explicit Image(STDFUFiles& owner) : files(owner) {}
    ~Image()
    {
        if (handle != nullptr) {
            files.DestroyImage(&handle);
        }
    }
    Image(const Image&) = delete;
    Image& operator=(const Image&) = delete;

    STDFUFiles& files;
    void* handle = nullptr;
};

// Brackets one operation on a device: the record knows that its handle is in use, and when the device has
// left the registry meanwhile, its handle is closed as the operation ends.
class Dfu::DeviceUse {
public:
    DeviceUse(Dfu& owner, DfuDevice* used) : device(used)
    {
        device->BeginUse([&owner](void* handle) { owner.CloseHandle(handle); });
    }
    ~DeviceUse() { device->EndUse(); }
    DeviceUse(const DeviceUse&) = delete;
    DeviceUse& operator=(const DeviceUse&) = delete;

private:
    DfuDevice* device;
};

Dfu& Dfu::GetInstance()
{
    static Dfu instance;
    return instance;
}

Dfu::Dfu(const char* stdfuName, const char* filesName, const char* prtName)
    : stdfu(std::make_unique<STDFU>(stdfuName)),
      stdfuFiles(std::make_unique<STDFUFiles>(filesName)),
      stdfuPrt(std::make_unique<STDFUPRT>(prtName))
{
}

// The libraries go in the order they were loaded.
Dfu::~Dfu()
{
    stdfu.reset();
    stdfuFiles.reset();
    stdfuPrt.reset();
}

// ---- Connection state ----

bool Dfu::Connect(DfuDevice* device)
{
    if (*device->GetDfuDeviceHandle() != nullptr) {
        Close(device);
    }
    if (!stdfu->Open(device->GetDfuDeviceHandle(), device->GetUsbDevicePath())) {
        return false;
    }
    device->SetIsConnected(true);
    return true;
}

bool Dfu::Close(DfuDevice* device)
{
    device->SetIsConnected(false);
    return stdfu->Close(device->GetDfuDeviceHandle());
}

void Dfu::CloseHandle(void* handle)
{
    if (handle != nullptr) {
        stdfu->Close(&handle);
    }
}

bool Dfu::WaitIdle(DfuDevice* device) { return stdfu->WaitForDfuIdle(device->GetDfuDeviceHandle(), idleTimeout); }

// A request that the device took but could not carry out shows as an error status once the device is no
// longer busy. Waiting for idle clears such a status unseen, so it is looked at first.
bool Dfu::RequestSucceeded(DfuDevice* device)
{
    void** handle = device->GetDfuDeviceHandle();
    Utility::Timer timer;
    timer.Start();
    DFUSTATUS status{};
    do {
        if (!stdfu->GetStatus(handle, &status)) {
            return false;
        }
        if (status.bState != tarnix::io::dfu::kStateDnBusy) {
            return status.bStatus == tarnix::io::dfu::kStatusOk;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(status.bwPollTimeout[0]));
    } while (static_cast<long long>(timer.Current()) < idleTimeout);
    return false;
}

// Block 8 lands at pointer + 6 x length, so the transfer starts exactly at the parameter page.
bool Dfu::SetParameterAddress(DfuDevice* device, unsigned length)
{
    const unsigned pointer = parameterAddress - (STDFU::transferBlock - 2) * length;
    return WaitIdle(device) && stdfu->SetAddressPointer(device->GetDfuDeviceHandle(), pointer) &&
           RequestSucceeded(device) && WaitIdle(device);
}

// ---- Parameters ----

bool Dfu::ReadParameters(DfuDevice* device, char* buffer, unsigned length)
{
    const DeviceUse use(*this, device);
    if (length > parameterAreaSize) {
        throw TpError::ParametersTooLarge();
    }
    if (!Connect(device)) {
        throw TpError::UnableToConnect();
    }
    const AreaRead read = ReadArea(device, buffer, length);
    const bool closed = Close(device);
    ThrowOnFailedRead(read);
    return closed;
}

// The address step, then the transfer whatever the address step gave.
Dfu::AreaRead Dfu::ReadArea(DfuDevice* device, char* buffer, unsigned length)
{
    const bool addressSet = SetParameterAddress(device, length);
    const bool transferred =
        WaitIdle(device) && stdfu->Upload(device->GetDfuDeviceHandle(), buffer, static_cast<int>(length));
    const bool settled = transferred && WaitIdle(device);
    if (!addressSet) {
        return AreaRead::AddressFailed;
    }
    return settled ? AreaRead::Done : AreaRead::UploadFailed;
}

void Dfu::ThrowOnFailedRead(AreaRead read)
{
    if (read == AreaRead::AddressFailed) {
        throw TpError::FailedToSetAddressPointer();
    }
    if (read == AreaRead::UploadFailed) {
        throw TpError::UploadFailed();
    }
}

bool Dfu::WriteParameters(DfuDevice* device, char* buffer, unsigned length)
{
    std::vector<char> kept;
    return WriteParameters(device, buffer, length, kept);
}

// The page's contents are read first, in the same session, and kept: once the erase has been sent the page
// may be blank or half erased whatever the erase answered, so a write that fails from then on puts them
// back while the device still answers, and where that cannot be done saves them in a file the user can
// write back. The error reported is the write's own.
bool Dfu::WriteParameters(DfuDevice* device, char* buffer, unsigned length, std::vector<char>& kept)
{
    if (length == 0) {
        throw TpError::FailedToLoadJsonFile();
    }
    if (length > parameterAreaSize) {
        throw TpError::ParametersTooLarge();
    }
    const DeviceUse use(*this, device);
    if (!Connect(device)) {
        throw TpError::UnableToConnect();
    }
    kept.assign(parameterAreaSize, 0);
    const AreaRead read = ReadArea(device, kept.data(), parameterAreaSize);
    if (read != AreaRead::Done) {
        Close(device);
        ThrowOnFailedRead(read);
    }
    const bool eraseSent = WaitIdle(device);
    const bool erased = eraseSent && ErasePage(device);
    // After a failed erase the address step is not sent: a device that hangs would only time out again.
    const bool addressSet = erased && SetParameterAddress(device, length);
    if (!addressSet) {
        const bool pageAsItWas = !eraseSent || RestorePage(device, kept);
        Close(device);
        if (!erased) {
            ThrowForPage<TpError::EraseFailed>(pageAsItWas, kept);
        }
        ThrowForPage<TpError::FailedToSetAddressPointer>(pageAsItWas, kept);
    }
    if (!Download(device, buffer, length)) {
        const bool restored = RestorePage(device, kept);
        Close(device);
        ThrowForPage<TpError::DownloadFailed>(restored, kept);
    }
    Close(device);
    return true;
}

// The erase request for the parameter page on an idle device, and the wait for its end.
bool Dfu::ErasePage(DfuDevice* device)
{
    return stdfu->Erase(device->GetDfuDeviceHandle(), parameterAddress) && RequestSucceeded(device) && WaitIdle(device);
}

// The data transfer to the address set before.
bool Dfu::Download(DfuDevice* device, char* buffer, unsigned length)
{
    return WaitIdle(device) &&
           stdfu->Dnload(device->GetDfuDeviceHandle(), buffer, static_cast<int>(length), STDFU::transferBlock) &&
           RequestSucceeded(device) && WaitIdle(device);
}

bool Dfu::RestoreParameters(DfuDevice* device, std::vector<char>& kept)
{
    const DeviceUse use(*this, device);
    if (kept.size() != parameterAreaSize || !Connect(device)) {
        return false;
    }
    const bool restored = RestorePage(device, kept);
    Close(device);
    return restored;
}

// Writes the kept contents back once and reads them back, on a device that still answers a status request
// (one that is gone or hangs gets no further requests). A page that still holds them is not erased again.
// True when the page holds the kept contents afterwards.
bool Dfu::RestorePage(DfuDevice* device, std::vector<char>& kept)
{
    DFUSTATUS status{};
    if (!stdfu->GetStatus(device->GetDfuDeviceHandle(), &status)) {
        return false;
    }
    std::vector<char> page(parameterAreaSize, 0);
    if (ReadArea(device, page.data(), parameterAreaSize) == AreaRead::Done && page == kept) {
        return true;
    }
    const bool rewritten = WaitIdle(device) && ErasePage(device) && SetParameterAddress(device, parameterAreaSize) &&
                           Download(device, kept.data(), parameterAreaSize);
    std::fill(page.begin(), page.end(), 0);
    return rewritten && ReadArea(device, page.data(), parameterAreaSize) == AreaRead::Done && page == kept;
}

// ---- Leaving DFU mode ----

// The device is left open: the sensor resets into its firmware and its DFU device goes away; the handle is
// closed when discovery drops the record.
bool Dfu::LeaveDFUMode(DfuDevice* device)
{
    const DeviceUse use(*this, device);
    if (!Connect(device)) {
        throw TpError::UnableToConnect();
    }
    void** handle = device->GetDfuDeviceHandle();
    if (!(WaitIdle(device) && stdfu->SetAddressPointer(handle, flashStart) && RequestSucceeded(device) &&
          WaitIdle(device))) {
        throw TpError::FailedToSetAddressPointer();
    }
    DFUSTATUS status{};
    if (!(WaitIdle(device) && stdfu->LeaveDFUMode(handle) && stdfu->GetStatus(handle, &status))) {
        throw TpError::FailedToLeaveDfuMode();
    }
    return true;
}

// ---- Firmware images ----

// The image of a ".dfu" or ".hex" file (suffix in lower case), or nothing when the file gives none.
std::unique_ptr<Dfu::Image> Dfu::LoadImage(std::string& path)
{
    std::string dfuSuffix = ".dfu";
    std::string hexSuffix = ".hex";
    auto image = std::make_unique<Image>(*stdfuFiles);
    bool usable = false;
    if (Utility::StringEndsWith(path, dfuSuffix, true)) {
        void* file = nullptr;
        unsigned short vid = 0;
        unsigned short pid = 0;
        unsigned short bcd = 0;
        unsigned char imageCount = 0;
        if (stdfuFiles->OpenExistingDFUFile(path, &file, &vid, &pid, &bcd, &imageCount)) {
            const bool read = stdfuFiles->ReadImageFromDFUFile(file, 0, &image->handle);
            usable = stdfuFiles->CloseDFUFile(file) && read;
        }
    } else if (Utility::StringEndsWith(path, hexSuffix, true)) {
        usable = stdfuFiles->ImageFromFile(path, &image->handle, 0);
    }
    if (!usable) {
        return nullptr;
    }
    return image;
}

// ---- Firmware operations ----

bool Dfu::EraseFirmware(DfuDevice* device, std::string& path)
{
    const DeviceUse use(*this, device);
    if (!Connect(device)) {
        return false;
    }
    return RunFirmwareOperation(device, path, OperationErase);
}

bool Dfu::WriteFirmware(DfuDevice* device, std::string& path)
{
    const DeviceUse use(*this, device);
    if (!Connect(device)) {
        firmwareWritePercentage = 0;
        throw TpError::UnableToConnect();
    }
    const bool result = RunFirmwareOperation(device, path, OperationProgram);
    firmwareWritePercentage = 0;
    return result;
}

unsigned char Dfu::GetFirmwareWritePercentage() { return firmwareWritePercentage; }

// Runs an erase or a programming operation of the library on the connected device. The device is closed
// before the library's operation opens it itself; a device path that does not fit the device link is refused.
bool Dfu::RunFirmwareOperation(DfuDevice* device, std::string& path, std::uint32_t operation)
{
    bool result = false;
    const std::unique_ptr<Image> image = LoadImage(path);
    const std::string devicePath = device->GetUsbDevicePath();
    if (image != nullptr && devicePath.size() < DeviceLinkSize) {
        char deviceLink[DeviceLinkSize] = {};
        std::memcpy(deviceLink, devicePath.c_str(), devicePath.size());
        MAPPING* mapping = nullptr;
        unsigned long alternateCount = 0;
        const bool ready = stdfuPrt->CreateMappingFromDevice(deviceLink, &mapping, &alternateCount) &&
                           stdfuFiles->FilterImageForOperation(image->handle, mapping, operation, 1) &&
                           stdfu->Close(device->GetDfuDeviceHandle());
        if (ready) {
            device->SetIsConnected(false);
            DFUThreadContext context{};
            context.DfuGUID = ToLibraryGuid(tarnix::io::Guid::UsbDeviceInterfaceClass());
            context.AppGUID = ToLibraryGuid(tarnix::io::Guid::HidInterfaceClass());
            context.Operation = operation;
            context.bDontSendFFTransfersForUpgrade = 1;
            context.hImage = image->handle;
            std::memcpy(context.szDevLink, deviceLink, DeviceLinkSize);
            result = LaunchAndPoll(context, operation);
        }
        if (mapping != nullptr) {
            stdfuPrt->DestroyMapping(&mapping);
        }
    }
    if (device->GetIsConnected()) {
        Close(device);
    }
    return result;
}

bool Dfu::LaunchAndPoll(DFUThreadContext& context, std::uint32_t operation)
{
    unsigned long operationId = 0;
    if (!stdfuPrt->LaunchOperation(&context, &operationId)) {
        return false;
    }
    PollOperation(
        context, true, [&](DFUThreadContext& polled) { return stdfuPrt->GetOperationStatus(&polled, operationId); },
        [&](unsigned percent) {
            firmwareWritePercentage = operation == OperationErase ? ErasePercentage(percent) : WritePercentage(percent);
        },
        stallLimitMs);
    return stdfuPrt->StopOperation(&context, operationId);
}

void Dfu::PollOperation(DFUThreadContext& context, bool launched, const std::function<bool(DFUThreadContext&)>& status,
                        const std::function<void(unsigned)>& progress, int stallLimit)
{
    Utility::Timer stall;
    stall.Start();
    bool lastCallSucceeded = launched;
    while (lastCallSucceeded && context.Percent != 100 && static_cast<long long>(stall.Current()) < stallLimit) {
        lastCallSucceeded = status(context);
        progress(context.Percent);
        if (context.ErrorCode == SuccessCode) {
            stall.Start();
        }
    }
}

unsigned char Dfu::ErasePercentage(unsigned percent) { return static_cast<unsigned char>(std::min(percent / 3, 100u)); }

unsigned char Dfu::WritePercentage(unsigned percent)
{
    return static_cast<unsigned char>(std::min((2 * percent + 99) / 3, 100u));
}

// ---- Overwrite check ----

bool Dfu::WillOverwritePersistentParameters(std::string& path, bool& answer)
{
    answer = false;
    const std::unique_ptr<Image> image = LoadImage(path);
    unsigned long elementCount = 0;
    if (image == nullptr || !stdfuFiles->GetImageNbElement(image->handle, &elementCount)) {
        return false;
    }
    CheckDfuImageElementsForParameters(image->handle, static_cast<unsigned>(elementCount), answer);
    return true;
}

// Every element is placed at its own address; one that puts a byte other than 0xFF into the parameter page
// overwrites the stored parameters. An element that cannot be read might, so it counts as overwriting.
bool Dfu::CheckDfuImageElementsForParameters(void* image, unsigned elementCount, bool& answer)
{
    answer = false;
    std::vector<std::uint8_t> data;
    for (unsigned index = 0; index < elementCount && !answer; ++index) {
        Overlap overlap;
        if (!ReadElement(*stdfuFiles, image, index, overlap, data)) {
            answer = true;
        } else if (!overlap.Empty()) {
            answer = !AllErased(data, overlap);
        }
    }
    return answer;
}

// ---- Discovery ----

bool Dfu::GetUsbDfuIndexes(std::vector<std::string>& paths, bool& incompatibleDrivers)
{
    std::string path;
    if (!UsbHandler::GetInstance()->FindDfuDevicePath(path, incompatibleDrivers)) {
        return false;
    }
    paths.push_back(path);
    return true;
}

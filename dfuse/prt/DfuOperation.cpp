#include "dfuse/prt/DfuOperation.h"

#include "dfuse/prt/MemoryLayout.h"

#include <algorithm>

namespace tarnix::dfuse {

namespace {

constexpr std::uint32_t kFirstDataBlock = 2;
constexpr std::uint32_t kLastBlock = 0xFFFF;
constexpr std::uint8_t kRunningMaximum = 99;  // 100 is kept for an operation that has succeeded

}  // namespace

DfuOperation::DfuOperation(OperationRequest request) : request_(std::move(request)) {}

DfuOperation::~DfuOperation() { Stop(); }

void DfuOperation::Start()
{
    thread_ = std::thread([this] { Run(); });
}

void DfuOperation::Stop()
{
    cancel_ = true;
    if (thread_.joinable()) {
        thread_.join();
    }
}

void DfuOperation::Report(DFUThreadContext& context) const
{
    context.Percent = percent_;
    context.ErrorCode = errorCode_;
    std::lock_guard<std::mutex> guard(detailsLock_);
    context.LastDFUStatus = details_.lastStatus;
    context.CurrentRequest = details_.request;
    context.CurrentNBlock = details_.block;
    context.CurrentLength = details_.length;
    context.CurrentAddress = details_.address;
    context.CurrentImageElement = details_.element;
}

void DfuOperation::Run()
{
    std::uint32_t status = DFUSE_STATUS_SUCCESS;
    {
        DfuDeviceChannel channel;
        Note(channel, DFUSE_REQUEST_OPEN, 0);
        status = channel.Open(request_.deviceLink.c_str());
        if (status == DFUSE_STATUS_SUCCESS) {
            status = Execute(channel);
            channel.MakeIdle();
        }
    }
    if (status == DFUSE_STATUS_SUCCESS) {
        percent_ = 100;
    }
    errorCode_ = status;
    finished_ = true;
}

std::uint32_t DfuOperation::Execute(DfuDeviceChannel& channel)
{
    if (const std::uint32_t status = channel.MakeIdle(); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    return request_.operation == DFUSE_OPERATION_ERASE ? Erase(channel) : Program(channel);
}

std::uint32_t DfuOperation::Erase(DfuDeviceChannel& channel)
{
    std::string layoutText;
    if (const std::uint32_t status = channel.ReadMemoryLayout(layoutText); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    MemoryLayout layout;
    if (layout.Parse(layoutText) != DFUSE_STATUS_SUCCESS) {
        return DFUSE_ERROR_DEVICE_DESCRIPTOR;
    }
    const std::optional<SectorMap> sectors = SectorMap::FromSectors(layout.Sectors());
    if (!sectors) {
        return DFUSE_ERROR_DEVICE_DESCRIPTOR;
    }
    std::vector<std::uint32_t> starts;
    if (const std::uint32_t status = CollectSectors(*sectors, starts); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    for (std::size_t index = 0; index < starts.size(); ++index) {
        if (cancel_) {
            return DFUSE_ERROR_OPERATION_CANCELLED;
        }
        const std::uint32_t status = channel.EraseSector(starts[index]);
        Note(channel, DFUSE_REQUEST_ERASE_PAGE, starts[index]);
        if (status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
        SetProgress(index + 1, starts.size());
    }
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuOperation::CollectSectors(const SectorMap& sectors, std::vector<std::uint32_t>& starts) const
{
    for (const ImageElement& element : request_.elements) {
        for (std::uint64_t address = element.address; address < element.End();) {
            const std::optional<MAPPINGSECTOR> sector = sectors.Find(static_cast<std::uint32_t>(address));
            if (!sector || (sector->bSectorType & DFUSE_SECTOR_ERASABLE) == 0) {
                return DFUSE_ERROR_OUTSIDE_MAPPING;
            }
            starts.push_back(sector->dwStartAddress);
            address = SectorMap::EndOf(*sector);
        }
    }
    std::sort(starts.begin(), starts.end());
    starts.erase(std::unique(starts.begin(), starts.end()), starts.end());
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t DfuOperation::Program(DfuDeviceChannel& channel)
{
    std::uint16_t transferSize = 0;
    if (const std::uint32_t status = channel.ReadTransferSize(transferSize); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    std::uint64_t total = 0;
    for (const ImageElement& element : request_.elements) {
        total += element.data.size();
    }
    std::uint64_t done = 0;
    for (std::uint32_t index = 0; index < request_.elements.size(); ++index) {
        if (const std::uint32_t status = ProgramElement(channel, index, transferSize, done, total);
            status != DFUSE_STATUS_SUCCESS) {
            return status;
        }
    }
    return DFUSE_STATUS_SUCCESS;
}

// Data goes in blocks of the device's transfer size: the address pointer is set to the element's start and
// block n then lands at pointer + (n - 2) x size. A shorter last block, and a block number that would pass
// 16 bits, get an address pointer of their own.
std::uint32_t DfuOperation::ProgramElement(DfuDeviceChannel& channel, std::uint32_t index, std::uint16_t transferSize,
                                           std::uint64_t& done, std::uint64_t total)
{
    const ImageElement& element = request_.elements[index];
    {
        std::lock_guard<std::mutex> guard(detailsLock_);
        details_.element = index;
    }
    std::uint32_t block = kLastBlock + 1;  // no address pointer set yet
    for (std::size_t offset = 0; offset < element.data.size(); offset += transferSize) {
        if (cancel_) {
            return DFUSE_ERROR_OPERATION_CANCELLED;
        }
        const auto length =
            static_cast<std::uint32_t>(std::min<std::size_t>(transferSize, element.data.size() - offset));
        const auto address = static_cast<std::uint32_t>(element.address + offset);
        if (block > kLastBlock || length < transferSize) {
            const std::uint32_t status = channel.SetAddressPointer(address);
            Note(channel, DFUSE_REQUEST_SET_ADDRESS, address);
            if (status != DFUSE_STATUS_SUCCESS) {
                return status;
            }
            block = kFirstDataBlock;
        }
        const std::uint8_t* data = element.data.data() + offset;
        if (ShouldSend(data, length)) {
            const std::uint32_t status = channel.Download(static_cast<std::uint16_t>(block), data, length);
            Note(channel, DFUSE_REQUEST_DOWNLOAD, address, block, length);
            if (status != DFUSE_STATUS_SUCCESS) {
                return status;
            }
        }
        ++block;
        done += length;
        SetProgress(done, total);
    }
    return DFUSE_STATUS_SUCCESS;
}

bool DfuOperation::ShouldSend(const std::uint8_t* data, std::uint32_t length) const
{
    return !request_.skipErasedBlocks ||
           std::any_of(data, data + length, [](std::uint8_t byte) { return byte != 0xFF; });
}

void DfuOperation::Note(const DfuDeviceChannel& channel, std::uint32_t request, std::uint32_t address,
                        std::uint32_t block, std::uint32_t length)
{
    std::lock_guard<std::mutex> guard(detailsLock_);
    details_.lastStatus = channel.LastStatus();
    details_.request = request;
    details_.address = address;
    details_.block = block;
    details_.length = length;
}

void DfuOperation::SetProgress(std::uint64_t done, std::uint64_t total)
{
    const std::uint64_t percent = total == 0 ? 0 : done * 100 / total;
    percent_ = static_cast<std::uint8_t>(std::min<std::uint64_t>(percent, kRunningMaximum));
}

}  // namespace tarnix::dfuse

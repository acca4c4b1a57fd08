// The exports of STDFUFiles: DfuSe and Intel hex files read into images kept by the library.

#include "dfuse/DfuseApi.h"
#include "dfuse/common/HandleTable.h"
#include "dfuse/files/DfuImage.h"
#include "dfuse/files/DfuseFile.h"
#include "dfuse/files/FileContents.h"
#include "dfuse/files/ImageFilter.h"
#include "dfuse/files/IntelHexReader.h"

#include <memory>
#include <mutex>

using tarnix::dfuse::DfuImage;
using tarnix::dfuse::DfuseFile;
using tarnix::dfuse::FileContents;
using tarnix::dfuse::HandleTable;
using tarnix::dfuse::ImageFilter;
using tarnix::dfuse::IntelHexReader;

namespace {

HandleTable<DfuseFile> openFiles(0x21);
HandleTable<DfuImage> images(0x31);
// Images can be changed by the filter while another thread lists their elements.
std::mutex imageContents;

}  // namespace

extern "C" {

std::uint32_t STDFUFILES_OpenExistingDFUFile(const char* path, void** file, std::uint16_t* vid, std::uint16_t* pid,
                                             std::uint16_t* bcd, std::uint8_t* imageCount)
{
    if (file == nullptr || vid == nullptr || pid == nullptr || bcd == nullptr || imageCount == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::vector<std::uint8_t> bytes;
    if (const std::uint32_t status = FileContents::Read(path, bytes); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    auto parsed = std::make_shared<DfuseFile>();
    if (const std::uint32_t status = parsed->Parse(bytes); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    *vid = parsed->VendorId();
    *pid = parsed->ProductId();
    *bcd = parsed->DeviceVersion();
    *imageCount = static_cast<std::uint8_t>(parsed->Targets().size());
    *file = openFiles.Add(std::move(parsed));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUFILES_ReadImageFromDFUFile(void* file, int index, void** image)
{
    if (image == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuseFile> found = openFiles.Find(file);
    if (!found) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    if (index < 0 || static_cast<std::size_t>(index) >= found->Targets().size()) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    *image = images.Add(std::make_shared<DfuImage>(found->Targets()[static_cast<std::size_t>(index)]));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUFILES_CloseDFUFile(void* file)
{
    return openFiles.Remove(file) ? DFUSE_STATUS_SUCCESS : DFUSE_ERROR_BAD_HANDLE;
}

std::uint32_t STDFUFILES_ImageFromFile(const char* path, void** image, std::uint8_t alternate)
{
    if (image == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    std::vector<std::uint8_t> text;
    if (const std::uint32_t status = FileContents::Read(path, text); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    IntelHexReader reader;
    if (const std::uint32_t status = reader.Parse(text); status != DFUSE_STATUS_SUCCESS) {
        return status;
    }
    *image = images.Add(std::make_shared<DfuImage>(alternate, std::string(), reader.TakeElements()));
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUFILES_DestroyImage(void** image)
{
    if (image == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    if (!images.Remove(*image)) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    *image = nullptr;
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUFILES_FilterImageForOperation(void* image, MAPPING* mapping, unsigned long operation,
                                                 int truncateLeadingFF)
{
    const std::shared_ptr<DfuImage> found = images.Find(image);
    if (!found) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    const ImageFilter filter(operation, truncateLeadingFF != 0);
    std::lock_guard<std::mutex> guard(imageContents);
    return filter.Apply(*found, mapping);
}

std::uint32_t STDFUFILES_GetImageNbElement(void* image, unsigned long* count)
{
    if (count == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuImage> found = images.Find(image);
    if (!found) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    std::lock_guard<std::mutex> guard(imageContents);
    *count = found->Elements().size();
    return DFUSE_STATUS_SUCCESS;
}

std::uint32_t STDFUFILES_GetImageElement(void* image, unsigned long index, DFUIMAGEELEMENT* element)
{
    if (element == nullptr) {
        return DFUSE_ERROR_BAD_PARAMETER;
    }
    const std::shared_ptr<DfuImage> found = images.Find(image);
    if (!found) {
        return DFUSE_ERROR_BAD_HANDLE;
    }
    std::lock_guard<std::mutex> guard(imageContents);
    return found->Describe(index, *element);
}

}  // extern "C"

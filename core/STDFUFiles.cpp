#include "core/STDFUFiles.h"

#include "core/Utility.h"

using namespace Dfuse;

STDFUFiles::STDFUFiles(const char* libraryName) { DLLHandler::GetInstance().GetDLLHandle(&module, libraryName); }

bool STDFUFiles::OpenExistingDFUFile(std::string& path, void** file, unsigned short* vid, unsigned short* pid,
                                     unsigned short* bcd, unsigned char* imageCount)
{
    const std::string narrowPath = Utility::UTF8ToANSI(path);
    return DLLHandler::GetInstance().CallExport<STDFUFILES_OpenExistingDFUFile_Fn>(
        module, "STDFUFILES_OpenExistingDFUFile", narrowPath.c_str(), file, vid, pid, bcd, imageCount);
}

bool STDFUFiles::ReadImageFromDFUFile(void* file, int index, void** image)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_ReadImageFromDFUFile_Fn>(
        module, "STDFUFILES_ReadImageFromDFUFile", file, index, image);
}

bool STDFUFiles::CloseDFUFile(void* file)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_CloseDFUFile_Fn>(module, "STDFUFILES_CloseDFUFile", file);
}

bool STDFUFiles::ImageFromFile(std::string& path, void** image, unsigned char alternate)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_ImageFromFile_Fn>(module, "STDFUFILES_ImageFromFile",
                                                                             path.c_str(), image, alternate);
}

bool STDFUFiles::DestroyImage(void** image)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_DestroyImage_Fn>(module, "STDFUFILES_DestroyImage", image);
}

bool STDFUFiles::FilterImageForOperation(void* image, MAPPING* mapping, unsigned long operation, int truncateLeadingFF)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_FilterImageForOperation_Fn>(
        module, "STDFUFILES_FilterImageForOperation", image, mapping, operation, truncateLeadingFF);
}

bool STDFUFiles::GetImageNbElement(void* image, unsigned long* count)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_GetImageNbElement_Fn>(module, "STDFUFILES_GetImageNbElement",
                                                                                 image, count);
}

bool STDFUFiles::GetImageElement(void* image, unsigned long index, DFUIMAGEELEMENT* element)
{
    return DLLHandler::GetInstance().CallExport<STDFUFILES_GetImageElement_Fn>(module, "STDFUFILES_GetImageElement",
                                                                               image, index, element);
}

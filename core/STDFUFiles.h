#pragma once

#include "core/DLLHandler.h"
#include "core/DfuseTypes.h"

#include <string>

// Binding of the STDFUFiles library: ".dfu" and ".hex" firmware files and the images they hold. Every
// method looks its export up at the call and is true exactly when the export exists and answers success.
class STDFUFiles {
public:
    explicit STDFUFiles(const char* libraryName = "STDFUFiles.dll");

    STDFUFiles(const STDFUFiles&) = delete;
    STDFUFiles& operator=(const STDFUFiles&) = delete;

    // The path is passed in the narrow code page of the process.
    bool OpenExistingDFUFile(std::string& path, void** file, unsigned short* vid, unsigned short* pid,
                             unsigned short* bcd, unsigned char* imageCount);
    bool ReadImageFromDFUFile(void* file, int index, void** image);
    bool CloseDFUFile(void* file);
    // Reads an Intel hex file; the path is passed unchanged.
    bool ImageFromFile(std::string& path, void** image, unsigned char alternate);
    bool DestroyImage(void** image);
    bool FilterImageForOperation(void* image, Dfuse::MAPPING* mapping, unsigned long operation, int truncateLeadingFF);
    bool GetImageNbElement(void* image, unsigned long* count);
    bool GetImageElement(void* image, unsigned long index, Dfuse::DFUIMAGEELEMENT* element);

private:
    DLLHandler::Module module;
};

#include "core/TpError.h"

#include <sstream>
#include <utility>

namespace TpError {

const char* Exception::what() const noexcept { return "Unknown error."; }

#define TARNIX_DEFINE_ERROR(Name, text) \
    const char* Name::what() const noexcept { return text; }

TARNIX_DEFINE_ERROR(EraseFailed, "Failed to erase flash memory.")
TARNIX_DEFINE_ERROR(UploadFailed, "Upload failed.")
TARNIX_DEFINE_ERROR(DownloadFailed, "Download failed.")
TARNIX_DEFINE_ERROR(UnableToConnect, "Unable to connect to selected device.")
TARNIX_DEFINE_ERROR(FailedToWriteJson, "Failed to write json file.")
TARNIX_DEFINE_ERROR(FirmwareFlashFailed, "The firmware flashing failed.")
TARNIX_DEFINE_ERROR(FailedToLeaveDfuMode, "Failed to leave configuration mode and enter application mode.")
TARNIX_DEFINE_ERROR(FailedToLoadJsonFile, "Failed to load json file.")
TARNIX_DEFINE_ERROR(InvalidScanningRange,
                    "Invalid scanning range provided. Read parameters to get possible scanning ranges for "
                    "selected sensor. Save parameters to json file if you wish to keep them.")
TARNIX_DEFINE_ERROR(FailedToGetDeviceHandle, "Found device but could not retrieve device handle.")
TARNIX_DEFINE_ERROR(FailedToSetAddressPointer, "Configuration command failed. Could not set address pointer.")
TARNIX_DEFINE_ERROR(FailedToGetParameterSchema, "Unable to get parameter schema.")
TARNIX_DEFINE_ERROR(ParameterVerificationFailed, "The flashed parameters differs from the parameters on the device.")
TARNIX_DEFINE_ERROR(ParametersBufferMissingIdentifier,
                    "Could not find parameter identifier. The parameters data is corrupt.")
TARNIX_DEFINE_ERROR(ParametersTooLarge, "The parameters do not fit the sensor's 2048-byte parameter area.")

#undef TARNIX_DEFINE_ERROR

namespace {
std::string MissingInputMessage(const std::string& field)
{
    if (field.empty()) {
        return "Missing user input.";
    }
    std::ostringstream text;
    text << "Missing input: " << field << ".";
    return text.str();
}
}  // namespace

MissingInput::MissingInput(std::string field) : message(MissingInputMessage(field)) {}

const char* MissingInput::what() const noexcept { return message.c_str(); }

}  // namespace TpError

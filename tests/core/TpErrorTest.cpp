#include "core/TpError.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <utility>
#include <vector>

namespace {

template <typename Error>
std::pair<std::string, std::string> TextThroughBaseReferences()
{
    try {
        throw Error();
    } catch (const TpError::Exception& error) {
        const std::exception& standard = error;
        return {error.what(), standard.what()};
    }
}

TEST(TpError, EveryClassReportsItsOwnTextThroughTheBaseClasses)
{
    const std::vector<std::pair<std::pair<std::string, std::string>, std::string>> cases = {
        {TextThroughBaseReferences<TpError::Exception>(), "Unknown error."},
        {TextThroughBaseReferences<TpError::EraseFailed>(), "Failed to erase flash memory."},
        {TextThroughBaseReferences<TpError::UploadFailed>(), "Upload failed."},
        {TextThroughBaseReferences<TpError::DownloadFailed>(), "Download failed."},
        {TextThroughBaseReferences<TpError::UnableToConnect>(), "Unable to connect to selected device."},
        {TextThroughBaseReferences<TpError::FailedToWriteJson>(), "Failed to write json file."},
        {TextThroughBaseReferences<TpError::FirmwareFlashFailed>(), "The firmware flashing failed."},
        {TextThroughBaseReferences<TpError::FailedToLeaveDfuMode>(),
         "Failed to leave configuration mode and enter application mode."},
        {TextThroughBaseReferences<TpError::FailedToLoadJsonFile>(), "Failed to load json file."},
        {TextThroughBaseReferences<TpError::InvalidScanningRange>(),
         "Invalid scanning range provided. Read parameters to get possible scanning ranges for selected sensor. "
         "Save parameters to json file if you wish to keep them."},
        {TextThroughBaseReferences<TpError::FailedToGetDeviceHandle>(),
         "Found device but could not retrieve device handle."},
        {TextThroughBaseReferences<TpError::FailedToSetAddressPointer>(),
         "Configuration command failed. Could not set address pointer."},
        {TextThroughBaseReferences<TpError::FailedToGetParameterSchema>(), "Unable to get parameter schema."},
        {TextThroughBaseReferences<TpError::ParameterVerificationFailed>(),
         "The flashed parameters differs from the parameters on the device."},
        {TextThroughBaseReferences<TpError::ParametersBufferMissingIdentifier>(),
         "Could not find parameter identifier. The parameters data is corrupt."},
    };
    for (const auto& [seen, expected] : cases) {
        EXPECT_EQ(seen.first, expected);
        EXPECT_EQ(seen.second, expected);
    }
}

TEST(TpError, MissingInputNamesTheField)
{
    EXPECT_STREQ(TpError::MissingInput("Min X").what(), "Missing input: Min X.");
    EXPECT_STREQ(TpError::MissingInput("").what(), "Missing user input.");

    std::unique_ptr<TpError::Exception> error = std::make_unique<TpError::MissingInput>("Offset Y");
    EXPECT_STREQ(error->what(), "Missing input: Offset Y.");
}

TEST(TpError, MissingInputTextOutlivesTheArgument)
{
    std::string field = "Finger Frequency";
    TpError::MissingInput error(field);
    field.assign(100, 'x');
    EXPECT_STREQ(error.what(), "Missing input: Finger Frequency.");
}

}  // namespace

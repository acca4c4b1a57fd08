#pragma once

#include <exception>
#include <string>
#include <utility>

// Every failure that a user must see is one of these exceptions; what() is the complete message that the
// front ends show unchanged. A failure that leaves the user something to do carries one more line, which the
// front ends show after the message.
namespace TpError {

class Exception : public std::exception {
public:
    ~Exception() override = default;
    const char* what() const noexcept override;

    // The line shown after the message; empty when there is none.
    const std::string& AddedLine() const noexcept { return addedLine; }
    void SetAddedLine(std::string line) { addedLine = std::move(line); }

private:
    std::string addedLine;
};

#define TARNIX_DECLARE_ERROR(Name)                  \
    class Name : public Exception {                 \
    public:                                         \
        const char* what() const noexcept override; \
    };

TARNIX_DECLARE_ERROR(EraseFailed)
TARNIX_DECLARE_ERROR(UploadFailed)
TARNIX_DECLARE_ERROR(DownloadFailed)
TARNIX_DECLARE_ERROR(UnableToConnect)
TARNIX_DECLARE_ERROR(FailedToWriteJson)
TARNIX_DECLARE_ERROR(FirmwareFlashFailed)
TARNIX_DECLARE_ERROR(FailedToLeaveDfuMode)
TARNIX_DECLARE_ERROR(FailedToLoadJsonFile)
TARNIX_DECLARE_ERROR(InvalidScanningRange)
TARNIX_DECLARE_ERROR(FailedToGetDeviceHandle)
TARNIX_DECLARE_ERROR(FailedToSetAddressPointer)
TARNIX_DECLARE_ERROR(FailedToGetParameterSchema)
TARNIX_DECLARE_ERROR(ParameterVerificationFailed)
TARNIX_DECLARE_ERROR(ParametersBufferMissingIdentifier)
TARNIX_DECLARE_ERROR(ParametersTooLarge)

#undef TARNIX_DECLARE_ERROR

// An input the user left empty; the message names the field.
class MissingInput : public Exception {
public:
    explicit MissingInput(std::string field);
    const char* what() const noexcept override;

private:
    std::string message;
};

}  // namespace TpError

#pragma once

#include "core/DeviceInformation.h"
#include "core/Parameters.h"

#include <string>
#include <vector>

class DfuDevice;
class SensorDevice;

// Talks to sensors on behalf of the application model: HID feature reports to a sensor in normal mode (the
// switch into DFU mode and the two information requests), and the parameter and firmware operations on a
// device in DFU mode, with serialization and the read-back check of written parameters. No state of its own.
class Connection {
public:
    // Sends the switch report 80 00 and pauses 500 ms; always true.
    bool SetDeviceToDfuMode(SensorDevice* sensor);
    // Asks for the platform and the device information; what no answer filled stays 0 or empty. Never throws.
    DeviceInformation GetDeviceInformation(SensorDevice* sensor);

    // Erases, programs and leaves DFU mode; the result is that of leaving DFU mode. Throws
    // TpError::EraseFailed, TpError::FirmwareFlashFailed or the errors of leaving DFU mode.
    bool WriteFirmwareFile(DfuDevice* device, std::string& path);
    bool LeaveDfuMode(DfuDevice* device);
    unsigned char GetFirmwareWritePercentage();
    // True when the file's image could be examined; willOverwrite tells whether it replaces the parameters.
    bool WillOverwritePersistentParameters(std::string& path, bool& willOverwrite);

    // Writes the whole parameter area and checks it by reading it back; on success the device keeps a copy.
    // When it reads back wrong, the page from before the write is put back (TpError::ParameterVerificationFailed
    // all the same); when that fails too, the page from before the write is saved in a file that the error's
    // added line names.
    void WriteParameters(DfuDevice* device, Parameters& parameters);
    // Writes the buffer built from a JSON file and a schema file; nothing reaches the sensor when either
    // cannot be loaded (TpError::FailedToLoadJsonFile) or the buffer does not fit the parameter area.
    void WriteParameters(DfuDevice* device, const std::string& jsonPath, const std::string& schemaPath);
    // Reads the area back and compares its first `size` bytes with the buffer.
    bool VerifyParameters(DfuDevice* device, char* buffer, unsigned size);
    void ReadParameters(DfuDevice* device, Parameters& parameters);
    void ReadParametersToJson(DfuDevice* device, const std::string& schemaPath, const std::string& jsonPath);

    void GetParametersFromJson(std::string path, Parameters& parameters);
    // Always true; throws TpError::FailedToWriteJson when the file cannot be written.
    bool SaveParametersToJson(Parameters& parameters, std::string path);
    std::vector<std::string> GetAllFieldNamesForParameterVersion(int major, int minor);

    // Size of the sensor's flash parameter area in bytes.
    static constexpr unsigned parameterAreaSize = 2048;
};

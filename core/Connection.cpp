#include "core/Connection.h"

#include "core/Asn1Decoder.h"
#include "core/Dfu.h"
#include "core/DfuDevice.h"
#include "core/ParameterPageBackup.h"
#include "core/SensorDevice.h"
#include "core/Serialization.h"
#include "core/Timer.h"
#include "core/TpError.h"
#include "core/UsbHandler.h"

#include <flatbuffers/flatbuffers.h>

#include <algorithm>
#include <array>
#include <chrono>
#include <cstring>
#include <thread>

namespace {
constexpr unsigned requestLength = 257;
constexpr unsigned answerLength = 258;
constexpr unsigned char answerReportId = 0x02;
constexpr unsigned char answerEnvelopeTag = 0xEF;
constexpr double answerTimeoutMs = 2000.0;
constexpr auto dfuSwitchPause = std::chrono::milliseconds(500);

// The two information requests differ in their address bytes only.
constexpr unsigned char platformAddress = 0x00;
constexpr unsigned char deviceAddress = 0x02;

using AnswerBuffer = std::array<unsigned char, answerLength>;

void SendInformationRequest(SensorDevice* sensor, unsigned char address)
{
    std::array<unsigned char, requestLength> request{};
    const unsigned char message[] = {0x01, 0x08, 0xEE, 0x06, 0x40, 0x02, address, 0x00, 0x6C, 0x00};
    std::copy(std::begin(message), std::end(message), request.begin());
    UsbHandler::GetInstance()->SetFeatureReport(sensor, request.data(), requestLength);
}

// Reads answer reports back to back until one carries the answer envelope or the time is up.
AnswerBuffer PollAnswer(SensorDevice* sensor)
{
    AnswerBuffer answer{};
    Utility::Timer timer;
    timer.Start();
    while (timer.Current() < answerTimeoutMs) {
        if (answer[2] == answerEnvelopeTag) {
            break;
        }
        answer[0] = answerReportId;
        answer[1] = 0xFF;
        UsbHandler::GetInstance()->GetFeatureReport(sensor, answer.data(), answerLength);
    }
    return answer;
}

// Byte 1 counts the report identifier's successor too; the answer proper is one byte shorter.
unsigned AnswerCount(const AnswerBuffer& answer) { return answer[1] - 1u; }

using ParameterArea = std::vector<char>;

ParameterArea ReadParameterArea(DfuDevice* device)
{
    ParameterArea area(Connection::parameterAreaSize, 0);
    Dfu::GetInstance().ReadParameters(device, area.data(), Connection::parameterAreaSize);
    return area;
}
}  // namespace

// ---- Sensor in normal mode ----

bool Connection::SetDeviceToDfuMode(SensorDevice* sensor)
{
    unsigned char report[] = {0x80, 0x00};
    UsbHandler::GetInstance()->SetFeatureReport(sensor, report, sizeof(report));
    std::this_thread::sleep_for(dfuSwitchPause);
    return true;
}

DeviceInformation Connection::GetDeviceInformation(SensorDevice* sensor)
{
    DeviceInformation information;
    const Asn1Decoder& decoder = Asn1Decoder::GetInstance();

    SendInformationRequest(sensor, platformAddress);
    const AnswerBuffer platform = PollAnswer(sensor);
    const unsigned platformCount = AnswerCount(platform);
    if (const auto record = decoder.GetPlatformInformation(platform.data() + 2, platformCount, answerLength - 2)) {
        information.FillFromPlatformRecord(*record);
    }

    SendInformationRequest(sensor, deviceAddress);
    const AnswerBuffer device = PollAnswer(sensor);
    const unsigned deviceCount = AnswerCount(device);
    if (const auto record = decoder.GetDeviceInformation(device.data() + 2, deviceCount, answerLength - 2)) {
        information.FillFromDeviceRecord(*record);
    }
    return information;
}

// ---- Firmware ----

bool Connection::WriteFirmwareFile(DfuDevice* device, std::string& path)
{
    Dfu& dfu = Dfu::GetInstance();
    if (!dfu.EraseFirmware(device, path)) {
        throw TpError::EraseFailed();
    }
    if (!dfu.WriteFirmware(device, path)) {
        throw TpError::FirmwareFlashFailed();
    }
    return dfu.LeaveDFUMode(device);
}

bool Connection::LeaveDfuMode(DfuDevice* device) { return Dfu::GetInstance().LeaveDFUMode(device); }

unsigned char Connection::GetFirmwareWritePercentage() { return Dfu::GetInstance().GetFirmwareWritePercentage(); }

bool Connection::WillOverwritePersistentParameters(std::string& path, bool& willOverwrite)
{
    return Dfu::GetInstance().WillOverwritePersistentParameters(path, willOverwrite);
}

// ---- Parameters ----

// The whole area is written, zeros after the built buffer included; only the built bytes are compared.
void Connection::WriteParameters(DfuDevice* device, Parameters& parameters)
{
    flatbuffers::FlatBufferBuilder builder(1024);
    Serialization::GetInstance().Serialize(parameters, builder);
    const unsigned size = builder.GetSize();
    if (size > parameterAreaSize) {
        throw TpError::ParametersTooLarge();
    }
    ParameterArea area(parameterAreaSize, 0);
    std::memcpy(area.data(), builder.GetBufferPointer(), size);
    // A page that reads back wrong holds a damaged buffer; the page from before the write goes back, or, where
    // that fails, is saved in a file the user can write back. A read-back that fails as a transfer leaves the
    // page unknown (the sensor stopped answering after the write): the page from before is saved then too.
    std::vector<char> kept;
    Dfu::GetInstance().WriteParameters(device, area.data(), parameterAreaSize, kept);
    bool readBackEqual = false;
    try {
        readBackEqual = VerifyParameters(device, area.data(), size);
    } catch (TpError::Exception& error) {
        ParameterPageBackup::Attach(error, kept, Dfu::parameterAddress);
        throw;
    }
    if (!readBackEqual) {
        if (!Dfu::GetInstance().RestoreParameters(device, kept)) {
            ParameterPageBackup::Throw<TpError::ParameterVerificationFailed>(kept, Dfu::parameterAddress);
        }
        throw TpError::ParameterVerificationFailed();
    }
    device->SetParameters(parameters);
}

// The buffer is built into generous room so that one too large for the area is told apart from a file that
// failed to load; the DFU layer refuses both before anything reaches the sensor.
void Connection::WriteParameters(DfuDevice* device, const std::string& jsonPath, const std::string& schemaPath)
{
    std::vector<char> buffer(Serialization::MaximumTextFileSize, 0);
    unsigned size = 0;
    Serialization::GetInstance().Serialize(jsonPath, schemaPath, buffer.data(), size, buffer.size());
    Dfu::GetInstance().WriteParameters(device, buffer.data(), size);
}

bool Connection::VerifyParameters(DfuDevice* device, char* buffer, unsigned size)
{
    const ParameterArea area = ReadParameterArea(device);
    const std::size_t compared = std::min<std::size_t>(size, area.size());
    return std::equal(area.begin(), area.begin() + static_cast<std::ptrdiff_t>(compared), buffer);
}

void Connection::ReadParameters(DfuDevice* device, Parameters& parameters)
{
    const ParameterArea area = ReadParameterArea(device);
    Serialization::GetInstance().Deserialize(reinterpret_cast<const unsigned char*>(area.data()), parameters,
                                             area.size());
}

void Connection::ReadParametersToJson(DfuDevice* device, const std::string& schemaPath, const std::string& jsonPath)
{
    const ParameterArea area = ReadParameterArea(device);
    Serialization::GetInstance().WriteParametersToJson(area.data(), parameterAreaSize, schemaPath, jsonPath);
}

// ---- JSON files ----

void Connection::GetParametersFromJson(std::string path, Parameters& parameters)
{
    Serialization::GetInstance().GetParametersFromJson(parameters, path);
}

bool Connection::SaveParametersToJson(Parameters& parameters, std::string path)
{
    if (!Serialization::GetInstance().WriteParametersToJson(parameters, path)) {
        throw TpError::FailedToWriteJson();
    }
    return true;
}

std::vector<std::string> Connection::GetAllFieldNamesForParameterVersion(int major, int minor)
{
    return Serialization::GetInstance().GetAllFieldNamesForParameterVersion(major, minor);
}

// The sensor connection against virtual sensors: information requests in normal mode, the switch into DFU
// mode, parameters with serialization and read-back, JSON files, and the whole firmware update.

#include "DfuTestSupport.h"
#include "PageBackupFiles.h"
#include "tests/support/SavedPageLine.h"
#include "tests/support/SensorFlash.h"

#include "core/Connection.h"
#include "core/DfuDevice.h"
#include "core/FlatbufferSchemas.h"
#include "core/SensorDevice.h"
#include "core/Serialization.h"
#include "core/Timer.h"
#include "core/TpError.h"
#include "platform/BackendFactories.h"

#include <flatbuffers/flatbuffers.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>

using tarnix::io::HidDevice;
using tarnix::platform::OpenHidDevice;
using tarnix::sim::Fault;
using tarnix::sim::SensorMode;

namespace {
using tarnix::test::sensor_flash::kPage;
using tarnix::test::sensor_flash::kParameters;

std::vector<std::uint8_t> Serialized(const Parameters& parameters)
{
    flatbuffers::FlatBufferBuilder builder;
    Serialization::GetInstance().Serialize(parameters, builder);
    return {builder.GetBufferPointer(), builder.GetBufferPointer() + builder.GetSize()};
}
}  // namespace

class ConnectionTest : public SimulatedBusTest {
protected:
    // A sensor in normal mode with its HID interface open, as discovery leaves it.
    std::unique_ptr<SensorDevice> OpenSensor(const std::string& serial)
    {
        const std::string path = DevicePath(serial);
        auto sensor = std::make_unique<SensorDevice>(path);
        sensor->SetHidDeviceHandle(OpenHidDevice(path, HidDevice::Access::ReadWrite));
        EXPECT_NE(sensor->GetHidDeviceHandle(), nullptr);
        return sensor;
    }

    std::unique_ptr<DfuDevice> OpenDfu(const std::string& serial)
    {
        return std::make_unique<DfuDevice>(DevicePath(serial));
    }

    std::string SchemaFile()
    {
        const std::string path = PathInFolder("schema.fbs");
        std::ofstream(path) << TNXP_SERIALIZATION_1_1_FBS;
        return path;
    }

    std::vector<std::uint8_t> ParameterPage(const std::string& serial) { return Flash(serial, kParameters, kPage); }

    // The stored parameters with one value changed.
    Parameters ChangedParameters(DfuDevice* device)
    {
        Parameters parameters;
        connection.ReadParameters(device, parameters);
        parameters.idleFrequency = 321;
        return parameters;
    }

    // The one file a failed write saved holds the page from before the write, and the line names it.
    void ExpectOnePageSaved(const std::string& line, const std::vector<std::uint8_t>& before)
    {
        const std::vector<std::string> saved = page_backup::FilesIn(simulated.PageBackupFolder());
        ASSERT_EQ(saved.size(), 1u) << line;
        EXPECT_EQ(line, tarnix::test::SavedPageLine(saved[0]));
        EXPECT_EQ(page_backup::ImageOf(saved[0]), page_backup::PageImage(kParameters, before));
    }

    // The line added to the verification error the write throws.
    static std::string AddedLineOf(const std::function<void()>& write)
    {
        try {
            write();
        } catch (const TpError::ParameterVerificationFailed& error) {
            return error.AddedLine();
        }
        ADD_FAILURE() << "no verification error";
        return "nothing thrown";
    }

    Connection connection;
};

// ---- Normal mode ----

TEST_F(ConnectionTest, InformationOfASensorArrivesInTheRecord)
{
    tarnix::sim::SensorState prototype;
    prototype.firmware = {3, 7};
    prototype.schema = tarnix::sim::Version{1, 0};
    prototype.mcuId = {0x00, 0x1F, 0xA0, 0x42};
    const auto sensor = OpenSensor(bus->Plug(prototype));

    Utility::Timer timer;
    timer.Start();
    const DeviceInformation information = connection.GetDeviceInformation(sensor.get());
    EXPECT_LT(timer.Current(), 1000.0) << "a responsive sensor answers at once";
    EXPECT_EQ(information.firmwareVersionMajor, 3u);
    EXPECT_EQ(information.firmwareVersionMinor, 7u);
    EXPECT_EQ(information.parametersVersionMajor, 1u);
    EXPECT_EQ(information.parametersVersionMinor, 0u);
    EXPECT_EQ(information.mcuIdentifier, "001FA042");
}

TEST_F(ConnectionTest, SilentSensorGivesAnEmptyRecordAfterTwoTimeOuts)
{
    tarnix::sim::SensorState prototype;
    prototype.silent = true;
    const auto sensor = OpenSensor(bus->Plug(prototype));

    Utility::Timer timer;
    timer.Start();
    const DeviceInformation information = connection.GetDeviceInformation(sensor.get());
    const double elapsed = timer.Current();
    EXPECT_GE(elapsed, 4000.0);
    EXPECT_LT(elapsed, 4600.0);
    EXPECT_EQ(information.firmwareVersionMajor, 0u);
    EXPECT_EQ(information.parametersVersionMinor, 0u);
    EXPECT_EQ(information.deviceValue80, 0u);
    EXPECT_TRUE(information.mcuIdentifier.empty());
    EXPECT_TRUE(information.platformText86.empty());
}

TEST_F(ConnectionTest, SwitchToDfuModePausesAndTheSensorComesBackAsDfuDevice)
{
    const std::string serial = bus->Plug({});
    const auto sensor = OpenSensor(serial);

    Utility::Timer timer;
    timer.Start();
    EXPECT_TRUE(connection.SetDeviceToDfuMode(sensor.get()));
    EXPECT_GE(timer.Current(), 500.0);
    EXPECT_EQ(WaitUntilPresent(serial).mode, SensorMode::Dfu);
}

// ---- Parameters ----

TEST_F(ConnectionTest, WrittenParametersLandOnThePageFollowedByZerosAndAreKept)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    Parameters parameters;
    connection.ReadParameters(device.get(), parameters);
    ASSERT_TRUE(parameters.fingerFrequency.has_value()) << "the factory parameters are complete";
    parameters.fingerFrequency = static_cast<int16_t>(*parameters.fingerFrequency + 17);
    parameters.systemEnabled = !parameters.systemEnabled.value_or(false);

    connection.WriteParameters(device.get(), parameters);

    const std::vector<std::uint8_t> expected = Serialized(parameters);
    const std::vector<std::uint8_t> page = ParameterPage(serial);
    ASSERT_LT(expected.size(), kPage);
    EXPECT_TRUE(std::equal(expected.begin(), expected.end(), page.begin()));
    EXPECT_TRUE(std::all_of(page.begin() + static_cast<std::ptrdiff_t>(expected.size()), page.end(),
                            [](std::uint8_t b) { return b == 0; }))
        << "the rest of the area is written with zeros";
    EXPECT_EQ(*device->GetParameters(), parameters) << "the device keeps what was verified";

    Parameters readBack;
    connection.ReadParameters(device.get(), readBack);
    EXPECT_EQ(readBack, parameters);
}

TEST_F(ConnectionTest, CorruptedWriteFailsVerificationAndTheDeviceKeepsItsOldCopy)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    Parameters parameters;
    connection.ReadParameters(device.get(), parameters);
    parameters.idleFrequency = 123;
    bus->SetFault(serial, Fault::Corrupt);

    EXPECT_EQ(
        MessageOf<TpError::ParameterVerificationFailed>([&] { connection.WriteParameters(device.get(), parameters); }),
        "The flashed parameters differs from the parameters on the device.");
    EXPECT_EQ(*device->GetParameters(), Parameters{});
}

// A write that reads back wrong once puts the page from before the write back, and saves nothing; with a
// lasting fault the write-back reads back wrong too: the verification error stays, with a line that names
// the file holding the page from before the write.
TEST_F(ConnectionTest, CorruptedWriteIsReplacedByThePageFromBeforeTheWrite)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    const std::vector<std::uint8_t> before = bus->ReadFlash(serial, 0x08004000, 2048);
    Parameters parameters = ChangedParameters(device.get());
    const auto write = [&] { connection.WriteParameters(device.get(), parameters); };

    bus->SetFault(serial, Fault::Corrupt, true);
    EXPECT_EQ(AddedLineOf(write), "");
    EXPECT_EQ(bus->ReadFlash(serial, 0x08004000, 2048), before);
    EXPECT_FALSE(device->GetIsConnected());
    EXPECT_EQ(page_backup::FilesIn(simulated.PageBackupFolder()), std::vector<std::string>{});

    bus->SetFault(serial, Fault::Corrupt);
    const std::string line = AddedLineOf(write);
    EXPECT_NE(bus->ReadFlash(serial, 0x08004000, 2048), before);
    ExpectOnePageSaved(line, before);
}

// A sensor that takes the new parameters and then stops answering fails the read-back as a transfer: the
// page is not known, so the page from before the write is saved and the error's line names it.
TEST_F(ConnectionTest, AReadBackThatCannotBeMadeSavesThePageFromBeforeTheWrite)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    const std::vector<std::uint8_t> before = bus->ReadFlash(serial, 0x08004000, 2048);
    Parameters parameters = ChangedParameters(device.get());

    bus->SetFault(serial, Fault::Hang);
    std::string line = "nothing thrown";
    try {
        connection.WriteParameters(device.get(), parameters);
    } catch (const TpError::FailedToSetAddressPointer& error) {
        line = error.AddedLine();
    }
    EXPECT_NE(bus->ReadFlash(serial, 0x08004000, 2048), before) << "the new parameters reached the page";
    EXPECT_FALSE(device->GetIsConnected());
    ExpectOnePageSaved(line, before);
}

TEST_F(ConnectionTest, VerificationComparesOnlyTheGivenSize)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    const std::vector<std::uint8_t> page = ParameterPage(serial);
    std::vector<char> buffer(page.begin(), page.end());
    buffer[200] = static_cast<char>(buffer[200] ^ 0x01);

    EXPECT_TRUE(connection.VerifyParameters(device.get(), buffer.data(), 200));
    EXPECT_FALSE(connection.VerifyParameters(device.get(), buffer.data(), 201));
    std::vector<char> unrelated(kPage, 0x5A);
    EXPECT_TRUE(connection.VerifyParameters(device.get(), unrelated.data(), 0));
}

TEST_F(ConnectionTest, ParametersTravelThroughJsonFiles)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    const std::vector<std::uint8_t> factory = ParameterPage(serial);
    const std::string schema = SchemaFile();
    const std::string json = PathInFolder("parameters.json");

    connection.ReadParametersToJson(device.get(), schema, json);
    ASSERT_TRUE(std::filesystem::exists(json));

    Parameters fromFile;
    connection.GetParametersFromJson(json, fromFile);
    Parameters fromDevice;
    connection.ReadParameters(device.get(), fromDevice);
    EXPECT_EQ(fromFile, fromDevice);

    fromFile.i2cAddress = static_cast<uint8_t>(fromFile.i2cAddress.value_or(0) + 1);
    const std::string edited = PathInFolder("edited.json");
    EXPECT_TRUE(connection.SaveParametersToJson(fromFile, edited));
    connection.WriteParameters(device.get(), edited, schema);

    Parameters written;
    connection.ReadParameters(device.get(), written);
    EXPECT_EQ(written, fromFile);
    EXPECT_NE(ParameterPage(serial), factory);
}

TEST_F(ConnectionTest, JsonWriteThatCannotBeBuiltNeverReachesTheSensor)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    const std::vector<std::uint8_t> before = ParameterPage(serial);

    EXPECT_THROW(connection.WriteParameters(device.get(), PathInFolder("missing.json"), SchemaFile()),
                 TpError::FailedToLoadJsonFile);
    const std::string json = PathInFolder("p.json");
    std::ofstream(json) << "{}";
    EXPECT_THROW(connection.WriteParameters(device.get(), json, PathInFolder("missing.fbs")),
                 TpError::FailedToLoadJsonFile);

    // A schema of our own that lets the file carry more than the area holds.
    const std::string bigSchema = PathInFolder("big.fbs");
    std::ofstream(bigSchema) << "file_identifier \"QTXS\";\ntable Big { text: string; }\nroot_type Big;\n";
    const std::string bigJson = PathInFolder("big.json");
    std::ofstream(bigJson) << "{ \"text\": \"" << std::string(3000, 'x') << "\" }";
    EXPECT_THROW(connection.WriteParameters(device.get(), bigJson, bigSchema), TpError::ParametersTooLarge);

    EXPECT_EQ(ParameterPage(serial), before);
}

TEST_F(ConnectionTest, JsonSaveToAnUnwritablePlaceThrows)
{
    Parameters parameters;
    parameters.i2cAddress = 0x40;
    EXPECT_THROW(connection.SaveParametersToJson(parameters, PathInFolder("no/such/folder/p.json")),
                 TpError::FailedToWriteJson);
}

// ---- Firmware ----

TEST_F(ConnectionTest, FirmwareUpdateErasesProgramsAndBootsTheNewFirmware)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    std::string firmware = MakeFirmware("update.dfu", {"--version", "5.1", "--schema", "1.0"});

    EXPECT_TRUE(connection.WriteFirmwareFile(device.get(), firmware));
    EXPECT_EQ(connection.GetFirmwareWritePercentage(), 0);

    ASSERT_EQ(WaitUntilPresent(serial).mode, SensorMode::Normal);
    const auto sensor = OpenSensor(serial);
    const DeviceInformation information = connection.GetDeviceInformation(sensor.get());
    EXPECT_EQ(information.firmwareVersionMajor, 5u);
    EXPECT_EQ(information.firmwareVersionMinor, 1u);
    EXPECT_EQ(information.parametersVersionMinor, 0u);
}

TEST_F(ConnectionTest, FailedFirmwareStepsGiveTheirErrors)
{
    const std::string serial = PlugDfuSensor();
    const auto device = OpenDfu(serial);
    std::string firmware = MakeFirmware("update.hex", {"--version", "5.1"});

    const auto update = [&] { connection.WriteFirmwareFile(device.get(), firmware); };
    bus->SetFault(serial, Fault::Erase);
    EXPECT_EQ(MessageOf<TpError::EraseFailed>(update), "Failed to erase flash memory.");
    bus->SetFault(serial, Fault::Download);
    EXPECT_EQ(MessageOf<TpError::FirmwareFlashFailed>(update), "The firmware flashing failed.");
    EXPECT_EQ(WaitUntilPresent(serial).mode, SensorMode::Dfu) << "the sensor stays in DFU mode";
}

TEST_F(ConnectionTest, OverwriteQuestionIsPassedOn)
{
    std::string erased = MakeFirmware("erased.hex", {"--version", "3.0"});
    bool willOverwrite = true;
    EXPECT_TRUE(connection.WillOverwritePersistentParameters(erased, willOverwrite));
    EXPECT_FALSE(willOverwrite);

    const std::string parameters = WriteFile("p.bin", std::vector<std::uint8_t>(64, 0x01));
    std::string with = MakeFirmware("with.hex", {"--version", "3.0", "--params", parameters});
    EXPECT_TRUE(connection.WillOverwritePersistentParameters(with, willOverwrite));
    EXPECT_TRUE(willOverwrite);
}

// Firmware files written by `tarnix-sim make-firmware` read back through STDFUFiles, and written to a
// virtual sensor the way a firmware update does it.

#include "dfuse/DfuseApi.h"
#include "tests/dfuse/ImageHandle.h"
#include "tests/dfuse/OperationRunner.h"
#include "tests/support/SensorFlash.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

namespace {

using Element = ImageHandle::Element;

using namespace tarnix::test::sensor_flash;

class MadeFirmwareTest : public ::testing::Test {
protected:
    std::string Make(const std::string& name, const std::vector<std::string>& options = {})
    {
        std::vector<std::string> arguments = {"--version", "3.7"};
        arguments.insert(arguments.end(), options.begin(), options.end());
        EXPECT_TRUE(bus_.MakeFirmware(name, arguments).Succeeded()) << "make-firmware " << name;
        return bus_.File(name);
    }

    void ReadDfu(const std::string& path, ImageHandle& image)
    {
        void* file = nullptr;
        std::uint16_t vid = 0;
        std::uint16_t pid = 0;
        std::uint16_t bcd = 0;
        std::uint8_t count = 0;
        ASSERT_EQ(STDFUFILES_OpenExistingDFUFile(path.c_str(), &file, &vid, &pid, &bcd, &count), DFUSE_STATUS_SUCCESS);
        EXPECT_EQ(count, 1);
        EXPECT_EQ(STDFUFILES_ReadImageFromDFUFile(file, 0, image.Out()), DFUSE_STATUS_SUCCESS);
        EXPECT_EQ(STDFUFILES_CloseDFUFile(file), DFUSE_STATUS_SUCCESS);
    }

    void ReadHex(const std::string& path, ImageHandle& image)
    {
        ASSERT_EQ(STDFUFILES_ImageFromFile(path.c_str(), image.Out(), 0), DFUSE_STATUS_SUCCESS);
    }

    // The image's bytes laid out over flash from its start, 0xFF where it has none.
    static std::vector<std::uint8_t> Flattened(const std::vector<Element>& elements, std::size_t size)
    {
        std::vector<std::uint8_t> flash(size, 0xFF);
        for (const Element& element : elements) {
            const std::size_t offset = element.address - kStart;
            if (offset + element.data.size() <= size) {
                std::copy(element.data.begin(), element.data.end(), flash.begin() + offset);
            }
        }
        return flash;
    }

    static bool TouchesParameterPage(const Element& element)
    {
        return element.address < kParameters + kPage && element.address + element.data.size() > kParameters;
    }

    // Filters the image for the operation with the sensor's mapping and runs it to its end.
    static std::uint32_t Operate(const std::string& path, ImageHandle& image, std::uint32_t operation)
    {
        EXPECT_EQ(OperationRunner::Filter(path, image.Get(), operation), DFUSE_STATUS_SUCCESS);
        return OperationRunner::Run(OperationRunner::Context(path, operation, image.Get())).stop;
    }

    tarnix::test::SimulatedBus bus_;
};

TEST_F(MadeFirmwareTest, HexAndDfuFilesOfOneFirmwareGiveTheSameImage)
{
    ImageHandle fromHex;
    ImageHandle fromDfu;
    ReadHex(Make("firmware.hex"), fromHex);
    ReadDfu(Make("firmware.dfu"), fromDfu);
    const std::vector<Element> elements = fromHex.Elements();
    ASSERT_FALSE(elements.empty());
    EXPECT_EQ(fromDfu.Elements(), elements);

    // The firmware header: "TNXFW1" at offset 0x200, then the version as little-endian 16-bit numbers.
    const std::vector<std::uint8_t> flash = Flattened(elements, 0x20000);
    EXPECT_EQ(std::string(flash.begin() + 0x200, flash.begin() + 0x206), "TNXFW1");
    EXPECT_EQ(std::vector<std::uint8_t>(flash.begin() + 0x206, flash.begin() + 0x20A),
              (std::vector<std::uint8_t>{3, 0, 7, 0}));
}

TEST_F(MadeFirmwareTest, AnErasedParameterAreaIsAGapInTheImage)
{
    ImageHandle fromHex;
    ImageHandle fromDfu;
    ReadHex(Make("firmware.hex", {"--params", "erased"}), fromHex);
    ReadDfu(Make("firmware.dfu", {"--params", "erased"}), fromDfu);
    for (const std::vector<Element>& elements : {fromHex.Elements(), fromDfu.Elements()}) {
        ASSERT_GE(elements.size(), 2u);
        for (const Element& element : elements) {
            EXPECT_FALSE(TouchesParameterPage(element)) << element;
        }
    }
}

TEST_F(MadeFirmwareTest, SuppliedParametersLandAtTheParameterPage)
{
    std::vector<std::uint8_t> parameters(300);
    for (std::size_t index = 0; index < parameters.size(); ++index) {
        parameters[index] = static_cast<std::uint8_t>(index * 3);
    }
    const std::string parameterFile = bus_.Files().Write("parameters.bin", parameters);
    ImageHandle fromHex;
    ImageHandle fromDfu;
    ReadHex(Make("firmware.hex", {"--params", parameterFile}), fromHex);
    ReadDfu(Make("firmware.dfu", {"--params", parameterFile}), fromDfu);
    EXPECT_EQ(fromDfu.Elements(), fromHex.Elements());
    const std::vector<std::uint8_t> flash = Flattened(fromHex.Elements(), 0x20000);
    const auto page = flash.begin() + (kParameters - kStart);
    EXPECT_EQ(std::vector<std::uint8_t>(page, page + 300), parameters);
}

TEST_F(MadeFirmwareTest, AFirmwareUpdateWritesTheImageKeepsTheParametersAndBootsIt)
{
    const std::string serial = bus_.PlugDfuSensor();
    ASSERT_FALSE(serial.empty());
    const std::string path = bus_.DevicePath(serial);
    const std::vector<std::uint8_t> factory = bus_.ReadFlash(serial, kParameters, kPage);
    ASSERT_EQ(factory.size(), kPage);
    const std::string firmware = Make("firmware.dfu");

    ImageHandle forErase;
    ReadDfu(firmware, forErase);
    ASSERT_EQ(Operate(path, forErase, DFUSE_OPERATION_ERASE), DFUSE_STATUS_SUCCESS);
    ImageHandle forProgram;
    ReadDfu(firmware, forProgram);
    ASSERT_EQ(Operate(path, forProgram, DFUSE_OPERATION_PROGRAM), DFUSE_STATUS_SUCCESS);

    ImageHandle original;
    ReadDfu(firmware, original);
    for (const Element& element : original.Elements()) {
        EXPECT_EQ(bus_.ReadFlash(serial, element.address, element.data.size()), element.data) << element;
    }
    EXPECT_EQ(bus_.ReadFlash(serial, kParameters, kPage), factory);

    void* handle = nullptr;
    ASSERT_EQ(STDFU_Open(path.c_str(), &handle), DFUSE_STATUS_SUCCESS);
    std::uint8_t unused = 0xFF;
    DFUSTATUS status{};
    EXPECT_EQ(STDFU_Dnload(&handle, &unused, 0, 0), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(STDFU_Getstatus(&handle, &status), DFUSE_STATUS_SUCCESS);
    EXPECT_EQ(STDFU_Close(&handle), DFUSE_STATUS_SUCCESS);
    const std::string listing = bus_.SimToolOutput({"list"}).value_or("");
    EXPECT_NE(listing.find(serial + " normal"), std::string::npos) << listing;
}

}  // namespace

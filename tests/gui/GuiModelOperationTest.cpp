#include "GuiTestSupport.h"

#include "gui/GuiModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QDir>
#include <QTemporaryDir>

#include <string>

namespace {

const char* const tooLongPathText = "Too long path. Supports up to 259 characters.";

// A path of exactly the given length in characters, inside the folder, naming nothing that exists.
QString PathOfLength(const QTemporaryDir& folder, int length, const QString& suffix)
{
    const QString start = folder.path() + "/";
    return start + QString(length - start.size() - suffix.size(), 'p') + suffix;
}

QStringList Repeated(int count, const QString& text)
{
    QStringList texts;
    for (int i = 0; i < count; ++i) {
        texts << text;
    }
    return texts;
}

class GuiModelOperationTest : public ::testing::Test {
protected:
    QStringList Texts()
    {
        QStringList texts;
        for (int i = 0; i < messages.count(); ++i) {
            texts << MessageAt(messages, i).text;
        }
        return texts;
    }

    void AddSelected(const QString& name, bool inDfu)
    {
        model.OnNewDevice(name.toStdString(), "device", inDfu);
        model.SetCurrentDevice(name);
    }

    QTemporaryDir folder;
    GuiModel model;
    QSignalSpy messages{&model, &GuiModel::PopInfoMessage};
};

TEST_F(GuiModelOperationTest, SensorOperationsWithoutADeviceSayThatNoneIsConnected)
{
    Parameters page;
    model.CheckCompatibilityAndWriteOrRead(true);
    model.CheckCompatibilityAndWriteOrRead(false);
    model.WriteParameters(page);
    model.ReadParameters();
    model.StartDownloadThread();

    EXPECT_EQ(Texts(), Repeated(5, "No device connected."));
    for (int i = 0; i < messages.count(); ++i) {
        EXPECT_EQ(MessageAt(messages, i).title, "Error");
    }
}

TEST_F(GuiModelOperationTest, AListedDeviceThatIsNotCurrentStillCountsAsNoDevice)
{
    model.OnNewDevice("sensor-a", "A", false);
    Parameters page;
    model.WriteParameters(page);
    model.ReadParameters();
    EXPECT_EQ(Texts(), Repeated(2, "No device connected."));
}

TEST_F(GuiModelOperationTest, AFirmwareWriteNeedsACheckedFileBeforeADevice)
{
    model.OnNewDevice("sensor-a", "A", false);
    QSignalSpy failed(&model, &GuiModel::WriteFirmwareFailed);
    model.StartDownloadThread();

    EXPECT_EQ(Texts(), QStringList{"No firmware file loaded."});
    EXPECT_EQ(failed.count(), 0);
}

TEST_F(GuiModelOperationTest, AWriteToADeviceThatIsGoneStartsAndThenFailsOnTheWriteThread)
{
    std::string path = folder.filePath("fw.hex").toStdString();
    model.OnFirmwareFileChecked(false, path);
    AddSelected("dfu-gone", true);
    QSignalSpy started(&model, &GuiModel::WriteFirmwareStarted);
    QSignalSpy dialog(&model, &GuiModel::PopWriteProgressDialog);
    QSignalSpy failed(&model, &GuiModel::WriteFirmwareFailed);

    model.StartDownloadThread();
    EXPECT_EQ(started.count(), 1);
    ASSERT_EQ(dialog.count(), 1);
    EXPECT_EQ(dialog.at(0).at(0).toString(), "Writing Firmware...");

    // The write thread fails at once and may signal before the wait begins; wait() only sees later signals.
    ASSERT_TRUE(failed.count() > 0 || failed.wait(5000));
    model.EndDownloadThread();
    QCoreApplication::processEvents();
    EXPECT_EQ(Texts(), QStringList{"Firmware Write Failed."});
}

TEST_F(GuiModelOperationTest, ASwitchOfASensorThatIsGoneFailsTheWriteWithTheCoresText)
{
    std::string path = folder.filePath("fw.dfu").toStdString();
    model.OnFirmwareFileChecked(false, path);
    AddSelected("sensor-gone", false);
    QSignalSpy started(&model, &GuiModel::WriteFirmwareStarted);
    QSignalSpy failed(&model, &GuiModel::WriteFirmwareFailed);

    model.StartDownloadThread();
    EXPECT_EQ(started.count(), 0);
    EXPECT_EQ(failed.count(), 1);
    EXPECT_EQ(Texts(), QStringList{"Unable to connect to selected device."});
}

TEST_F(GuiModelOperationTest, ACompatibilityCheckOnADeviceThatIsGoneShowsTheCoresText)
{
    AddSelected("sensor-gone", false);
    QSignalSpy reads(&model, &GuiModel::BeginReadParameters);
    model.CheckCompatibilityAndWriteOrRead(true);

    EXPECT_EQ(reads.count(), 0);
    EXPECT_EQ(Texts(), QStringList{"Unable to connect to selected device."});
}

TEST_F(GuiModelOperationTest, PathsOfTwoHundredSixtyCharactersAreRefusedAndTwoHundredFiftyNineAccepted)
{
    Parameters parameters;
    model.CheckFirmwareFile(PathOfLength(folder, 260, ".hex"));
    model.GetParametersFromJson(PathOfLength(folder, 260, ".json"));
    model.SaveParametersAsJson(PathOfLength(folder, 260, ".json"), parameters);
    EXPECT_EQ(Texts(), Repeated(3, tooLongPathText));

    messages.clear();
    model.CheckFirmwareFile(PathOfLength(folder, 259, ".txt"));
    model.GetParametersFromJson(PathOfLength(folder, 259, ".json"));
    EXPECT_EQ(Texts(), (QStringList{"This file format is not supported.", "Failed to load json file."}));
}

TEST_F(GuiModelOperationTest, EmptyJsonPathsDoNothing)
{
    Parameters parameters;
    parameters.i2cAddress = 3;
    model.GetParametersFromJson("");
    model.SaveParametersAsJson("", parameters);

    EXPECT_EQ(messages.count(), 0);
    EXPECT_TRUE(QDir(folder.path()).isEmpty());
}

TEST_F(GuiModelOperationTest, SavedParametersLoadBackUnchanged)
{
    Parameters saved;
    saved.fingerFrequency = 250;
    saved.operationMode = OperationMode{true, std::nullopt};
    saved.deviceConfiguration.emplace().snappingFilter.emplace().top = SnappingDistance{9, 19};
    const QString path = folder.filePath("saved.json");
    model.SaveParametersAsJson(path, saved);

    std::optional<Parameters> loaded;
    QObject::connect(&model, &GuiModel::UpdateWParameters, [&loaded](Parameters& p) { loaded = p; });
    model.GetParametersFromJson(path);

    EXPECT_EQ(messages.count(), 0);
    ASSERT_TRUE(loaded.has_value());
    EXPECT_EQ(*loaded, saved);
}

TEST_F(GuiModelOperationTest, ASaveThatCannotBeWrittenShowsTheCoresText)
{
    Parameters parameters;
    parameters.i2cAddress = 3;
    model.SaveParametersAsJson(folder.filePath("no-such-folder/p.json"), parameters);
    EXPECT_EQ(Texts(), QStringList{"Failed to write json file."});
}

TEST_F(GuiModelOperationTest, LeavingConfigurationModeNeedsACurrentDeviceInThatMode)
{
    model.LeaveDfuMode();
    EXPECT_EQ(messages.count(), 0);

    AddSelected("sensor-a", false);
    model.LeaveDfuMode();
    EXPECT_EQ(Texts(), QStringList{"Device is not in configuration mode."});
}

TEST_F(GuiModelOperationTest, LeavingOnAllDevicesTriesEveryDeviceInConfigurationModeOnly)
{
    QSignalSpy results(&model, &GuiModel::LeaveConfigurationModeResult);
    model.OnNewDevice("dfu-1", "Device In Configuration Mode", true);
    model.OnNewDevice("sensor-1", "sensor", false);
    model.OnNewDevice("dfu-2", "Device In Configuration Mode", true);

    model.LeaveDfuModeOnAllDevices();
    // Neither DFU device is known to the core, so each attempt fails on its own; the sensor is skipped.
    EXPECT_EQ(Texts(), Repeated(2, "Unable to connect to selected device."));
    EXPECT_EQ(results.count(), 0);
}

TEST_F(GuiModelOperationTest, WithoutACurrentDeviceThereIsNoInformationAndNoFieldList)
{
    EXPECT_FALSE(model.GetCurrentDeviceInformation().has_value());
    EXPECT_TRUE(model.GetAllParameterFieldNamesForCurrentDevice().empty());
    EXPECT_EQ(messages.count(), 0);
}

}  // namespace

#include "GuiTestSupport.h"
#include "SimulatedSensors.h"
#include "tests/support/SavedPageLine.h"

#include "core/Serialization.h"
#include "core/TpError.h"
#include "core/Utility.h"
#include "gui/GuiModel.h"
#include "gui/ViewUtility.h"

#include <gtest/gtest.h>

#include <QComboBox>
#include <QDir>
#include <QLineEdit>
#include <QTest>
#include <QThread>

#include <algorithm>
#include <functional>
#include <string>
#include <vector>

namespace {

constexpr int settleMs = 8000;

struct Announcement {
    QString text;
    QString name;
    bool inDfu;
};

// Stands in for the main window: hears the model's signals on the GUI thread, as the window does, and shows
// read parameters on a parameter page.
class WindowStandIn : public QObject {
public:
    WindowStandIn(GuiModel& model, GuiTypes::ViewParameters& view)
    {
        connect(&model, &GuiModel::NewDevice, this, [this](QString text, QString name, bool inDfu) {
            onGuiThread = onGuiThread && QThread::currentThread() == thread();
            announced.push_back({text, name, inDfu});
        });
        connect(&model, &GuiModel::DeviceDisconnected, this, [this](QString name) { removed << name; });
        connect(&model, &GuiModel::PopInfoMessage, this,
                [this](bool, QString title, QString text) { messages << title + ": " + text; });
        connect(&model, &GuiModel::UpdateProgress, this, [this](int percent) { progress.push_back(percent); });
        connect(&model, &GuiModel::WriteFirmwareFinished, this, [this] { writeEnded = "finished"; });
        connect(&model, &GuiModel::WriteFirmwareFailed, this, [this] { writeEnded = "failed"; });
        connect(&model, &GuiModel::UpdateRParameters, this, [&view](Parameters& p) {
            ViewUtility::ClearViewParameters(view);
            ViewUtility::SetViewParameters(view, p);
            ViewUtility::UpdateScanningRange(view, ViewUtility::GetPossiblePeakCountAndRanges(p), p);
        });
    }

    // The name of the latest announced device whose name holds the serial, in the given mode.
    QString NameOf(const QString& serial, bool inDfu) const
    {
        for (auto item = announced.rbegin(); item != announced.rend(); ++item) {
            if (item->inDfu == inDfu && item->name.contains(serial)) {
                return item->name;
            }
        }
        return {};
    }

    std::vector<Announcement> announced;
    QStringList removed;
    QStringList messages;
    std::vector<int> progress;
    QString writeEnded;
    bool onGuiThread = true;
};

Parameters FullRecord() { return FullTestRecord(); }

QByteArray ParameterArea(const Parameters& parameters)
{
    QByteArray area(static_cast<int>(Serialization::ParameterAreaSize), static_cast<char>(0xFF));
    unsigned int length = 0;
    Serialization::GetInstance().Serialize(parameters, reinterpret_cast<unsigned char*>(area.data()), length);
    return area;
}

Parameters ParseArea(const QByteArray& area)
{
    Parameters parameters;
    Serialization::GetInstance().Deserialize(reinterpret_cast<const unsigned char*>(area.constData()), parameters,
                                             static_cast<std::size_t>(area.size()));
    return parameters;
}

class GuiModelSensorTest : public ::testing::Test {
protected:
    GuiModelSensorTest() { model.StartSearchThread(); }
    ~GuiModelSensorTest() override { model.EndSearch(); }

    bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, settleMs); }

    // Plugs a sensor, waits until the window hears of it and selects it; its device name.
    QString PlugAndSelect(const QString& serial, const QStringList& options = {})
    {
        const bool inDfu = options.contains("dfu");
        if (!sensors.Plug(serial, options) || !WaitFor([&] { return !window.NameOf(serial, inDfu).isEmpty(); })) {
            return {};
        }
        const QString name = window.NameOf(serial, inDfu);
        model.SetCurrentDevice(name);
        return name;
    }

    // After a switch the window selects the sensor's DFU identity as soon as it is listed.
    void SelectDfuIdentity(const QString& serial)
    {
        ASSERT_TRUE(WaitFor([&] { return !window.NameOf(serial, true).isEmpty(); }));
        model.SetCurrentDevice(window.NameOf(serial, true));
    }

    QString ErrorText(const TpError::Exception& error) { return QString("Error: ") + error.what(); }

    SimulatedSensors sensors;
    PlacedParameterPage page;
    GuiModel model;
    WindowStandIn window{model, page.view};
};

TEST_F(GuiModelSensorTest, PluggedAndUnpluggedSensorsReachTheWindowOnItsThread)
{
    const QString name = PlugAndSelect("GUI0001");
    ASSERT_FALSE(name.isEmpty());
    EXPECT_TRUE(name.contains("vid_3c9e&pid_0101"));
    EXPECT_TRUE(window.onGuiThread);
    const std::optional<DeviceInformationText> information = model.GetCurrentDeviceInformation();
    ASSERT_TRUE(information.has_value());
    EXPECT_EQ(information->firmwareVersion, "2.4");

    ASSERT_TRUE(sensors.Run({"unplug", "GUI0001"}).has_value());
    ASSERT_TRUE(WaitFor([&] { return window.removed.contains(name); }));
    EXPECT_FALSE(model.GetCurrentDevice().has_value());
    EXPECT_TRUE(window.messages.isEmpty()) << window.messages.join('\n').toStdString();
}

TEST_F(GuiModelSensorTest, AParameterReadFillsEveryFieldWithTheStoredRecord)
{
    ASSERT_FALSE(PlugAndSelect("GUI0002").isEmpty());
    ASSERT_TRUE(sensors.WriteParameterArea("GUI0002", ParameterArea(FullRecord())));

    QSignalSpy begin(&model, &GuiModel::BeginReadParameters);
    model.CheckCompatibilityAndWriteOrRead(true);
    ASSERT_EQ(begin.count(), 1) << window.messages.join('\n').toStdString();
    model.ReadParameters();

    Parameters expected = FullRecord();
    expected.geometry->sourceCount.reset();
    expected.geometry->sensorCount.reset();
    Parameters shown;
    ViewUtility::GetParametersFromView(page.view, shown);
    EXPECT_EQ(shown, expected) << window.messages.join('\n').toStdString();
    EXPECT_EQ(page.view.scanningRange->currentText(), QString::number(Utility::GetRangeFromPeakCount(4)));
}

TEST_F(GuiModelSensorTest, WritingOneEditedFieldChangesOnlyThatFieldInTheSensor)
{
    ASSERT_FALSE(PlugAndSelect("GUI0003").isEmpty());
    ASSERT_TRUE(sensors.WriteParameterArea("GUI0003", ParameterArea(FullRecord())));
    model.ReadParameters();
    SelectDfuIdentity("GUI0003");

    page.view.idleFrequency->setText("333");
    Parameters fromPage;
    ViewUtility::GetParametersFromView(page.view, fromPage);
    model.WriteParameters(fromPage);
    EXPECT_EQ(window.messages, QStringList{"Success: Download succeeded."});

    Parameters expected = FullRecord();
    expected.idleFrequency = 333;
    EXPECT_EQ(ParseArea(sensors.ReadParameterArea("GUI0003")), expected);
}

TEST_F(GuiModelSensorTest, AScanningRangeThatTheOpticsDoNotAllowIsRefusedAndNothingIsWritten)
{
    ASSERT_FALSE(PlugAndSelect("GUI0004", {"--mode", "dfu"}).isEmpty());
    ASSERT_TRUE(sensors.WriteParameterArea("GUI0004", ParameterArea(FullRecord())));
    const QByteArray before = sensors.ReadParameterArea("GUI0004");

    Parameters page;
    page.geometry = Geometry{std::nullopt, std::nullopt, 20};
    page.fingerFrequency = 999;
    model.WriteParameters(page);

    EXPECT_EQ(window.messages, QStringList{ErrorText(TpError::InvalidScanningRange())});
    EXPECT_EQ(sensors.ReadParameterArea("GUI0004"), before);
}

TEST_F(GuiModelSensorTest, ASensorWithTheOlderSchemaGetsOnlyItsFieldsEnabled)
{
    ASSERT_FALSE(PlugAndSelect("GUI0005", {"--schema", "1.0"}).isEmpty());
    const std::vector<std::string> names = model.GetAllParameterFieldNamesForCurrentDevice();
    ASSERT_FALSE(names.empty());
    page.section.UpdateInputElementsBasedOnParameterFields(names);

    const QString unsupported = "This parameter is not supported by the selected sensor firmware version.";
    for (QWidget* newer : std::vector<QWidget*>{page.view.snappingLeftInner, page.view.preventionTime,
                                                page.view.i2cAddress, page.view.detectionHid}) {
        EXPECT_FALSE(newer->isEnabled());
        EXPECT_EQ(newer->toolTip(), unsupported);
    }
    for (QWidget* older : std::vector<QWidget*>{page.view.lowerBoundX, page.view.fingerFrequency,
                                                page.view.scanningRange, page.view.clickOnTouchEnabled}) {
        EXPECT_TRUE(older->isEnabled());
        EXPECT_EQ(older->toolTip(), "");
    }
}

TEST_F(GuiModelSensorTest, ASensorThatDoesNotReturnInConfigurationModeFailsTheSwitch)
{
    ASSERT_FALSE(PlugAndSelect("GUI0006", {"--reenumerate-ms", "6000"}).isEmpty());
    model.ReadParameters();
    EXPECT_EQ(window.messages, QStringList{"Error: Failed to set device in configuration mode."});
}

// A write whose page may be left damaged (here it reads back wrong, and so does the write-back) shows the
// line naming the saved page after the core's text, a blank line between.
TEST_F(GuiModelSensorTest, SensorFaultsShowTheCoresTexts)
{
    ASSERT_FALSE(PlugAndSelect("GUI0007", {"--mode", "dfu"}).isEmpty());
    Parameters page;
    page.fingerFrequency = 10;

    ASSERT_TRUE(sensors.Run({"fault", "GUI0007", "upload"}).has_value());
    model.ReadParameters();
    ASSERT_TRUE(sensors.Run({"fault", "GUI0007", "erase"}).has_value());
    model.WriteParameters(page);
    ASSERT_TRUE(sensors.Run({"fault", "GUI0007", "corrupt"}).has_value());
    model.WriteParameters(page);

    const QStringList saved = QDir(sensors.PageBackupFolder()).entryList(QDir::Files);
    ASSERT_EQ(saved.size(), 1);
    const QString path = sensors.PageBackupFolder() + "/" + saved[0];
    EXPECT_EQ(window.messages,
              (QStringList{ErrorText(TpError::UploadFailed()), ErrorText(TpError::EraseFailed()),
                           ErrorText(TpError::ParameterVerificationFailed()) + "\n\n" +
                               QString::fromStdString(tarnix::test::SavedPageLine(path.toStdString()))}));
}

TEST_F(GuiModelSensorTest, IncompatibleDriversAreReportedOnceUntilTheNextOperation)
{
    ASSERT_TRUE(sensors.Plug("GUI0008", {"--mode", "dfu", "--driver", "incompatible"}));
    ASSERT_TRUE(WaitFor([&] { return !window.messages.isEmpty(); }));
    QTest::qWait(500);  // about ten further search passes that see the same device
    ASSERT_EQ(window.messages.size(), 1);
    EXPECT_TRUE(window.messages[0].startsWith("Error: Incompatible DFU drivers found."));

    model.OnNewDevice("dfu-gone", "Device In Configuration Mode", true);
    model.SetCurrentDevice("dfu-gone");
    model.ReadParameters();
    ASSERT_TRUE(WaitFor([&] { return window.messages.size() == 3; }));
    EXPECT_TRUE(window.messages[2].startsWith("Error: Incompatible DFU drivers found."));
}

TEST_F(GuiModelSensorTest, AFirmwareWriteReportsProgressAndItsEnd)
{
    const QString firmware = sensors.FilePath("TS 2.5.hex");
    ASSERT_TRUE(sensors.Run({"make-firmware", "--version", "2.5", "-o", firmware}).has_value());
    ASSERT_FALSE(PlugAndSelect("GUI0009").isEmpty());

    std::optional<bool> overwrites;
    QObject::connect(&model, &GuiModel::UpdateFirmwareFileInformation,
                     [&overwrites](bool willOverwrite, QString&) { overwrites = willOverwrite; });
    model.CheckFirmwareFile(firmware);
    ASSERT_EQ(overwrites, std::optional<bool>(false)) << window.messages.join('\n').toStdString();

    QSignalSpy started(&model, &GuiModel::WriteFirmwareStarted);
    model.StartDownloadThread();
    ASSERT_EQ(started.count(), 1) << window.messages.join('\n').toStdString();
    ASSERT_TRUE(WaitFor([&] { return !window.writeEnded.isEmpty(); }));
    model.EndDownloadThread();

    EXPECT_EQ(window.writeEnded, "finished") << window.messages.join('\n').toStdString();
    // The changes of the percentage that the progress thread saw, handed to the window as they came.
    ASSERT_FALSE(window.progress.empty());
    EXPECT_GT(*std::max_element(window.progress.begin(), window.progress.end()), 0);
    for (const int percent : window.progress) {
        EXPECT_TRUE(percent >= 0 && percent <= 100) << percent;
    }
}

TEST_F(GuiModelSensorTest, AFirmwareThatFailsToProgramEndsTheWriteWithItsBox)
{
    const QString firmware = sensors.FilePath("TS 2.6.dfu");
    ASSERT_TRUE(sensors.Run({"make-firmware", "--version", "2.6", "-o", firmware}).has_value());
    ASSERT_FALSE(PlugAndSelect("GUI0010", {"--mode", "dfu"}).isEmpty());
    ASSERT_TRUE(sensors.Run({"fault", "GUI0010", "program"}).has_value());
    model.CheckFirmwareFile(firmware);

    model.StartDownloadThread();
    ASSERT_TRUE(WaitFor([&] { return !window.writeEnded.isEmpty(); }));
    model.EndDownloadThread();
    QTest::qWait(50);

    EXPECT_EQ(window.writeEnded, "failed");
    EXPECT_EQ(window.messages, QStringList{"Error: Firmware Write Failed."});
}

}  // namespace

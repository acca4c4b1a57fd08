#include "GuiTestSupport.h"

#include "core/TpError.h"
#include "gui/GuiModel.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMetaMethod>
#include <QStringList>
#include <QThread>

#include <string>
#include <thread>
#include <vector>

namespace {

const QString incompatibleDriversText =
    "Incompatible DFU drivers found.\n\nPlease follow these steps:\n* Do not unplug or reset the sensor.\n"
    "* One of:\n** In the toolbar, select Help -> Install DFU Drivers or\n"
    "** Run the Tarnix Programmer installer and select the Repair function.\n"
    "* If this popup occured after an operation, retry the operation.\n\nAdministrator rights needed.";
const QString oldHardwareText =
    "This firmware version is not supporting the hardware of 158 mm KLRM manufactured prior to 14th of April 2021.";
const QString overwriteText = "This firmware will overwrite any stored parameters.";

class GuiModelEventTest : public ::testing::Test {
protected:
    // The selected entry as the window hears it through UpdateDeviceInformation.
    std::optional<GuiTypes::ListDeviceItem> Select(const QString& name)
    {
        std::optional<GuiTypes::ListDeviceItem> heard;
        const auto connection = QObject::connect(&model, &GuiModel::UpdateDeviceInformation,
                                                 [&heard](GuiTypes::ListDeviceItem item) { heard = item; });
        model.SetCurrentDevice(name);
        QObject::disconnect(connection);
        return heard;
    }

    GuiModel model;
    QSignalSpy messages{&model, &GuiModel::PopInfoMessage};
};

TEST(GuiModelSignalsTest, TheSixteenSignalsAreDeclaredInOrderWithTheirParameterNames)
{
    const std::vector<std::pair<QByteArray, QByteArray>> expected = {
        {"NewDevice(QString,QString,bool)", "_deviceName,_devicePath,_isDfuDevice"},
        {"DeviceDisconnected(QString)", "_devicePath"},
        {"UpdateProgress(int)", "progress"},
        {"WriteFirmwareFinished()", ""},
        {"UpdateRParameters(Parameters&)", "_param"},
        {"UpdateWParameters(Parameters&)", "_param"},
        {"UpdateDeviceInformation(GuiTypes::ListDeviceItem)", "_item"},
        {"ClearDeviceInformation()", ""},
        {"PopInfoMessage(bool,QString,QString)", "_success,_title,_message"},
        {"PopWriteProgressDialog(QString)", "_message"},
        {"UpdateFirmwareFileInformation(bool,QString&)", "_willOverwrite,_path"},
        {"WriteFirmwareFailed()", ""},
        {"WriteFirmwareStarted()", ""},
        {"BeginWriteParameters()", ""},
        {"BeginReadParameters()", ""},
        {"LeaveConfigurationModeResult(bool)", "_ok"},
    };
    const QMetaObject& meta = GuiModel::staticMetaObject;
    std::vector<QMetaMethod> signalMethods;
    for (int i = meta.methodOffset(); i < meta.methodCount(); ++i) {
        if (meta.method(i).methodType() == QMetaMethod::Signal) {
            signalMethods.push_back(meta.method(i));
        }
    }
    ASSERT_EQ(signalMethods.size(), expected.size());
    for (std::size_t i = 0; i < expected.size(); ++i) {
        EXPECT_EQ(signalMethods[i].methodSignature(), expected[i].first);
        EXPECT_EQ(signalMethods[i].parameterNames().join(','), expected[i].second);
    }
}

TEST_F(GuiModelEventTest, ANewDeviceIsListedAndAnnouncedWithItsDescriptionFirst)
{
    QSignalSpy announced(&model, &GuiModel::NewDevice);
    model.OnNewDevice("\\\\?\\hid#sensor-1", "Morvel Tarnix TS-200 A1", false);

    ASSERT_EQ(announced.count(), 1);
    EXPECT_EQ(announced.at(0).at(0).toString(), "Morvel Tarnix TS-200 A1");
    EXPECT_EQ(announced.at(0).at(1).toString(), "\\\\?\\hid#sensor-1");
    EXPECT_FALSE(announced.at(0).at(2).toBool());

    const auto item = Select("\\\\?\\hid#sensor-1");
    ASSERT_TRUE(item.has_value());
    EXPECT_FALSE(item->inDfu);
    EXPECT_EQ(item->devicePath, "\\\\?\\hid#sensor-1");
    EXPECT_EQ(item->displayText, "Morvel Tarnix TS-200 A1");
    EXPECT_EQ(item->mcuId, "MCU ID PLACEHOLDER");
    EXPECT_EQ(model.GetCurrentDevice()->devicePath, item->devicePath);
}

TEST_F(GuiModelEventTest, AKnownNameReplacesItsEntryAndIsAnnouncedAgain)
{
    QSignalSpy announced(&model, &GuiModel::NewDevice);
    model.OnNewDevice("usb#dfu-1", "first text", false);
    model.OnNewDevice("usb#dfu-1", "Device In Configuration Mode", true);

    EXPECT_EQ(announced.count(), 2);
    const auto item = Select("usb#dfu-1");
    ASSERT_TRUE(item.has_value());
    EXPECT_TRUE(item->inDfu);
    EXPECT_EQ(item->displayText, "Device In Configuration Mode");

    // One entry for the name: one removal empties the list.
    model.OnDeviceDisconnected("usb#dfu-1");
    model.StartDownloadThread();
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(MessageAt(messages, 0).text, "No device connected.");
}

TEST_F(GuiModelEventTest, SelectingAnUnknownNameClearsTheInformationAndKeepsTheSelection)
{
    model.OnNewDevice("sensor-a", "A", false);
    Select("sensor-a");
    QSignalSpy cleared(&model, &GuiModel::ClearDeviceInformation);

    EXPECT_FALSE(Select("sensor-b").has_value());
    EXPECT_EQ(cleared.count(), 1);
    ASSERT_TRUE(model.GetCurrentDevice().has_value());
    EXPECT_EQ(model.GetCurrentDevice()->devicePath, "sensor-a");
}

TEST_F(GuiModelEventTest, AnyRemovalLeavesNoCurrentDeviceUntilTheWindowSelectsAgain)
{
    QSignalSpy removed(&model, &GuiModel::DeviceDisconnected);
    model.OnNewDevice("sensor-a", "A", false);
    model.OnNewDevice("sensor-b", "B", false);
    Select("sensor-a");

    model.OnDeviceDisconnected("sensor-b");
    EXPECT_FALSE(model.GetCurrentDevice().has_value());
    ASSERT_TRUE(Select("sensor-a").has_value());

    model.OnDeviceDisconnected("never-listed");
    EXPECT_FALSE(model.GetCurrentDevice().has_value());
    ASSERT_EQ(removed.count(), 2);
    EXPECT_EQ(removed.at(1).at(0).toString(), "never-listed");
    EXPECT_FALSE(Select("sensor-b").has_value());
}

TEST_F(GuiModelEventTest, CoreFailuresBecomeTheirErrorBoxes)
{
    TpError::FailedToGetDeviceHandle handleError;
    model.OnErrorConnectingToDevice(handleError);
    model.OnBadFirmwareFile();
    model.OnFailedFirmwareFileCheck();

    ASSERT_EQ(messages.count(), 3);
    const QStringList texts = {"Failed to connect to device.", "This file format is not supported.",
                               "Failed to check firmware file for persistent parameters."};
    for (int i = 0; i < 3; ++i) {
        EXPECT_FALSE(MessageAt(messages, i).information);
        EXPECT_EQ(MessageAt(messages, i).title, "Error");
        EXPECT_EQ(MessageAt(messages, i).text, texts[i]);
    }
}

TEST_F(GuiModelEventTest, WriteEventsAndTheLeaveResultArePassedOn)
{
    QSignalSpy progress(&model, &GuiModel::UpdateProgress);
    QSignalSpy finished(&model, &GuiModel::WriteFirmwareFinished);
    QSignalSpy left(&model, &GuiModel::LeaveConfigurationModeResult);
    model.OnUpdateProgress(57);
    model.OnWriteFirmwareFinished();
    model.OnLeaveDfuModeResult(false);

    ASSERT_EQ(progress.count(), 1);
    EXPECT_EQ(progress.at(0).at(0).toInt(), 57);
    EXPECT_EQ(finished.count(), 1);
    ASSERT_EQ(left.count(), 1);
    EXPECT_FALSE(left.at(0).at(0).toBool());
    EXPECT_EQ(messages.count(), 0);
}

TEST_F(GuiModelEventTest, AFailedWriteEndsTheWriteStateBeforeTheUserSeesTheBox)
{
    QStringList order;
    QObject::connect(&model, &GuiModel::WriteFirmwareFailed, [&order] { order << "failed"; });
    QObject::connect(&model, &GuiModel::PopInfoMessage,
                     [&order](bool, const QString&, const QString& text) { order << text; });
    model.OnWriteFirmwareFailed();

    EXPECT_EQ(order, (QStringList{"failed", "Firmware Write Failed."}));
}

TEST_F(GuiModelEventTest, ACheckedFileIsShownAndWarnedAboutInOrder)
{
    QStringList order;
    QString shownPath;
    QObject::connect(&model, &GuiModel::UpdateFirmwareFileInformation, [&](bool overwrites, QString& path) {
        order << (overwrites ? "overwrites" : "keeps");
        shownPath = path;
    });
    QObject::connect(&model, &GuiModel::PopInfoMessage,
                     [&order](bool information, const QString& title, const QString& text) {
                         EXPECT_FALSE(information);
                         EXPECT_EQ(title, "Warning");
                         order << text;
                     });
    std::string path = "/firmware/TS - 158 - 1.7.2.dfu";
    model.OnFirmwareFileChecked(true, path);

    EXPECT_EQ(order, (QStringList{"overwrites", overwriteText, oldHardwareText}));
    EXPECT_EQ(shownPath, QString::fromStdString(path));
}

TEST_F(GuiModelEventTest, TheOldHardwareWarningNeedsTheWholeMarkerInThePath)
{
    std::string path = "/firmware/158-1.7.2/TS 158 - 1.7.2.hex";
    model.OnFirmwareFileChecked(false, path);
    EXPECT_EQ(messages.count(), 0);

    std::string marked = "/firmware/- 158 - 1.7.2/fw.hex";
    model.OnFirmwareFileChecked(false, marked);
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(MessageAt(messages, 0).text, oldHardwareText);
}

TEST_F(GuiModelEventTest, TheIncompatibleDriversBoxIsShownOnceUntilAnOperationStarts)
{
    model.OnIncompatibleDfuDrivers();
    model.OnIncompatibleDfuDrivers();
    ASSERT_EQ(messages.count(), 1);
    EXPECT_EQ(MessageAt(messages, 0).title, "Error");
    EXPECT_EQ(MessageAt(messages, 0).text, incompatibleDriversText);

    // An operation that stops at its device check leaves the flag as it was.
    Parameters page;
    model.WriteParameters(page);
    model.OnIncompatibleDfuDrivers();
    ASSERT_EQ(messages.count(), 2);
    EXPECT_EQ(MessageAt(messages, 1).text, "No device connected.");

    // One that gets past it clears the flag, so the next report is shown again.
    model.OnNewDevice("dfu-gone", "Device In Configuration Mode", true);
    model.SetCurrentDevice("dfu-gone");
    model.ReadParameters();
    model.OnIncompatibleDfuDrivers();
    model.OnIncompatibleDfuDrivers();
    ASSERT_EQ(messages.count(), 4);
    EXPECT_EQ(MessageAt(messages, 2).text, "Unable to connect to selected device.");
    EXPECT_EQ(MessageAt(messages, 3).text, incompatibleDriversText);
}

TEST_F(GuiModelEventTest, EventsFromACoreThreadReachTheWindowQueuedOnItsOwnThread)
{
    QObject window;
    QThread* guiThread = QThread::currentThread();
    std::vector<std::pair<QString, bool>> heard;
    QObject::connect(&model, &GuiModel::NewDevice, &window, [&](QString text, QString, bool) {
        heard.emplace_back(text, QThread::currentThread() == guiThread);
    });
    QObject::connect(&model, &GuiModel::PopInfoMessage, &window, [&](bool, QString, QString text) {
        heard.emplace_back(text, QThread::currentThread() == guiThread);
    });

    std::thread search([this] {
        model.OnNewDevice("sensor-q", "Queued sensor", false);
        model.OnIncompatibleDfuDrivers();
    });
    search.join();
    EXPECT_TRUE(heard.empty());  // nothing runs on the search thread

    QCoreApplication::processEvents();
    ASSERT_EQ(heard.size(), 2U);
    EXPECT_EQ(heard[0], std::make_pair(QString("Queued sensor"), true));
    EXPECT_EQ(heard[1], std::make_pair(incompatibleDriversText, true));
    EXPECT_TRUE(Select("sensor-q").has_value());
}

}  // namespace

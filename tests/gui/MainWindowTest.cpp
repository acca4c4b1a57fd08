#include "MessageBoxLines.h"
#include "ModalAnswerer.h"
#include "SimulatedSensors.h"

#include "core/ParameterPageBackup.h"
#include "core/Serialization.h"
#include "core/TpError.h"
#include "gui/GuiTypes.h"
#include "gui/MainWindow.h"

#include <gtest/gtest.h>

#include <QAction>
#include <QComboBox>
#include <QDir>
#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>
#include <QSet>
#include <QTabWidget>
#include <QGraphicsScene>
#include <QGraphicsSimpleTextItem>
#include <QGraphicsView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QProgressBar>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>

#include <algorithm>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

constexpr int settleMs = 10000;

// The real window against a private simulated bus, with every modal dialog answered.
class MainWindowTest : public ::testing::Test {
protected:
    ~MainWindowTest() override { window.reset(); }

    static bool WaitFor(const std::function<bool()>& condition) { return QTest::qWaitFor(condition, settleMs); }

    template <typename Widget>
    Widget* Find(const char* name)
    {
        return window->findChild<Widget*>(name);
    }

    QComboBox* Devices() { return Find<QComboBox>("deviceComboBox"); }
    QString LabelText(const char* name) { return Find<QLabel>(name)->text(); }
    QAction* LeaveAction() { return Find<QAction>("leaveConfigurationModeAction"); }

    QPushButton* Button(const QString& text)
    {
        for (QPushButton* button : window->findChildren<QPushButton*>()) {
            if (button->text() == text) {
                return button;
            }
        }
        return nullptr;
    }

    void Click(const QString& text)
    {
        QPushButton* button = Button(text);
        ASSERT_NE(button, nullptr) << text.toStdString();
        button->click();
    }

    // The page's input widgets are named after the schema paths of their fields.
    QLineEdit* Field(const char* path) { return Find<QLineEdit>(path); }
    QComboBox* Choice(const char* path) { return Find<QComboBox>(path); }

    void SetBounds(const QString& lowerX, const QString& lowerY, const QString& upperX, const QString& upperY)
    {
        Field("deviceConfiguration.subTouchActiveArea.min.x")->setText(lowerX);
        Field("deviceConfiguration.subTouchActiveArea.min.y")->setText(lowerY);
        Field("deviceConfiguration.subTouchActiveArea.max.x")->setText(upperX);
        Field("deviceConfiguration.subTouchActiveArea.max.y")->setText(upperY);
    }

    // The visualizer's corner labels, top left, top right, bottom left, bottom right; empty while hidden.
    QStringList CornerTexts()
    {
        QStringList texts;
        const QGraphicsScene* scene = window->findChild<QGraphicsView*>()->scene();
        for (QGraphicsItem* item : scene->items(Qt::AscendingOrder)) {
            if (auto* label = dynamic_cast<QGraphicsSimpleTextItem*>(item); label != nullptr && label->isVisible()) {
                texts << label->text();
            }
        }
        return texts;
    }

    // Waits until a sensor whose device name holds the serial is listed; its index in the list.
    int WaitUntilListed(const QString& serial)
    {
        int index = -1;
        WaitFor([&] {
            for (int i = 0; i < Devices()->count(); ++i) {
                if (Devices()->itemData(i).toString().contains(serial)) {
                    index = i;
                    return true;
                }
            }
            return false;
        });
        return index;
    }

    bool IsInMode(const QString& serial, const QString& mode)
    {
        const std::optional<QString> list = sensors.Run({"list"});
        for (const QString& line : list.value_or(QString()).split('\n')) {
            const QStringList words = line.split(' ', Qt::SkipEmptyParts);
            if (words.size() >= 4 && words[0] == serial && words[1] == mode && words[3] != "-") {
                return true;
            }
        }
        return false;
    }

    SimulatedSensors sensors;
    ModalAnswerer answerer;
    std::unique_ptr<MainWindow> window = std::make_unique<MainWindow>();
};

}  // namespace

namespace {

Parameters ParseArea(const QByteArray& area)
{
    Parameters parameters;
    Serialization::GetInstance().Deserialize(reinterpret_cast<const unsigned char*>(area.constData()), parameters,
                                             static_cast<std::size_t>(area.size()));
    return parameters;
}

TEST_F(MainWindowTest, ListsAPluggedSensorWithItsInformationAndClearsItWhenTheSensorIsUnplugged)
{
    ASSERT_TRUE(sensors.Plug("SN-LIST", {"--firmware", "2.7", "--mcu", "1a2b3c"}));
    ASSERT_GE(WaitUntilListed("SN-LIST"), 0);
    ASSERT_TRUE(WaitFor([&] { return LabelText("firmwareVersionLabel") == "2.7"; }));
    EXPECT_EQ(LabelText("mcuIdLabel"), "1A2B3C");
    EXPECT_EQ(Devices()->currentIndex(), 0);
    EXPECT_FALSE(LeaveAction()->isEnabled());

    ASSERT_TRUE(sensors.Run({"unplug", "SN-LIST"}));
    ASSERT_TRUE(WaitFor([&] { return Devices()->count() == 0; }));
    EXPECT_EQ(LabelText("firmwareVersionLabel"), "");
    EXPECT_EQ(LabelText("mcuIdLabel"), "");
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(MainWindowTest, ReadFillsThePageAndWriteStoresThePageFieldsOnTheSensor)
{
    ASSERT_TRUE(sensors.Plug("SN-PARAM"));
    ASSERT_GE(WaitUntilListed("SN-PARAM"), 0);
    Click("Read Parameters");
    ASSERT_TRUE(WaitFor([&] { return Field("deviceConfiguration.subTouchActiveArea.max.x")->text() == "4095"; }));
    EXPECT_EQ(Field("deviceConfiguration.sizeRestriction.maxSize")->text(), "400");
    // The sensor now waits in configuration mode, and the window says so.
    ASSERT_TRUE(WaitFor([&] { return LeaveAction()->isEnabled(); }));

    Field("deviceConfiguration.sizeRestriction.maxSize")->setText("321");
    Click("Write Parameters");
    ASSERT_TRUE(WaitFor([&] { return !answerer.boxes.empty(); }));
    EXPECT_EQ(answerer.boxes.front().title, "Success");
    EXPECT_EQ(answerer.Texts(), QStringList{"Download succeeded."});
    const Parameters stored = ParseArea(sensors.ReadParameterArea("SN-PARAM"));
    ASSERT_TRUE(stored.deviceConfiguration && stored.deviceConfiguration->sizeRestriction);
    EXPECT_EQ(stored.deviceConfiguration->sizeRestriction->maxSize, 321);
}

TEST_F(MainWindowTest, AHalfFilledPairIsReportedBeforeAnythingIsWritten)
{
    ASSERT_TRUE(sensors.Plug("SN-HALF"));
    ASSERT_GE(WaitUntilListed("SN-HALF"), 0);
    Field("deviceConfiguration.hidDisplaySize.x")->setText("1920");
    Click("Write Parameters");
    ASSERT_TRUE(WaitFor([&] { return !answerer.boxes.empty(); }));
    EXPECT_EQ(answerer.boxes.front().title, "Error");
    EXPECT_TRUE(answerer.boxes.front().text.contains("HID Display Size")) << answerer.boxes.front().text.toStdString();
    EXPECT_TRUE(IsInMode("SN-HALF", "normal"));
}

TEST_F(MainWindowTest, FirmwareWriteRunsToTheEndAndTheSensorReturnsWithTheNewVersion)
{
    ASSERT_TRUE(sensors.Plug("SN-FLASH", {"--firmware", "2.4", "--page-ms", "20"}));
    ASSERT_GE(WaitUntilListed("SN-FLASH"), 0);
    const QString firmware = sensors.FilePath("firmware-2.5.hex");
    ASSERT_TRUE(sensors.Run({"make-firmware", "--version", "2.5", "-o", firmware}));
    window->SetFirmwareFile(firmware);
    EXPECT_EQ(LabelText("selectedFileLabel"), "firmware-2.5.hex");

    Click("Write Firmware");
    auto* dialog = window->findChild<QProgressDialog*>("progressDialog");
    ASSERT_NE(dialog, nullptr);
    QSignalSpy progress(dialog->findChild<QProgressBar*>(), &QProgressBar::valueChanged);
    EXPECT_FALSE(Button("Write Firmware")->isEnabled());
    EXPECT_FALSE(Button("Read Parameters")->isEnabled());
    // The model's threads must end before the window may go.
    EXPECT_FALSE(window->close());
    EXPECT_TRUE(answerer.Texts().contains(
        "A firmware write is in progress. Please wait until it has finished before closing Tarnix Programmer."));

    ASSERT_TRUE(WaitFor([&] { return LabelText("firmwareVersionLabel") == "2.5"; }));
    EXPECT_TRUE(Button("Write Firmware")->isEnabled());
    EXPECT_TRUE(Button("Read Parameters")->isEnabled());
    EXPECT_FALSE(dialog->isVisible());
    QList<int> values;
    for (const QList<QVariant>& change : progress) {
        values << change.at(0).toInt();
    }
    EXPECT_TRUE(values.contains(100));
    EXPECT_EQ(answerer.boxes.size(), 1u);
}

TEST_F(MainWindowTest, LeaveConfigurationModeIsOfferedOnlyForASensorInConfigurationMode)
{
    ASSERT_TRUE(sensors.Plug("SN-NORMAL"));
    ASSERT_GE(WaitUntilListed("SN-NORMAL"), 0);
    ASSERT_TRUE(WaitFor([&] { return !LabelText("firmwareVersionLabel").isEmpty(); }));
    EXPECT_FALSE(LeaveAction()->isEnabled());

    ASSERT_TRUE(sensors.Plug("SN-DFU", {"--mode", "dfu"}));
    const int dfu = WaitUntilListed("SN-DFU");
    ASSERT_GE(dfu, 0);
    Devices()->setCurrentIndex(dfu);
    emit Devices()->activated(dfu);
    EXPECT_TRUE(LeaveAction()->isEnabled());

    const int normal = WaitUntilListed("SN-NORMAL");
    Devices()->setCurrentIndex(normal);
    emit Devices()->activated(normal);
    EXPECT_FALSE(LeaveAction()->isEnabled());

    Devices()->setCurrentIndex(WaitUntilListed("SN-DFU"));
    emit Devices()->activated(Devices()->currentIndex());
    LeaveAction()->trigger();
    EXPECT_FALSE(LeaveAction()->isEnabled());
    EXPECT_TRUE(WaitFor([&] { return IsInMode("SN-DFU", "normal"); }));
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(MainWindowTest, ClosingTheWindowBringsASensorInConfigurationModeBackToNormalMode)
{
    ASSERT_TRUE(sensors.Plug("SN-CLOSE", {"--mode", "dfu"}));
    ASSERT_GE(WaitUntilListed("SN-CLOSE"), 0);
    EXPECT_TRUE(window->close());
    window.reset();
    EXPECT_TRUE(WaitFor([&] { return IsInMode("SN-CLOSE", "normal"); }));
    EXPECT_TRUE(answerer.boxes.empty());
}

TEST_F(MainWindowTest, VisualizerCornersFollowTheBoundsTheSettingsAndTheFourRotations)
{
    Click("Toggle Visualizer");
    SetBounds("136", "0", "236", "50");
    // At start the sensor is shown back side up.
    EXPECT_EQ(CornerTexts(), QStringList({"(100,0)", "(0,0)", "(100,50)", "(0,50)"}));
    Choice("deviceConfiguration.subTouchActiveArea.reverseX")->setCurrentText("On");
    EXPECT_EQ(CornerTexts(), QStringList({"(0,0)", "(100,0)", "(0,50)", "(100,50)"}));
    Choice("deviceConfiguration.subTouchActiveArea.reverseY")->setCurrentText("On");
    EXPECT_EQ(CornerTexts(), QStringList({"(0,50)", "(100,50)", "(0,0)", "(100,0)"}));
    Choice("deviceConfiguration.subTouchActiveArea.flipXY")->setCurrentText("On");
    EXPECT_EQ(CornerTexts(), QStringList({"(50,0)", "(50,100)", "(0,0)", "(0,100)"}));
    Choice("deviceConfiguration.subTouchActiveArea.reverseX")->setCurrentText("Off");
    Choice("deviceConfiguration.subTouchActiveArea.reverseY")->setCurrentText("Off");
    Choice("deviceConfiguration.subTouchActiveArea.flipXY")->setCurrentText("");
    Click("Flip Sensor");
    EXPECT_EQ(LabelText("mountingLabel"), "Mounted: Front side up");
    EXPECT_EQ(CornerTexts(), QStringList({"(0,0)", "(100,0)", "(0,50)", "(100,50)"}));

    Field("deviceConfiguration.subTouchActiveArea.offset.x")->setText("7");
    Field("deviceConfiguration.subTouchActiveArea.offset.y")->setText("3");
    EXPECT_EQ(CornerTexts(), QStringList({"(7,3)", "(107,3)", "(7,53)", "(107,53)"}));
    Field("deviceConfiguration.subTouchActiveArea.offset.x")->clear();
    EXPECT_EQ(CornerTexts(), QStringList({"(0,3)", "(100,3)", "(0,53)", "(100,53)"}));

    for (const char* position : {"Left", "Bottom", "Right", "Top"}) {
        Click("Rotate Sensor");
        EXPECT_EQ(LabelText("positionLabel"), QString("Sensor Position: ") + position);
        EXPECT_EQ(CornerTexts(), QStringList({"(0,3)", "(100,3)", "(0,53)", "(100,53)"}));
    }

    // Upper equal to lower on one axis hides the area and its labels.
    Field("deviceConfiguration.subTouchActiveArea.max.y")->setText("0");
    EXPECT_TRUE(CornerTexts().isEmpty());
}

}  // namespace

namespace {

// Under a real X server the whole screen is taken, dialogs and all; elsewhere the widget draws itself.
bool SaveScreenshot(QWidget* widget, const QString& name)
{
    QDir().mkpath(TARNIX_SCREENSHOT_DIR);
    QTest::qWait(300);
    const QPixmap shot = QGuiApplication::platformName() == "xcb" ? widget->screen()->grabWindow(0) : widget->grab();
    const QImage image = shot.toImage();
    // A picture of one or two colours shows nothing of a window.
    QSet<QRgb> colours;
    for (int step = 0; step < 100 && !image.isNull(); ++step) {
        colours.insert(image.pixel(image.width() * step / 100, image.height() * step / 100));
    }
    const bool drawn = colours.size() > 2;
    return shot.save(QString(TARNIX_SCREENSHOT_DIR) + "/" + name) && drawn;
}

TEST_F(MainWindowTest, ScreenshotsOfTheFirmwarePageTheParameterPageAndTheProgressDialog)
{
    ASSERT_TRUE(sensors.Plug("SN-SHOT", {"--page-ms", "40"}));
    ASSERT_GE(WaitUntilListed("SN-SHOT"), 0);
    const QString firmware = sensors.FilePath("firmware-2.5.hex");
    ASSERT_TRUE(sensors.Run({"make-firmware", "--version", "2.5", "-o", firmware}));
    window->SetFirmwareFile(firmware);
    ASSERT_TRUE(WaitFor([&] { return !LabelText("firmwareVersionLabel").isEmpty(); }));
    EXPECT_TRUE(SaveScreenshot(window.get(), "firmware-page.png"));

    Click("Configure Parameters");
    Click("Read Parameters");
    ASSERT_TRUE(WaitFor([&] { return !Field("deviceConfiguration.subTouchActiveArea.max.x")->text().isEmpty(); }));
    Click("Toggle Visualizer");
    SetBounds("136", "100", "2036", "1300");
    EXPECT_TRUE(SaveScreenshot(window.get(), "parameter-page.png"));

    Find<QTabWidget>("tabWidget")->setCurrentIndex(0);
    Click("Write Firmware");
    auto* dialog = window->findChild<QProgressDialog*>("progressDialog");
    ASSERT_NE(dialog, nullptr);
    ASSERT_TRUE(WaitFor([&] { return dialog->value() >= 20; }));
    EXPECT_TRUE(SaveScreenshot(dialog, "progress-dialog.png"));
    ASSERT_TRUE(WaitFor([&] { return LabelText("firmwareVersionLabel") == "2.5"; }));
}

// The box as the screen shows it: under a real X server the box's window as the server holds it once the box
// has drawn itself; elsewhere the box draws itself into the picture.
QPixmap BoxPicture(QMessageBox& box)
{
    if (QGuiApplication::platformName() != "xcb") {
        return box.grab();
    }
    struct PaintSeen : QObject {
        bool painted = false;
        bool eventFilter(QObject*, QEvent* event) override
        {
            painted = painted || event->type() == QEvent::Paint;
            return false;
        }
    } seen;
    box.installEventFilter(&seen);
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&box));
    box.update();
    EXPECT_TRUE(QTest::qWaitFor([&] { return seen.painted; }));
    box.removeEventFilter(&seen);
    QCoreApplication::processEvents();
    return box.screen()->grabWindow(box.winId());
}

// The messages the desktop model sends to the window (information or not, title, text), each as the window
// gets it: every error, warning and success box of the sensor operations, the firmware file check, the driver
// check and the version check, and the longest messages of the core's failures.
struct ModelMessage {
    bool information;
    QString title;
    QString text;
};

// The line after a failed parameter write that names where the page from before it is (or why it is not),
// as the core words it, after the write's error, as the desktop model joins them.
QString PageNotice(const char* error, const ParameterPageBackup::Outcome& outcome)
{
    return QString(error) + "\n\n" + QString::fromStdString(ParameterPageBackup::Notice(outcome));
}

// A home folder of 220 characters in folders with hyphenated names, and the saved page's file in its data
// folder: a path of 286 characters.
const std::string longHome =
    "/home/maria-jose-fernandez-de-la-cruz/service-visits-and-repairs/north-east-region-hospitals/"
    "saint-mary-general-hospital-east-wing/ward-3b-nurse-station-kiosks/field-service-engineer-team-blue/"
    "sensor-replacement-jan-2025";
const std::string longSavedPage = longHome + "/.local/share/tarnix-programmer/parameters-31-01-2025_12-00-00.hex";

std::vector<ModelMessage> ModelMessages()
{
    ParameterPageBackup::Outcome saved;
    saved.path = "/home/maria/.local/share/tarnix-programmer/parameters-31-01-2025_12-00-00.hex";
    ParameterPageBackup::Outcome savedInLongHome;
    savedInLongHome.path = longSavedPage;
    ParameterPageBackup::Outcome blank;
    blank.blank = true;
    ParameterPageBackup::Outcome notSaved;
    notSaved.failure = "the folder " + longHome + "/.local cannot be made (Permission denied)";
    const auto error = [](const QString& text) { return ModelMessage{false, "Error", text}; };
    const auto warning = [](const QString& text) { return ModelMessage{false, "Warning", text}; };
    return {
        error("Failed to connect to device."),
        error("This file format is not supported."),
        error("Failed to check firmware file for persistent parameters."),
        error("Firmware Write Failed."),
        error("Incompatible DFU drivers found.\n\nPlease follow these steps:\n* Do not unplug or reset the sensor.\n"
              "* One of:\n** In the toolbar, select Help -> Install DFU Drivers or\n"
              "** Run the Tarnix Programmer installer and select the Repair function.\n"
              "* If this popup occured after an operation, retry the operation.\n\nAdministrator rights needed."),
        error("No device connected."),
        error("No firmware file loaded."),
        error("Failed to set device in configuration mode."),
        error("Too long path. Supports up to 259 characters."),
        error("Device is not in configuration mode."),
        error("Unable to ascertain if the firmware supports persistant parameters or not.\n"
              "If the program was started while the sensor was in Configuration/DFU mode, or if you used the Install "
              "DFU Drivers menu option, please press Leave Configuration Mode and try again.\n"
              "If the sensor is running a 1.x firmware, please update to the latest firmware and try again."),
        error("This version of Tarnix Programmer is outdated and not compatible\nwith the current firmware version. "
              "\t\t\t\t\n\nPlease download the latest version of Tarnix Programmer."),
        error("Invalid scanning range provided. Read parameters to get possible scanning ranges for selected sensor. "
              "Save parameters to json file if you wish to keep them."),
        error("The parameters do not fit the sensor's 2048-byte parameter area."),
        error(PageNotice(TpError::DownloadFailed().what(), saved)),
        error(PageNotice(TpError::EraseFailed().what(), savedInLongHome)),
        error(PageNotice(TpError::ParameterVerificationFailed().what(), notSaved)),
        error(PageNotice(TpError::DownloadFailed().what(), blank)),
        warning("This firmware will overwrite any stored parameters."),
        warning("This firmware version is not supporting the hardware of 158 mm KLRM manufactured prior to 14th of "
                "April 2021."),
        ModelMessage{true, "Success", "Download succeeded."},
    };
}

TEST_F(MainWindowTest, EveryMessageBoxShowsEachLineOfItsTextWholeWhereTheScreenAllows)
{
    std::vector<MessageBoxLines> shown;
    answerer.inspectBox = [&](QMessageBox* box) {
        shown.push_back(MeasureMessageBox(*box));
        QDir().mkpath(TARNIX_SCREENSHOT_DIR);
        const QString name =
            QString("message-box-%1-%2.png").arg(shown.back().screenWidth).arg(shown.size(), 2, 10, QChar('0'));
        BoxPicture(*box).save(QString(TARNIX_SCREENSHOT_DIR) + "/" + name);
    };
    // The window's own boxes, each as the user meets it.
    Find<QAction>("troubleshootingAction")->trigger();
    Find<QAction>("aboutAction")->trigger();
    window->OnLeaveConfigurationModeResult(false);
    Field("deviceConfiguration.hidDisplaySize.x")->setText("1920");
    window->OnBeginWriteParameters();
    window->OnWriteFirmwareStarted();
    EXPECT_FALSE(window->close());
    window->OnWriteFirmwareFailed();
    // The model's boxes.
    const std::vector<ModelMessage> messages = ModelMessages();
    for (const ModelMessage& message : messages) {
        window->OnPopInfoMessage(message.information, message.title, message.text);
    }

    ASSERT_EQ(shown.size(), 5 + messages.size());
    EXPECT_EQ(shown[0].title, "Troubleshooting");
    EXPECT_EQ(shown[0].text.toStdString(),
              "If writing a firmware fails or the sensor stops working check the following:\n\n"
              "        * Check that all connectors are plugged in correctly.\n"
              "        * Unplug the sensor, press and hold the black button on\n"
              "            the interfaceboard while plugging the sensor back in.\n"
              "        * Try another USB port, preferably connected directly with \n"
              "            the computer without any hub or docking station between.\n"
              "\n\n"
              "If the problem persists, refer to: https://support.morvel.example for documentation and support. \n");
    EXPECT_EQ(shown[1].title, "About Tarnix Programmer");
    EXPECT_EQ(shown[2].text,
              "Failed to leave configuration mode. Please physically disconnect and connect the sensor "
              "or try again.");
    EXPECT_EQ(shown[3].text, "Missing input: HID Display Size Y.");
    EXPECT_EQ(shown[4].text,
              "A firmware write is in progress. Please wait until it has finished before closing "
              "Tarnix Programmer.");
    for (std::size_t i = 0; i < messages.size(); ++i) {
        EXPECT_EQ(shown[5 + i].title, messages[i].title);
        EXPECT_EQ(shown[5 + i].text, messages[i].text);
    }
    for (const MessageBoxLines& box : shown) {
        const QStringList faults = WholeLineFaults(box);
        EXPECT_TRUE(faults.isEmpty()) << box.text.left(60).toStdString() << "...\n" << faults.join('\n').toStdString();
    }
    // The line with the long path, too long for any box, wraps (between its folders) in a box as wide as the
    // screen allows.
    const QString longPath = QString::fromStdString(longSavedPage);
    const auto overlong = std::find_if(shown.begin(), shown.end(),
                                       [&](const MessageBoxLines& box) { return box.text.contains(longPath); });
    ASSERT_NE(overlong, shown.end());
    ASSERT_EQ(overlong->paragraphs.size(), 3u);
    EXPECT_GT(overlong->paragraphs.back().wholeWidth, overlong->roomAtLimit);
    EXPECT_GT(overlong->paragraphs.back().lineStarts.size(), 2u);
}

}  // namespace

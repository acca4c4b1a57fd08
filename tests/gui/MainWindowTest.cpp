#include "ModalAnswerer.h"
#include "SimulatedSensors.h"

#include "core/Serialization.h"
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
#include <QTextLayout>
#include <QTextOption>

#include <algorithm>
#include <functional>
#include <memory>

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

// Each line of a label's text as the label lays it out with word wrap at the width its text gets (the label's
// contents less its margin and indent): the visual lines it takes, trimmed.
std::vector<QStringList> WrappedLines(const QLabel& label)
{
    std::vector<QStringList> wrapped;
    const int width = label.contentsRect().width() - 2 * label.margin() - std::max(label.indent(), 0);
    QTextOption wrapAtWords;
    wrapAtWords.setWrapMode(QTextOption::WordWrap);
    for (const QString& line : label.text().split('\n')) {
        QTextLayout layout(line, label.font());
        layout.setTextOption(wrapAtWords);
        layout.beginLayout();
        QStringList parts;
        for (QTextLine part = layout.createLine(); part.isValid(); part = layout.createLine()) {
            part.setLineWidth(width);
            parts << line.mid(part.textStart(), part.textLength()).trimmed();
        }
        layout.endLayout();
        wrapped.push_back(parts);
    }
    return wrapped;
}

// The widest QMessageBox makes itself on a screen.
int MessageBoxWidthLimit(const QScreen& screen)
{
    const int width = screen.availableGeometry().width();
    return width <= 1024 ? width : std::min(width - 480, 1000);
}

TEST_F(MainWindowTest, TheTroubleshootingBoxShowsEachLineOfItsTextWholeWhereTheScreenAllows)
{
    std::vector<QStringList> wrapped;
    bool labelInsideBox = false;
    bool boxAtItsLimit = false;
    answerer.inspectBox = [&](QMessageBox* box) {
        for (const QLabel* label : box->findChildren<QLabel*>()) {
            if (label->text() == box->text()) {
                wrapped = WrappedLines(*label);
                labelInsideBox = box->rect().contains(QRect(label->mapTo(box, QPoint(0, 0)), label->size()));
            }
        }
        boxAtItsLimit = box->width() >= MessageBoxWidthLimit(*box->screen());
        QDir().mkpath(TARNIX_SCREENSHOT_DIR);
        box->grab().save(QString(TARNIX_SCREENSHOT_DIR) + "/troubleshooting-box.png");
    };
    Find<QAction>("troubleshootingAction")->trigger();

    ASSERT_EQ(answerer.boxes.size(), 1u);
    EXPECT_EQ(answerer.boxes[0].title, "Troubleshooting");
    EXPECT_EQ(answerer.boxes[0].text.toStdString(),
              "If writing a firmware fails or the sensor stops working check the following:\n\n"
              "        * Check that all connectors are plugged in correctly.\n"
              "        * Unplug the sensor, press and hold the black button on\n"
              "            the interfaceboard while plugging the sensor back in.\n"
              "        * Try another USB port, preferably connected directly with \n"
              "            the computer without any hub or docking station between.\n"
              "\n\n"
              "If the problem persists, refer to: https://support.morvel.example for documentation and support. \n");
    const QStringList lines = answerer.boxes[0].text.split('\n');
    ASSERT_EQ(wrapped.size(), static_cast<std::size_t>(lines.size()));
    EXPECT_TRUE(labelInsideBox) << "the text is cut off at the box's edge";
    for (std::size_t i = 0; i < wrapped.size(); ++i) {
        const std::string line = lines[static_cast<int>(i)].toStdString();
        if (wrapped[i].size() > 1) {
            EXPECT_TRUE(boxAtItsLimit) << "wrapped in a box that could be wider: " << line;
        }
        for (const QString& part : wrapped[i]) {
            EXPECT_FALSE(wrapped[i].size() > 1 && !part.contains(' ')) << "a single word on a line: " << line;
        }
    }
}

}  // namespace

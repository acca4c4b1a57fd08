#include "core/SingleInstanceGuard.h"
#include "gui/DesktopApplication.h"
#include "gui/MainWindow.h"
#include "platform/NamedMutex.h"
#include "tests/support/ScopedEnvironmentVariable.h"
#include "tests/gui/MessageBoxLines.h"
#include "tests/support/SimulatedBus.h"

#include <gtest/gtest.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QMessageBox>
#include <QPixmap>
#include <QTimer>

#include <string>
#include <utility>
#include <vector>

namespace {

// What the probe saw while the program ran.
struct Seen {
    std::vector<MessageBoxLines> boxes;
    bool window = false;
    QString selectedFile;
    QString applicationName;  // the class of the window's X11 WM_CLASS
    QString desktopFileName;  // the window's Wayland app_id
};
Seen seen;

// Runs inside the program's event loop from the moment its application object exists: confirms every
// message box (its picture in the screenshot folder), and once the main window stands, notes the firmware page's file
// name and closes the window.
void ArmProbe()
{
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            seen.boxes.push_back(MeasureMessageBox(*box));
            QDir().mkpath(TARNIX_SCREENSHOT_DIR);
            box->grab().save(QString(TARNIX_SCREENSHOT_DIR "/start-message-box-%1-%2.png")
                                 .arg(seen.boxes.back().screenWidth)
                                 .arg(seen.boxes.size()));
            box->buttons().first()->click();
            return;
        }
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (window != nullptr && window->isVisible()) {
                seen.window = true;
                seen.selectedFile = window->findChild<QLabel*>("selectedFileLabel")->text();
                seen.applicationName = QGuiApplication::applicationName();
                seen.desktopFileName = QGuiApplication::desktopFileName();
                window->close();
            }
        }
    });
    timer->start(300);
}

class DesktopApplicationTest : public ::testing::Test {
protected:
    DesktopApplicationTest() { seen = Seen(); }

    int Run(std::vector<std::string> arguments) { return RunAs("TarnixProgrammer", std::move(arguments)); }

    int RunAs(const std::string& program, std::vector<std::string> arguments)
    {
        arguments.insert(arguments.begin(), program);
        std::vector<char*> argv;
        for (std::string& argument : arguments) {
            argv.push_back(argument.data());
        }
        argv.push_back(nullptr);
        return DesktopApplication::Run(static_cast<int>(arguments.size()), argv.data());
    }

    std::string MakeFirmware(const char* name)
    {
        EXPECT_EQ(bus.MakeFirmware(name, {"--version", "2.6"}).exitCode, 0);
        return bus.File(name);
    }

    // The test's folder holds the bus ($TARNIX_SIM_DIR) and the firmware files; its path also makes the
    // test's single-instance mutex its own.
    tarnix::test::SimulatedBus bus;
    tarnix::test::ScopedEnvironmentVariable mutexPrefix{"TARNIX_MUTEX_PREFIX", bus.Files().Path().string() + ":"};
};

TEST_F(DesktopApplicationTest, ASecondInstanceOnlyShowsAWarningWithoutTitleAndEndsWithZero)
{
    const tarnix::platform::NamedMutex running(SingleInstanceGuard::kProgramMutexName);
    ASSERT_FALSE(running.AlreadyExisted());
    EXPECT_EQ(Run({}), 0);
    ASSERT_EQ(seen.boxes.size(), 1u);
    EXPECT_EQ(seen.boxes[0].title, "");
    EXPECT_EQ(seen.boxes[0].text,
              "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already "
              "running, this one will be closed.");
    EXPECT_EQ(WholeLineFaults(seen.boxes[0]).join('\n').toStdString(), "");
    EXPECT_FALSE(seen.window);
}

TEST_F(DesktopApplicationTest, TheOneArgumentIsCheckedAsTheFirmwareFile)
{
    const std::string firmware = MakeFirmware("given-2.6.hex");
    EXPECT_EQ(Run({firmware}), 0);
    EXPECT_TRUE(seen.window);
    EXPECT_EQ(seen.selectedFile, "given-2.6.hex");
    EXPECT_TRUE(seen.boxes.empty());
}

TEST_F(DesktopApplicationTest, TwoArgumentsAreIgnored)
{
    const std::string firmware = MakeFirmware("ignored-2.6.hex");
    EXPECT_EQ(Run({firmware, firmware}), 0);
    EXPECT_TRUE(seen.window);
    EXPECT_EQ(seen.selectedFile, "");
}

// The value of a key of the packaged desktop entry's template.
QString DesktopEntryValue(const QString& key)
{
    QFile entry(TARNIX_DESKTOP_ENTRY_TEMPLATE);
    EXPECT_TRUE(entry.open(QIODevice::ReadOnly | QIODevice::Text));
    for (const QString& line : QString::fromUtf8(entry.readAll()).split('\n')) {
        if (line.startsWith(key + "=")) {
            return line.mid(key.size() + 1);
        }
    }
    return QString();
}

// Docks and task bars find a window's launcher by its app_id (the desktop entry's file name) or its window
// class (the entry's StartupWMClass), whatever name the program was started under.
TEST_F(DesktopApplicationTest, TheWindowNamesTheDesktopEntryItBelongsTo)
{
    EXPECT_EQ(RunAs("tarnix-programmer-renamed", {}), 0);
    ASSERT_TRUE(seen.window);
    EXPECT_EQ(seen.desktopFileName + ".desktop.in", QFileInfo(TARNIX_DESKTOP_ENTRY_TEMPLATE).fileName());
    EXPECT_FALSE(seen.applicationName.isEmpty());
    EXPECT_EQ(seen.applicationName, DesktopEntryValue("StartupWMClass"));
}

}  // namespace

// Under AddressSanitizer: Qt's offscreen platform plugin never frees the screen it creates for the
// application object; only leaks allocated through that plugin are passed over.
extern "C" const char* __asan_default_options() { return "fast_unwind_on_malloc=0"; }
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

// No application object here: the program under test makes its own, and the probe starts with it.
int main(int argc, char** argv)
{
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) {
        qputenv("QT_QPA_PLATFORM", "offscreen");
    }
    qAddPreRoutine(ArmProbe);
    ::testing::InitGoogleTest(&argc, argv);
    return RUN_ALL_TESTS();
}

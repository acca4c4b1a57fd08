// The desktop application on the real-bus backend. The test runs inside `tarnix-sim usb-run` (see
// tests/gui/CMakeLists.txt), which mirrors a simulated bus holding one sensor into an emulated kernel device
// tree; the program then finds the sensor through udev and hidraw and shows it in its device list.
#include "gui/DesktopApplication.h"
#include "gui/MainWindow.h"
#include "platform/BusSelection.h"

#include <gtest/gtest.h>

#include <QApplication>
#include <QComboBox>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QLabel>
#include <QTimer>

#include <string>
#include <vector>

namespace {

constexpr int kPatienceMs = 10000;

struct Seen {
    QString device;
    QString firmwareVersion;
    QString mcuIdentifier;
};
Seen seen;

// Runs in the program's event loop: once the device list shows a sensor, notes what the window says of it and
// closes the window; after kPatienceMs it closes the window anyway.
void ArmProbe()
{
    auto* clock = new QElapsedTimer();
    clock->start();
    auto* timer = new QTimer(qApp);
    QObject::connect(timer, &QTimer::timeout, [clock] {
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            auto* window = qobject_cast<MainWindow*>(widget);
            if (window == nullptr || !window->isVisible()) {
                continue;
            }
            const auto* devices = window->findChild<QComboBox*>("deviceComboBox");
            if (devices->count() > 0) {
                seen = {devices->currentText(), window->findChild<QLabel*>("firmwareVersionLabel")->text(),
                        window->findChild<QLabel*>("mcuIdLabel")->text()};
            }
            if (devices->count() > 0 || clock->elapsed() > kPatienceMs) {
                delete clock;
                window->close();
                return;
            }
        }
    });
    timer->start(100);
}

}  // namespace

// The offscreen platform plugin keeps its screen objects until the process ends.
extern "C" const char* __lsan_default_suppressions() { return "leak:libqoffscreen.so\n"; }

TEST(RealBusStartTest, TheWindowListsTheSensorFoundThroughTheKernelInterfaces)
{
    ASSERT_EQ(tarnix::platform::BusSelection::Active(), tarnix::platform::Bus::Usb)
        << "the test must run inside tarnix-sim usb-run";
    std::vector<std::string> arguments{"TarnixProgrammer"};
    std::vector<char*> argv{arguments[0].data(), nullptr};
    qAddPreRoutine(ArmProbe);
    EXPECT_EQ(DesktopApplication::Run(1, argv.data()), 0);
    EXPECT_EQ(seen.device, "Tarnix Tarnix TS-210 TNXUSB1");
    EXPECT_EQ(seen.firmwareVersion, "3.7");
    EXPECT_EQ(seen.mcuIdentifier, "0A1B2C3D");
}

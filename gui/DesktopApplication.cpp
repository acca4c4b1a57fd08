#include "gui/DesktopApplication.h"

#include "core/SingleInstanceGuard.h"
#include "gui/MainWindow.h"
#include "gui/WholeLineMessageBox.h"

#include <QApplication>
#include <QLibrary>
#include <QString>

#include <cstdint>
#include <memory>

namespace {

const char* const anotherInstanceText =
    "Another instance of Morvel Deskvane, Tarnix Programmer or Reflashor is already running, this one will be "
    "closed.";

// Per-monitor awareness, version 2.
const auto perMonitorAwareV2 = reinterpret_cast<void*>(static_cast<std::intptr_t>(-4));

}  // namespace

void DesktopApplication::RequestDpiAwareness()
{
    using SetAwarenessContext = int (*)(void*);
    QLibrary user32("user32.dll");
    const auto setAwareness = reinterpret_cast<SetAwarenessContext>(user32.resolve("SetProcessDpiAwarenessContext"));
    if (setAwareness != nullptr) {
        setAwareness(perMonitorAwareV2);
    }
}

// The window goes before the application object, and that before the guard.
int DesktopApplication::Run(int argc, char** argv)
{
    const SingleInstanceGuard guard(SingleInstanceGuard::kProgramMutexName);
    RequestDpiAwareness();
    QApplication::setAttribute(Qt::AA_EnableHighDpiScaling, true);
    QApplication application(argc, argv);
    // The window class follows the application name; set here, it does not depend on the name the
    // program was started under.
    QApplication::setApplicationName(kWindowClass);
    QApplication::setDesktopFileName(kDesktopFileName);
    if (!guard.IsFirstInstance()) {
        WholeLineMessageBox::Warning(nullptr, QString(), anotherInstanceText);
        return 0;
    }
    const auto window = std::make_unique<MainWindow>();
    if (argc == 2) {
        window->SetFirmwareFile(QString::fromUtf8(argv[1]));
    }
    return application.exec();
}
